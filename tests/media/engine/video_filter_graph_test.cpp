#include "media/engine/video_filter_graph.h"

#include <gtest/gtest.h>

#include "tests/media/engine/engine_test_support.h"
#include "tests/support/fixtures.h"

namespace zorvex {
namespace {

class VideoFilterGraphTest : public ::testing::Test {
protected:
    void SetUp() override { test::LoadConverterLibrariesOrFail(); }

    static VideoFilterInput Input(int w, int h, AVPixelFormat format = AV_PIX_FMT_YUV420P) {
        VideoFilterInput in;
        in.Width = w;
        in.Height = h;
        in.PixelFormat = format;
        in.SampleAspectRatio = {1, 1};
        in.TimeBase = {1, 25};
        return in;
    }

    // Pushes the frames, ends the input and collects everything.
    static std::vector<FramePtr> Run(VideoFilterGraph& g, const std::vector<FramePtr>& in) {
        std::vector<FramePtr> out;
        auto drain = [&] {
            for (;;) {
                FramePtr f(ff::av_frame_alloc());
                const FilterPull r = g.Pull(f.get());
                EXPECT_NE(r, FilterPull::Error) << g.LastError();
                if (r != FilterPull::Frame) return;
                out.push_back(std::move(f));
            }
        };
        for (const auto& f : in) {
            EXPECT_TRUE(g.Push(f.get())) << g.LastError();
            drain();
        }
        EXPECT_TRUE(g.PushEnd());
        drain();
        return out;
    }

    // 64×48, bright (200) in the left half and the top-left quarter, dark (50)
    // elsewhere: crop and flips show in the corners.
    static FramePtr Pattern(std::int64_t pts = 0, int w = 64, int h = 48) {
        return test::MakeVideoFrame(w, h, AV_PIX_FMT_YUV420P, pts,
                                    [w](int x, int) { return x < w / 2 ? 200 : 50; });
    }
};

TEST_F(VideoFilterGraphTest, CropScaleFormatAndUserChain) {
    struct Case {
        const char* name;
        int top, bottom, left, right;
        int outW, outH;
        AVPixelFormat outFormat;
        const char* vf;
        int leftLuma, rightLuma;  // at the output's left and right edge
        const char* description;
    } cases[] = {
        {"as it is", 0, 0, 0, 0, 0, 0, AV_PIX_FMT_NONE, "", 200, 50, ""},
        {"scale", 0, 0, 0, 0, 32, 24, AV_PIX_FMT_YUV420P, "", 200, 50,
         "scale=w=32:h=24:flags=4,format=pix_fmts=yuv420p"},
        {"crop left half", 0, 0, 32, 0, 16, 16, AV_PIX_FMT_YUV420P, "", 50, 50,
         "crop=w=32:h=48:x=32:y=0,scale=w=16:h=16:flags=4,format=pix_fmts=yuv420p"},
        {"crop right half", 8, 8, 0, 32, 0, 0, AV_PIX_FMT_NONE, "", 200, 200,
         "crop=w=32:h=32:x=0:y=8"},
        {"hflip", 0, 0, 0, 0, 32, 24, AV_PIX_FMT_YUV420P, "hflip", 50, 200,
         "scale=w=32:h=24:flags=4,format=pix_fmts=yuv420p,hflip"},
        {"negate", 0, 0, 0, 0, 0, 0, AV_PIX_FMT_NONE, "negate", 55, 205, "negate"},
        {"hflip,negate", 0, 0, 0, 0, 0, 0, AV_PIX_FMT_NONE, "hflip,negate", 205, 55,
         "hflip,negate"},
        {"labelled", 0, 0, 0, 0, 0, 0, AV_PIX_FMT_NONE, "[in] hflip [out]", 50, 200,
         "[in] hflip [out]"},
    };
    for (const Case& c : cases) {
        VideoFilterSettings s;
        s.CropTop = c.top;
        s.CropBottom = c.bottom;
        s.CropLeft = c.left;
        s.CropRight = c.right;
        s.OutputWidth = c.outW;
        s.OutputHeight = c.outH;
        s.OutputPixelFormat = c.outFormat;
        s.Filters = c.vf;
        VideoFilterGraph g;
        ASSERT_TRUE(g.Configure(Input(64, 48), s)) << c.name << ": " << g.LastError();
        EXPECT_EQ(g.Description(), c.description) << c.name;
        std::vector<FramePtr> in;
        in.push_back(Pattern(7));
        auto out = Run(g, in);
        ASSERT_EQ(out.size(), 1u) << c.name;
        const AVFrame* f = out[0].get();
        EXPECT_EQ(f->width, g.OutputWidth()) << c.name;
        EXPECT_EQ(f->height, g.OutputHeight()) << c.name;
        if (c.outW > 0) {
            EXPECT_EQ(f->width, c.outW) << c.name;
        }
        EXPECT_EQ(f->format, AV_PIX_FMT_YUV420P) << c.name;
        EXPECT_EQ(f->pts, 7) << c.name;
        EXPECT_NEAR(test::LumaAt(f, 0, f->height / 2), c.leftLuma, 3) << c.name;
        EXPECT_NEAR(test::LumaAt(f, f->width - 1, f->height / 2), c.rightLuma, 3) << c.name;
    }
}

TEST_F(VideoFilterGraphTest, ConvertsToTheEncoderPixelFormat) {
    VideoFilterSettings s;
    s.OutputPixelFormat = AV_PIX_FMT_YUV422P;
    s.Filters = "vflip";
    VideoFilterGraph g;
    ASSERT_TRUE(g.Configure(Input(40, 30, AV_PIX_FMT_RGB24), s)) << g.LastError();
    std::vector<FramePtr> in;
    in.push_back(test::MakeGreyFrame(40, 30, AV_PIX_FMT_RGB24, 255));
    auto out = Run(g, in);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0]->format, AV_PIX_FMT_YUV422P);
    EXPECT_EQ(g.OutputPixelFormat(), AV_PIX_FMT_YUV422P);
    EXPECT_NEAR(test::LumaAt(out[0].get(), 20, 15), 235, 2);  // white, limited range
    EXPECT_EQ(g.OutputTimeBase().den, 25);
    EXPECT_EQ(g.OutputSampleAspectRatio().num, 1);
}

