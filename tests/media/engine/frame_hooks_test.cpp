#include "media/engine/frame_hooks.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "tests/media/engine/engine_test_support.h"
#include "tests/support/fixtures.h"

namespace zorvex {
namespace {

std::string Plugin(const char* variant) {
    return std::string(ZORVEX_TEST_HOOK_DIR) + "/test_hook_" + variant + ".so";
}

// A counter exported by a test plug-in.
template <typename T = int>
T PluginValue(const char* variant, const char* name) {
    void* lib = ::dlopen(Plugin(variant).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (lib == nullptr) return T{};
    auto fn = reinterpret_cast<T (*)()>(::dlsym(lib, name));
    const T value = fn != nullptr ? fn() : T{};
    ::dlclose(lib);
    return value;
}

class FrameHooksTest : public ::testing::Test {
protected:
    void SetUp() override { test::LoadConverterLibrariesOrFail(); }
};

TEST_F(FrameHooksTest, CustomHookSeesBitmapAndPaintsTheFrame) {
    FrameHooks hooks;
    std::vector<std::pair<int, std::int64_t>> calls;
    int width = 0, height = 0, red = -1;
    hooks.SetCustomHook([&](TBitmap& b, int frame, std::int64_t pts, bool& update, bool&) {
        calls.push_back({frame, pts});
        width = b.Width;
        height = b.Height;
        red = b.ScanLine(5)[2];
        if (frame == 2) {
            for (int y = 0; y < b.Height; ++y) {
                for (int x = 0; x < b.Width; ++x) {
                    std::uint8_t* p = b.ScanLine(y) + 3 * x;
                    p[0] = 255;  // blue
                    p[1] = p[2] = 0;
                }
            }
        } else {
            update = frame != 3;  // frame 3 paints nothing back
        }
    });
    EXPECT_TRUE(hooks.Active());
    // An odd width in 4:2:0 still reaches the handler.
    for (int k = 1; k <= 3; ++k) {
        auto f = test::MakeGreyFrame(161, 121, AV_PIX_FMT_YUV420P, 200);
        hooks.Process(f.get(), k * 40000);
        if (k == 2) {
            EXPECT_NEAR(test::LumaAt(f.get(), 80, 60), 41, 3);  // blue
            EXPECT_GT(f->data[1][30 * f->linesize[1] + 40], 200);
        } else {
            EXPECT_EQ(test::LumaAt(f.get(), 80, 60), 200);
        }
    }
    EXPECT_EQ(calls,
              (std::vector<std::pair<int, std::int64_t>>{{1, 40000}, {2, 80000}, {3, 120000}}));
    EXPECT_EQ(width, 161);
    EXPECT_EQ(height, 121);
    EXPECT_NEAR(red, 214, 3);  // luma 200 in limited range
    EXPECT_EQ(hooks.FrameCounter(), 3);
}

TEST_F(FrameHooksTest, WritingBackLeavesSharedPicturesAlone) {
    FrameHooks hooks;
    hooks.SetCustomHook([](TBitmap& b, int, std::int64_t, bool&, bool&) {
        std::fill(b.Bits.begin(), b.Bits.end(), 0);
    });
    auto decoded = test::MakeGreyFrame(32, 32, AV_PIX_FMT_YUV420P, 180);
    FramePtr reference(ff::av_frame_clone(decoded.get()));  // e.g. the decoder's reference
    hooks.Process(decoded.get(), 0);
    EXPECT_NEAR(test::LumaAt(decoded.get(), 3, 3), 16, 2);
    EXPECT_EQ(test::LumaAt(reference.get(), 3, 3), 180);
}

TEST_F(FrameHooksTest, StopOnTheFirstFrameEndsAllHooking) {
    ASSERT_TRUE(std::ifstream(Plugin("invert")).good());
    FrameHooks hooks;
    ASSERT_TRUE(hooks.AddFrameHookOption(Plugin("invert"))) << hooks.LastError();
    const int processedBefore = PluginValue("invert", "TestHookProcessed");
    int calls = 0;
    hooks.SetCustomHook([&](TBitmap&, int, std::int64_t, bool& update, bool& stop) {
        ++calls;
        update = false;
        stop = true;
    });
    for (int k = 0; k < 4; ++k) {
        auto f = test::MakeGreyFrame(16, 16, AV_PIX_FMT_YUV420P, 90);
        hooks.Process(f.get(), k);
        EXPECT_EQ(test::LumaAt(f.get(), 1, 1), 90);
    }
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(hooks.Active());
    EXPECT_EQ(hooks.FrameCounter(), 4);
    EXPECT_EQ(PluginValue("invert", "TestHookProcessed"), processedBefore);  // never run
}

TEST_F(FrameHooksTest, HandlerExceptionIsLoggedAndTheFrameKept) {
    test::LogCapture log;
    FrameHooks hooks;
    int calls = 0;
    hooks.SetCustomHook([&](TBitmap& b, int, std::int64_t, bool&, bool&) {
        ++calls;
        std::fill(b.Bits.begin(), b.Bits.end(), 255);
        throw std::runtime_error("boom");
    });
    for (int k = 0; k < 2; ++k) {
        auto f = test::MakeGreyFrame(16, 16, AV_PIX_FMT_YUV420P, 60);
        hooks.Process(f.get(), 0);
        EXPECT_EQ(test::LumaAt(f.get(), 1, 1), 60);
    }
    EXPECT_EQ(calls, 2);  // an exception does not stop the hook
    EXPECT_EQ(log.Count(llError, "Error occurs OnCustomHook: boom"), 2);
}

TEST_F(FrameHooksTest, UnconvertiblePictureStopsTheHook) {
    test::LogCapture log;
    FrameHooks hooks;
    int calls = 0;
    hooks.SetCustomHook([&](TBitmap&, int, std::int64_t, bool&, bool&) { ++calls; });
    // A software format the scaler cannot read.
    FramePtr f;
    for (int i = 0; i < AV_PIX_FMT_NB && !f; ++i) {
        const auto format = static_cast<AVPixelFormat>(i);
        const AVPixFmtDescriptor* d = ff::av_pix_fmt_desc_get(format);
        if (d == nullptr || (d->flags & AV_PIX_FMT_FLAG_HWACCEL) != 0 ||
            ff::sws_isSupportedInput(format) != 0) {
            continue;
        }
        f.reset(ff::av_frame_alloc());
        f->format = format;
        f->width = f->height = 16;
        if (ff::av_frame_get_buffer(f.get(), 0) < 0) f.reset();
    }
    ASSERT_TRUE(f);
    hooks.Process(f.get(), 0);
    hooks.Process(f.get(), 0);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(hooks.Active());
    EXPECT_EQ(log.Count(llError, "Cannot initialize the toRGB conversion context"), 1);
}

TEST_F(FrameHooksTest, PluginChangesThePictureAndIsReleased) {
    FrameHooks hooks;
    const int releasedBefore = PluginValue("invert", "TestHookReleased");
    ASSERT_TRUE(hooks.AddFrameHookOption(Plugin("invert") + "|200")) << hooks.LastError();
    ASSERT_TRUE(hooks.AddFrameHookOption(Plugin("invert") + " 100")) << hooks.LastError();
    EXPECT_TRUE(hooks.HasFrameHooks());
    EXPECT_TRUE(hooks.Active());
    auto f = test::MakeGreyFrame(24, 18, AV_PIX_FMT_YUV420P, 50);
    hooks.Process(f.get(), 123456);
    // Both, in order: 200 - 50 = 150, then 100 - 150 wraps to 206.
    EXPECT_EQ(test::LumaAt(f.get(), 5, 5), 206);
    EXPECT_EQ(PluginValue<std::int64_t>("invert", "TestHookLastPts"), 123456);
    EXPECT_EQ(PluginValue("invert", "TestHookLastFormat"), AV_PIX_FMT_YUV420P);
    EXPECT_EQ(PluginValue("invert", "TestHookLastWidth"), 24);
    EXPECT_EQ(PluginValue("invert", "TestHookLastHeight"), 18);
    hooks.Release();
    EXPECT_EQ(PluginValue("invert", "TestHookReleased"), releasedBefore + 2);
    EXPECT_FALSE(hooks.HasFrameHooks());
}

TEST_F(FrameHooksTest, PluginFailures) {
    struct Case {
        std::string value;
        int code;
        std::string logged;
    } cases[] = {
        {Plugin("no_process"), -2, "Failed to find Process entrypoint in " + Plugin("no_process")},
        {Plugin("no_configure") + "|1", -2,
         "Failed to find Configure entrypoint in " + Plugin("no_configure")},
        {Plugin("bad_configure"), -22, "Failed to Configure " + Plugin("bad_configure")},
        {"/nonexistent/hook.so", -1, "/nonexistent/hook.so"},
        {"", -2, ""},
    };
    for (const Case& c : cases) {
        test::LogCapture log;
        FrameHooks hooks;
        EXPECT_EQ(hooks.AddFrameHook(SplitFrameHookArguments(c.value)), c.code) << c.value;
        if (!c.logged.empty()) {
            EXPECT_EQ(log.Count(llError, c.logged), 1) << c.value;
        }
        EXPECT_FALSE(hooks.AddFrameHookOption(c.value));
        EXPECT_EQ(hooks.LastError(), "Failed to add video hook function: " + c.value);
        EXPECT_FALSE(hooks.HasFrameHooks());
    }
    // Process alone is enough when no arguments follow.
    FrameHooks hooks;
    EXPECT_EQ(hooks.AddFrameHook({Plugin("no_configure")}), 0);
}

TEST_F(FrameHooksTest, SplitsHookArguments) {
    struct Case {
        std::string value;
        std::vector<std::string> args;
    } cases[] = {
        {"hook.so", {"hook.so"}},
        {"hook.so|a||b|", {"hook.so", "a", "b"}},
        {"hook.so  -x 1", {"hook.so", "-x", "1"}},
        {"my hook.so|-t|a b", {"my hook.so", "-t", "a b"}},
        {"  ", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitFrameHookArguments(c.value), c.args) << c.value;
    std::string many = "hook.so";
    for (int i = 0; i < 300; ++i) many += " x";
    EXPECT_EQ(SplitFrameHookArguments(many).size(), 254u);
}

}  // namespace
}  // namespace zorvex
