// The converter component running batches: how many tasks convert at once,
// the order of terminations and the batch end, stops, pauses, the hook, the
// preview windows and pictures, and the threads each event arrives on.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <system_error>
#include <thread>

#include "media/converter.h"
#include "media/converter_tasks.h"
#include "media/cpu_cores.h"
#include "media/log.h"
#include "media/main_thread.h"
#include "media/thread_start.h"
#include "tests/media/engine/transcode_support.h"
#include "tests/support/fixtures.h"

namespace zorvex::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string BatchClip() {
    return Fixture("converter_batch.avi",
                   "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -c:v mpeg4 -q:v 5");
}

// Records which tasks convert at the same time: a task counts from its first
// hooked picture to its termination notice (seen on the finishing thread,
// before the component starts the next task).
class RecordingConverter : public TDAdadiZUZ {
public:
    std::mutex mutex;
    std::set<int> active;
    std::size_t maxActive = 0;
    std::vector<std::string> order;  // "start k" and "end k"
    std::atomic<int> hookCalls{0};
    std::chrono::milliseconds hookDelay{10};
    std::thread::id hookThread;
    std::map<int, int> codecThreads;  // of each task that ended
    std::map<int, int> nice;          // of each task's converting thread

    RecordingConverter() {
        OnCustomHook = [this](TCustomDAdadiZUZ*, PHookInfo info) {
            ++hookCalls;
            if (info->FrameNumber == 1) {
                std::lock_guard lock(mutex);
                active.insert(info->TaskIndex);
                maxActive = std::max(maxActive, active.size());
                order.push_back("start " + std::to_string(info->TaskIndex));
                hookThread = std::this_thread::get_id();
                nice[info->TaskIndex] = ::getpriority(PRIO_PROCESS, 0);
            }
            std::this_thread::sleep_for(hookDelay);
        };
    }
    // The tasks call the handlers below until they are stopped.
    ~RecordingConverter() override { Shutdown(); }

    std::size_t Active() {
        std::lock_guard lock(mutex);
        return active.size();
    }

protected:
    void DoTerminate(TCustomFFmpeg* task) override {
        if (task != nullptr) {
            std::lock_guard lock(mutex);
            const int index = static_cast<DORudov*>(task)->Index;
            active.erase(index);
            order.push_back("end " + std::to_string(index));
            codecThreads[index] = task->CodecThreads();
        }
        TDAdadiZUZ::DoTerminate(task);
    }
};

// The OnTerminate reports of a batch, in the order they arrived.
struct Reports {
    std::mutex mutex;
    std::vector<TTerminateInfo> list;
    std::set<std::thread::id> threads;
    void Install(TCustomDAdadiZUZ& c, bool clearAtEnd = false) {
        c.OnTerminate = [this, clearAtEnd](TCustomDAdadiZUZ* sender, const TTerminateInfo& info) {
            if (info.TaskIndex < 0 && clearAtEnd) sender->ClearTasks();
            std::lock_guard lock(mutex);
            list.push_back(info);
            threads.insert(std::this_thread::get_id());
        };
    }
    bool Ended() {
        std::lock_guard lock(mutex);
        return !list.empty() && list.back().TaskIndex == -1;
    }
    bool WaitEnd() {
        return WaitServingMainThread([this] { return Ended(); }, 60s);
    }
};

class ConverterBatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadConverterLibrariesOrFail();
        SetMainThreadDispatcher(&dispatcher_);
    }
    void TearDown() override { SetMainThreadDispatcher(nullptr); }

    // Adds tasks converting the batch clip to MPEG-4 in dir; hooked.
    void AddTasks(TCustomDAdadiZUZ& c, int count) {
        for (int i = 0; i < count; ++i) {
            const int task = c.AddTask(BatchClip());
            ASSERT_EQ(task, i) << c.LastError();
            TOutputOptions o;
            InitOutputOptions(o);
            o.VideoCodec = "mpeg4";
            o.VideoHook = true;
            ASSERT_TRUE(c.SetOutputFile(task, Output(i), &o)) << c.LastError();
        }
    }
    std::string Output(int i) const { return dir.File("out" + std::to_string(i) + ".avi"); }

    TempDir dir;

