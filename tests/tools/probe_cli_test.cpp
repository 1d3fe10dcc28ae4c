#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace zorvex {
namespace {

using test::RunProcess;

TEST(CliProbe, PrintsEachFileSeparatedByAnEmptyLine) {
    test::TempDir dir;
    const std::string clip =
        test::Fixture("cli_probe.avi", "-f lavfi -i testsrc=size=64x48:rate=25 -t 1 -c:v mpeg4");
    const std::string odd = dir.File("视频 文件 (1).avi");  // Chinese, spaces, brackets
    std::filesystem::copy_file(clip, odd);

    auto r = RunProcess(ZORVEX_CLI_PATH, {"probe", odd, clip});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find('\r'), std::string::npos);
    EXPECT_EQ(r.out.rfind("File Name: " + odd + "\nFormat Name: avi\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\n\nFile Name: " + clip + "\n"), std::string::npos) << r.out;
}

TEST(CliProbe, BadFilesGiveAClearErrorAndExitOne) {
    test::TempDir dir;
    const std::string whole = test::ReadFile(
        test::Fixture("cli_probe.avi", "-f lavfi -i testsrc=size=64x48:rate=25 -t 1 -c:v mpeg4"));
    test::WriteFile(dir.File("truncated.avi"), whole.substr(0, 600));
    test::WriteFile(dir.File("garbage.mkv"), std::string(5000, '\x17'));
    test::WriteFile(dir.File("empty.mp4"), "");
    for (const char* name : {"truncated.avi", "garbage.mkv", "empty.mp4", "missing.avi"}) {
        auto r = RunProcess(ZORVEX_CLI_PATH, {"probe", dir.File(name)});
        EXPECT_EQ(r.signal, 0) << name;
        EXPECT_EQ(r.exitCode, 1) << name << "\n" << r.out << r.err;
        EXPECT_EQ(r.err.rfind(dir.File(name) + ": ", 0), 0u) << r.err;
    }
}

TEST(CliProbe, UsageAndHelp) {
    auto r = RunProcess(ZORVEX_CLI_PATH, {"probe"});
    EXPECT_EQ(r.exitCode, 2);
    r = RunProcess(ZORVEX_CLI_PATH, {"nosuchcommand"});
    EXPECT_EQ(r.exitCode, 2);
    r = RunProcess(ZORVEX_CLI_PATH, {"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("  probe FILE..."), std::string::npos) << r.out;
}

TEST(Binaries, LinkNoMediaLibrary) {
    for (const char* binary : {ZORVEX_CLI_PATH, ZORVEX_APP_PATH}) {
        auto r = RunProcess("/usr/bin/readelf", {"-d", binary});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("NEEDED"), std::string::npos);
        for (const char* lib : {"libavcodec", "libavformat", "libavutil", "libavfilter",
                                "libswscale", "libswresample", "libSDL2"}) {
            EXPECT_EQ(r.out.find(lib), std::string::npos) << binary << " links " << lib;
        }
    }
}

}  // namespace
}  // namespace zorvex
