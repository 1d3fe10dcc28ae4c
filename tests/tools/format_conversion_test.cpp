// Every catalogue format converts a short clip into what its defaults ask for:
// container, codecs, frame size and rate, sample rate and channels, as ffprobe
// sees them.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/core/formats/format_catalogue.h"
#include "tests/support/fixtures.h"
#include "tests/support/process.h"
#include "tests/tools/format_expectations.h"

namespace zorvex::test {
namespace {

constexpr const char* kUnavailable = "the converter is not available in this build";

std::string Clip(int seconds) {
    const std::string s = std::to_string(seconds);
    return Fixture(
        "format_clip_" + s + "s.avi",
        "-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 "
        "-ac 2 -t " +
            s + " -c:v mpeg4 -q:v 5 -c:a libmp3lame");
}

std::vector<int> AllFormatIds() {
    std::vector<int> ids;
    for (const app::FormatEntry& f : app::Formats()) ids.push_back(f.id);
    return ids;
}

class FormatOutput : public ::testing::TestWithParam<int> {};

// The records of each format, given to Debian's ffmpeg as equivalent options:
// checks the catalogue's data and the expectations against an independent
// transcoder on the same libraries.
TEST_P(FormatOutput, DebianFfmpegHonoursTheRecords) {
    TempDir dir;
    const std::string source = Clip(1);
    const TOutputOptions record = DefaultOutputRecord(GetParam(), source, dir.Path());
    std::vector<std::string> args = {"-nostdin", "-v", "error", "-y", "-i", source};
    for (std::string& a : FfmpegArguments(record)) args.push_back(std::move(a));
    args.push_back(record.FileName);
    const ProcessResult run = RunProcess("/usr/bin/ffmpeg", args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::string err;
    const ProbeFacts actual = Probe(record.FileName, &err);
    ASSERT_FALSE(actual.formatName.empty()) << err;
    EXPECT_EQ(Differences(ExpectedFacts(record, SourceClip()), actual), "");
}

TEST_P(FormatOutput, ZorvexCliConverts) {
    TempDir dir;
    const std::string source = Clip(3);
    const ProcessResult run = RunProcess(
        ZORVEX_CLI_PATH,
        {"convert", "--format", std::to_string(GetParam()), "--out", dir.Path(), source}, {}, 300);
    if (run.out.find(kUnavailable) != std::string::npos) {
        GTEST_SKIP() << "the converter component is a placeholder in this build";
    }
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const std::string prefix = "done ";
    ASSERT_EQ(run.out.rfind(prefix, 0), 0u) << run.out;
    const std::string output = run.out.substr(prefix.size(), run.out.find('\n') - prefix.size());
    const TOutputOptions record = DefaultOutputRecord(GetParam(), source, dir.Path());
    EXPECT_EQ(output, record.FileName);
    std::string err;
    const ProbeFacts actual = Probe(output, &err);
    ASSERT_FALSE(actual.formatName.empty()) << err;
    EXPECT_EQ(Differences(ExpectedFacts(record, SourceClip()), actual), "");
}

INSTANTIATE_TEST_SUITE_P(Catalogue, FormatOutput, ::testing::ValuesIn(AllFormatIds()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Format" + std::to_string(info.param);
                         });

}  // namespace
}  // namespace zorvex::test
