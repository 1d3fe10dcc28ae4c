#include "app/ui/skin.h"

#include <QWidget>

#include "app/core/skins/skin_table.h"
#include "app/platform/data_folder.h"
#include "app/platform/settings_store.h"

namespace zorvex::app {

bool ApplySkin(QWidget* window, const QString& settingName, const QString& programFolder,
               bool fromMenu) {
    const SkinEntry* skin = FindSkin(settingName);
    if (window == nullptr || skin == nullptr) return false;
    const QString sheet = SkinStyleSheet(*skin, programFolder);
    if (sheet.isEmpty()) return false;
    window->setStyleSheet(sheet);
    const bool restore = (fromMenu && skin->kind == SkinKind::ThemeFile) ||
                         settingName == QLatin1String("skin2") ||
                         settingName == QLatin1String("skin3");
    if (restore && window->isMinimized()) window->showNormal();
    return true;
}

void ApplyStoredSkin(QWidget* window, const SettingsStore& settings) {
    ApplySkin(window, settings.ReadString(QStringLiteral("skin"), QStringLiteral("SetSkin")),
              ProgramDataFolder());
}

}  // namespace zorvex::app
