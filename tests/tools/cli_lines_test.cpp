// zorvex-cli's per-file lines: one line per file whatever its name holds, and
// a stop signal while a pipe source waits for its writer is a stop.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace zorvex {
namespace {

namespace fs = std::filesystem;
using test::RunProcess;

TEST(CliLines, ANameWithANewlineTakesOneLine) {
    test::TempDir dir;
    const std::string clip = test::Fixture(
        "cli_lines.avi", "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v mpeg4");
    const std::string source = dir.File("第一行\n第二行 a\\b.avi");
    fs::copy_file(clip, source);
    const std::string missing = dir.File("gone\n.avi");
    const auto r = RunProcess(ZORVEX_CLI_PATH, {"batch", "--out", dir.File("out"), "--ext", ".mkv",
                                                "--set", "vcodec=mpeg4", source, missing});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(fs::exists(dir.File("out/第一行\n第二行 a\\b.mkv")));
    const std::string escapedOut = dir.File("out/第一行\\n第二行 a\\\\b.mkv");
    const std::string escapedMissing = dir.File("gone\\n.avi");
    EXPECT_EQ(r.out, "failed " + escapedMissing + ": " + escapedMissing +
                         ": No such file or directory\ndone " + escapedOut + "\n");
}

// A pipe opens only once something writes into it; a stop signal meanwhile
// ends the run as a stop (130 after Ctrl-C), not as a failed open.
TEST(CliLines, AStopWhileAPipeSourceWaitsForItsWriterIsAStop) {
    test::TempDir dir;
    const std::string fifo = dir.File("管道");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string out = dir.File("stdout.txt");
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!std::freopen(out.c_str(), "w", stdout)) ::_exit(126);
        ::execl(ZORVEX_CLI_PATH, ZORVEX_CLI_PATH, "transcode", fifo.c_str(),
                dir.File("out.avi").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Until the open waits for a writer (the stop handler is in place by then).
    const std::string wchan = "/proc/" + std::to_string(pid) + "/wchan";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (test::ReadFile(wchan) != "wait_for_partner" &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(test::ReadFile(out), "stopped " + fifo + "\n");
}

}  // namespace
}  // namespace zorvex
