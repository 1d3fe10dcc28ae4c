#include "media/engine/audio_converter.h"

#include <gtest/gtest.h>

#include <cstring>

#include "media/loader.h"
#include "tests/media/engine/engine_test_support.h"
#include "tests/support/fixtures.h"

namespace zorvex {
namespace {

class AudioConverterTest : public ::testing::Test {
protected:
    void SetUp() override { test::LoadConverterLibrariesOrFail(); }

    static AudioOutputFormat Format(AVSampleFormat format, int rate, int channels,
                                    int frameSize = 0, bool smallLastFrame = false) {
        AudioOutputFormat f;
        f.SampleFormat = format;
        f.SampleRate = rate;
        f.Layout = ChannelLayout::WithChannels(channels);
        f.FrameSize = frameSize;
        f.SmallLastFrame = smallLastFrame;
        return f;
    }

    // Pulls every frame that is ready.
    static std::vector<FramePtr> PullAll(AudioConverter& c) {
        std::vector<FramePtr> frames;
        for (;;) {
            FramePtr f(ff::av_frame_alloc());
            const int r = c.Pull(f.get());
            EXPECT_GE(r, 0) << c.LastError();
            if (r <= 0) return frames;
            frames.push_back(std::move(f));
        }
    }

    static std::int64_t TotalSamples(const std::vector<FramePtr>& frames) {
        std::int64_t n = 0;
        for (const auto& f : frames) n += f->nb_samples;
        return n;
    }

    static CodecContextPtr OpenEncoder(const char* name, AVSampleFormat format, int rate,
                                       int channels) {
        const AVCodec* codec = ff::avcodec_find_encoder_by_name(name);
        if (codec == nullptr) return nullptr;
        CodecContextPtr c(ff::avcodec_alloc_context3(codec));
        c->sample_fmt = format;
        c->sample_rate = rate;
        c->time_base = {1, rate};
        c->bit_rate = 128000;
        ff::av_channel_layout_default(&c->ch_layout, channels);
        std::lock_guard lock(CodecLock());
        if (ff::avcodec_open2(c.get(), codec, nullptr) < 0) return nullptr;
        return c;
    }
};

TEST_F(AudioConverterTest, VolumeScalesAndClipsEverySampleFormat) {
    struct Case {
        AVSampleFormat format;
        int volume;
        double in;  // raw sample value (integers) or float value
        double out;
    } cases[] = {
        {AV_SAMPLE_FMT_S16, 512, 1000, 2000},
        {AV_SAMPLE_FMT_S16, 512, 20000, 32767},
        {AV_SAMPLE_FMT_S16P, 512, -20000, -32768},
        {AV_SAMPLE_FMT_S16, 128, 3, 2},    // 1.5 rounds up
        {AV_SAMPLE_FMT_S16, 128, -3, -1},  // -1.5 rounds towards minus infinity
        {AV_SAMPLE_FMT_S16P, 0, -5, 0},
        {AV_SAMPLE_FMT_S32, 384, 1000, 1500},
        {AV_SAMPLE_FMT_S32P, 512, 2000000000, 2147483647},
        {AV_SAMPLE_FMT_S32, 512, -2000000000, -2147483648.0},
        {AV_SAMPLE_FMT_S64, 512, 9e18, 9223372036854775807.0},
        {AV_SAMPLE_FMT_U8, 512, 200, 255},  // +72 doubled clips at +127
        {AV_SAMPLE_FMT_U8P, 512, 0, 0},     // -128 doubled clips at -128
        {AV_SAMPLE_FMT_U8, 128, 100, 114},  // -28 halved: -14
        {AV_SAMPLE_FMT_U8, 512, 128, 128},
        {AV_SAMPLE_FMT_FLT, 512, 0.75, 1.0},
        {AV_SAMPLE_FMT_FLTP, 512, -0.75, -1.0},
        {AV_SAMPLE_FMT_FLT, 128, 0.25, 0.125},
        {AV_SAMPLE_FMT_DBL, 768, 0.25, 0.75},
        {AV_SAMPLE_FMT_DBLP, 512, -0.6, -1.0},
    };
    for (const Case& c : cases) {
        // Two channels, three samples each, all holding the input value.
        alignas(8) std::uint8_t storage[2][3 * 8] = {};
        const int bps = ff::av_get_bytes_per_sample(c.format);
        const bool planar = ff::av_sample_fmt_is_planar(c.format) != 0;
        std::uint8_t* planes[2] = {storage[0], storage[1]};
        std::uint8_t* packed[1] = {storage[0]};
        auto put = [&](std::uint8_t* p) {
            switch (ff::av_get_packed_sample_fmt(c.format)) {
                case AV_SAMPLE_FMT_U8:
                    *p = static_cast<std::uint8_t>(c.in);
                    break;
                case AV_SAMPLE_FMT_S16:
                    *reinterpret_cast<std::int16_t*>(p) = static_cast<std::int16_t>(c.in);
                    break;
                case AV_SAMPLE_FMT_S32:
                    *reinterpret_cast<std::int32_t*>(p) = static_cast<std::int32_t>(c.in);
                    break;
                case AV_SAMPLE_FMT_S64:
                    *reinterpret_cast<std::int64_t*>(p) = static_cast<std::int64_t>(c.in);
                    break;
                case AV_SAMPLE_FMT_FLT:
                    *reinterpret_cast<float*>(p) = static_cast<float>(c.in);
                    break;
                case AV_SAMPLE_FMT_DBL:
                    *reinterpret_cast<double*>(p) = c.in;
                    break;
                default:
                    break;
            }
        };
        auto get = [&](const std::uint8_t* p) -> double {
            switch (ff::av_get_packed_sample_fmt(c.format)) {
                case AV_SAMPLE_FMT_U8:
                    return *p;
                case AV_SAMPLE_FMT_S16:
                    return *reinterpret_cast<const std::int16_t*>(p);
                case AV_SAMPLE_FMT_S32:
                    return *reinterpret_cast<const std::int32_t*>(p);
                case AV_SAMPLE_FMT_S64:
                    return static_cast<double>(*reinterpret_cast<const std::int64_t*>(p));
                case AV_SAMPLE_FMT_FLT:
                    return *reinterpret_cast<const float*>(p);
                case AV_SAMPLE_FMT_DBL:
                    return *reinterpret_cast<const double*>(p);
                default:
                    return -1;
            }
        };
        const char* name = ff::av_get_sample_fmt_name(c.format);
        if (planar) {
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < 3; ++i) put(planes[ch] + i * bps);
            ApplyVolume(planes, c.format, 3, 2, c.volume);
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < 3; ++i)
                    EXPECT_DOUBLE_EQ(get(planes[ch] + i * bps), c.out) << name << " " << c.in;
        } else {
            for (int i = 0; i < 6; ++i) put(storage[0] + i * bps);
            ApplyVolume(packed, c.format, 3, 2, c.volume);
            for (int i = 0; i < 6; ++i)
                EXPECT_DOUBLE_EQ(get(storage[0] + i * bps), c.out) << name << " " << c.in;
        }
    }
}

