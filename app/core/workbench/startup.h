// Start-up values of the workbench kept in system.ini, and the open-dialog
// filter list of the add commands.
#pragma once

#include <QString>
#include <QStringList>

namespace zorvex::app {

class SettingsStore;

// ~/Video_Directory: the output folder when system.ini names none.
QString DefaultOutputFolder();

// The output folder at start-up: "OutPath" of system.ini when it is set
// (created with its parents when missing; used even if that fails), otherwise
// the default folder, which is created and written back. Never reports.
QString BootstrapOutputFolder(SettingsStore& settings, const QString& defaultFolder);

// [SnapShot] "Picture" when it is "BMP", "JPG", "GIF" or "PNG"; anything else
// (no file, no value, another text) is replaced by "BMP" in the file.
QString ResolveSnapshotPictureType(SettingsStore& settings);

// Name filters for the open-file dialogs, in the add commands' order. Each
// entry is "description (patterns)"; a dialog that hides filter details shows
// the description as the program has always shown it.
QStringList OpenDialogNameFilters();
// True when the name's extension is one of "所有支持的文件类型" (any case).
bool IsSupportedSourceName(const QString& path);

}  // namespace zorvex::app