private:
    QueuedMainThreadDispatcher dispatcher_;
};

TEST_F(ConverterBatchTest, FiveTasksThreeAtATimeThenTheBatchEnd) {
    RecordingConverter c;
    AddTasks(c, 5);
    Reports reports;
    reports.Install(c, /*clearAtEnd=*/true);  // allowed at once: the batch has ended
    std::vector<int> finalReports;
    bool progressOffMain = false;
    c.OnProgress = [&](TCustomDAdadiZUZ*, PProgressInfo info) {
        progressOffMain = progressOffMain || !IsMainThread();
        if (info->FileIndex == -1) finalReports.push_back(info->TaskIndex);
    };
    c.StartTask(3);
    ASSERT_TRUE(reports.WaitEnd());

    EXPECT_EQ(c.maxActive, 3u);
    // Three at a time share the cores, the later ones too; the last one,
    // which runs on alone once the others end, takes every core.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(c.codecThreads[i], AutoCodecThreads(3)) << i;
    EXPECT_EQ(c.codecThreads[4], AutoCodecThreads(1));
    // ... and, while the others still run, yields to their threads.
    for (int i = 1; i < 4; ++i) EXPECT_EQ(c.nice[i], c.nice[0]) << i;
    EXPECT_GT(c.nice[4], c.nice[0]);
    // Tasks 3 and 4 start only after a termination each.
    int ends = 0;
    for (const std::string& event : c.order) {
        if (event.rfind("end", 0) == 0) ++ends;
        if (event == "start 3") {
            EXPECT_GE(ends, 1);
        }
        if (event == "start 4") {
            EXPECT_GE(ends, 2);
        }
    }
    ASSERT_EQ(reports.list.size(), 6u);
    std::set<int> tasks;
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(reports.list[i].Finished) << reports.list[i].ExceptionMsg;
        EXPECT_FALSE(reports.list[i].Exception);
        tasks.insert(reports.list[i].TaskIndex);
    }
    EXPECT_EQ(tasks, (std::set<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(reports.list[5].TaskIndex, -1);
    EXPECT_TRUE(reports.list[5].Finished);
    EXPECT_EQ(reports.threads.count(std::this_thread::get_id()), 0u);
    EXPECT_EQ(c.TaskCount(), 0) << "ClearTasks from the batch-end handler";

    std::sort(finalReports.begin(), finalReports.end());
    EXPECT_EQ(finalReports, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_FALSE(progressOffMain);
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(Probe(Output(i)).duration, 2.0, 0.1) << i;
}

TEST_F(ConverterBatchTest, ThreadCountZeroRunsInTheCallingThreadTenStartsBoth) {
    struct Case {
        int threads;
        std::size_t atOnce;
        int fixedCodecThreads, codecThreads;
    } cases[] = {
        {0, 1, 0, AutoCodecThreads(1)},
        {10, 2, 0, AutoCodecThreads(2)},
        {10, 2, 3, 3},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.threads);
        RecordingConverter c;
        c.SetThreadCount(k.fixedCodecThreads);
        c.hookDelay = 5ms;
        AddTasks(c, 2);
        Reports reports;
        reports.Install(c);
        c.StartTask(k.threads);
        if (k.threads == 0) {
            EXPECT_TRUE(reports.Ended()) << "returns after the batch end";
            EXPECT_EQ(reports.threads, std::set<std::thread::id>{std::this_thread::get_id()});
            EXPECT_EQ(c.hookThread, std::this_thread::get_id());
            c.PauseTask();  // nothing to pause without worker threads
        }
        ASSERT_TRUE(reports.WaitEnd());
        EXPECT_EQ(c.maxActive, k.atOnce);
        ASSERT_EQ(reports.list.size(), 3u);
        EXPECT_TRUE(reports.list[0].Finished && reports.list[1].Finished);
        EXPECT_EQ(c.codecThreads, (std::map<int, int>{{0, k.codecThreads}, {1, k.codecThreads}}));
        c.ClearTasks();
    }
}

// Sources opened on other threads while the main thread lists them: each
// prepared task becomes a task once, renamed outputs are written where the
// new name says, and a task that has run is not listed again.
TEST_F(ConverterBatchTest, TasksPreparedOnOtherThreadsConvertWhereTheyAreRenamed) {
    RecordingConverter c;
    constexpr int kCount = 4;
    std::vector<TCustomDAdadiZUZ::PreparedTask> prepared(kCount);
    std::vector<std::string> errors(kCount);
    const std::string clip = BatchClip();  // made once, before the threads
    std::vector<std::thread> openers;
    for (int i = 0; i < kCount; ++i) {
        openers.emplace_back([&, i] { prepared[i] = c.PrepareTask(clip, nullptr, &errors[i]); });
    }
    std::string missingError;
    EXPECT_EQ(c.PrepareTask(dir.File("missing.avi"), nullptr, &missingError), nullptr);
    EXPECT_NE(missingError.find("missing.avi"), std::string::npos) << missingError;
    for (std::thread& t : openers) t.join();
    for (int i = 0; i < kCount; ++i) {
        ASSERT_NE(prepared[i], nullptr) << errors[i];
        ASSERT_EQ(c.AddTask(prepared[i]), i);
        TOutputOptions o;
        InitOutputOptions(o);
        o.VideoCodec = "mpeg4";
        ASSERT_TRUE(c.SetOutputFile(i, dir.File("first" + std::to_string(i) + ".avi"), &o));
    }
    EXPECT_EQ(c.AddTask(prepared[0]), -1) << "listed already";
    EXPECT_FALSE(c.RenameOutputFile(1, 0, dir.File("other.mp4"))) << "another container";
    ASSERT_TRUE(c.RenameOutputFile(1, 0, Output(1))) << c.LastError();

    Reports reports;
    reports.Install(c);
    c.StartTask(2);
    ASSERT_TRUE(reports.WaitEnd());
    for (int i = 0; i < kCount; ++i) EXPECT_TRUE(reports.list[i].Finished);
    EXPECT_TRUE(std::filesystem::exists(Output(1)));
    EXPECT_FALSE(std::filesystem::exists(dir.File("first1.avi")));
    EXPECT_NEAR(Probe(Output(1)).duration, 2.0, 0.1);
    EXPECT_NEAR(Probe(dir.File("first2.avi")).duration, 2.0, 0.1);
    c.ClearTasks();
    EXPECT_EQ(c.AddTask(prepared[2]), -1) << "has run";
}

// Stop with two of five tasks running: two stopped runs, three tasks that
// report without having run, then the batch end.
TEST_F(ConverterBatchTest, StopWhileTwoOfFiveRun) {
    RecordingConverter c;
    c.hookDelay = 20ms;
    AddTasks(c, 5);
    Reports reports;
    reports.Install(c);
    std::atomic<int> pictures{0};
    std::atomic<bool> pictureOffMain{false}, badPicture{false};
    c.SetPreviewBitmap(true);
    c.OnPreviewBitmap = [&](TCustomDAdadiZUZ*, const TPreviewInfo& info) {
        ++pictures;
        if (!IsMainThread()) pictureOffMain = true;
        if (info.Bitmap->Width != 160 || info.Bitmap->Height != 120) badPicture = true;
    };
    c.StartTask(2);
    ASSERT_TRUE(WaitServingMainThread([&] { return c.Active() == 2 && pictures > 0; }, 30s));
    c.StopTask(true);
    EXPECT_EQ(c.Active(), 0u) << "the running tasks have ended when StopTask returns";
    ASSERT_TRUE(reports.WaitEnd());

    ASSERT_EQ(reports.list.size(), 6u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(reports.list[i].Finished) << i;
        EXPECT_FALSE(reports.list[i].Exception) << reports.list[i].ExceptionMsg;
    }
    EXPECT_EQ(reports.list[5].TaskIndex, -1);
    EXPECT_TRUE(reports.list[5].Finished);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(std::count(c.order.begin(), c.order.end(), "start " + std::to_string(i)),
                  i < 2 ? 1 : 0);
        // A stopped run keeps what it wrote; a task that never ran writes nothing.
        EXPECT_EQ(fs::exists(Output(i)), i < 2) << i;
    }
    EXPECT_FALSE(pictureOffMain);
    EXPECT_FALSE(badPicture);
}

