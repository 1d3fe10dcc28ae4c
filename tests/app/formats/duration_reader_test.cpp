// The settings window's length read through its own converter component.
#include "app/core/formats/duration_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/fixtures.h"

namespace zorvex::app {
namespace {

TEST(DurationRead, ThroughTheConverterComponent) {
    test::LoadConverterLibrariesOrFail();
    const std::string clip = test::Fixture(
        "duration_3s.mpg", "-f lavfi -i testsrc=size=160x120:rate=25 -t 3 -c:v mpeg1video");
    {
        TDAdadiZUZ probe;
        if (probe.AddTask(clip) < 0 &&
            probe.LastError() == "the converter is not available in this build") {
            GTEST_SKIP() << "the converter component is a placeholder in this build";
        }
    }
    ConverterDurationReader reader;
    const std::int64_t length = reader.ReadDuration(clip);
    EXPECT_NEAR(length / 1e6, 3.0, 0.1);
    EXPECT_EQ(reader.Converter().TaskCount(), 0);  // cleared after the read

    // A ".DAT" file (video CD) is read as MPEG whatever its contents suggest.
    test::TempDir dir;
    const std::string dat = dir.File("AVSEQ01.DAT");
    std::filesystem::copy_file(clip, dat);
    EXPECT_NEAR(reader.ReadDuration(dat) / 1e6, 3.0, 0.1);

    EXPECT_EQ(reader.ReadDuration(dir.File("missing.avi")), -1);
    test::WriteFile(dir.File("junk.avi"), "not media");
    EXPECT_EQ(reader.ReadDuration(dir.File("junk.avi")), -1);
    EXPECT_EQ(reader.ReadDuration(""), -1);
}

}  // namespace
}  // namespace zorvex::app
