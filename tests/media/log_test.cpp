#include "media/log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "media/ffapi.h"
#include "media/main_thread.h"
#include "tests/support/fixtures.h"

namespace zorvex {
namespace {

struct Line {
    std::uint32_t thread;
    TLogLevel level;
    std::string text;
    bool onMainThread;
};

// Collects the lines OnLog receives.
struct Collector {
    std::mutex lock;
    std::vector<Line> lines;
    void Attach(TFFLogger& logger) {
        logger.SetOnLog(
            [this](TFFLogger*, std::uint32_t tid, TLogLevel level, const std::string& text) {
                std::lock_guard g(lock);
                lines.push_back({tid, level, text, IsMainThread()});
            });
    }
    std::vector<Line> Take() {
        std::lock_guard g(lock);
        return std::exchange(lines, {});
    }
};

TEST(LogLevels, FFmpegNumbersMapBothWays) {
    struct Case {
        int number;
        TLogLevel level;
    } cases[] = {{-9, llQuiet},   {-8, llQuiet}, {-7, llPanic}, {0, llPanic},    {7, llPanic},
                 {8, llFatal},    {16, llError}, {20, llError}, {24, llWarning}, {32, llInfo},
                 {40, llVerbose}, {48, llDebug}, {56, llDebug}, {100, llDebug}};
    for (const Case& c : cases) EXPECT_EQ(LogLevelFromFFmpeg(c.number), c.level) << c.number;
    EXPECT_EQ(LogLevelToFFmpeg(llQuiet), -8);
    EXPECT_EQ(LogLevelToFFmpeg(llError), 16);
    EXPECT_EQ(LogLevelToFFmpeg(llDebug), 48);
}

TEST(Logger, LevelText) {
    TFFLogger logger;
    struct Case {
        const char* text;
        TLogLevel level;
    } cases[] = {{"Warning", llWarning}, {"20", llError},    {"-1", llPanic}, {"100", llDebug},
                 {"-9", llQuiet},        {"DEBUG", llDebug}, {"info", llInfo}};
    for (const Case& c : cases) {
        logger.SetLogLevelText(c.text);
        EXPECT_EQ(logger.LogLevel(), c.level) << c.text;
    }
    EXPECT_THROW(logger.SetLogLevelText("loud"), std::invalid_argument);
    EXPECT_THROW(logger.SetLogLevelText("12abc"), std::invalid_argument);
    EXPECT_EQ(logger.LogLevel(), llInfo);  // a refused text changes nothing
}

TEST(Logger, OnlyOneInstance) {
    TFFLogger first;
    try {
        TFFLogger second;
        FAIL() << "a second logger was created";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Allow creating only one instance of TFFLogger.");
    }
    EXPECT_EQ(&Logger(), &first);
}

TEST(Logger, OwnMessagesAreFilteredByLevelExceptVerbose) {
    TFFLogger logger;
    logger.SetTriggerEventInMainThread(false);
    Collector c;
    c.Attach(logger);
    logger.SetLogLevel(llError);
    logger.Log(nullptr, llVerbose, "status");
    logger.Log(nullptr, llInfo, "info");
    logger.Log(nullptr, llError, "error");
    logger.LogFmt(nullptr, llFatal, "fatal %d", 7);
    auto lines = c.Take();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "status");
    EXPECT_EQ(lines[1].text, "error");
    EXPECT_EQ(lines[2].text, "fatal 7");
    EXPECT_EQ(lines[2].thread, CurrentThreadId());

    logger.SetLogLevel(llQuiet);
    logger.Log(nullptr, llVerbose, "status");
    logger.Log(nullptr, llPanic, "panic");
    EXPECT_TRUE(c.Take().empty());
}

TEST(Logger, FFmpegFragmentsBecomeWholeLines) {
    test::LoadConverterLibrariesOrFail();
    TFFLogger& logger = Logger();
    logger.SetTriggerEventInMainThread(false);
    Collector c;
    c.Attach(logger);
    AVCodecContext* context = ff::avcodec_alloc_context3(nullptr);
    char prefix[128];
    std::snprintf(prefix, sizeof prefix, "[%s @ %p]", context->av_class->item_name(context),
                  static_cast<void*>(context));

    ff::av_log(context, AV_LOG_ERROR, "abc");
    EXPECT_TRUE(c.Take().empty());
    ff::av_log(context, AV_LOG_ERROR, "def\n");
    auto lines = c.Take();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, std::string(prefix) + "abcdef");
    EXPECT_EQ(lines[0].level, llError);

