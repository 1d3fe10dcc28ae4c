// zorvex --help, --version and a wrong option are answered without a display,
// as Qt's command-line conventions have it; zorvex-cli gives the same version.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/version.h"
#include "tests/support/process.h"

namespace zorvex {
namespace {

using test::RunProcess;

TEST(ProgramCommandLine, AnsweredWithoutADisplay) {
    // No display to reach: a start that created the window's application
    // object would end with Qt's abort, not with these statuses.
    const std::vector<std::string> noDisplay{"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=xcb"};
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string out;  // contained in standard output
        std::string err;  // contained in standard error
    };
    const Case cases[] = {
        {{"--version"}, 0, "Zorvex " ZORVEX_VERSION "\n", ""},
        {{"-v"}, 0, "Zorvex " ZORVEX_VERSION "\n", ""},
        {{"--help"}, 0, "Usage: zorvex [options] [FILE|FOLDER...]", ""},
        {{"a.mp4", "--no-such-option"}, 2, "", "zorvex: Unknown option 'no-such-option'."},
    };
    for (const Case& c : cases) {
        const auto r = RunProcess(ZORVEX_APP_PATH, c.args, noDisplay, 30);
        const std::string what = c.args.back();
        EXPECT_EQ(r.exitCode, c.exitCode) << what << ": " << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << what << ": " << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << what << ": " << r.err;
        if (c.exitCode == 2) {
            EXPECT_NE(r.err.find("Usage: zorvex"), std::string::npos) << "the usage follows";
            EXPECT_TRUE(r.out.empty()) << r.out;
        }
    }
    const auto cli = RunProcess(ZORVEX_CLI_PATH, {"--version"});
    EXPECT_EQ(cli.exitCode, 0);
    EXPECT_EQ(cli.out, "zorvex-cli " ZORVEX_VERSION "\n");
}

}  // namespace
}  // namespace zorvex