TEST_F(AudioConverterTest, VolumeAppliesToConvertedSamples) {
    AudioConverter c;
    AudioConversionSettings s;
    s.Volume = 512;
    ASSERT_TRUE(c.Open(Format(AV_SAMPLE_FMT_S16, 44100, 1), s));
    std::vector<std::int16_t> values = {100, -100, 16384, -16385, 30000};
    auto in = test::MakeAudioFrame(AV_SAMPLE_FMT_S16, 44100, 1, 5, 0,
                                   [&](int i) { return values[i] / 32767.0; });
    ASSERT_TRUE(c.Push(in.get(), NoPtsValue)) << c.LastError();
    auto frames = PullAll(c);
    ASSERT_EQ(frames.size(), 1u);
    const auto* out = reinterpret_cast<const std::int16_t*>(frames[0]->data[0]);
    EXPECT_EQ(out[0], 200);
    EXPECT_EQ(out[1], -200);
    EXPECT_EQ(out[2], 32767);
    EXPECT_EQ(out[3], -32768);
    EXPECT_EQ(out[4], 32767);
}

TEST_F(AudioConverterTest, FixedFrameSizeEncoderGetsWholeFrames) {
    auto encoder = OpenEncoder("mp2", AV_SAMPLE_FMT_S16, 44100, 2);
    ASSERT_TRUE(encoder);
    const AudioOutputFormat format = AudioOutputFormat::OfEncoder(encoder.get());
    ASSERT_EQ(format.FrameSize, 1152);
    ASSERT_TRUE(format.FixedFrameSize());
    ASSERT_FALSE(format.SmallLastFrame);

    AudioConverter c;
    ASSERT_TRUE(c.Open(format, {}));
    std::vector<FramePtr> frames;
    std::int64_t pushed = 0;
    for (int size : {1000, 333, 2000, 17, 1650}) {  // 5000 float samples
        auto in = test::MakeAudioFrame(AV_SAMPLE_FMT_FLTP, 44100, 2, size, 0,
                                       [&](int i) { return 0.5 * std::sin((pushed + i) * 0.05); });
        pushed += size;
        ASSERT_TRUE(c.Push(in.get(), NoPtsValue)) << c.LastError();
        for (auto& f : PullAll(c)) frames.push_back(std::move(f));
    }
    ASSERT_EQ(frames.size(), 4u);  // 4 × 1152 = 4608; 392 samples wait for more
    EXPECT_EQ(c.BufferedSamples(), 392);
    ASSERT_TRUE(c.Flush());
    for (auto& f : PullAll(c)) frames.push_back(std::move(f));
    ASSERT_EQ(frames.size(), 5u);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i]->nb_samples, 1152) << i;
        EXPECT_EQ(frames[i]->pts, static_cast<std::int64_t>(i) * 1152) << i;
        EXPECT_EQ(frames[i]->format, AV_SAMPLE_FMT_S16);
    }
    // The padding of the last frame is silence.
    const auto* last = reinterpret_cast<const std::int16_t*>(frames[4]->data[0]);
    for (int i = 392 * 2; i < 1152 * 2; ++i) ASSERT_EQ(last[i], 0) << i;

    // And the encoder takes every one of them.
    PacketPtr packet(ff::av_packet_alloc());
    int packets = 0;
    auto receive = [&] {
        while (ff::avcodec_receive_packet(encoder.get(), packet.get()) == 0) {
            ++packets;
            ff::av_packet_unref(packet.get());
        }
    };
    for (auto& f : frames) {
        ASSERT_EQ(ff::avcodec_send_frame(encoder.get(), f.get()), 0);
        receive();
    }
    ASSERT_EQ(ff::avcodec_send_frame(encoder.get(), nullptr), 0);
    receive();
    EXPECT_EQ(packets, 5);
}