TEST_F(ConverterBatchTest, PauseHoldsTheWorkersAndStopEndsAPausedBatch) {
    RecordingConverter c;
    c.hookDelay = 20ms;
    AddTasks(c, 3);
    Reports reports;
    reports.Install(c);
    c.StartTask(2);
    ASSERT_TRUE(WaitServingMainThread([&] { return c.Active() == 2; }, 30s));
    c.PauseTask();
    std::this_thread::sleep_for(100ms);  // a picture already in the hook may finish
    const int held = c.hookCalls;
    WaitServingMainThread([] { return false; }, 300ms);
    EXPECT_EQ(c.hookCalls, held) << "a paused batch converts nothing";
    c.ResumeTask();
    ASSERT_TRUE(WaitServingMainThread([&] { return c.hookCalls > held; }, 10s));
    c.PauseTask();
    c.StopTask(true);
    ASSERT_TRUE(reports.WaitEnd());
    ASSERT_EQ(reports.list.size(), 4u);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(reports.list[i].Finished);
}

// The hook sees every picture until it asks to stop; what it draws is encoded,
// unless it declines the update or throws, which leaves the picture as decoded.
TEST_F(ConverterBatchTest, HookDrawsStopsAndSurvivesAThrow) {
    std::vector<std::string> errors;
    std::mutex logMutex;
    Logger().SetTriggerEventInMainThread(false);
    Logger().SetOnLog([&](TFFLogger*, std::uint32_t, TLogLevel level, const std::string& text) {
        std::lock_guard lock(logMutex);
        if (level == llError) errors.push_back(text);
    });
    TDAdadiZUZ c;
    ASSERT_EQ(c.AddTask(BatchClip()), 0);
    TOutputOptions o;
    InitOutputOptions(o);
    o.VideoCodec = "ffv1";
    o.VideoHook = true;
    o.StreamInfo.Timestamp = 0;
    const std::string out = dir.File("hooked.mkv");
    ASSERT_TRUE(c.SetOutputFile(0, out, &o)) << c.LastError();
    std::vector<int> frames;
    c.OnCustomHook = [&](TCustomDAdadiZUZ*, PHookInfo info) {
        frames.push_back(info->FrameNumber);
        EXPECT_TRUE(info->Update);
        EXPECT_FALSE(info->StopHook);
        std::fill(info->Bitmap->Bits.begin(), info->Bitmap->Bits.end(), 255);
        if (info->FrameNumber == 5) throw std::runtime_error("boom");
        if (info->FrameNumber == 7) info->Update = false;
        if (info->FrameNumber == 12) info->StopHook = true;
    };
    Reports reports;
    reports.Install(c);
    c.StartTask(0);
    Logger().SetOnLog(nullptr);
    ASSERT_EQ(reports.list.size(), 2u);
    ASSERT_TRUE(reports.list[0].Finished) << reports.list[0].ExceptionMsg;

    ASSERT_EQ(frames.size(), 12u) << "no call after the one that set StopHook";
    EXPECT_EQ(frames.back(), 12);
    EXPECT_NE(std::find(errors.begin(), errors.end(), "Error occurs OnCustomHook: boom"),
              errors.end());
    const auto source = DecodePictures(BatchClip(), 20);
    const auto encoded = DecodePictures(out, 20);
    ASSERT_EQ(encoded.size(), 20u);
    for (int frame = 1; frame <= 20; ++frame) {
        const double luma = MeanLuma(encoded[frame - 1].get(), 0, 0, 160, 120);
        const bool drawn = frame <= 12 && frame != 5 && frame != 7;
        if (drawn) {
            EXPECT_NEAR(luma, 235, 2) << frame;
        } else {
            EXPECT_NEAR(luma, MeanLuma(source[frame - 1].get(), 0, 0, 160, 120), 1) << frame;
        }
    }
    // Timestamp 0: the output is stamped with the present time.
    const ProcessResult tag =
        RunProcess("/usr/bin/ffprobe", {"-v", "error", "-show_entries", "format_tags=creation_time",
                                        "-of", "default=nw=1:nk=1", out});
    std::tm stamp{};
    ASSERT_NE(strptime(tag.out.c_str(), "%Y-%m-%dT%H:%M:%S", &stamp), nullptr) << tag.out;
    EXPECT_NEAR(static_cast<double>(timegm(&stamp)), static_cast<double>(std::time(nullptr)), 60);
}

