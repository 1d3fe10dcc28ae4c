#include "media/probe.h"

#include <gtest/gtest.h>

#include "media/exception.h"
#include "media/log.h"
#include "media/util.h"
#include "tests/support/fixtures.h"

namespace zorvex {
namespace {

using test::Fixture;

std::string AviMpeg4Mp3() {
    return Fixture("probe_mpeg4_mp3_25fps.avi",
                   "-f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i sine=r=44100 -t 2 "
                   "-c:v mpeg4 -c:a libmp3lame -ac 2");
}

class ProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::LoadConverterLibrariesOrFail();
        Logger().SetTriggerEventInMainThread(false);
        Logger().SetOnLog(
            [this](TFFLogger*, std::uint32_t, TLogLevel level, const std::string& text) {
                logged.push_back(std::to_string(level) + ":" + text);
            });
    }
    std::vector<std::string> logged;
    TAVProbe probe;
};

bool HasLine(const std::string& text, const std::string& line) {
    return ("\r\n" + text + "\r\n").find("\r\n" + line + "\r\n") != std::string::npos;
}

TEST_F(ProbeTest, DescribesAnAviFile) {
    const std::string file = AviMpeg4Mp3();
    ASSERT_TRUE(probe.LoadFile(file)) << probe.LastError();
    EXPECT_EQ(probe.StreamCount(), 2);
    EXPECT_EQ(probe.VideoStreamCount(), 1);
    EXPECT_EQ(probe.AudioStreamCount(), 1);
    EXPECT_EQ(probe.SubtitleStreamCount(), 0);
    EXPECT_EQ(probe.FirstVideoStream(), 0);
    EXPECT_EQ(probe.FirstAudioStream(), 1);
    EXPECT_EQ(probe.FileSize(), FileSizeOf(file));

    const std::string text = probe.GetFileInfoText();
    EXPECT_EQ(text.rfind("File Name: " + file +
                             "\r\nFormat Name: avi\r\n"
                             "Format Long Name: AVI (Audio Video Interleaved)\r\nFile Size: ",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("\r\nDuration: 00:00:02."), std::string::npos);
    EXPECT_NE(text.find("\r\nBit Rate: "), std::string::npos);
    EXPECT_NE(text.find("\r\nStream #0, 1/25: Video: mpeg4"), std::string::npos) << text;
    EXPECT_NE(text.find(", 25 fps, 25 tbr, 25 tbn"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nStream #1, "), std::string::npos);
    EXPECT_NE(text.find(": Audio: mp3"), std::string::npos) << text;

    TVideoStreamInfo video;
    probe.GetVideoStreamInfo(-1, video);
    EXPECT_EQ(video.Width, 160);
    EXPECT_EQ(video.Height, 120);
    EXPECT_EQ(video.FrameRateNum, 25);
    EXPECT_EQ(video.FrameRateDen, 1);
    EXPECT_NEAR(video.DisplayAspectRatio, 4.0 / 3.0, 1e-3);
    EXPECT_EQ(video.CodecName.rfind("mpeg4(", 0), 0u) << video.CodecName;
    TAudioStreamInfo audio;
    probe.GetAudioStreamInfo(-1, audio);
    EXPECT_EQ(audio.Channels, 2);
    EXPECT_EQ(audio.SampleRate, 44100);
}

TEST_F(ProbeTest, RateTextsAndExactDurations) {
    struct Case {
        std::string file;
        std::vector<std::string> lines;  // whole lines
        std::vector<std::string> parts;  // pieces of some line
    } cases[] = {
        {Fixture("probe_5s.wav", "-f lavfi -i sine=d=5 -c:a pcm_s16le"),
         {"Duration: 00:00:05.000", "Bit Rate: 705 kb/s"},
         {"Audio: pcm_s16le", ", Duration: 00:00:05.000"}},
        {Fixture("probe_2997.nut",
                 "-f lavfi -i testsrc=size=64x48:rate=30000/1001 -t 1 -c:v rawvideo"),
         {},
         {", 29.97 fps, 29.97 tbr", ", Duration: N/A"}},
        {Fixture("probe_raw.m4v", "-f lavfi -i testsrc=size=64x48 -t 1 -c:v mpeg4 -f m4v"),
         {"Duration: N/A", "Bit Rate: N/A"},
         {}},
        {Fixture("probe_offset.ts",
                 "-f lavfi -i testsrc=size=64x48:rate=25 -t 1 -c:v mpeg2video "
                 "-output_ts_offset 10 -muxdelay 0 -muxpreload 0"),
         {"StartTime: 10.000000", "Program 1 FFmpeg@Service01"},
         {"Stream #0[0x100], 1/90000: Video: mpeg2video", ", 90k tbn", ", StartTime: 10.000000"}},
        // A start a little before zero keeps its sign.
        {Fixture("probe_negative_start.mkv",
                 "-f lavfi -i testsrc=size=64x48:rate=25 -t 0.5 -c:v mpeg4 "
                 "-output_ts_offset -0.007 -avoid_negative_ts disabled"),
         {},
         {", 1/1000: Video: mpeg4", ", StartTime: -0.007000, Duration: "}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(probe.LoadFile(c.file)) << probe.LastError();
        const std::string text = probe.GetFileInfoText();
        for (const auto& l : c.lines) EXPECT_TRUE(HasLine(text, l)) << l << " in\n" << text;
        for (const auto& p : c.parts)
            EXPECT_NE(text.find(p), std::string::npos) << p << " in\n" << text;
    }
}

TEST_F(ProbeTest, StreamTimesInTheirOwnTimeBaseAndInMicroseconds) {
    ASSERT_TRUE(
        probe.LoadFile(Fixture("probe_offset.ts",
                               "-f lavfi -i testsrc=size=64x48:rate=25 -t 1 -c:v mpeg2video "
                               "-output_ts_offset 10 -muxdelay 0 -muxpreload 0")));
    TVideoStreamInfo video;
    probe.GetVideoStreamInfo(0, video);
    EXPECT_EQ(video.StreamStartTime, 900000);
    EXPECT_EQ(video.StartTime, 10000000);
}

TEST_F(ProbeTest, LanguageOnlyMetadataPrintsNoBlock) {
    const std::string file =
        Fixture("probe_lang.ts", "-f lavfi -i sine=d=1 -c:a mp2 -metadata:s:a:0 language=eng");
    ASSERT_TRUE(probe.LoadFile(file)) << probe.LastError();
    const std::string text = probe.GetFileInfoText();
    const size_t stream = text.find("Stream #0");
    ASSERT_NE(stream, std::string::npos);
    EXPECT_NE(text.find("(eng), 1/90000: Audio: mp2", stream), std::string::npos) << text;
    EXPECT_EQ(text.find("Metadata:", stream), std::string::npos) << text;
    TAudioStreamInfo audio;
    probe.GetAudioStreamInfo(0, audio);
    EXPECT_EQ(audio.Language, "eng");
}

TEST_F(ProbeTest, ForcedFormat) {
    const std::string ps = Fixture(
        "probe_ps.mpg", "-f lavfi -i testsrc=size=64x48:rate=25 -t 1 -c:v mpeg1video -f vob");
    ASSERT_TRUE(probe.LoadFile(ps, "mpeg")) << probe.LastError();
    EXPECT_EQ(probe.FormatHint(), "mpeg");
    EXPECT_EQ(probe.FormatName(), "mpeg");

    logged.clear();
    EXPECT_FALSE(probe.LoadFile(ps, "nosuchformat"));
    EXPECT_EQ(probe.LastError(), "Unknown input format: nosuchformat");
    EXPECT_TRUE(logged.empty());
    EXPECT_EQ(probe.StreamCount(), -1);  // the earlier file is closed
    EXPECT_EQ(probe.GetFileInfoText(), "");
}

TEST_F(ProbeTest, FailuresAreReportedByResult) {
    test::TempDir dir;
    EXPECT_FALSE(probe.LoadFile(dir.File("missing.avi")));
    EXPECT_EQ(probe.LastError(), dir.File("missing.avi") + ": No such file or directory");
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged.back(), std::to_string(llError) + ":" + probe.LastError());

    test::WriteFile(dir.File("garbage.mp4"), std::string(4000, '\x5a'));
    EXPECT_FALSE(probe.LoadFile(dir.File("garbage.mp4")));
    EXPECT_EQ(probe.LastError().rfind(dir.File("garbage.mp4") + ": ", 0), 0u) << probe.LastError();

    // Half of a real file: its headers are whole, so what is there is described.
    const std::string whole = test::ReadFile(AviMpeg4Mp3());
    test::WriteFile(dir.File("truncated.avi"), whole.substr(0, whole.size() / 2));
    ASSERT_TRUE(probe.LoadFile(dir.File("truncated.avi"))) << probe.LastError();
    EXPECT_EQ(probe.VideoStreamCount(), 1);
    EXPECT_EQ(probe.AudioStreamCount(), 1);
    const std::string text = probe.GetFileInfoText();
    EXPECT_NE(text.find("Stream #0, 1/25: Video: mpeg4"), std::string::npos) << text;
    EXPECT_NE(text.find(": Audio: mp3"), std::string::npos) << text;

    // Only its first bytes: too little to be anything.
    test::WriteFile(dir.File("stub.avi"), whole.substr(0, 64));
    EXPECT_FALSE(probe.LoadFile(dir.File("stub.avi")));
    EXPECT_EQ(probe.LastError().rfind(dir.File("stub.avi") + ": ", 0), 0u) << probe.LastError();
}

TEST_F(ProbeTest, StreamQuestionsThatCannotBeAnswered) {
    TAudioStreamInfo audio;
    probe.GetAudioStreamInfo(-1, audio);
    EXPECT_EQ(probe.LastError(), "file not loaded.");

    ASSERT_TRUE(probe.LoadFile(
        Fixture("probe_video_only.avi", "-f lavfi -i testsrc=size=64x48 -t 1 -c:v mpeg4")));
    probe.GetAudioStreamInfo(-1, audio);
    EXPECT_EQ(probe.LastError(), "no audio stream.");
    EXPECT_EQ(audio.Channels, -1);
    EXPECT_EQ(audio.SampleRate, -1);
    EXPECT_EQ(audio.BitRate, -1);
    EXPECT_EQ(audio.Duration, -1);
    EXPECT_EQ(audio.CodecName, "");

    ASSERT_TRUE(probe.LoadFile(AviMpeg4Mp3()));
    TVideoStreamInfo video;
    probe.GetVideoStreamInfo(5, video);
    EXPECT_EQ(probe.LastError(), "stream index #5 is invalid.");
    EXPECT_EQ(video.Width, -1);
    EXPECT_FLOAT_EQ(video.DisplayAspectRatio, -1.0f);
    probe.GetVideoStreamInfo(1, video);
    EXPECT_EQ(probe.LastError(), "stream #1 is not video stream.");
    probe.GetAudioStreamInfo(0, audio);
    EXPECT_EQ(probe.LastError(), "stream #0 is not audio stream.");
}

TEST(Probe, RefusesWithoutItsLibraries) {
    TAVProbe probe;
    try {
        probe.LoadFile("/tmp/x.avi");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "LibAVCodec not loaded.");
    }
}

}  // namespace
}  // namespace zorvex