TEST_F(AudioConverterTest, LastFrameIsShortOrPaddedAsTheEncoderAllows) {
    struct Case {
        bool variable, smallLast;
        std::vector<int> sizes;
    } cases[] = {
        {false, false, {1024, 1024, 1024}},  // 2500 samples: the last padded
        {false, true, {1024, 1024, 452}},    // the last short
        {true, false, {2500}},               // variable: what came, in one frame
    };
    for (const Case& k : cases) {
        AudioOutputFormat f = Format(AV_SAMPLE_FMT_FLTP, 48000, 2, 1024, k.smallLast);
        f.VariableFrameSize = k.variable;
        AudioConverter c;
        ASSERT_TRUE(c.Open(f, {}));
        auto in = test::MakeSilence(AV_SAMPLE_FMT_FLTP, 48000, 2, 2500);
        ASSERT_TRUE(c.Push(in.get(), NoPtsValue));
        ASSERT_TRUE(c.Flush());
        std::vector<int> sizes;
        for (auto& frame : PullAll(c)) sizes.push_back(frame->nb_samples);
        EXPECT_EQ(sizes, k.sizes);
    }
}

TEST_F(AudioConverterTest, ResamplesRateChannelsAndFormat) {
    // Stereo 44.1 kHz float into a mono 48 kHz 16-bit encoder: the channel count
    // alone would need the resampler.
    AudioConverter c;
    ASSERT_TRUE(c.Open(Format(AV_SAMPLE_FMT_S16, 48000, 1, 0), {}));
    std::int64_t at = 0;
    for (int k = 0; k < 44; ++k) {  // 44 × 1002 samples ≈ 1 s
        auto in = test::MakeAudioFrame(AV_SAMPLE_FMT_FLTP, 44100, 2, 1002, 0, [&](int i) {
            return 0.5 * std::sin(2 * M_PI * 1000 * static_cast<double>(at + i) / 44100);
        });
        at += 1002;
        ASSERT_TRUE(c.Push(in.get(), NoPtsValue)) << c.LastError();
    }
    ASSERT_TRUE(c.Flush());
    auto frames = PullAll(c);
    const std::int64_t expected = at * 48000 / 44100;
    EXPECT_NEAR(static_cast<double>(TotalSamples(frames)), static_cast<double>(expected), 2.0);
    // A 1 kHz tone at half scale survives: the peak is near 16384.
    int peak = 0;
    for (auto& f : frames) {
        EXPECT_EQ(f->ch_layout.nb_channels, 1);
        const auto* s = reinterpret_cast<const std::int16_t*>(f->data[0]);
        for (int i = 0; i < f->nb_samples; ++i) peak = std::max(peak, std::abs(int{s[i]}));
    }
    EXPECT_NEAR(peak, 16384, 600);
}