// A preview window per task; closing one stops that task's previews only, and
// switching Preview on again gives it a new window.
TEST_F(ConverterBatchTest, PreviewWindowsPerTask) {
    struct Surface : TPreviewSurface {
        std::vector<std::string>* captions;
        int closeAfter = 0;
        int paints = 0;
        bool Paint(const TBitmap& bitmap, const std::string& caption) override {
            EXPECT_TRUE(IsMainThread());
            EXPECT_EQ(bitmap.Width, 160);
            captions->push_back(caption);
            return ++paints < closeAfter;
        }
    };
    std::vector<std::vector<std::string>> windows;  // captions per window
    windows.reserve(16);
    SetPreviewWindowFactory([&](int width, int height) -> std::unique_ptr<TPreviewSurface> {
        EXPECT_EQ(width, 160);
        EXPECT_EQ(height, 120);
        auto s = std::make_unique<Surface>();
        windows.emplace_back();
        s->captions = &windows.back();
        s->closeAfter = windows.size() == 1 ? 2 : 1000;  // the user closes the first window
        return s;
    });
    RecordingConverter c;
    c.hookDelay = 20ms;
    c.SetPreview(true);
    AddTasks(c, 2);
    Reports reports;
    reports.Install(c);
    c.StartTask(2);
    ASSERT_TRUE(
        WaitServingMainThread([&] { return windows.size() == 2 && windows[1].size() >= 4; }, 30s));
    EXPECT_EQ(windows[0].size(), 2u) << "no picture after the window was closed";
    c.SetPreview(true);
    ASSERT_TRUE(WaitServingMainThread([&] { return windows.size() == 3; }, 30s));
    ASSERT_TRUE(reports.WaitEnd());
    SetPreviewWindowFactory(nullptr);
    EXPECT_EQ(windows[0].size(), 2u);
    for (const auto& captions : windows) {
        for (const std::string& caption : captions) {
            EXPECT_TRUE(std::regex_match(caption, std::regex("00:00:0[0-2]\\.[0-9]{3}")))
                << caption;
        }
    }
}

