// Codec threads: the cores this process may use and how a batch shares them,
// the count that reaches the encoder, and encoder output that depends only on
// that count, never on the timing of the threads.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <thread>

#include "media/cpu_cores.h"
#include "tests/media/engine/engine_fixture.h"
#include "tests/media/engine/transcode_support.h"

namespace zorvex::test {
namespace {

TEST(CpuCores, FollowTheAffinityAndShareTheCoresAmongTheFiles) {
    const int cores = UsableCores();
    ASSERT_GE(cores, 1);
    const int perTask = std::min(cores, MaxAutoCodecThreads);
    struct Case {
        int files, atOnce;
    } files[] = {{0, 1}, {1, 1}, {1000, cores}};
    for (const Case& k : files) EXPECT_EQ(AutoFilesAtOnce(k.files), k.atOnce) << k.files;
    struct Share {
        int running, threads;
    } shares[] = {{0, perTask}, {1, perTask}, {cores, 1}, {cores * 4, 1}};
    for (const Share& k : shares) EXPECT_EQ(AutoCodecThreads(k.running), k.threads) << k.running;
    // An encoder takes the share as its library would take that many cores.
    struct Encoder {
        const char* name;
        int cores, threads;
    } encoders[] = {{"libx264", 1, 1}, {"libx264", 2, 3}, {"libx264", 16, 24}, {"libx264rgb", 2, 3},
                    {"mpeg4", 4, 4},   {"libx265", 2, 2}, {"libx264", 0, 1}};
    for (const Encoder& k : encoders) {
        EXPECT_EQ(AutoEncoderThreads(k.name, k.cores), k.threads) << k.name << " " << k.cores;
    }

    // What taskset or a container allows, not the machine's core count.
    int pinnedCores = 0, pinnedAtOnce = 0, pinnedThreads = 0;
    std::thread([&] {
        cpu_set_t allowed, one;
        ASSERT_EQ(sched_getaffinity(0, sizeof(allowed), &allowed), 0);
        CPU_ZERO(&one);
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &allowed)) {
                CPU_SET(cpu, &one);
                break;
            }
        }
        ASSERT_EQ(pthread_setaffinity_np(pthread_self(), sizeof(one), &one), 0);
        pinnedCores = UsableCores();
        pinnedAtOnce = AutoFilesAtOnce(4);
        pinnedThreads = AutoCodecThreads(1);
    }).join();
    EXPECT_EQ(pinnedCores, 1);
    EXPECT_EQ(pinnedAtOnce, 1);
    EXPECT_EQ(pinnedThreads, 1);
}

// The "threads=N" libx264 writes into the stream it made; empty without one.
std::string X264Threads(const std::string& bytes) {
    const size_t options = bytes.find("options: ");
    if (options == std::string::npos) return {};
    const size_t at = bytes.find(" threads=", options);
    if (at == std::string::npos) return {};
    const size_t end = bytes.find(' ', at + 9);
    return bytes.substr(at + 9, end - at - 9);
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CodecThreadsTest : public EngineTest {
protected:
    // H.264 decoded and encoded again with libx264 into a raw stream.
    std::string Encode(const std::string& name, const OptionList& options, int autoThreads) {
        engine.Reset();
        engine.AutoThreadCount = autoThreads;
        OptionList all = {{"vcodec", "libx264"}, {"an", "1"}};
        all.insert(all.end(), options.begin(), options.end());
        const std::string out = dir_.File(name);
        const RunOutcome r = RunTask(engine, MkvH264Aac(), out, all);
        EXPECT_TRUE(r.started && r.finished && !r.failed) << r.configError << r.message;
        return Contents(out);
    }
    TempDir dir_;
};

TEST_F(CodecThreadsTest, TheCountReachesTheEncoderAndAloneDecidesItsOutput) {
    const int everyCore = std::min(UsableCores(), MaxAutoCodecThreads);
    struct Case {
        OptionList options;
        int autoThreads;  // what the converter gave the task
        int threads;
    } cases[] = {
        {{{"threads", "3"}}, 0, 3},  // a number beats the converter's share
        {{{"threads", "1"}}, 4, 1},
        {{{"threads", "auto"}}, 2, 3},  // the converter's share, as x264 takes two cores
        {{{"threads", "auto"}}, 1, 1},
        {{}, 0, AutoEncoderThreads("libx264", everyCore)},  // nobody chose: every usable core
    };
    for (const Case& k : cases) {
        const std::string bytes = Encode("out.h264", k.options, k.autoThreads);
        EXPECT_EQ(X264Threads(bytes), std::to_string(k.threads)) << k.autoThreads;
    }
    // Frame threads with a fixed count give the same stream however the
    // threads happened to run.
    const std::string first = Encode("a.h264", {{"threads", "3"}}, 0);
    const std::string second = Encode("b.h264", {{"threads", "3"}}, 0);
    ASSERT_FALSE(first.empty());
    EXPECT_TRUE(first == second) << "two runs with three threads differ";
}

}  // namespace
}  // namespace zorvex::test