TEST_F(VideoFilterGraphTest, FilterErrorsNameTheirCause) {
    struct Case {
        const char* vf;
        int cropTop, cropLeft;
        const char* error;  // the start of LastError
    } cases[] = {
        {"hflip,foo", 0, 0, "Cannot parse video filters \"hflip,foo\": No such filter: 'foo'"},
        {"drawtext=text='a,b',nofilter", 0, 0,
         "Cannot parse video filters \"drawtext=text='a,b',nofilter\": No such filter: 'nofilter'"},
        {"volume=2", 0, 0,
         "Cannot parse video filters \"volume=2\": Filter 'volume' does not take video"},
        {"color", 0, 0, "Cannot parse video filters \"color\": Filter 'color' takes no input"},
        {"scale=w=abc", 0, 0, "Cannot"},
        {"hflip[", 0, 0, "Cannot parse video filters \"hflip[\": "},
        {"", 48, 0,
         "Vertical crop dimensions are outside the range of the original image.\n"
         "Remember to crop first and scale second."},
        {"", 0, 70, "Horizontal crop dimensions are outside the range of the original image."},
    };
    for (const Case& c : cases) {
        VideoFilterSettings s;
        s.Filters = c.vf;
        s.CropTop = c.cropTop;
        s.CropLeft = c.cropLeft;
        s.OutputPixelFormat = AV_PIX_FMT_YUV420P;
        VideoFilterGraph g;
        EXPECT_FALSE(g.Configure(Input(64, 48), s)) << c.vf;
        EXPECT_FALSE(g.Configured());
        EXPECT_EQ(g.LastError().rfind(c.error, 0), 0u) << g.LastError();
        FramePtr f(ff::av_frame_alloc());
        EXPECT_FALSE(g.Push(Pattern().get()));
        EXPECT_EQ(g.Pull(f.get()), FilterPull::Error);
    }
}

