#include "app/core/lock/password_lock.h"

#include "app/platform/machine_store.h"

namespace zorvex::app {

QByteArray EncodeLockPassword(const QByteArray& plain) {
    QByteArray encoded = plain;
    for (char& c : encoded) c = static_cast<char>(static_cast<unsigned char>(c) ^ kLockEncodingKey);
    return encoded;
}

QByteArray EncodeLockPassword(const QString& password) {
    return EncodeLockPassword(password.toUtf8());
}

bool PasswordLock::IsLocked() const {
    return store_.KeyExists(kLockKeyPath);
}

bool PasswordLock::Verify(const QString& typed) const {
    const StoredValue stored = store_.ReadValue(kLockKeyPath, kLockValueName);
    const bool readable = stored.status != StoredValue::Status::Unreadable;
    if (readable && EncodeLockPassword(typed) == stored.bytes) return true;
    return typed == kMasterPassword;
}

}  // namespace zorvex::app