// A task without an output ends at once with the engine's message and the
// batch goes on; a task stopped before any batch still reports in the next.
TEST_F(ConverterBatchTest, TasksThatCannotRunStillReport) {
    for (int threads : {0, 2}) {
        SCOPED_TRACE(threads);
        TDAdadiZUZ c;
        ASSERT_EQ(c.AddTask(BatchClip()), 0);
        ASSERT_EQ(c.AddTask(BatchClip()), 1);
        ASSERT_TRUE(c.SetOutputFile(1, Output(threads)));
        Reports reports;
        reports.Install(c);
        c.StartTask(threads);
        ASSERT_TRUE(reports.WaitEnd());
        ASSERT_EQ(reports.list.size(), 3u);
        for (int i = 0; i < 2; ++i) {
            const TTerminateInfo& r = reports.list[i];
            if (r.TaskIndex == 0) {
                EXPECT_TRUE(r.Exception);
                EXPECT_FALSE(r.Finished);
                EXPECT_EQ(r.ExceptionMsg, "At least one output file must be specified");
            } else {
                EXPECT_TRUE(r.Finished) << r.ExceptionMsg;
            }
        }
    }
    TDAdadiZUZ c;
    ASSERT_EQ(c.AddTask(BatchClip()), 0);
    ASSERT_TRUE(c.SetOutputFile(0, Output(5)));
    c.StopTask(true);
    Reports reports;
    reports.Install(c);
    c.StartTask(1);
    ASSERT_TRUE(reports.WaitEnd());
    ASSERT_EQ(reports.list.size(), 2u);
    EXPECT_EQ(reports.list[0].TaskIndex, 0);
    EXPECT_FALSE(reports.list[0].Finished);
    EXPECT_FALSE(reports.list[0].Exception);
    EXPECT_FALSE(fs::exists(Output(5)));
}

