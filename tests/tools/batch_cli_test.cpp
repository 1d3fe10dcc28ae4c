// zorvex-cli batch: one task per file into the output folder, N at a time,
// a line per task and the exit code of the whole batch.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "tests/support/fixtures.h"
#include "tests/support/process.h"
#include "tests/tools/format_expectations.h"

namespace zorvex::test {
namespace {

std::string Clip() {
    return Fixture("batch_cli.mkv",
                   "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
                   "sine=sample_rate=44100:duration=1 -c:v mpeg4 -c:a pcm_s16le");
}

std::vector<std::string> SortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(CliBatch, ConvertsEveryFileAndFailsTheBatchForABadOne) {
    TempDir dir;
    const std::string second = dir.File("second.mkv");
    std::filesystem::copy_file(Clip(), second);
    const std::string bad = dir.File("bad.avi");
    WriteFile(bad, "not media");
    const std::string out = dir.File("out");
    const ProcessResult r =
        RunProcess(ZORVEX_CLI_PATH,
                   {"batch", "--jobs", "2", "--set", "vcodec=mjpeg", "--set", "s=176x144", "--set",
                    "acodec=pcm_s16le", "--out", out, "--ext", "avi", Clip(), second, bad});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const auto lines = SortedLines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0], "done " + out + "/batch_cli.avi");
    EXPECT_EQ(lines[1], "done " + out + "/second.avi");
    EXPECT_EQ(lines[2].rfind("failed " + bad + ": ", 0), 0u) << lines[2];
    EXPECT_NE(r.err.find("batch_cli.mkv: progress 100%"), std::string::npos) << r.err;
    for (const char* name : {"/batch_cli.avi", "/second.avi"}) {
        std::string error;
        const ProbeFacts facts = Probe(out + name, &error);
        EXPECT_EQ(facts.videoCodec, "mjpeg") << error;
        EXPECT_EQ(facts.width, 176);
        EXPECT_EQ(facts.audioCodec, "pcm_s16le");
    }

    // Every file converted: exit 0; an existing output that is no source is replaced.
    const ProcessResult again = RunProcess(
        ZORVEX_CLI_PATH, {"batch", "--out", out, "--ext", ".avi", "--set", "vcodec=mpeg4", second});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.out, "done " + out + "/second.avi\n");
}

// Two sources of the same name into a folder that holds one of them, reached
// through a link: no output is written over a source or another output.
TEST(CliBatch, NeverWritesOverASourceOrAnotherOutput) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("a"));
    std::filesystem::create_directories(dir.File("b"));
    std::filesystem::copy_file(Clip(), dir.File("a/clip.mkv"));
    std::filesystem::copy_file(Clip(), dir.File("b/clip.mkv"));
    std::filesystem::create_directory_symlink(dir.File("a"), dir.File("via"));
    const std::string sourceA = ReadFile(dir.File("a/clip.mkv"));
    const std::string sourceB = ReadFile(dir.File("b/clip.mkv"));
    const ProcessResult r = RunProcess(
        ZORVEX_CLI_PATH, {"batch", "--jobs", "auto", "--out", dir.File("via"), "--ext", "mkv",
                          "--set", "vcodec=mpeg4", dir.File("a/clip.mkv"), dir.File("b/clip.mkv")});
    const auto lines = SortedLines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out << r.err;
    EXPECT_EQ(lines[0], "done " + dir.File("via/clip(New_1).mkv"));
    EXPECT_EQ(lines[1], "done " + dir.File("via/clip(New_2).mkv"));
    EXPECT_TRUE(ReadFile(dir.File("a/clip.mkv")) == sourceA) << "a/clip.mkv changed";
    EXPECT_TRUE(ReadFile(dir.File("b/clip.mkv")) == sourceB) << "b/clip.mkv changed";
    for (const char* name : {"a/clip(New_1).mkv", "a/clip(New_2).mkv"})
        EXPECT_EQ(Probe(dir.File(name)).videoCodec, "mpeg4") << name;
}

// The output folder is a link, and links inside it point up from where they
// really are: the file such a link names is replaced, never the file its
// path's text would name, and a link onto a source gets a name of its own.
TEST(CliBatch, LinksInALinkedOutputFolderAreFollowedOnDisk) {
    TempDir dir;
    namespace fs = std::filesystem;
    for (const char* folder : {"real/sub", "real/archive", "archive", "src"})
        fs::create_directories(dir.File(folder));
    fs::copy_file(Clip(), dir.File("src/other.mkv"));
    fs::copy_file(Clip(), dir.File("real/clip.mkv"));
    WriteFile(dir.File("real/archive/other.mkv"), "replaced by the batch");
    WriteFile(dir.File("archive/other.mkv"), "unrelated");
    fs::create_directory_symlink("real/sub", dir.File("out"));
    fs::create_symlink("../archive/other.mkv", dir.File("real/sub/other.mkv"));
    fs::create_symlink("../clip.mkv", dir.File("real/sub/clip.mkv"));
    const std::string source = ReadFile(dir.File("real/clip.mkv"));
    const ProcessResult r = RunProcess(
        ZORVEX_CLI_PATH, {"batch", "--out", dir.File("out"), "--ext", "mkv", "--set",
                          "vcodec=mpeg4", dir.File("src/other.mkv"), dir.File("real/clip.mkv")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(SortedLines(r.out),
              (std::vector<std::string>{"done " + dir.File("out/clip(New_1).mkv"),
                                        "done " + dir.File("out/other.mkv")}));
    EXPECT_EQ(ReadFile(dir.File("archive/other.mkv")), "unrelated");
    EXPECT_TRUE(ReadFile(dir.File("real/clip.mkv")) == source) << "the source changed";
    EXPECT_TRUE(fs::is_symlink(dir.File("real/sub/other.mkv")));
    EXPECT_EQ(Probe(dir.File("real/archive/other.mkv")).videoCodec, "mpeg4");
    EXPECT_EQ(Probe(dir.File("real/sub/clip(New_1).mkv")).videoCodec, "mpeg4");
}

// A source whose name is near the limit of one name on disk, converted into
// its own folder: its output's "(New_1)" name is cut at a character to fit.
TEST(CliBatch, ALongNamedSourceGetsAnOutputNameThatFits) {
    TempDir dir;
    std::string base;
    for (int i = 0; i < 83; ++i) base += "长";  // 249 bytes
    const std::string source = dir.File(base + ".mkv");
    std::filesystem::copy_file(Clip(), source);
    const ProcessResult r = RunProcess(ZORVEX_CLI_PATH, {"batch", "--out", dir.Path(), "--ext",
                                                         "mkv", "--set", "vcodec=mpeg4", source});
    const std::string output = dir.File(base.substr(0, 81 * 3) + "(New_1).mkv");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "done " + output + "\n");
    EXPECT_EQ(Probe(output).videoCodec, "mpeg4");
}

TEST(CliBatch, UsageErrorsExitTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {"batch", "--ext", "avi", "a.mkv"},
        {"batch", "--out", "/tmp", "a.mkv"},
        {"batch", "--out", "/tmp", "--ext", "avi"},
        {"batch", "--jobs", "0", "--out", "/tmp", "--ext", "avi", "a.mkv"},
        {"batch", "--bogus", "1", "--out", "/tmp", "--ext", "avi", "a.mkv"},
    };
    for (const auto& args : bad) {
        const ProcessResult r = RunProcess(ZORVEX_CLI_PATH, args);
        EXPECT_EQ(r.exitCode, 2) << args[1];
        EXPECT_NE(r.err.find("usage: zorvex-cli batch"), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace zorvex::test
