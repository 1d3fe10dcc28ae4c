// Run control: starting a task on its worker thread or on the caller's,
// pausing, stopping, destroying, the termination notice and its outcome, and
// tasks running side by side.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "media/main_thread.h"
#include "tests/media/engine/engine_fixture.h"
#include "tests/media/engine/transcode_support.h"

namespace zorvex::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Long enough that a slow encoder is still busy when the test pauses or stops it.
std::string LongClip() {
    return Fixture("run_long.mkv",
                   "-f lavfi -i testsrc=size=320x240:rate=25:duration=10 -f lavfi -i "
                   "sine=sample_rate=44100:duration=10 -c:v mpeg4 -q:v 4 -c:a pcm_s16le");
}

double ProcessCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::uintmax_t FolderBytes(const std::string& folder) {
    std::uintmax_t total = 0;
    for (const auto& e : fs::directory_iterator(folder)) total += e.file_size();
    return total;
}

// Records the termination notices of an engine.
struct Notices {
    std::mutex mutex;
    int count = 0;
    std::thread::id thread;
    bool finished = false, failed = false;
    std::string message;
    void Install(TCustomFFmpeg& e) {
        e.TerminateCallback = [this](TCustomFFmpeg* engine) {
            std::lock_guard lock(mutex);
            ++count;
            thread = std::this_thread::get_id();
            finished = engine->Finished;
            failed = engine->Failed;
            message = engine->FailureMessage;
        };
    }
    int Count() {
        std::lock_guard lock(mutex);
        return count;
    }
};

class RunControlTest : public EngineTest {
protected:
    void Configure(TCustomFFmpeg& e, const std::string& input, const std::string& output,
                   const OptionList& options) {
        ASSERT_TRUE(e.AddInputFile(input)) << e.LastError();
        for (const auto& [n, v] : options) e.ParseOption(n, v);
        ASSERT_GE(e.AddOutputFile(output, false), 0) << e.LastError();
    }
    // Waits (serving the main thread) until the engine has given its notice.
    static void WaitTerminated(TCustomFFmpeg& e) {
        ASSERT_TRUE(WaitServingMainThread([&] { return e.Terminated.load(); }, 60s));
        e.RequestStop(true);  // and until its worker has let go
    }
    TempDir dir_;
};

TEST_F(RunControlTest, StartWithoutFilesTerminatesAtOnceWithoutThread) {
    Notices notices;
    notices.Install(engine);
    EXPECT_EQ(engine.Start(true), nullptr);
    EXPECT_EQ(notices.Count(), 1);
    EXPECT_EQ(notices.thread, std::this_thread::get_id());
    EXPECT_TRUE(notices.failed);
    EXPECT_FALSE(notices.finished);
    EXPECT_EQ(notices.message, "At least one output file must be specified");
    EXPECT_EQ(engine.Start(true), nullptr);  // terminated tasks do not start again
    EXPECT_EQ(notices.Count(), 1);

    engine.Reset();
    notices.Install(engine);
    ASSERT_GE(engine.AddOutputFile(dir_.File("x.mkv"), false), 0) << engine.LastError();
    EXPECT_EQ(engine.Start(false), nullptr);
    EXPECT_EQ(notices.message, "At least one input file must be specified");
    EXPECT_FALSE(fs::exists(dir_.File("x.mkv")));
}

TEST_F(RunControlTest, ThreadedRunReportsOnItsWorkerOnce) {
    Notices notices;
    notices.Install(engine);
    std::atomic<int> progressOnCaller{0};
    const auto caller = std::this_thread::get_id();
    engine.ProgressCallback = [&](TCustomFFmpeg*, int, int, int, float, float, std::int64_t,
                                  std::int64_t, std::int64_t) {
        if (std::this_thread::get_id() == caller) ++progressOnCaller;
    };
    const std::string out = dir_.File("threaded.avi");
    Configure(engine, LongClip(), out, {{"t", "2"}});
    TConvertThread* worker = engine.Start(true, tpLower);
    ASSERT_NE(worker, nullptr);
    EXPECT_EQ(engine.ConvertThread(), worker);
    EXPECT_TRUE(worker->Suspended());
    EXPECT_EQ(engine.Start(true), nullptr);  // already running
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(notices.Count(), 0);  // created suspended: nothing runs yet
    EXPECT_FALSE(fs::exists(out));
    worker->Resume();
    WaitTerminated(engine);
    EXPECT_EQ(notices.Count(), 1);
    EXPECT_NE(notices.thread, caller);
    EXPECT_TRUE(notices.finished);
    EXPECT_FALSE(notices.failed);
    EXPECT_EQ(progressOnCaller, 0);
    EXPECT_EQ(engine.ConvertThread(), nullptr);
    EXPECT_EQ(Probe(out).Find("video")->packets, 50);
}

