#include "media/engine/preview.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "media/converter.h"
#include "tests/media/engine/engine_test_support.h"
#include "tests/support/fixtures.h"

namespace zorvex {
namespace {

struct FakeWindow : TPreviewWindow {
    int* shows;
    int* destroyed;
    bool open = true;
    int closeAfter;
    FakeWindow(int* s, int* d, int closeAfterShows)
        : shows(s), destroyed(d), closeAfter(closeAfterShows) {}
    ~FakeWindow() override { ++*destroyed; }
    bool Show(const TBitmap& bitmap, int, std::int64_t) override {
        EXPECT_FALSE(bitmap.Empty());
        ++*shows;
        return *shows < closeAfter;
    }
};

class PreviewTest : public ::testing::Test {
protected:
    void SetUp() override { test::LoadConverterLibrariesOrFail(); }
    std::int64_t now = 0;
    PreviewProducer::Clock clock = [this] { return now; };
};

TEST_F(PreviewTest, AtMostOnePicturePerInterval) {
    PreviewProducer preview(DefaultPreviewInterval, clock);
    std::vector<int> frames;
    preview.SetBitmapHandler([&](const TBitmap& b, int frame, std::int64_t pts) {
        EXPECT_EQ(b.Width, 32);
        EXPECT_EQ(pts, (frame - 1) * 40000);
        frames.push_back(frame);
    });
    preview.SetFlags(pfPreviewBitmap);
    EXPECT_TRUE(preview.Wanted());
    auto picture = test::MakeGreyFrame(32, 24, AV_PIX_FMT_YUV420P, 128);
    for (int k = 0; k < 50; ++k) {  // two seconds at 25 frames per second
        now = k * 40000;
        preview.Produce(picture.get(), k + 1, k * 40000);
    }
    // Every third frame: 120 ms apart, about eight a second and never above ten.
    ASSERT_EQ(frames.size(), 17u);
    EXPECT_EQ(frames[0], 1);
    EXPECT_EQ(frames[1], 4);
    EXPECT_EQ(preview.Produced(), 17);
}

TEST_F(PreviewTest, BitmapHandlerWinsOverTheWindow) {
    PreviewProducer preview(DefaultPreviewInterval, clock);
    int handled = 0, windows = 0;
    preview.SetBitmapHandler([&](const TBitmap&, int, std::int64_t) { ++handled; });
    preview.SetWindowFactory([&]() -> std::unique_ptr<TPreviewWindow> {
        ++windows;
        return nullptr;
    });
    preview.SetFlags(pfPreview | pfPreviewBitmap);
    auto picture = test::MakeGreyFrame(16, 16, AV_PIX_FMT_YUV420P, 128);
    for (int k = 0; k < 3; ++k) {
        now += 200000;
        preview.Produce(picture.get(), k + 1, 0);
    }
    EXPECT_EQ(handled, 3);
    EXPECT_EQ(windows, 0);
    EXPECT_EQ(preview.Flags(), pfPreview | pfPreviewBitmap);
}

TEST_F(PreviewTest, WindowIsMadeOnceAndClosingEndsThePreview) {
    PreviewProducer preview(DefaultPreviewInterval, clock);
    int shows = 0, destroyed = 0, made = 0;
    preview.SetWindowFactory([&] {
        ++made;
        return std::make_unique<FakeWindow>(&shows, &destroyed, 3);
    });
    preview.SetFlags(pfPreview);
    auto picture = test::MakeGreyFrame(16, 16, AV_PIX_FMT_RGB24, 10);
    for (int k = 0; k < 5; ++k) {
        now += 200000;
        preview.Produce(picture.get(), k + 1, 0);
    }
    EXPECT_EQ(made, 1);
    EXPECT_EQ(shows, 3);  // the user closed it on the third picture
    EXPECT_EQ(preview.Flags(), 0);
    EXPECT_EQ(destroyed, 1);

    // Switching the preview off closes an open window; on again makes a new one.
    shows = 0;
    preview.SetFlags(pfPreview);
    now += 200000;
    preview.Produce(picture.get(), 6, 0);
    EXPECT_EQ(made, 2);
    preview.SetFlags(0);
    EXPECT_EQ(destroyed, 2);

    // No window can be made: the preview turns itself off.
    PreviewProducer orphan(DefaultPreviewInterval, clock);
    orphan.SetFlags(pfPreview);
    orphan.Produce(picture.get(), 1, 0);
    EXPECT_EQ(orphan.Flags(), 0);
}

TEST_F(PreviewTest, FailedConversionTurnsThatPreviewOff) {
    test::LogCapture log;
    PreviewProducer preview(DefaultPreviewInterval, clock);
    int handled = 0;
    preview.SetBitmapHandler([&](const TBitmap&, int, std::int64_t) { ++handled; });
    preview.SetFlags(pfPreview | pfPreviewBitmap);
    FramePtr broken(ff::av_frame_alloc());
    broken->format = AV_PIX_FMT_NONE;
    broken->width = broken->height = 8;
    preview.Produce(broken.get(), 1, 0);
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(preview.Flags(), pfPreview);
    EXPECT_EQ(log.Count(llError, "Cannot initialize the toRGB conversion context"), 1);
}

TEST_F(PreviewTest, HandlerMayWaitForAThreadThatChangesTheFlags) {
    // The main thread may switch previews while a worker's handler waits for
    // it: the handler is called without PreviewLock held.
    PreviewProducer preview(DefaultPreviewInterval, clock);
    std::future_status status = std::future_status::deferred;
    preview.SetBitmapHandler([&](const TBitmap&, int, std::int64_t) {
        auto other = std::async(std::launch::async, [&] { preview.SetFlags(0); });
        status = other.wait_for(std::chrono::seconds(5));
    });
    preview.SetFlags(pfPreviewBitmap);
    auto picture = test::MakeGreyFrame(16, 16, AV_PIX_FMT_YUV420P, 128);
    preview.Produce(picture.get(), 1, 0);
    EXPECT_EQ(status, std::future_status::ready);
    EXPECT_EQ(preview.Flags(), 0);
}

}  // namespace
}  // namespace zorvex
