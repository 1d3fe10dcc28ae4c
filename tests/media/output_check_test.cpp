// Which encoder and container pairs can be written, asked of the libraries;
// and the engine writing a pair the container takes only as experimental.
#include "media/output_check.h"

#include <gtest/gtest.h>

#include "tests/media/engine/engine_fixture.h"
#include "tests/media/engine/transcode_support.h"

namespace zorvex::test {
namespace {

TOutputOptions Record(const std::string& file, const std::string& video, const std::string& audio) {
    TOutputOptions r;
    InitOutputOptions(r);
    r.FileName = file;
    r.VideoCodec = video;
    r.AudioCodec = audio;
    return r;
}

class OutputCheckTest : public EngineTest {};

TEST_F(OutputCheckTest, PairsAsTheLibrariesWriteThem) {
    struct Case {
        const char* name;
        TOutputOptions record;
        OutputCheck::Verdict verdict;
        bool audioAtFault;
        const char* encoder;  // at fault
    };
    TOutputOptions audioOnly = Record("a.mp3", "", "");
    audioOnly.DisableVideo = true;
    TOutputOptions dvd = Record("d.mpg", "", "");
    dvd.TargetType = 3;
    TOutputOptions ogg = Record("o.ogg", "", "libvorbis");
    ogg.DisableVideo = true;
    ogg.AudioSampleRate = 11025;
    ogg.AudioBitrate = 320000;
    TOutputOptions oggFits = ogg;
    oggFits.AudioBitrate = 64000;
    TOutputOptions wma = Record("w.wma", "", "wmav2");
    wma.DisableVideo = true;
    wma.AudioBitrate = 16000;
    const Case cases[] = {
        {"h264+aac in mp4", Record("a.mp4", "libx264", "aac"), OutputCheck::Fits, false, ""},
        {"container defaults of avi", Record("a.avi", "", ""), OutputCheck::Fits, false, ""},
        {"sound only", audioOnly, OutputCheck::Fits, false, ""},
        {"dvd target", dvd, OutputCheck::Fits, false, ""},
        {"flac in mp4", Record("a.mp4", "libx264", "flac"), OutputCheck::NeedsExperimental, false,
         ""},
        // The QuickTime muxer takes FLAC in MP4 only.
        {"flac in mov", Record("a.mov", "", "flac"), OutputCheck::ContainerRefuses, true, "flac"},
        {"aac in mpeg-ps", Record("a.mpg", "mpeg1video", "aac"), OutputCheck::ContainerRefuses,
         true, "aac"},
        {"flac in vob", Record("a.vob", "", "flac"), OutputCheck::ContainerRefuses, true, "flac"},
        {"ac3 in flv", Record("a.flv", "", "ac3"), OutputCheck::ContainerRefuses, true, "ac3"},
        {"aac in swf", Record("a.swf", "", "aac"), OutputCheck::ContainerRefuses, true, "aac"},
        {"h264 in swf", Record("a.swf", "libx264", ""), OutputCheck::ContainerRefuses, false,
         "libx264"},
        {"320 kbps vorbis at 11025 Hz", ogg, OutputCheck::EncoderRefuses, true, "libvorbis"},
        {"64 kbps vorbis at 11025 Hz", oggFits, OutputCheck::Fits, false, ""},
        {"16 kbps wma", wma, OutputCheck::EncoderRefuses, true, "wmav2"},
        {"an encoder the libraries lack", Record("a.avi", "nosuchcodec", ""), OutputCheck::Unknown,
         false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const OutputCheck check = CheckOutput(c.record);
        EXPECT_EQ(check.verdict, c.verdict);
        if (c.verdict == OutputCheck::ContainerRefuses ||
            c.verdict == OutputCheck::EncoderRefuses) {
            EXPECT_EQ(check.audio, c.audioAtFault);
            EXPECT_EQ(check.encoder, c.encoder);
        }
    }
    const OutputCheck ogg320 = CheckOutput(ogg);
    EXPECT_TRUE(ogg320.bitRateAtFault);
    EXPECT_EQ(ogg320.sampleRate, 11025);
    EXPECT_EQ(ogg320.bitRate, 320000);
    EXPECT_EQ(CheckOutput(Record("a.mpg", "", "aac")).muxer, "mpeg");
}

TEST_F(OutputCheckTest, EngineWritesFlacIntoMp4) {
    TempDir dir;
    const std::string input =
        Fixture("check_tone.wav", "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1");
    const std::string out = dir.File("flac.mp4");
    const RunOutcome r = RunTask(engine, input, out, {{"acodec", "flac"}});
    ASSERT_TRUE(r.started) << r.configError;
    ASSERT_TRUE(r.finished) << r.message;
    const ProbedFile f = Probe(out);
    ASSERT_TRUE(f.ok) << f.error;
    ASSERT_NE(f.Find("audio"), nullptr);
    EXPECT_EQ(f.Find("audio")->codec, "flac");
}

}  // namespace
}  // namespace zorvex::test
