#include "app/platform/data_folder.h"

#include <gtest/gtest.h>

#include <QDir>

#include "tests/support/fixtures.h"

namespace zorvex::app {
namespace {

// Where skins/ and sounds/ are found for an executable in each layout.
TEST(ProgramDataFolder, BesideTheProgramOrUnderItsPrefix) {
    zorvex::test::TempDir dir;
    const QString root = QString::fromStdString(dir.Path());
    for (const char* folder : {"build/app/skins", "usr/bin", "usr/share/zorvex/skins",
                               "copied/bin/skins", "copied/share/zorvex", "bare/bin"}) {
        ASSERT_TRUE(QDir().mkpath(root + "/" + folder));
    }
    struct Case {
        const char* program;
        const char* data;
        bool installed;
    } cases[] = {
        {"build/app", "build/app", false},      // the build tree
        {"usr/bin", "usr/share/zorvex", true},  // cmake --install, the package
        {"copied/bin", "copied/bin", false},    // its own skins win
        {"bare/bin", "bare/bin", false},        // nothing anywhere
    };
    for (const Case& c : cases) {
        const QString program = root + "/" + c.program;
        EXPECT_EQ(ProgramDataFolder(program).toStdString(), (root + "/" + c.data).toStdString());
        EXPECT_EQ(RunsInstalled(program), c.installed) << c.program;
    }
}

}  // namespace
}  // namespace zorvex::app
