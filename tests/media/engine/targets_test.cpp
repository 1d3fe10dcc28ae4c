// Disc targets: the values each target sets, how the norm is chosen, and that
// the values reach the encoders and the multiplexer of the output.
#include <gtest/gtest.h>

#include "media/ffapi.h"
#include "tests/media/engine/engine_fixture.h"

namespace zorvex::test {
namespace {

std::int64_t PrivateInt(void* object, const char* name) {
    std::int64_t v = -1;
    ff::av_opt_get_int(object, name, 0, &v);
    return v;
}

class TargetTest : public EngineTest {
protected:
    TOutputFile& Output(const char* name) {
        const int n = engine.AddOutputFile(dir_.File(name), false);
        EXPECT_GE(n, 1) << engine.LastError();
        return *engine.OutputFiles.at(static_cast<size_t>(n - 1));
    }
    TempDir dir_;
};

TEST_F(TargetTest, PalDvdReachesEncodersAndMultiplexer) {
    Option("target", "pal-dvd");
    EXPECT_EQ(S.FrameWidth, 720);
    EXPECT_EQ(S.FrameHeight, 576);
    EXPECT_EQ(S.FrameRate.num, 25);
    EXPECT_EQ(S.FrameRate.den, 1);
    EXPECT_EQ(S.AudioSampleRate, 48000);
    EXPECT_FLOAT_EQ(S.FrameAspectRatio, 16.0f / 9.0f);
    EXPECT_TRUE(Logged(llInfo, "Assuming 16:9 for aspect ratio"));
    EXPECT_FALSE(LoggedAnywhere("for target."));  // the norm was given

    TOutputFile& out = Output("disc.vob");
    EXPECT_STREQ(out.Context->oformat->name, "dvd");
    ASSERT_EQ(out.Streams.size(), 2u);
    const AVCodecContext* v = out.Streams[0].Codec.get();
    const AVCodecContext* a = out.Streams[1].Codec.get();
    EXPECT_STREQ(out.Streams[0].Encoder->name, "mpeg2video");
    EXPECT_STREQ(out.Streams[1].Encoder->name, "ac3");
    EXPECT_EQ(v->width, 720);
    EXPECT_EQ(v->height, 576);
    EXPECT_EQ(v->time_base.num, 1);
    EXPECT_EQ(v->time_base.den, 25);
    EXPECT_EQ(v->gop_size, 15);
    EXPECT_EQ(v->bit_rate, 6000000);
    EXPECT_EQ(v->rc_max_rate, 9000000);
    EXPECT_EQ(v->rc_buffer_size, 1835008);
    EXPECT_EQ(v->sample_aspect_ratio.num * 720 * 9,
              v->sample_aspect_ratio.den * 576 * 16);  // 16:9 display
    EXPECT_EQ(a->bit_rate, 448000);                    // not the video bit rate
    EXPECT_EQ(a->sample_rate, 48000);
    EXPECT_EQ(out.Context->packet_size, 2048u);
    EXPECT_EQ(PrivateInt(out.Context->priv_data, "muxrate"), 10080000);
    EXPECT_EQ(PrivateInt(out.Context->priv_data, "preload"), 500000);
    EXPECT_EQ(out.Context->max_delay, 700000);
}

TEST_F(TargetTest, NtscVcd) {
    S.AudioChannels = 1;
    Option("target", "ntsc-vcd");
    EXPECT_EQ(S.FrameWidth, 352);
    EXPECT_EQ(S.FrameHeight, 240);
    EXPECT_EQ(S.FrameRate.num, 30000);
    EXPECT_EQ(S.FrameRate.den, 1001);
    EXPECT_EQ(S.AudioChannels, 2);  // vcd always sets stereo
    EXPECT_EQ(S.AudioSampleRate, 44100);
    EXPECT_FLOAT_EQ(S.MuxPreload, 0.44f);
    EXPECT_FLOAT_EQ(S.FrameAspectRatio, 4.0f / 3.0f);
    EXPECT_TRUE(Logged(llInfo, "Assuming 4:3 for aspect ratio"));

    TOutputFile& out = Output("disc.mpg");
    ASSERT_EQ(out.Streams.size(), 2u);
    const AVCodecContext* v = out.Streams[0].Codec.get();
    EXPECT_STREQ(out.Streams[0].Encoder->name, "mpeg1video");
    EXPECT_STREQ(out.Streams[1].Encoder->name, "mp2");
    EXPECT_EQ(v->gop_size, 18);
    EXPECT_EQ(v->bit_rate, 1150000);
    EXPECT_EQ(v->rc_min_rate, 1150000);
    EXPECT_EQ(v->rc_max_rate, 1150000);
    EXPECT_EQ(v->rc_buffer_size, 327680);
    EXPECT_EQ(v->rc_initial_buffer_occupancy, 327680 * 3 / 4);
    EXPECT_EQ(out.Streams[1].Codec->bit_rate, 224000);
    EXPECT_EQ(out.Context->packet_size, 2324u);
    EXPECT_EQ(PrivateInt(out.Context->priv_data, "muxrate"), 1411200);
    EXPECT_EQ(PrivateInt(out.Context->priv_data, "preload"), 440000);
}

TEST_F(TargetTest, SvcdAndFilmDvdAndDv) {
    Option("r", "25");
    S.AudioChannels = 1;
    Option("target", "svcd");  // norm from the frame rate
    EXPECT_TRUE(Logged(llVerbose, "Assuming PAL for target."));
    EXPECT_EQ(S.FrameWidth, 480);
    EXPECT_EQ(S.FrameHeight, 576);
    EXPECT_EQ(S.AudioChannels, 2);
    TOutputFile& out = Output("disc.svcd.mpg");
    EXPECT_STREQ(out.Context->oformat->name, "svcd");
    EXPECT_EQ(PrivateInt(out.Streams[0].Codec->priv_data, "scan_offset"), 1);
    EXPECT_EQ(out.Streams[0].Codec->rc_max_rate, 2516000);

    engine.Reset();
    S.AudioChannels = 2;
    Option("target", "pal-svcd");
    EXPECT_EQ(S.AudioChannels, 2);

    engine.Reset();
    S.FrameAspectRatio = 4.0f / 3.0f;
    ClearLog();
    Option("target", "film-dvd");
    EXPECT_EQ(S.FrameWidth, 720);
    EXPECT_EQ(S.FrameHeight, 480);
    EXPECT_EQ(S.FrameRate.num, 24000);
    EXPECT_EQ(S.FrameRate.den, 1001);
    EXPECT_FLOAT_EQ(S.FrameAspectRatio, 4.0f / 3.0f);
    EXPECT_FALSE(LoggedAnywhere("aspect ratio"));
    EXPECT_EQ(engine.CodecOptions[skVideo]->gop_size, 18);

    struct DvCase {
        const char* target;
        int height;
        AVPixelFormat format;
    } dv[] = {{"pal-dv", 576, AV_PIX_FMT_YUV420P},
              {"ntsc-dv", 480, AV_PIX_FMT_YUV411P},
              {"pal-dv50", 576, AV_PIX_FMT_YUV422P},
              {"ntsc-dv50", 480, AV_PIX_FMT_YUV422P}};
    for (const DvCase& c : dv) {
        engine.Reset();
        Option("target", c.target);
        EXPECT_EQ(S.FormatName, "dv") << c.target;
        EXPECT_EQ(S.FrameHeight, c.height) << c.target;
        EXPECT_EQ(S.FramePixFmt, c.format) << c.target;
        EXPECT_EQ(S.AudioSampleRate, 48000);
    }
}

TEST_F(TargetTest, NormFromTheInputs) {
    struct Case {
        std::string file;
        const char* target;
        const char* line;
        int height;
    } cases[] = {
        {MpegAt("engine_25fps.mpg", "25"), "dvd", "Assuming PAL for target.", 576},
        {MpegAt("engine_2997fps.mpg", "30000/1001"), "vcd", "Assuming NTSC for target.", 240},
    };
    for (const Case& c : cases) {
        engine.Reset();
        ClearLog();
        ASSERT_TRUE(engine.AddInputFile(c.file)) << engine.LastError();
        Option("target", c.target);
        EXPECT_TRUE(Logged(llVerbose, c.line)) << c.file;
        EXPECT_EQ(S.FrameHeight, c.height);
    }

    // An input at another rate leaves the decision to the default norm.
    engine.Reset();
    ASSERT_TRUE(engine.AddInputFile(MpegAt("engine_30fps.mpg", "30"))) << engine.LastError();
    ClearLog();
    engine.ApplyTarget("dvd", "auto", "pal");
    EXPECT_TRUE(Logged(llVerbose, "Assuming PAL for target."));
    ClearLog();
    S.Verbose = 0;
    S.FrameRate = AVRational{30, 1};
    engine.ApplyTarget("dvd", "auto", "film");
    EXPECT_EQ(S.FrameRate.num, 24000);
    EXPECT_FALSE(LoggedAnywhere("for target."));

    // Audio alone gives no frame rate to go by.
    engine.Reset();
    ASSERT_TRUE(engine.AddInputFile(Mp3Audio())) << engine.LastError();
    EXPECT_EQ(OptionError("target", "dvd"), "frame_rate is invalid.");
}

}  // namespace
}  // namespace zorvex::test
