#include "app/platform/data_folder.h"

#include <QDir>
#include <QFileInfo>

#include "media/util.h"

namespace zorvex::app {

namespace {
QString InstalledDataFolder(const QString& programFolder) {
    return QDir::cleanPath(programFolder + QStringLiteral("/../share/zorvex"));
}
}  // namespace

bool RunsInstalled(const QString& programFolder) {
    return !QFileInfo(programFolder + QStringLiteral("/skins")).isDir() &&
           QFileInfo(InstalledDataFolder(programFolder)).isDir();
}

QString ProgramDataFolder(const QString& programFolder) {
    return RunsInstalled(programFolder) ? InstalledDataFolder(programFolder) : programFolder;
}

QString ProgramDataFolder() {
    return ProgramDataFolder(QString::fromStdString(zorvex::ProgramFolder()));
}

}  // namespace zorvex::app
