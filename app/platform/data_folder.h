// Where the program's read-only files (skins/, sounds/, help/) are found.
#pragma once

#include <QString>

namespace zorvex::app {

// The folder that holds the program's read-only files for a program whose
// executable is in programFolder: that folder itself when it holds "skins"
// (the build tree, or a folder the program was copied to whole), otherwise
// "share/zorvex" under the installation prefix (programFolder/../share/zorvex)
// when it exists, otherwise programFolder.
QString ProgramDataFolder(const QString& programFolder);
// The same for the running program.
QString ProgramDataFolder();
// True when the program runs from an installation prefix (its files are in
// share/zorvex, not beside it): it then writes nothing beside its executable.
bool RunsInstalled(const QString& programFolder);

}  // namespace zorvex::app
