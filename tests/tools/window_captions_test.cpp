#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace zorvex {
namespace {

// The window manager sees each window's caption exactly as the program gives
// it (no " — Zorvex" appended by Qt): the real program on a virtual X display,
// its format chooser found by its exact name.
TEST(WindowCaptions, TheWindowManagerSeesTheExactCaptions) {
    test::TempDir dir;
    const std::filesystem::path program = dir.File("program/zorvex");
    std::filesystem::create_directories(program.parent_path());
    std::filesystem::copy_file(ZORVEX_APP_PATH, program);
    const std::string clip = test::Fixture(
        "caption_clip.avi", "-f lavfi -i testsrc=size=160x120:rate=10 -t 1 -c:v mpeg4");
    // What the program and the X server said, shown on failure.
    const std::string log = dir.File("program.log");
    const std::string xvfbLog = dir.File("xvfb.log");
    const std::string script = R"(
"$1" "$2" >"$3" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null' EXIT
for _ in $(seq 1 200); do
    found=$(xdotool search --onlyvisible --name '选择转换格式' getwindowname %@ 2>/dev/null || true)
    if [[ -n $found ]]; then echo "$found"; xdotool search --name '^Zorvex$' >/dev/null && echo main; exit 0; fi
    sleep 0.1
done
echo "no format chooser"
)";
    auto r = test::RunProcess(
        test::kOwnDisplay,
        {"-e", xvfbLog, "bash", "-c", script, "captions", program.string(), clip, log},
        {"QT_QPA_PLATFORM=xcb", "SDL_AUDIODRIVER=dummy", "HOME=" + dir.Path(),
         "XDG_CONFIG_HOME=" + dir.File("config")},
        90);
    const auto said = [&] {
        return r.err + "\nprogram:\n" + test::ReadFile(log) + "\nXvfb:\n" + test::ReadFile(xvfbLog);
    };
    ASSERT_EQ(r.exitCode, 0) << r.out << said();
    EXPECT_EQ(r.out, "选择转换格式\nmain\n") << said();
}

}  // namespace
}  // namespace zorvex
