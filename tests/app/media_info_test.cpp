#include "app/core/mediainfo/media_info.h"

#include <gtest/gtest.h>

#include "media/probe.h"
#include "tests/support/fixtures.h"

namespace zorvex::app {
namespace {

MediaInfoTexts Probed(const std::string& file) {
    TAVProbe probe;
    return MakeMediaInfoTexts(ProbeMediaInfo(probe, file));
}

TEST(MediaInfoTest, VideoWithSound) {
    test::LoadConverterLibrariesOrFail();
    const std::string file = test::Fixture(
        "info_av.avi",
        "-f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i sine=sample_rate=44100 -t 2 "
        "-c:v mpeg4 -b:v 200k -c:a mp2 -ac 2 -b:a 128k");
    const MediaInfoTexts t = Probed(file);
    EXPECT_EQ(t.fileName, "info_av.avi");
    EXPECT_EQ(t.formatName, "avi");
    EXPECT_EQ(t.formatLongName, "AVI (Audio Video Interleaved)");
    EXPECT_EQ(t.extension, ".avi");
    EXPECT_EQ(t.duration, " 00:00:02");
    // The size text keeps its leading space and the line break.
    EXPECT_TRUE(t.fileSize.startsWith(' ') && t.fileSize.endsWith(" KB\r\n"))
        << t.fileSize.toStdString();
    EXPECT_TRUE(t.bitRate.startsWith(' ') && t.bitRate.endsWith(" kb/s"))
        << t.bitRate.toStdString();
    EXPECT_EQ(t.resolution, "160*120");
    EXPECT_EQ(t.frameRate, "25.00");
    EXPECT_TRUE(t.videoBitRate.endsWith("  kbps"));
    EXPECT_TRUE(t.videoStream.startsWith("Video: mpeg4")) << t.videoStream.toStdString();
    EXPECT_TRUE(t.videoStream.contains("160x120"));
    EXPECT_FALSE(t.videoStream.contains("StartTime"));
    EXPECT_EQ(t.sampleRate, "44100");
    EXPECT_EQ(t.channels, "立体声");
    EXPECT_EQ(t.audioBitRate, "128  kbps");
    EXPECT_TRUE(t.audioStream.startsWith("Audio: mp2")) << t.audioStream.toStdString();
    EXPECT_TRUE(t.audioStream.contains("44100 Hz, stereo"));
    EXPECT_FALSE(t.audioStream.contains("StartTime"));
}

TEST(MediaInfoTest, AudioOnlyShowsNoVideo) {
    test::LoadConverterLibrariesOrFail();
    // A title holding a stream marker must not be taken for a stream.
    const std::string file = test::Fixture(
        "info_mono.mp3",
        "-f lavfi -i sine=sample_rate=22050 -t 2 -ac 1 -b:a 32k -metadata title='Video: x'");
    const MediaInfoTexts t = Probed(file);
    EXPECT_EQ(t.videoStream, "无");
    EXPECT_EQ(t.resolution, "-1*-1");
    EXPECT_EQ(t.frameRate, "1.00");
    EXPECT_EQ(t.videoBitRate, "0  kbps");
    EXPECT_EQ(t.channels, "单声道");
    EXPECT_EQ(t.sampleRate, "22050");
    EXPECT_EQ(t.audioBitRate, "32  kbps");
    EXPECT_TRUE(t.audioStream.startsWith("Audio: mp3, 22050 Hz, mono"))
        << t.audioStream.toStdString();
}

TEST(MediaInfoTest, VideoOnlyShowsNoSound) {
    test::LoadConverterLibrariesOrFail();
    const std::string file = test::Fixture(
        "info_ntsc.mkv", "-f lavfi -i testsrc=size=96x64:rate=30000/1001 -t 1 -c:v mpeg4");
    const MediaInfoTexts t = Probed(file);
    EXPECT_EQ(t.frameRate, "29.97");
    EXPECT_EQ(t.resolution, "96*64");
    EXPECT_EQ(t.audioStream, "无");
    EXPECT_EQ(t.sampleRate, "-1");
    EXPECT_EQ(t.audioBitRate, "0  kbps");
    EXPECT_EQ(t.channels, "无");
}

TEST(MediaInfoTest, UnknownDurationAndStartTime) {
    test::LoadConverterLibrariesOrFail();
    // A raw stream: no container duration, and no start time anywhere.
    const std::string file = test::Fixture(
        "info_raw.m4v", "-f lavfi -i testsrc=size=96x64:rate=25 -t 1 -c:v mpeg4 -f m4v");
    const MediaInfoTexts t = Probed(file);
    EXPECT_EQ(t.duration, "");
    EXPECT_EQ(t.bitRate, " N/A");
    EXPECT_TRUE(t.videoStream.startsWith("Video: mpeg4")) << t.videoStream.toStdString();
    EXPECT_FALSE(t.videoStream.contains("Duration")) << t.videoStream.toStdString();
}

TEST(MediaInfoTest, SixChannelSound) {
    test::LoadConverterLibrariesOrFail();
    const std::string file =
        test::Fixture("info_six.ac3", "-f lavfi -i sine=sample_rate=48000 -t 1 -ac 6 -c:a ac3");
    EXPECT_EQ(Probed(file).channels, "6声道");
}

TEST(MediaInfoTest, AFileTheProbeCannotOpenGivesEmptyTexts) {
    test::LoadConverterLibrariesOrFail();
    test::TempDir dir;
    test::WriteFile(dir.File("junk.avi"), std::string(100, '\0'));
    const MediaInfoTexts t = Probed(dir.File("junk.avi"));
    EXPECT_EQ(t.videoStream, "无");
    EXPECT_EQ(t.audioStream, "无");
    EXPECT_EQ(t.duration, "");
    EXPECT_EQ(t.fileSize, "");
    EXPECT_EQ(t.bitRate, "");
    EXPECT_EQ(t.channels, "无");
}

// Cutting the information text: the probe's layout, and texts lacking parts of it.
TEST(MediaInfoTextTest, CutsWithinTheirLines) {
    const QString text =
        "File Name: /m/Bit Rate: 1/Duration: 2.avi\r\n"
        "Format Name: avi\r\n"
        "Format Long Name: AVI\r\n"
        "File Size: 1.50 MB\r\n"
        "Duration: 101:02:03.456\r\n"
        "Bit Rate: N/A\r\n"
        "Metadata:\r\n"
        "  title           : Audio: fake, StartTime: 1\r\n"
        "Stream #0, 1/25: Video: h264, yuv420p, 96x64, 25 fps, Duration: N/A\r\n"
        "Stream #1, 1/44100: Audio: aac, 44100 Hz, StartTime: 0.000000, Duration: 00:00:01.000";
    using namespace info_text;
    EXPECT_EQ(FileSizeText(text), " 1.50 MB\r\n");
    EXPECT_EQ(DurationText(text), " 101:02:03");
    EXPECT_EQ(BitRateText(text), " N/A");
    EXPECT_EQ(StreamText(text, "Video:"), "Video: h264, yuv420p, 96x64, 25 fps");
    EXPECT_EQ(StreamText(text, "Audio:"), "Audio: aac, 44100 Hz");
}

TEST(MediaInfoTextTest, MissingPartsGiveEmptyTexts) {
    struct Case {
        const char* text;
        const char* fileSize;
        const char* duration;
        const char* bitRate;
    };
    const Case cases[] = {
        {"", "", "", ""},
        {"File Size: 12 Byte", " 12 Byte", "", ""},
        {"File Size: 12 Byte\r\nDuration: N/A\r\nBit Rate: 123456789 kb/s", " 12 Byte\r\n", "",
         " 123456789"},
        {"Duration: 0\r\nBit Rate: 12345 kb/s\r\nStream #0, 1/1: Data: none", "", "", " 12345 kb/"},
        {"Bit Rate: 640 kb/s\r\nStream #0", "", "", " 640 kb/s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(info_text::FileSizeText(c.text), c.fileSize);
        EXPECT_EQ(info_text::DurationText(c.text), c.duration);
        EXPECT_EQ(info_text::BitRateText(c.text), c.bitRate);
        EXPECT_EQ(info_text::StreamText(c.text, "Video:"), "无");
    }
}

TEST(MediaInfoTextTest, NumbersAndChannels) {
    EXPECT_EQ(KbpsText(128500), "128  kbps");  // a half goes to the even neighbour
    EXPECT_EQ(KbpsText(129500), "130  kbps");
    EXPECT_EQ(KbpsText(128501), "129  kbps");
    EXPECT_EQ(KbpsText(-1), "0  kbps");
    EXPECT_EQ(KbpsText(0), "0  kbps");
    EXPECT_EQ(FrameRateText(30000, 1001), "29.97");
    EXPECT_EQ(FrameRateText(-1, -1), "1.00");
    EXPECT_EQ(FrameRateText(25, 0), "0.00");
    EXPECT_EQ(FrameRateText(0, 0), "0.00");
    EXPECT_EQ(ChannelsText(1), "单声道");
    EXPECT_EQ(ChannelsText(2), "立体声");
    EXPECT_EQ(ChannelsText(6), "6声道");
    EXPECT_EQ(ChannelsText(-1), "无");
    EXPECT_EQ(ChannelsText(0), "无");
}

}  // namespace
}  // namespace zorvex::app