TEST_F(RunControlTest, WorkerPriorityBecomesItsNiceValue) {
    std::atomic<int> nice{-100};
    engine.ProgressCallback = [&](TCustomFFmpeg*, int, int, int, float, float, std::int64_t,
                                  std::int64_t, std::int64_t) {
        errno = 0;
        nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
    };
    Configure(engine, LongClip(), dir_.File("nice.avi"), {{"t", "0.5"}});
    engine.Start(true, tpLowest)->Resume();
    WaitTerminated(engine);
    EXPECT_EQ(nice, 10);
}

TEST_F(RunControlTest, PauseHoldsTheOutputAndTheProcessorAndStopEndsIt) {
    Notices notices;
    notices.Install(engine);
    std::atomic<int> reports{0};
    engine.ProgressInterval = 50000;
    engine.ProgressCallback = [&](TCustomFFmpeg*, int, int, int, float, float, std::int64_t,
                                  std::int64_t, std::int64_t) { ++reports; };
    const std::string out = dir_.File("paused.mp4");
    Configure(engine, LongClip(), out, {{"vcodec", "libx264"}, {"vpre", "slower"}});
    engine.Start(true)->Resume();
    ASSERT_TRUE(WaitServingMainThread([&] { return reports > 0; }, 30s));
    engine.Pause();
    EXPECT_TRUE(engine.Paused());
    std::this_thread::sleep_for(300ms);  // the worker ends its loop pass
    const std::uintmax_t bytes = FolderBytes(dir_.Path());
    const int reportsBefore = reports;
    const double cpu = ProcessCpuSeconds();
    std::this_thread::sleep_for(2s);
    EXPECT_LT(ProcessCpuSeconds() - cpu, 0.05);
    EXPECT_EQ(FolderBytes(dir_.Path()), bytes);
    EXPECT_EQ(reports, reportsBefore);
    EXPECT_EQ(notices.Count(), 0);

    engine.Stop(true);  // resumes the paused worker, which then ends its run
    EXPECT_EQ(notices.Count(), 1);
    EXPECT_FALSE(notices.finished);
    EXPECT_FALSE(notices.failed) << notices.message;
    EXPECT_FALSE(engine.Paused());
    // The shorter output is complete and in place.
    const ProbedFile f = Probe(out);
    ASSERT_TRUE(f.ok) << f.error;
    ASSERT_NE(f.Find("video"), nullptr);
    EXPECT_GT(f.Find("video")->packets, 0);
    EXPECT_LT(f.Find("video")->packets, 250);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path()), fs::directory_iterator()), 1);
}

TEST_F(RunControlTest, StopOfATaskThatNeverRanReportsFromAnotherThread) {
    Notices notices;
    notices.Install(engine);
    Configure(engine, LongClip(), dir_.File("never.avi"), {});
    engine.Stop(true);
    EXPECT_EQ(notices.Count(), 1);
    EXPECT_NE(notices.thread, std::this_thread::get_id());
    EXPECT_FALSE(notices.finished);
    EXPECT_FALSE(notices.failed);
    engine.Stop(true);  // terminated: nothing more
    EXPECT_EQ(notices.Count(), 1);
    EXPECT_EQ(engine.Start(true), nullptr);

    // Started but never resumed: stopping runs the worker, which makes no output.
    engine.Reset();
    notices.Install(engine);
    Configure(engine, LongClip(), dir_.File("idle.avi"), {});
    ASSERT_NE(engine.Start(true), nullptr);
    engine.Stop(true);
    EXPECT_EQ(notices.Count(), 2);
    EXPECT_FALSE(notices.finished);
    EXPECT_TRUE(fs::is_empty(dir_.Path()));
}

