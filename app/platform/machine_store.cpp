#include "app/platform/machine_store.h"

#include <QFile>
#include <QFileInfo>

namespace zorvex::app {

namespace {

// Values are small; a larger file is not one of ours and reads as unreadable.
constexpr qint64 kMaxValueBytes = 64 * 1024;

QString ValueId(const QString& keyPath, const QString& name) {
    return keyPath + '\n' + name;
}

}  // namespace

QString FileMachineStore::DefaultRoot() {
    return QStringLiteral("/etc/zorvex/registry/HKEY_LOCAL_MACHINE");
}

FileMachineStore::FileMachineStore() : root_(DefaultRoot()) {}

FileMachineStore::FileMachineStore(QString root) : root_(std::move(root)) {}

QString FileMachineStore::KeyFolder(const QString& keyPath) const {
    QString relative = keyPath;
    relative.replace('\\', '/');
    return root_ + '/' + relative;
}

bool FileMachineStore::KeyExists(const QString& keyPath) const {
    return QFileInfo(KeyFolder(keyPath)).isDir();
}

StoredValue FileMachineStore::ReadValue(const QString& keyPath, const QString& name) const {
    StoredValue value;
    const QFileInfo info(KeyFolder(keyPath) + '/' + name);
    if (!info.exists()) {
        // A key folder that cannot be searched hides its values: that is not
        // "no value", which would read as the empty password.
        const QFileInfo key(KeyFolder(keyPath));
        if (key.isDir() && !key.isExecutable()) value.status = StoredValue::Status::Unreadable;
        return value;
    }
    QFile file(info.filePath());
    if (!info.isFile() || info.size() > kMaxValueBytes || !file.open(QIODevice::ReadOnly)) {
        value.status = StoredValue::Status::Unreadable;
        return value;
    }
    value.bytes = file.read(kMaxValueBytes + 1);
    value.status = file.error() == QFileDevice::NoError && value.bytes.size() <= kMaxValueBytes
                       ? StoredValue::Status::Present
                       : StoredValue::Status::Unreadable;
    if (value.status != StoredValue::Status::Present) value.bytes.clear();
    return value;
}

void MemoryMachineStore::SetValue(const QString& keyPath, const QString& name,
                                  const QByteArray& bytes) {
    values_[ValueId(keyPath, name)] = StoredValue{StoredValue::Status::Present, bytes};
}

void MemoryMachineStore::SetUnreadable(const QString& keyPath, const QString& name) {
    values_[ValueId(keyPath, name)] = StoredValue{StoredValue::Status::Unreadable, {}};
}

StoredValue MemoryMachineStore::ReadValue(const QString& keyPath, const QString& name) const {
    if (!keys_.contains(keyPath)) return {};
    return values_.value(ValueId(keyPath, name));
}

}  // namespace zorvex::app
