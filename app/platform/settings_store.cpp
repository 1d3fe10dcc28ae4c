#include "app/platform/settings_store.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTextStream>

#include "app/platform/data_folder.h"
#include "media/util.h"

namespace zorvex::app {

namespace {

// The text after "key=" in the section, as it stands in the file.
QString RawValue(const QString& path, const QString& section, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return kNotSet;
    QTextStream in(&file);
    QString current;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith('[') && line.endsWith(']')) {
            current = line.mid(1, line.size() - 2).trimmed();
        } else if (current.compare(section, Qt::CaseInsensitive) == 0) {
            const qsizetype equals = line.indexOf('=');
            if (equals > 0 && line.left(equals).trimmed() == key) {
                return line.mid(equals + 1).trimmed();
            }
        }
    }
    return kNotSet;
}

}  // namespace

IniSettingsStore::IniSettingsStore(QString path) : path_(std::move(path)) {}

bool IniSettingsStore::Exists() const {
    return QFileInfo(path_).isFile();
}

QString IniSettingsStore::ReadString(const QString& section, const QString& key) const {
    if (!Exists()) return kNotSet;
    QSettings ini(path_, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) return kNotSet;
    const QVariant value = ini.value(section + "/" + key);
    if (!value.isValid()) return kNotSet;
    // An unquoted comma (a hand-edited "OutPath=/a,b") makes the INI reader
    // split the text into a list; the value is the one text that was written.
    if (value.metaType().id() == QMetaType::QStringList) return RawValue(path_, section, key);
    return value.toString();
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
    // Writing rewrites the whole file and drops what a person wrote in it
    // besides the values (comments, blank lines): a value that is already
    // there as it is leaves the file untouched.
    if (ini.status() == QSettings::NoError && ini.contains(section + "/" + key) &&
        ReadString(section, key) == value) {
        return true;
    }
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
