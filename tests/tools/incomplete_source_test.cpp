// A source cut off short of the length its container states converts what it
// has and fails with the reason, its output kept as a stopped conversion's is:
// under the output's name when nothing was there, beside an older file else.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace zorvex {
namespace {

namespace fs = std::filesystem;
using test::RunProcess;

double Duration(const std::string& file) {
    const auto r = RunProcess(
        "/usr/bin/ffprobe",
        {"-v", "error", "-show_entries", "format=duration", "-of", "default=nw=1:nk=1", file});
    return r.exitCode == 0 && !r.out.empty() ? std::stod(r.out) : -1;
}

TEST(IncompleteSource, ACutOffFileFailsWithTheReasonAndKeepsWhatWasConverted) {
    test::TempDir dir;
    for (const char* container : {"mkv", "mp4", "avi"}) {
        SCOPED_TRACE(container);
        const std::string whole = test::Fixture(
            std::string("incomplete_10s.") + container,
            std::string("-f lavfi -i testsrc=size=160x120:rate=25:duration=10 -f lavfi -i "
                        "sine=sample_rate=44100:duration=10 -c:v mpeg4 -c:a ") +
                (std::string(container) == "mp4" ? "aac -movflags +faststart" : "mp2"));
        const std::string bytes = test::ReadFile(whole);
        const std::string cut = dir.File(std::string("片段 cut.") + container);
        test::WriteFile(cut, bytes.substr(0, bytes.size() * 4 / 10));

        // Nothing at the output's name: the part converted is kept there.
        const std::string out = dir.File(std::string("out_") + container + ".avi");
        auto r = RunProcess(ZORVEX_CLI_PATH, {"transcode", "--set", "vcodec=mpeg4", "--set",
                                              "acodec=mp2", cut, out});
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        EXPECT_EQ(r.out.rfind("failed " + cut + ": " + cut + ": 源文件不完整或在转换时被改动 (", 0),
                  0u)
            << r.out;
        const double kept = Duration(out);
        EXPECT_GT(kept, 2.0) << "the part converted is kept";
        EXPECT_LT(kept, 7.0);

        // An older file at the output's name is left as it was.
        const std::string older = dir.File(std::string("older_") + container + ".avi");
        test::WriteFile(older, "older");
        r = RunProcess(ZORVEX_CLI_PATH, {"transcode", "--overwrite", "--set", "vcodec=mpeg4",
                                         "--set", "acodec=mp2", cut, older});
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        EXPECT_EQ(test::ReadFile(older), "older");
    }
    // The whole file converts as before.
    const std::string whole =
        test::Fixture("incomplete_10s.mkv",
                      "-f lavfi -i testsrc=size=160x120:rate=25:duration=10 -f lavfi -i "
                      "sine=sample_rate=44100:duration=10 -c:v mpeg4 -c:a mp2");
    auto r = RunProcess(ZORVEX_CLI_PATH, {"transcode", "--set", "vcodec=mpeg4", "--set",
                                          "acodec=mp2", whole, dir.File("whole.avi")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NEAR(Duration(dir.File("whole.avi")), 10.0, 0.2);
}

}  // namespace
}  // namespace zorvex
