#include "media/engine/video_stats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "media/loader.h"
#include "tests/media/engine/engine_test_support.h"
#include "tests/support/fixtures.h"

namespace zorvex {
namespace {

TEST(VideoStats, LineFormat) {
    struct Case {
        VideoStatsFrame frame;
        const char* line;
    };
    VideoStatsFrame first;
    first.FrameNumber = 1;
    first.Quality = 2;
    first.FrameBytes = 1000;
    first.VideoSize = 1000;
    first.SyncTimestamp = 1;
    first.TimeBase = {1, 25};
    first.PictureType = 'I';
    VideoStatsFrame start = first;  // before the first tick: time counts as 0.01 s
    start.SyncTimestamp = 0;
    VideoStatsFrame later = first;
    later.FrameNumber = 250;
    later.Quality = 31.25f;
    later.HasPsnr = true;
    later.Psnr = 35.125;
    later.FrameBytes = 123456;
    later.VideoSize = 10 * 1048576;
    later.SyncTimestamp = 250;
    later.PictureType = 'P';
    const Case cases[] = {
        {first,
         "frame=     1 q= 2.0 f_size=   1000 s_size=        1kB time= 0.040 br=   200.0kbits/s "
         "avg_br=   200.0kbits/s type= I\n"},
        {start,
         "frame=     1 q= 2.0 f_size=   1000 s_size=        1kB time= 0.010 br=   200.0kbits/s "
         "avg_br=   800.0kbits/s type= I\n"},
        {later,
         "frame=   250 q= 31.2 PSNR=  35.12 f_size= 123456 s_size=    10240kB time= 10.000 br= "
         "24691.2kbits/s avg_br=  8388.6kbits/s type= P\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(VideoStatsLine(c.frame), c.line);
}

TEST(VideoStats, FileIsCreatedOnFirstLine) {
    test::TempDir dir;
    VideoStatsFile file(dir.File("vstats_120000.log"));
    VideoStatsFrame f;
    f.FrameNumber = 1;
    f.PictureType = 'I';
    ASSERT_TRUE(file.Write(f)) << file.LastError();
    f.FrameNumber = 2;
    f.PictureType = 'P';
    ASSERT_TRUE(file.Write(f));
    file.Close();
    const std::string text = test::ReadFile(dir.File("vstats_120000.log"));
    EXPECT_EQ(text.rfind("frame=     1 ", 0), 0u);
    EXPECT_NE(text.find("type= I\nframe=     2 "), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);

    VideoStatsFile bad(dir.File("missing/v.log"));
    EXPECT_FALSE(bad.Write(f));
    EXPECT_EQ(bad.LastError(), "fopen fail: " + dir.File("missing/v.log"));
}

// "vstats" without a name: the output's folder, else the cache folder (made as
// needed) when the output's folder cannot take the file.
TEST(VideoStats, FallsBackToTheCacheFolder) {
    test::TempDir dir;
    ::setenv("XDG_CACHE_HOME", dir.Path().c_str(), 1);
    EXPECT_EQ(VideoStatsCacheFolder(), dir.Path() + "/zorvex");
    ::setenv("XDG_CACHE_HOME", "relative", 1);  // only an absolute path counts
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(VideoStatsCacheFolder(), "/home/someone/.cache/zorvex");

    const std::string fallback = dir.File("zorvex/vstats_120000.log");
    VideoStatsFile file(dir.File("missing/vstats_120000.log"), fallback);
    VideoStatsFrame f;
    ASSERT_TRUE(file.Write(f)) << file.LastError();
    file.Close();
    EXPECT_EQ(file.FileName(), fallback);
    EXPECT_EQ(test::ReadFile(fallback).rfind("frame=     0 ", 0), 0u);
}

TEST(VideoStats, QualityAndPsnrFromEncodedPackets) {
    test::LoadConverterLibrariesOrFail();
    const AVCodec* codec = ff::avcodec_find_encoder_by_name("mpeg4");
    ASSERT_NE(codec, nullptr);
    CodecContextPtr enc(ff::avcodec_alloc_context3(codec));
    enc->width = 64;
    enc->height = 48;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = {1, 25};
    enc->gop_size = 3;
    enc->flags |= AV_CODEC_FLAG_PSNR;
    {
        std::lock_guard lock(CodecLock());
        ASSERT_EQ(ff::avcodec_open2(enc.get(), codec, nullptr), 0);
    }
    std::string types;
    PacketPtr packet(ff::av_packet_alloc());
    for (int k = 0; k < 4; ++k) {
        auto f = test::MakeVideoFrame(64, 48, AV_PIX_FMT_YUV420P, k,
                                      [k](int x, int y) { return (x * 3 + y * 2 + k * 5) & 0xff; });
        ASSERT_EQ(ff::avcodec_send_frame(enc.get(), f.get()), 0);
        while (ff::avcodec_receive_packet(enc.get(), packet.get()) == 0) {
            VideoStatsFrame stats;
            ReadPacketQualityStats(packet.get(), 64, 48, true, stats);
            EXPECT_GT(stats.Quality, 1.0f);
            EXPECT_LT(stats.Quality, 32.0f);
            EXPECT_TRUE(stats.HasPsnr);
            EXPECT_GT(stats.Psnr, 20.0);
            types += stats.PictureType;
            ff::av_packet_unref(packet.get());
        }
    }
    EXPECT_EQ(types, "IPPI");
}

}  // namespace
}  // namespace zorvex