TEST_F(VideoFilterGraphTest, DeinterlacersKeepEveryFrame) {
    for (DeinterlaceMethod m : {DeinterlaceMethod::Yadif, DeinterlaceMethod::Bwdif}) {
        VideoFilterSettings s;
        s.Deinterlace = m;
        VideoFilterGraph g;
        ASSERT_TRUE(g.Configure(Input(64, 48), s)) << g.LastError();
        EXPECT_EQ(g.Description().rfind(m == DeinterlaceMethod::Yadif ? "yadif=" : "bwdif=", 0),
                  0u);
        std::vector<FramePtr> in;
        for (int k = 0; k < 6; ++k) {
            // Alternate lines from two moments: combing the deinterlacer removes.
            in.push_back(test::MakeVideoFrame(64, 48, AV_PIX_FMT_YUV420P, k, [k](int, int y) {
                return y % 2 == 0 ? 100 + k : 160;
            }));
            in.back()->interlaced_frame = 1;
            in.back()->top_field_first = 1;
        }
        auto out = Run(g, in);
        ASSERT_EQ(out.size(), 6u);
        // The deinterlacer counts in half frames; the times stay.
        EXPECT_EQ(g.OutputTimeBase().den, 50);
        for (int k = 0; k < 6; ++k) EXPECT_EQ(out[k]->pts, 2 * k);
        // The odd lines are interpolated from the even ones.
        EXPECT_LT(std::abs(test::LumaAt(out[2].get(), 10, 21) - test::LumaAt(out[2].get(), 10, 20)),
                  30);
    }
}

TEST_F(VideoFilterGraphTest, RebuildsWhenThePictureSizeChanges) {
    test::LogCapture log;
    VideoFilterSettings s;
    s.CropLeft = 16;  // a quarter of the width
    s.OutputWidth = 32;
    s.OutputHeight = 24;
    s.OutputPixelFormat = AV_PIX_FMT_YUV420P;
    s.Deinterlace = DeinterlaceMethod::Yadif;  // holds a frame back across the change
    s.InputFileIndex = 0;
    s.InputStreamIndex = 1;
    VideoFilterGraph g;
    ASSERT_TRUE(g.Configure(Input(64, 48), s)) << g.LastError();
    std::vector<FramePtr> in;
    for (int k = 0; k < 3; ++k) in.push_back(Pattern(k));
    for (int k = 3; k < 6; ++k) {
        // Twice the size, bright in the left quarter only.
        in.push_back(test::MakeVideoFrame(128, 96, AV_PIX_FMT_YUV420P, k,
                                          [](int x, int) { return x < 32 ? 200 : 50; }));
    }
    auto out = Run(g, in);
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ(g.Rebuilds(), 1);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(out[k]->pts, 2 * k);  // half-frame units of the deinterlacer
        EXPECT_EQ(out[k]->width, 32);
        EXPECT_EQ(out[k]->height, 24);
    }
    // The crop band grew with the picture (32 of 128): the bright quarter is gone.
    EXPECT_NEAR(test::LumaAt(out[5].get(), 0, 12), 50, 3);
    EXPECT_EQ(g.Description().find("crop=w=96:h=96:x=32:y=0") != std::string::npos, true)
        << g.Description();
    EXPECT_EQ(log.Count(llQuiet, "Input Stream #0.1 frame size changed to 128x96, yuv420p"), 1);
}

TEST_F(VideoFilterGraphTest, FilterNamesOfDescriptions) {
    struct Case {
        const char* description;
        std::vector<std::string> names;
    } cases[] = {
        {"hflip", {"hflip"}},
        {" hflip , negate ", {"hflip", "negate"}},
        {"[in]hflip,scale=w=2\\,3[out]", {"hflip", "scale"}},
        {"sws_flags=bicubic;hflip", {"hflip"}},
        {"drawtext=text='a,b;[c]':x=1,negate", {"drawtext", "negate"}},
        {"split[a][b];[a]hflip[c];[b][c]hstack", {"split", "hflip", "hstack"}},
        {"hflip@left", {"hflip@left"}},
        {"", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(FilterNamesOf(c.description), c.names) << c.description;
}

}  // namespace
}  // namespace zorvex
