// system.ini: the program's few persistent settings, read and written one value
// at a time. A value that is not there reads as "Error" (not set).
#pragma once

#include <QMap>
#include <QString>

namespace zorvex::app {

inline const QString kNotSet = QStringLiteral("Error");

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual bool Exists() const = 0;
    // The stored text, or "Error" when the file, the section or the key is missing.
    virtual QString ReadString(const QString& section, const QString& key) const = 0;
    // Creates the file when needed; false when it cannot be written.
    virtual bool WriteString(const QString& section, const QString& key, const QString& value) = 0;
};

// The real file: every access opens, reads or writes one value, and closes.
class IniSettingsStore : public SettingsStore {
public:
    explicit IniSettingsStore(QString path);
    const QString& Path() const { return path_; }
    bool Exists() const override;
    QString ReadString(const QString& section, const QString& key) const override;
    bool WriteString(const QString& section, const QString& key, const QString& value) override;

private:
    QString path_;
};

// In memory, for tests.
class MemorySettingsStore : public SettingsStore {
public:
    bool Exists() const override { return exists_; }
    QString ReadString(const QString& section, const QString& key) const override;
    bool WriteString(const QString& section, const QString& key, const QString& value) override;
    void SetWritable(bool writable) { writable_ = writable; }

private:
    bool exists_ = false;
    bool writable_ = true;
    QMap<QString, QString> values_;
};

// The folder system.ini (and other files the program writes beside itself) live
// in: the program's folder when it is writable and not an installation prefix's
// bin/, else $XDG_CONFIG_HOME/zorvex (default ~/.config/zorvex).
QString SettingsFolder();
// SettingsFolder() + "/system.ini".
QString DefaultSettingsPath();

}  // namespace zorvex::app
