#include <gtest/gtest.h>

#include <QFileInfo>
#include <filesystem>

#include "app/core/lock/password_lock.h"
#include "app/platform/machine_store.h"
#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace zorvex::app {
namespace {

// Runs zorvex-lock with the password on standard input, under a strict umask
// an administrator may have.
test::ProcessResult RunLock(const std::string& root, const std::string& command,
                            const std::string& input = {}) {
    test::TempDir scratch;
    test::WriteFile(scratch.File("in"), input);
    return test::RunProcess("/bin/sh", {"-c", "umask 077; \"$0\" --root \"$1\" \"$2\" < \"$3\"",
                                        ZORVEX_LOCK_PATH, root, command, scratch.File("in")});
}

TEST(LockToolTest, SetLocksWithTheProgramsEncodingAndClearUnlocks) {
    test::TempDir dir;
    const FileMachineStore store(QString::fromStdString(dir.Path()));
    const PasswordLock lock(store);

    test::ProcessResult r = RunLock(dir.Path(), "set", "Pa55 密码\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(lock.IsLocked());
    EXPECT_TRUE(lock.Verify(QStringLiteral("Pa55 密码")));
    EXPECT_FALSE(lock.Verify(QStringLiteral("pa55 密码")));
    const QString value = store.KeyFolder(kLockKeyPath) + "/ps";
    EXPECT_EQ(test::ReadFile(value.toStdString()),
              EncodeLockPassword(QStringLiteral("Pa55 密码")).toStdString());
    // Readable by every user, writable by its owner only.
    EXPECT_EQ(std::filesystem::status(store.KeyFolder(kLockKeyPath).toStdString()).permissions(),
              std::filesystem::perms(0755));
    EXPECT_EQ(std::filesystem::status(value.toStdString()).permissions(),
              std::filesystem::perms(0644));

    r = RunLock(dir.Path(), "status");
    EXPECT_EQ(r.out, "Start-up is locked.\n");

    // An empty line sets the empty password: the lock is on and an empty field opens it.
    ASSERT_EQ(RunLock(dir.Path(), "set", "\n").exitCode, 0);
    EXPECT_TRUE(lock.Verify(""));

    r = RunLock(dir.Path(), "clear");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(lock.IsLocked());
    EXPECT_TRUE(QFileInfo(store.KeyFolder("Software\\Microsoft\\Windows\\CurrentVersion")).isDir());
    EXPECT_EQ(RunLock(dir.Path(), "status").out, "Start-up is not locked.\n");
}

TEST(LockToolTest, RefusesBadUse) {
    test::TempDir dir;
    EXPECT_EQ(RunLock(dir.Path(), "open").exitCode, 2);
    EXPECT_EQ(test::RunProcess(ZORVEX_LOCK_PATH, {}).exitCode, 2);
    // No password on standard input: nothing is written.
    EXPECT_EQ(RunLock(dir.Path(), "set", "").exitCode, 1);
    EXPECT_FALSE(PasswordLock(FileMachineStore(QString::fromStdString(dir.Path()))).IsLocked());
}

}  // namespace
}  // namespace zorvex::app
