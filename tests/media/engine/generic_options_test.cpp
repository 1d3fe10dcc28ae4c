// The generic option store: which FFmpeg context takes a name, how the values
// reach the real codec and format contexts, and the options that moved into an
// encoder's or muxer's private class.
#include <gtest/gtest.h>

#include "media/ffapi.h"
#include "tests/media/engine/engine_fixture.h"

namespace zorvex::test {
namespace {

std::int64_t IntOf(void* object, const char* name, int search = 0) {
    std::int64_t v = -12345;
    ff::av_opt_get_int(object, name, search, &v);
    return v;
}

TEST_F(EngineTest, GenericOptionsFindTheirContext) {
    AVCodecContext* video = engine.CodecOptions[skVideo].get();
    AVCodecContext* audio = engine.CodecOptions[skAudio].get();

    EXPECT_FALSE(engine.SetGenericOption(" ", "1"));
    EXPECT_FALSE(engine.SetGenericOption("g", "  "));
    EXPECT_FALSE(engine.SetGenericOption("no_such_option", "1"));

    EXPECT_TRUE(engine.SetGenericOption("g", "250"));
    EXPECT_EQ(video->gop_size, 250);

    // Bit-rate names act on video only; "ab" and "abt" reach the audio context.
    const std::int64_t audioDefault = audio->bit_rate;
    EXPECT_TRUE(engine.SetGenericOption("b", "1150000"));
    EXPECT_TRUE(engine.SetGenericOption("maxrate", "2000000"));
    EXPECT_EQ(video->bit_rate, 1150000);
    EXPECT_EQ(video->rc_max_rate, 2000000);
    EXPECT_EQ(audio->bit_rate, audioDefault);
    EXPECT_EQ(audio->rc_max_rate, 0);
    EXPECT_TRUE(engine.SetGenericOption("ab", "224000"));
    EXPECT_TRUE(engine.SetGenericOption("abt", "5000"));
    EXPECT_EQ(audio->bit_rate, 224000);
    EXPECT_EQ(audio->bit_rate_tolerance, 5000);
    EXPECT_EQ(video->bit_rate, 1150000);
    EXPECT_TRUE(engine.SetGenericOption("vb", "800000"));
    EXPECT_EQ(video->bit_rate, 800000);

    EXPECT_TRUE(engine.SetGenericOption("packetsize", "2324"));
    EXPECT_EQ(engine.FormatOptions->packet_size, 2324u);
    EXPECT_TRUE(engine.SetGenericOption("sws_flags", "bilinear"));
    EXPECT_EQ(IntOf(engine.ScalerOptions, "sws_flags"), SWS_BILINEAR);

    // A value the option refuses: logged, nothing recorded.
    const size_t recorded = engine.SetOptionNames.size();
    EXPECT_FALSE(engine.SetGenericOption("g", "lots"));
    EXPECT_TRUE(Logged(llWarning, "Invalid value \"lots\" for option \"g\""));
    EXPECT_EQ(engine.SetOptionNames.size(), recorded);
}

TEST_F(EngineTest, GenericOptionsReachTheRealContexts) {
    ASSERT_TRUE(engine.SetGenericOption("g", "100"));
    ASSERT_TRUE(engine.SetGenericOption("vb", "900000"));
    ASSERT_TRUE(engine.SetGenericOption("ab", "96000"));
    ASSERT_TRUE(engine.SetGenericOption("flags", "+psnr"));
    ASSERT_TRUE(engine.SetGenericOption("lowres", "1"));

    const AVCodec* mpeg4 = ff::avcodec_find_encoder_by_name("mpeg4");
    CodecContextPtr encoder(ff::avcodec_alloc_context3(mpeg4));
    encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // relative flags keep what is there
    engine.ApplyGenericOptions(encoder.get(), skVideo,
                               AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    EXPECT_EQ(encoder->gop_size, 100);
    EXPECT_EQ(encoder->bit_rate, 900000);
    EXPECT_EQ(encoder->flags, AV_CODEC_FLAG_GLOBAL_HEADER | AV_CODEC_FLAG_PSNR);
    EXPECT_EQ(encoder->lowres, 0);  // a decoding option

    const AVCodec* mp2 = ff::avcodec_find_encoder_by_name("mp2");
    CodecContextPtr audio(ff::avcodec_alloc_context3(mp2));
    engine.ApplyGenericOptions(audio.get(), skAudio,
                               AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    EXPECT_EQ(audio->bit_rate, 96000);

    CodecContextPtr decoder(ff::avcodec_alloc_context3(ff::avcodec_find_decoder_by_name("h264")));
    engine.ApplyDecoderOptions(decoder.get());
    EXPECT_EQ(decoder->lowres, 1);
    EXPECT_NE(decoder->gop_size, 100);
}

TEST_F(EngineTest, PrivateOptionsAreCheckedAgainstTheirClass) {
    // A muxer option, checked against the named container.
    Option("f", "dvd");
    EXPECT_TRUE(engine.SetGenericOption("muxrate", "10080000"));
    EXPECT_FALSE(engine.SetGenericOption("muxrate", "-5"));  // outside the muxer's range
    EXPECT_TRUE(Logged(llWarning, "Invalid value \"-5\" for option \"muxrate\""));

    // An encoder option, checked against the named encoder.
    Option("vcodec", "libx264");
    EXPECT_TRUE(engine.SetGenericOption("partitions", "i8x8,i4x4"));
    EXPECT_TRUE(engine.SetGenericOption("motion-est", "umh"));
    EXPECT_FALSE(engine.SetGenericOption("motion-est", "sideways"));

    // The old spellings become today's options.
    EXPECT_TRUE(engine.SetGenericOption("partitions", "+parti8x8+partp8x8"));
    EXPECT_TRUE(engine.SetGenericOption("directpred", "3"));
    EXPECT_TRUE(engine.SetGenericOption("cqp", "20"));
    EXPECT_TRUE(engine.SetGenericOption("flags2", "+bpyramid-dct8x8"));

    std::vector<std::string> recorded;
    for (const TPrivateOption& o : engine.PrivateOptions)
        recorded.push_back(o.Name + "=" + o.Value);
    const std::vector<std::string> expected = {
        "muxrate=10080000", "partitions=i8x8,i4x4",
        "motion-est=umh",   "partitions=i8x8,p8x8",
        "direct-pred=3",    "qp=20",
        "b-pyramid=normal", "mixed-refs=0",
        "weightb=0",        "8x8dct=0",
        "fast-pskip=1",     "mbtree=1",
    };
    EXPECT_EQ(recorded, expected);
}

}  // namespace
}  // namespace zorvex::test
