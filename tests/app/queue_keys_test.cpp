#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace zorvex {
namespace {

// Down pressed three times 30 ms apart from row 1, on a real X display while
// each selection opens its file in the preview: the cursor, the selection, the
// controller's row (what "移除" removes) and the previewed file all end on
// row 4. Waits that serve the window must not take the user's keys meanwhile.
TEST(QueueKeys, QuickDownPressesEndOnOneRow) {
    test::TempDir dir;
    const std::string clip = test::Fixture(
        "queue_keys.avi",
        "-f lavfi -i testsrc=size=640x360:rate=25 -f lavfi -i sine=sample_rate=44100 -t 2 "
        "-c:v mpeg4 -c:a mp2");
    std::vector<std::string> args = {ZORVEX_QUEUE_KEYS_PATH};
    for (int i = 0; i < 5; ++i) {
        const std::string copy = dir.File("片段 " + std::to_string(i) + ".avi");
        std::filesystem::copy_file(clip, copy);
        args.push_back(copy);
    }
    auto r = test::RunProcess(test::kOwnDisplay, args,
                              {"QT_QPA_PLATFORM=xcb", "SDL_AUDIODRIVER=dummy"}, 120);
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "current=3 selected=3 controller=3 previewed=3\n") << r.err;
}

}  // namespace
}  // namespace zorvex