TEST_F(RunControlTest, StopFromItsOwnCallbackAndWhileTheMainThreadIsWaitedFor) {
    QueuedMainThreadDispatcher dispatcher;
    SetMainThreadDispatcher(&dispatcher);
    Notices notices;
    notices.Install(engine);
    std::atomic<int> served{0};
    engine.ProgressInterval = 20000;
    engine.ProgressCallback = [&](TCustomFFmpeg* e, int, int frame, int, float, float, std::int64_t,
                                  std::int64_t, std::int64_t) {
        RunInMainThread([&] { ++served; });  // blocks until the main thread serves it
        if (frame >= 50) e->Stop(true);      // must not wait for itself
    };
    Configure(engine, LongClip(), dir_.File("callback.avi"), {{"vcodec", "libx264"}});
    engine.Start(true)->Resume();
    WaitTerminated(engine);
    SetMainThreadDispatcher(nullptr);
    EXPECT_EQ(notices.Count(), 1);
    EXPECT_FALSE(notices.finished);
    EXPECT_FALSE(notices.failed) << notices.message;
    EXPECT_GT(served, 0);
}

TEST_F(RunControlTest, DestroyingARunningEngineStopsAndWaits) {
    Notices notices;
    std::atomic<int> reports{0};
    const std::string out = dir_.File("destroyed.mkv");
    {
        TCustomFFmpeg running(20);
        running.Reset();
        notices.Install(running);
        running.ProgressInterval = 20000;
        running.ProgressCallback = [&](TCustomFFmpeg*, int, int, int, float, float, std::int64_t,
                                       std::int64_t, std::int64_t) { ++reports; };
        Configure(running, LongClip(), out, {{"vcodec", "libx264"}, {"vpre", "slower"}});
        running.Start(true)->Resume();
        ASSERT_TRUE(WaitServingMainThread([&] { return reports > 0; }, 30s));
    }
    EXPECT_EQ(notices.Count(), 1);
    EXPECT_FALSE(notices.finished);
    EXPECT_TRUE(Probe(out).ok);
}

TEST_F(RunControlTest, TasksSideBySideGiveTheSameBytesAsOneAfterAnother) {
    const OptionList jobs[] = {
        {{"vcodec", "mpeg4"}, {"b", "300000"}, {"acodec", "mp2"}},
        {{"vcodec", "mpeg4"}, {"s", "160x120"}, {"acodec", "ac3"}, {"vf", "hflip"}},
        {{"vcodec", "mjpeg"}, {"r", "10"}, {"acodec", "pcm_s16le"}, {"vol", "300"}},
    };
    constexpr int kJobs = 3;
    auto output = [&](int job, const char* run) {
        return dir_.File(std::string(run) + "-" + std::to_string(job) + ".avi");
    };
    for (int i = 0; i < kJobs; ++i) {
        TCustomFFmpeg e(20);
        e.Reset();
        Configure(e, LongClip(), output(i, "alone"), jobs[i]);
        e.ParseOption("t", "4");
        e.Start(false);
        ASSERT_TRUE(e.Finished) << e.FailureMessage;
    }
    std::vector<std::unique_ptr<TCustomFFmpeg>> engines;
    for (int i = 0; i < kJobs; ++i) {
        engines.push_back(std::make_unique<TCustomFFmpeg>(20));
        engines.back()->Reset();
        Configure(*engines.back(), LongClip(), output(i, "together"), jobs[i]);
        engines.back()->ParseOption("t", "4");
    }
    for (auto& e : engines) e->Start(true)->Resume();
    for (auto& e : engines) {
        WaitTerminated(*e);
        EXPECT_TRUE(e->Finished) << e->FailureMessage;
    }
    for (int i = 0; i < kJobs; ++i) {
        EXPECT_EQ(ReadFile(output(i, "together")), ReadFile(output(i, "alone"))) << i;
    }
}

}  // namespace
}  // namespace zorvex::test
