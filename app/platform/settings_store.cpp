#include "app/platform/settings_store.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include "app/platform/data_folder.h"
#include "media/util.h"

namespace zorvex::app {

IniSettingsStore::IniSettingsStore(QString path) : path_(std::move(path)) {}

bool IniSettingsStore::Exists() const {
    return QFileInfo(path_).isFile();
}

QString IniSettingsStore::ReadString(const QString& section, const QString& key) const {
    if (!Exists()) return kNotSet;
    QSettings ini(path_, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) return kNotSet;
    const QVariant value = ini.value(section + "/" + key);
    return value.isValid() ? value.toString() : kNotSet;
}

bool IniSettingsStore::WriteString(const QString& section, const QString& key,
                                   const QString& value) {
    const QFileInfo file(path_);
    if (!QDir().mkpath(file.absolutePath())) return false;
    if (file.exists() ? !file.isWritable()
                      : ::access(QFile::encodeName(file.absolutePath()).constData(), W_OK) != 0) {
        return false;
    }
    QSettings ini(path_, QSettings::IniFormat);
    ini.setValue(section + "/" + key, value);
    ini.sync();
    return ini.status() == QSettings::NoError;
}

QString MemorySettingsStore::ReadString(const QString& section, const QString& key) const {
    return values_.value(section + "/" + key, kNotSet);
}

bool MemorySettingsStore::WriteString(const QString& section, const QString& key,
                                      const QString& value) {
    if (!writable_) return false;
    values_[section + "/" + key] = value;
    exists_ = true;
    return true;
}

QString SettingsFolder() {
    const QString program = QString::fromStdString(zorvex::ProgramFolder());
    // An installed program never writes into its prefix (/usr/bin), even as root.
    if (!RunsInstalled(program) && ::access(QFile::encodeName(program).constData(), W_OK) == 0) {
        return program;
    }
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty()) config = QDir::homePath() + "/.config";
    return config + "/zorvex";
}

QString DefaultSettingsPath() {
    return SettingsFolder() + "/system.ini";
}

}  // namespace zorvex::app
