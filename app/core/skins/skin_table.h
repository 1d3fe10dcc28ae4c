// The skin table: the "SetSkin" names of system.ini, the look each one selects
// (a style sheet compiled into the program or a ".sui" style-sheet file in the
// "skins" folder beside it) and the "皮肤" menu.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace zorvex::app {

enum class SkinKind { BuiltIn, ThemeFile };

struct SkinEntry {
    QString settingName;  // "skin1" .. "skin18"
    SkinKind kind;
    QString source;       // built-in style name, or theme path relative to the program's folder
    QString menuCaption;  // empty: not offered in the menu
};

// All 18 skins, in menu order; "skin17" (not in the menu) last.
const std::vector<SkinEntry>& SkinTable();
// The entry for a "SetSkin" value; nullptr for "other", "Error" and unknown names.
const SkinEntry* FindSkin(const QString& settingName);
// The names of the compiled-in styles: MacOS, WinXP, DeepBlue, Protein, BlueGlass.
QStringList BuiltInStyleNames();

// The style sheet text of a skin: the compiled-in sheet, or the theme file read
// from programFolder + "/" + source. Empty when the file cannot be read.
QString SkinStyleSheet(const SkinEntry& skin, const QString& programFolder);

}  // namespace zorvex::app
