#include "app/core/workbench/output_naming.h"

#include <QFileInfo>

namespace zorvex::app {

bool FileExistsOnDisk(const QString& path) {
    return QFileInfo::exists(path);
}

QString FormatColumnText(const QString& path) {
    return ExtensionPart(path).mid(1).toUpper();
}

namespace {

// Splits a path into the part before its extension and the extension.
void SplitExtension(const QString& path, QString& base, QString& ext) {
    ext = ExtensionPart(path);
    base = path.left(path.size() - ext.size());
}

QString FirstFreeNewName(const QString& base, const QString& ext, const FileExistsFn& exists) {
    for (qint64 k = 1;; ++k) {
        const QString candidate = base + "(New_" + QString::number(k) + ")" + ext;
        if (!exists(candidate)) return candidate;
    }
}

}  // namespace

QString AddTimeOutputName(const QString& proposed, int policy, const FileExistsFn& exists) {
    if (policy != npNewName || !exists(proposed)) return proposed;
    QString base, ext;
    SplitExtension(proposed, base, ext);
    return FirstFreeNewName(base, ext, exists);
}

QString BatchStartOutputName(const QString& outputFolder, const QString& stored, int policy,
                             const FileExistsFn& exists) {
    QString folder = outputFolder;
    while (folder.size() > 1 && folder.endsWith('/')) folder.chop(1);
    const QString name = (folder == "/" ? folder : folder + "/") + FileNamePart(stored);
    const int marker = FileNamePart(name).indexOf(QStringLiteral("(New_"));
    if (marker < 0) return name;
    QString base, ext;
    SplitExtension(name, base, ext);
    base = base.left(name.size() - FileNamePart(name).size() + marker);
    const QString plain = base + ext;
    if (policy == npNewName && exists(plain)) return FirstFreeNewName(base, ext, exists);
    return plain;
}

}  // namespace zorvex::app
