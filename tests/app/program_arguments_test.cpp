// The program's command line: files, Qt's own options, and what is refused.
#include "app/core/workbench/program_arguments.h"

#include <gtest/gtest.h>

namespace zorvex::app {
namespace {

using Action = ProgramArguments::Action;

TEST(ProgramArguments, FilesAndTheOptionsOfQtsApplicationObject) {
    struct Case {
        QStringList arguments;
        Action action;
        QStringList files;
    };
    const Case cases[] = {
        {{"zorvex"}, Action::Run, {}},
        {{"zorvex", "片名 1.mp4", "/媒体/文件夹"}, Action::Run, {"片名 1.mp4", "/媒体/文件夹"}},
        // Left to QApplication, which reads them itself.
        {{"zorvex", "-platform", "offscreen", "-style", "fusion", "-reverse", "a.mp4"},
         Action::Run,
         {"a.mp4"}},
        {{"zorvex", "--", "-开头.mp4", "--help"}, Action::Run, {"-开头.mp4", "--help"}},
        {{"zorvex", "a.mp4", "--version"}, Action::Version, {}},
        {{"zorvex", "-h"}, Action::Help, {}},
        {{"zorvex", "--help-all"}, Action::Help, {}},
        {{"zorvex", "--bogus", "a.mp4"}, Action::Usage, {}},
        {{"zorvex", "-x"}, Action::Usage, {}},
        {{"zorvex", "-platform"}, Action::Usage, {}},  // its value is missing
    };
    for (const Case& c : cases) {
        const ProgramArguments parsed = ParseProgramArguments(c.arguments);
        EXPECT_EQ(parsed.action, c.action) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(parsed.files, c.files) << c.arguments.join(' ').toStdString();
    }
}

}  // namespace
}  // namespace zorvex::app
