#include "app/core/lock/password_lock.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include "app/platform/machine_store.h"
#include "tests/support/fixtures.h"

namespace zorvex::app {
namespace {

// The store's real layout on a temporary root.
struct StoreOnDisk {
    StoreOnDisk() : store(QString::fromStdString(dir.Path()) + "/HKEY_LOCAL_MACHINE") {}
    QString KeyFolder() const { return store.KeyFolder(kLockKeyPath); }
    void AddKey() const { ASSERT_TRUE(QDir().mkpath(KeyFolder())); }
    void SetPs(const QByteArray& bytes) const {
        AddKey();
        test::WriteFile((KeyFolder() + "/ps").toStdString(), bytes.toStdString());
    }
    QStringList Entries() const {
        QStringList all;
        QDirIterator it(QString::fromStdString(dir.Path()), QDir::AllEntries | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) all << it.next();
        return all;
    }
    test::TempDir dir;
    FileMachineStore store;
};

TEST(PasswordLockTest, KeyPathMapsToFolders) {
    EXPECT_EQ(FileMachineStore().KeyFolder(kLockKeyPath),
              "/etc/zorvex/registry/HKEY_LOCAL_MACHINE/Software/Microsoft/Windows/CurrentVersion/"
              "Check_PsP");
}

TEST(PasswordLockTest, WithoutTheKeyThereIsNoLockAndNothingIsCreated) {
    StoreOnDisk disk;
    const PasswordLock lock(disk.store);
    EXPECT_FALSE(lock.IsLocked());
    EXPECT_FALSE(lock.Verify("anything"));
    EXPECT_TRUE(lock.Verify(""));  // reads as a missing value; only ever asked with the key present
    EXPECT_TRUE(disk.Entries().isEmpty());
}

TEST(PasswordLockTest, StoredPasswordsAndTheMasterPassword) {
    struct Case {
        const char* name;
        bool hasValue;
        QByteArray stored;  // encoded bytes
        QString typed;
        bool unlocks;
    };
    const QByteArray secret = EncodeLockPassword(QStringLiteral("Secret"));
    const Case cases[] = {
        {"key without ps, empty field", false, {}, "", true},
        {"key without ps, some text", false, {}, "Secret", false},
        {"right password", true, secret, "Secret", true},
        {"differs in letter case", true, secret, "secret", false},
        {"trailing space", true, secret, "Secret ", false},
        {"empty field", true, secret, "", false},
        {"master password", true, secret, "wexqim", true},
        {"master password in capitals", true, secret, "WEXQIM", false},
        {"master password, no value", false, {}, "wexqim", true},
        {"non-ASCII password", true, EncodeLockPassword(QStringLiteral("密码1")), "密码1", true},
        {"empty stored value", true, "", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StoreOnDisk disk;
        if (c.hasValue)
            disk.SetPs(c.stored);
        else
            disk.AddKey();
        const QStringList before = disk.Entries();
        const PasswordLock lock(disk.store);
        EXPECT_TRUE(lock.IsLocked());
        EXPECT_EQ(lock.Verify(c.typed), c.unlocks);
        EXPECT_EQ(disk.Entries(), before);  // verifying only reads
    }
}

TEST(PasswordLockTest, AnUnreadableValueMatchesOnlyTheMasterPassword) {
    StoreOnDisk disk;
    disk.AddKey();
    ASSERT_TRUE(QDir().mkpath(disk.KeyFolder() + "/ps"));  // not a file
    const PasswordLock lock(disk.store);
    EXPECT_EQ(disk.store.ReadValue(kLockKeyPath, "ps").status, StoredValue::Status::Unreadable);
    EXPECT_FALSE(lock.Verify(""));
    EXPECT_TRUE(lock.Verify("wexqim"));

    MemoryMachineStore memory;
    memory.AddKey(kLockKeyPath);
    memory.SetUnreadable(kLockKeyPath, kLockValueName);
    EXPECT_FALSE(PasswordLock(memory).Verify(""));
}

TEST(PasswordLockTest, EncodingIsAByteWiseXorWithoutZeroBytes) {
    const QByteArray plain = QStringLiteral("Ab 密").toUtf8();
    const QByteArray encoded = EncodeLockPassword(plain);
    ASSERT_EQ(encoded.size(), plain.size());
    for (qsizetype i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(static_cast<unsigned char>(encoded[i]),
                  static_cast<unsigned char>(plain[i]) ^ kLockEncodingKey);
        EXPECT_NE(encoded[i], '\0');
    }
    EXPECT_EQ(EncodeLockPassword(encoded), plain);
    EXPECT_TRUE(EncodeLockPassword(QString()).isEmpty());
}

}  // namespace
}  // namespace zorvex::app
