// The start-up password lock. An administrator stores an encoded password in
// the machine-wide store; while the key exists, start-up asks for it.
#pragma once

#include <QByteArray>
#include <QString>

namespace zorvex::app {

class MachineStore;

inline const QString kLockKeyPath =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Check_PsP");
inline const QString kLockValueName = QStringLiteral("ps");
// Unlocks whatever the store holds; compared in plain.
inline const QString kMasterPassword = QStringLiteral("wexqim");

// The one-byte key combined with every byte of the password. Bytes 0xF5 to
// 0xFF never occur in UTF-8, so an encoded byte is never zero.
constexpr unsigned char kLockEncodingKey = 0xFE;

// The stored form of a password: its UTF-8 bytes, each XOR kLockEncodingKey.
// The encoding is its own inverse.
QByteArray EncodeLockPassword(const QByteArray& plain);
QByteArray EncodeLockPassword(const QString& password);

class PasswordLock {
public:
    explicit PasswordLock(const MachineStore& store) : store_(store) {}

    // The lock is on while its key exists.
    bool IsLocked() const;
    // Whether the typed password unlocks: its encoded form equals the stored
    // value exactly (a missing value is the empty text; one that cannot be read
    // matches nothing), or it is the master password. Only reads the store.
    bool Verify(const QString& typed) const;

private:
    const MachineStore& store_;
};

}  // namespace zorvex::app
