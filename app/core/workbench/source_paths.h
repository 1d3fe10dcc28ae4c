// Source files named from outside the program: command-line arguments (the
// desktop entry's %F), files handed over by a second start, and drops.
#pragma once

#include <QString>
#include <QStringList>

namespace zorvex::app {

struct SourceFiles {
    QStringList files;    // to add, in the order given
    QStringList missing;  // given paths that are neither a file nor a folder
};

// A folder stands for the supported media files inside it and its subfolders
// (hidden ones and symbolic links to folders left out), in natural name order;
// a file is taken whatever its name, the probe decides. Each file comes once.
SourceFiles CollectSourceFiles(const QStringList& paths);

// Command-line arguments as absolute, clean paths: relative ones are taken
// from workingFolder and "file:" URLs become local paths.
QStringList AbsoluteSourcePaths(const QStringList& arguments, const QString& workingFolder);

}  // namespace zorvex::app