// An OnTerminate handler may stop the batch, with or without worker threads.
TEST_F(ConverterBatchTest, AHandlerMayStopTheBatch) {
    for (int threads : {0, 1}) {
        SCOPED_TRACE(threads);
        RecordingConverter c;
        c.hookDelay = threads == 0 ? 0ms : 20ms;  // task 1 still runs when the stop comes
        AddTasks(c, 3);
        Reports reports;
        c.OnTerminate = [&](TCustomDAdadiZUZ* sender, const TTerminateInfo& info) {
            if (info.TaskIndex == 0) sender->StopTask(true);
            std::lock_guard lock(reports.mutex);
            reports.list.push_back(info);
        };
        c.StartTask(threads);
        ASSERT_TRUE(reports.WaitEnd());
        ASSERT_EQ(reports.list.size(), 4u);
        std::map<int, bool> finished;
        for (const TTerminateInfo& r : reports.list) finished[r.TaskIndex] = r.Finished;
        EXPECT_EQ(finished, (std::map<int, bool>{{-1, true}, {0, true}, {1, false}, {2, false}}));
    }
}

// A worker blocked on the main thread inside a delivery (every task's last
// progress report) is served by StopTask's wait, so the two never deadlock.
TEST_F(ConverterBatchTest, StopServesAWorkerWaitingForTheMainThread) {
    struct CountingDispatcher : QueuedMainThreadDispatcher {
        std::atomic<int> waiting{0};
        bool Invoke(std::function<void()> fn, const std::function<bool()>& abandon) override {
            ++waiting;
            const bool ran = QueuedMainThreadDispatcher::Invoke(std::move(fn), abandon);
            --waiting;
            return ran;
        }
    } dispatcher;
    SetMainThreadDispatcher(&dispatcher);
    TDAdadiZUZ c;
    AddTasks(c, 2);
    std::atomic<int> progress{0};
    c.OnProgress = [&](TCustomDAdadiZUZ*, PProgressInfo) { ++progress; };
    Reports reports;
    reports.Install(c);
    c.StartTask(2);
    // Not serving the main thread until a worker waits for it.
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (dispatcher.waiting == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_GT(dispatcher.waiting, 0);
    c.StopTask(true);
    EXPECT_GT(progress, 0);
    ASSERT_TRUE(reports.WaitEnd());
    c.ClearTasks();
    SetMainThreadDispatcher(nullptr);
}

// Freeing a component in the middle of a batch stops its tasks and waits for
// them; nothing reaches the application any more.
TEST_F(ConverterBatchTest, DestroyedWhileConverting) {
    Reports reports;
    {
        RecordingConverter c;
        c.hookDelay = 20ms;
        AddTasks(c, 3);
        reports.Install(c);
        c.StartTask(2);
        ASSERT_TRUE(WaitServingMainThread([&] { return c.Active() == 2; }, 30s));
    }
    WaitServingMainThread([] { return false; }, 200ms);
    EXPECT_TRUE(reports.list.empty());
}

// What a handler may do to its own batch: stop it and clear the tasks, from a
// progress report or a preview picture (in the main thread, while the worker
// waits for it) or from a task's termination (on a delivery thread).
TEST_F(ConverterBatchTest, AHandlerMayStopAndClearTheBatch) {
    for (const std::string event : {"progress", "preview", "terminate"}) {
        SCOPED_TRACE(event);
        RecordingConverter c;
        c.hookDelay = 5ms;
        AddTasks(c, 2);
        Reports reports;
        reports.Install(c);
        std::atomic<bool> acted{false};
        std::atomic<int> left{-1};
        std::string failure;
        const auto act = [&](TCustomDAdadiZUZ* sender) {
            if (acted.exchange(true)) return;
            try {
                sender->StopTask(true);
                sender->ClearTasks();  // the stop has ended the batch
                left = sender->TaskCount();
            } catch (const std::exception& x) {
                failure = x.what();
            }
        };
        if (event == "progress") {
            c.SetProgressInterval(100);
            c.OnProgress = [&](TCustomDAdadiZUZ* sender, PProgressInfo) { act(sender); };
        } else if (event == "preview") {
            c.SetPreviewBitmap(true);
            c.OnPreviewBitmap = [&](TCustomDAdadiZUZ* sender, const TPreviewInfo&) { act(sender); };
        } else {
            c.OnTerminate = [&, report = c.OnTerminate](TCustomDAdadiZUZ* sender,
                                                        const TTerminateInfo& info) {
                if (info.TaskIndex >= 0) act(sender);
                report(sender, info);
            };
        }
        c.StartTask(2);
        ASSERT_TRUE(reports.WaitEnd());
        EXPECT_TRUE(acted);
        EXPECT_EQ(failure, "");
        EXPECT_EQ(left, 0);
    }
}

// A handler may free its own component, in the main thread or on a delivery
// thread: neither the worker that waited for the handler nor the delivery
// thread touches the component afterwards (the AddressSanitizer run checks).
TEST_F(ConverterBatchTest, AHandlerMayFreeItsComponent) {
    for (const std::string event : {"progress", "preview", "task end", "batch end"}) {
        SCOPED_TRACE(event);
        auto* c = new TDAdadiZUZ;
        AddTasks(*c, 2);
        std::atomic<bool> freeing{false};
        std::atomic<bool> freed{false};  // the destructor has returned
        const auto release = [&](TCustomDAdadiZUZ* sender) {
            if (freeing.exchange(true)) return;
            delete sender;
            freed = true;
        };
        if (event == "progress") {
            c->SetProgressInterval(100);
            c->OnProgress = [&](TCustomDAdadiZUZ* sender, PProgressInfo) { release(sender); };
        } else if (event == "preview") {
            c->SetPreviewBitmap(true);
            c->OnPreviewBitmap = [&](TCustomDAdadiZUZ* sender, const TPreviewInfo&) {
                release(sender);
            };
        } else {
            const int index = event == "task end" ? 0 : -1;
            c->OnTerminate = [&, index](TCustomDAdadiZUZ* sender, const TTerminateInfo& info) {
                if ((info.TaskIndex < 0) == (index < 0)) release(sender);
            };
        }
        c->StartTask(2);
        ASSERT_TRUE(WaitServingMainThread([&] { return freed.load(); }, 60s));
        WaitServingMainThread([] { return false; }, 100ms);  // what was still on its way
    }
}

// A worker thread the system cannot give ends its task as failed with the
// system's message; the batch goes on and ends, and can be cleared.
TEST_F(ConverterBatchTest, AWorkerThreadThatCannotStartFailsOnlyItsTask) {
    std::atomic<int> starts{0};
    SetThreadStarter([&](std::function<void()> body) {
        if (starts++ == 0) {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        return std::thread(std::move(body));
    });
    struct Restore {
        ~Restore() { SetThreadStarter(nullptr); }
    } restore;
    TDAdadiZUZ c;
    AddTasks(c, 2);
    Reports reports;
    reports.Install(c);
    c.StartTask(1);
    ASSERT_TRUE(reports.WaitEnd());
    std::map<int, TTerminateInfo> byTask;
    for (const TTerminateInfo& r : reports.list) byTask[r.TaskIndex] = r;
    ASSERT_EQ(byTask.size(), 3u);
    EXPECT_TRUE(byTask[0].Exception);
    EXPECT_FALSE(byTask[0].Finished);
    EXPECT_EQ(byTask[0].ExceptionMsg, "Resource temporarily unavailable");
    EXPECT_TRUE(byTask[1].Finished) << byTask[1].ExceptionMsg;
    EXPECT_TRUE(fs::exists(Output(1)));
    c.ClearTasks();
    EXPECT_EQ(c.TaskCount(), 0);
}

}  // namespace
}  // namespace zorvex::test
