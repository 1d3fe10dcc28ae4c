#include "app/core/skins/skin_table.h"

#include <QFile>

// Resources of a static library are registered by hand, outside any namespace.
static void InitSkinResources() {
    Q_INIT_RESOURCE(skins);
}

namespace zorvex::app {

const std::vector<SkinEntry>& SkinTable() {
    static const std::vector<SkinEntry> table = {
        {"skin2", SkinKind::ThemeFile, "skins/msn.sui", "微软MSN皮肤"},
        {"skin18", SkinKind::ThemeFile, "skins/winter.sui", "冬天的色彩皮肤"},
        {"skin3", SkinKind::ThemeFile, "skins/mp10.sui", "WMP10皮肤"},
        {"skin4", SkinKind::BuiltIn, "WinXP", "WinXP标准皮肤"},
        {"skin5", SkinKind::BuiltIn, "Protein", "Protein样式皮肤"},
        {"skin6", SkinKind::ThemeFile, "skins/RealOne.sui", "RealOne风格皮肤"},
        {"skin7", SkinKind::BuiltIn, "DeepBlue", "深蓝色皮肤"},
        {"skin8", SkinKind::BuiltIn, "BlueGlass", "蓝色玻璃皮肤"},
        {"skin9", SkinKind::ThemeFile, "skins/Longhorn.sui", "Vista风格皮肤"},
        {"skin1", SkinKind::BuiltIn, "MacOS", "Mac苹果皮肤"},
        {"skin10", SkinKind::ThemeFile, "skins/DeepGreen.sui", "深绿色皮肤"},
        {"skin11", SkinKind::ThemeFile, "skins/DeepOrange.sui", "桔红色皮肤"},
        {"skin12", SkinKind::ThemeFile, "skins/GreenGlass.sui", "绿色玻璃皮肤"},
        {"skin13", SkinKind::ThemeFile, "skins/OneBlue.sui", "时尚蓝色blue皮肤"},
        {"skin14", SkinKind::ThemeFile, "skins/OneCyan.sui", "时尚的Cyan皮肤"},
        {"skin15", SkinKind::ThemeFile, "skins/SportsBlack.sui", "运动黑色皮肤"},
        {"skin16", SkinKind::ThemeFile, "skins/xpgreen.sui", "XP绿色皮肤"},
        {"skin17", SkinKind::ThemeFile, "skins/royale.sui", ""},
    };
    return table;
}

const SkinEntry* FindSkin(const QString& settingName) {
    for (const SkinEntry& skin : SkinTable()) {
        if (skin.settingName == settingName) return &skin;
    }
    return nullptr;
}

QStringList BuiltInStyleNames() {
    return {"MacOS", "WinXP", "DeepBlue", "Protein", "BlueGlass"};
}

QString SkinStyleSheet(const SkinEntry& skin, const QString& programFolder) {
    QString path;
    if (skin.kind == SkinKind::BuiltIn) {
        static const bool registered = (InitSkinResources(), true);
        (void)registered;
        path = ":/skins/" + skin.source + ".qss";
    } else {
        path = programFolder + "/" + skin.source;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

}  // namespace zorvex::app
