// Parts of a path as the program shows and builds them: the file part is the
// text after the last "/".
#pragma once

#include <QString>

namespace zorvex::app {

inline QString FileNamePart(const QString& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// The extension from the last dot of the file-name part, dot included; empty
// when the name has no dot.
inline QString ExtensionPart(const QString& path) {
    const QString name = FileNamePart(path);
    const qsizetype dot = name.lastIndexOf('.');
    return dot < 0 ? QString() : name.mid(dot);
}

}  // namespace zorvex::app