    ff::av_log(nullptr, AV_LOG_WARNING, "one\ntwo\nthr");
    ff::av_log(nullptr, AV_LOG_WARNING, "ee\n");
    lines = c.Take();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "one");
    EXPECT_EQ(lines[1].text, "two");
    EXPECT_EQ(lines[2].text, "three");
    EXPECT_EQ(lines[2].level, llWarning);
    ff::avcodec_free_context(&context);
}

TEST(Logger, FFmpegLevelFollowsLogLevelAndFiltersFirst) {
    test::LoadConverterLibrariesOrFail();
    TFFLogger& logger = Logger();
    logger.SetTriggerEventInMainThread(false);
    Collector c;
    c.Attach(logger);
    logger.SetLogLevel(llError);
    EXPECT_EQ(ff::av_log_get_level(), 16);
    EXPECT_EQ(TFFLogger::FFmpegLogLevel(), 16);
    ff::av_log(nullptr, AV_LOG_WARNING, "dropped\n");
    ff::av_log(nullptr, AV_LOG_ERROR, "kept\n");
    auto lines = c.Take();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "kept");
}

TEST(Logger, ThreadsCompleteTheirOwnLinesAndTheMainThreadReceivesThem) {
    test::LoadConverterLibrariesOrFail();
    QueuedMainThreadDispatcher dispatcher;
    SetMainThreadDispatcher(&dispatcher);
    TFFLogger& logger = Logger();
    Collector c;
    c.Attach(logger);

    constexpr int kThreads = 4, kLines = 200;
    std::atomic<int> running{kThreads};
    std::vector<std::thread> workers;
    std::map<std::uint32_t, int> expectedLevelByThread;
    std::mutex idsLock;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            const int level = t % 2 == 0 ? AV_LOG_INFO : AV_LOG_ERROR;
            {
                std::lock_guard g(idsLock);
                expectedLevelByThread[CurrentThreadId()] = level;
            }
            for (int i = 0; i < kLines; ++i) {
                // Three fragments per line, interleaved with the other threads'.
                ff::av_log(nullptr, level, "t%d ", t);
                ff::av_log(nullptr, level, "line %d", i);
                ff::av_log(nullptr, level, " end\n");
            }
            --running;
        });
    }
    // The main thread keeps serving while the workers log, never the other way round.
    WaitServingMainThread([&] { return running == 0; });
    for (auto& w : workers) w.join();
    dispatcher.ProcessPending();
    SetMainThreadDispatcher(nullptr);

    auto lines = c.Take();
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    std::map<std::string, int> seen;
    for (const Line& l : lines) {
        EXPECT_TRUE(l.onMainThread);
        ++seen[l.text];
        const int t = l.text[1] - '0';
        EXPECT_EQ(l.level, LogLevelFromFFmpeg(expectedLevelByThread.at(l.thread))) << l.text;
        EXPECT_EQ(l.text.substr(0, 3), "t" + std::to_string(t) + " ");
    }
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kLines; ++i) {
            EXPECT_EQ(seen["t" + std::to_string(t) + " line " + std::to_string(i) + " end"], 1);
        }
    }
}

}  // namespace
}  // namespace zorvex

namespace zorvex {
namespace {

TEST(Logger, LevelChosenBeforeTheLibrariesReachesFFmpeg) {
    Logger().SetLogLevel(llError);
    test::LoadConverterLibrariesOrFail();
    EXPECT_EQ(ff::av_log_get_level(), 16);
}

}  // namespace
}  // namespace zorvex
