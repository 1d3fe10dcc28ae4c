// Skins: every window applies the skin stored in system.ini when it is shown.
#pragma once

#include <QString>

class QWidget;

namespace zorvex::app {

class SettingsStore;

// Reads "SetSkin" of section "skin" and applies that skin to the window; a name
// the skin table does not know leaves the window's look unchanged.
void ApplyStoredSkin(QWidget* window, const SettingsStore& settings);

// Applies the skin of a "SetSkin" value to the window, theme files read from
// programFolder. False (look unchanged) for an unknown name or an unreadable
// theme file. A minimised window is restored after a theme file chosen from
// the menu (fromMenu) and after "skin2" and "skin3".
bool ApplySkin(QWidget* window, const QString& settingName, const QString& programFolder,
               bool fromMenu = false);

}  // namespace zorvex::app