TEST_F(AudioConverterTest, GapInInputTimestampsIsFilledWithSilence) {
    test::LogCapture log;
    AudioConverter c;
    AudioConversionSettings s;
    s.SyncMethod = 1;
    s.Verbose = 3;
    ASSERT_TRUE(c.Open(Format(AV_SAMPLE_FMT_S16, 44100, 1, 1152), s));
    auto tone = [](int) { return 0.5; };
    // Half a second, then the input clock jumps ahead by one second.
    std::int64_t position = 0;
    for (int k = 0; k < 2; ++k) {
        auto in = test::MakeAudioFrame(AV_SAMPLE_FMT_S16, 44100, 1, 11025, 0, tone);
        ASSERT_TRUE(c.Push(in.get(), position));
        position += 250000;
    }
    position += 1000000;
    auto in = test::MakeAudioFrame(AV_SAMPLE_FMT_S16, 44100, 1, 11025, 0, tone);
    ASSERT_TRUE(c.Push(in.get(), position));
    ASSERT_TRUE(c.Flush());
    auto frames = PullAll(c);
    EXPECT_EQ(log.Count(llVerbose, "adding 44100 audio samples of silence"), 1);
    EXPECT_FALSE(c.AtStart());
    // 0.75 s of tone and 1 s of silence, framed continuously.
    EXPECT_GE(TotalSamples(frames), 3 * 11025 + 44100);
    std::vector<std::int16_t> all;
    for (auto& f : frames) {
        const auto* p = reinterpret_cast<const std::int16_t*>(f->data[0]);
        all.insert(all.end(), p, p + f->nb_samples);
    }
    EXPECT_NE(all[22049], 0);
    EXPECT_EQ(all[22050], 0);
    EXPECT_EQ(all[22050 + 44099], 0);
    EXPECT_NE(all[22050 + 44100], 0);
}

TEST_F(AudioConverterTest, StartIsAlignedWithTheInputClock) {
    struct Case {
        std::int64_t position;  // of the first frame, µs
        int samples;
        std::int64_t buffered;  // samples waiting after the push
        bool atStart;
    } cases[] = {
        {500000, 4410, 22050 + 4410, false},  // half a second of silence first
        {-50000, 4410, 4410 - 2205, false},   // the first 50 ms are dropped
        {-200000, 4410, 0, true},             // all dropped: still at the start
        {1000, 4410, 4410, true},             // 44 samples off: within tolerance
    };
    for (const Case& k : cases) {
        AudioConverter c;
        AudioConversionSettings s;
        s.SyncMethod = 1;
        ASSERT_TRUE(c.Open(Format(AV_SAMPLE_FMT_S16, 44100, 1, 100000), s));
        auto in = test::MakeAudioFrame(AV_SAMPLE_FMT_S16, 44100, 1, k.samples, 0,
                                       [](int) { return 0.25; });
        ASSERT_TRUE(c.Push(in.get(), k.position));
        EXPECT_EQ(c.BufferedSamples(), k.buffered) << k.position;
        EXPECT_EQ(c.AtStart(), k.atStart) << k.position;
    }
}

TEST_F(AudioConverterTest, WithoutSyncTimestampsFollowTheInputClockForwardOnly) {
    AudioConverter c;
    ASSERT_TRUE(c.Open(Format(AV_SAMPLE_FMT_S16, 48000, 1, 480), {}));
    auto push = [&](std::int64_t position, int samples) {
        auto in = test::MakeSilence(AV_SAMPLE_FMT_S16, 48000, 1, samples);
        EXPECT_TRUE(c.Push(in.get(), position));
        return PullAll(c);
    };
    auto a = push(1000000, 960);  // starts at 1 s
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0]->pts, 48000);
    EXPECT_EQ(a[1]->pts, 48480);
    auto b = push(1010000, 480);  // 10 ms early: the timestamps do not go back
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0]->pts, 48960);
    auto d = push(2000000, 480);  // a jump ahead is followed
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0]->pts, 96000);
}

