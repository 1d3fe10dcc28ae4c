// The machine-wide store that holds the start-up lock: read-only for the
// program. A key is a folder under the store's root (the key path with "/" for
// "\"), a string value a file in it holding the value's exact bytes. Only an
// administrator writes it (tools/lock); the program never creates or changes it.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>

namespace zorvex::app {

// One value read from the store.
struct StoredValue {
    enum class Status { Missing, Present, Unreadable };
    Status status = Status::Missing;
    QByteArray bytes;  // the value's bytes when Present
};

class MachineStore {
public:
    virtual ~MachineStore() = default;
    // Whether the key exists; looking never creates it. keyPath uses "\".
    virtual bool KeyExists(const QString& keyPath) const = 0;
    virtual StoredValue ReadValue(const QString& keyPath, const QString& name) const = 0;
};

// The real store: folders and files under a root folder.
class FileMachineStore : public MachineStore {
public:
    // The product's root; nothing redirects it.
    static QString DefaultRoot();  // "/etc/zorvex/registry/HKEY_LOCAL_MACHINE"

    FileMachineStore();  // on DefaultRoot()
    explicit FileMachineStore(QString root);
    const QString& Root() const { return root_; }
    // The folder of a key: root + "/" + keyPath with "/" for "\".
    QString KeyFolder(const QString& keyPath) const;

    bool KeyExists(const QString& keyPath) const override;
    StoredValue ReadValue(const QString& keyPath, const QString& name) const override;

private:
    QString root_;
};

// In memory, for tests.
class MemoryMachineStore : public MachineStore {
public:
    void AddKey(const QString& keyPath) { keys_.insert(keyPath); }
    void SetValue(const QString& keyPath, const QString& name, const QByteArray& bytes);
    void SetUnreadable(const QString& keyPath, const QString& name);

    bool KeyExists(const QString& keyPath) const override { return keys_.contains(keyPath); }
    StoredValue ReadValue(const QString& keyPath, const QString& name) const override;

private:
    QSet<QString> keys_;
    QMap<QString, StoredValue> values_;
};

}  // namespace zorvex::app
