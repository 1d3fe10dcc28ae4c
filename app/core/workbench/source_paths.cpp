#include "app/core/workbench/source_paths.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <QUrl>
#include <algorithm>

#include "app/core/workbench/startup.h"

namespace zorvex::app {

namespace {
QStringList MediaFilesIn(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (IsSupportedSourceName(path)) found << path;
    }
    // The C locale has no numeric collation: the program's own language then.
    const QLocale system = QLocale::system();
    QCollator collator(system.language() == QLocale::C ? QLocale(QLocale::Chinese, QLocale::China)
                                                       : system);
    collator.setNumericMode(true);  // "clip 2" before "clip 10"
    std::sort(found.begin(), found.end(),
              [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    return found;
}
}  // namespace

SourceFiles CollectSourceFiles(const QStringList& paths) {
    SourceFiles result;
    QSet<QString> seen;
    const auto take = [&](const QString& file) {
        const QString clean = QDir::cleanPath(file);
        if (!seen.contains(clean)) {
            seen.insert(clean);
            result.files << clean;
        }
    };
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            for (const QString& file : MediaFilesIn(path)) take(file);
        } else if (info.isFile()) {
            take(path);
        } else {
            result.missing << path;
        }
    }
    return result;
}

QStringList AbsoluteSourcePaths(const QStringList& arguments, const QString& workingFolder) {
    QStringList paths;
    const QDir base(workingFolder);
    for (const QString& argument : arguments) {
        if (argument.isEmpty()) continue;
        QString path = argument;
        if (argument.startsWith(QLatin1String("file:"))) {
            const QUrl url(argument);
            if (url.isLocalFile()) path = url.toLocalFile();
        }
        paths << QDir::cleanPath(base.absoluteFilePath(path));
    }
    return paths;
}

}  // namespace zorvex::app