TEST_F(AudioConverterTest, WithoutSyncSamplesBeforeTheStartAreCut) {
    AudioConverter c;
    ASSERT_TRUE(c.Open(Format(AV_SAMPLE_FMT_S16, 48000, 1), {}));
    // 10 ms before the start: 480 of the 960 samples are cut, the rest starts at 0.
    auto first = test::MakeAudioFrame(AV_SAMPLE_FMT_S16, 48000, 1, 960, 0,
                                      [](int i) { return i < 480 ? 0.5 : -0.5; });
    ASSERT_TRUE(c.Push(first.get(), -10000));
    auto frames = PullAll(c);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0]->pts, 0);
    EXPECT_EQ(frames[0]->nb_samples, 480);
    EXPECT_LT(reinterpret_cast<const std::int16_t*>(frames[0]->data[0])[0], 0);
    // A frame wholly before the start gives nothing.
    auto early = test::MakeSilence(AV_SAMPLE_FMT_S16, 48000, 1, 480);
    ASSERT_TRUE(c.Push(early.get(), -50000));
    EXPECT_EQ(c.BufferedSamples(), 0);
}

TEST_F(AudioConverterTest, SmallDriftIsCompensatedByStretching) {
    test::LogCapture log;
    AudioConverter c;
    AudioConversionSettings s;
    s.SyncMethod = 400;
    s.Verbose = 3;
    ASSERT_TRUE(c.Open(Format(AV_SAMPLE_FMT_FLT, 48000, 1, 0), s));
    // The input clock runs 1 % faster than the samples say, for four seconds.
    std::int64_t in = 0;
    for (int k = 0; k < 400; ++k) {
        auto frame = test::MakeAudioFrame(AV_SAMPLE_FMT_FLT, 48000, 1, 480, 0,
                                          [](int i) { return 0.3 * std::sin(i * 0.1); });
        ASSERT_TRUE(c.Push(frame.get(), k * 10100)) << c.LastError();
        in += 480;
        PullAll(c);
    }
    // The first correction inserts silence (start), later ones stretch.
    EXPECT_EQ(log.Count(llVerbose, "audio samples of silence"), 1);
    EXPECT_GT(log.Count(llVerbose, "compensating audio timestamp drift:"), 10);
    // Stretched towards the clock: more samples out than in, the lag behind the
    // clock (4.04 s) well below the uncorrected 1920 samples.
    const double lag = 4.04 * 48000 - static_cast<double>(c.NextSample() + c.BufferedSamples());
    EXPECT_LT(std::abs(lag), 1000) << lag;
    EXPECT_GT(c.NextSample(), in);
}

TEST_F(AudioConverterTest, InputFormatChangeMidStream) {
    AudioConverter c;
    ASSERT_TRUE(c.Open(Format(AV_SAMPLE_FMT_S16, 48000, 2, 1024), {}));
    auto a = test::MakeAudioFrame(AV_SAMPLE_FMT_S16, 44100, 2, 4410, 0, [](int) { return 0.1; });
    auto b = test::MakeAudioFrame(AV_SAMPLE_FMT_DBLP, 48000, 6, 4800, 0, [](int) { return 0.1; });
    ASSERT_TRUE(c.Push(a.get(), NoPtsValue)) << c.LastError();
    ASSERT_TRUE(c.Push(b.get(), NoPtsValue)) << c.LastError();
    ASSERT_TRUE(c.Flush());
    auto frames = PullAll(c);
    EXPECT_NEAR(static_cast<double>(TotalSamples(frames)), 4800 + 4800, 1024 + 2);
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(frames[i]->pts, 1024 * static_cast<std::int64_t>(i));
}

TEST_F(AudioConverterTest, BadInputIsReportedNotFatal) {
    AudioConverter c;
    EXPECT_FALSE(c.Open(Format(AV_SAMPLE_FMT_S16, 0, 2), {}));
    EXPECT_FALSE(c.LastError().empty());

    ASSERT_TRUE(c.Open(Format(AV_SAMPLE_FMT_S16, 44100, 2), {}));
    FramePtr bad(ff::av_frame_alloc());
    bad->format = AV_SAMPLE_FMT_S16;
    bad->sample_rate = 44100;
    bad->nb_samples = 10;  // no channels
    EXPECT_FALSE(c.Push(bad.get(), NoPtsValue));

    // More channels than the resampler can take.
    auto many = test::MakeSilence(AV_SAMPLE_FMT_FLTP, 44100, 65, 16);
    ASSERT_TRUE(many);
    EXPECT_FALSE(c.Push(many.get(), NoPtsValue));
    EXPECT_EQ(c.LastError(), "Can not resample 65 channels @ 44100 Hz to 2 channels @ 44100 Hz");

    // Still usable afterwards.
    auto good = test::MakeSilence(AV_SAMPLE_FMT_S16, 44100, 2, 16);
    EXPECT_TRUE(c.Push(good.get(), NoPtsValue)) << c.LastError();
}

}  // namespace
}  // namespace zorvex
