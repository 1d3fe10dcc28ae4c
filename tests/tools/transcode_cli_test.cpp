// zorvex-cli transcode: outcome lines and exit codes, progress lines, and the
// failures that must leave every file as it was (a bad input, a full disk, an
// output that is the input), and an interrupt.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <regex>
#include <thread>

#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace zorvex {
namespace {

namespace fs = std::filesystem;
using test::RunProcess;

std::string Clip() {
    return test::Fixture("cli_transcode.mkv",
                         "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i "
                         "sine=sample_rate=44100:duration=2 -c:v mpeg4 -c:a pcm_s16le");
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CliTranscode, ConvertsAndReportsProgressLines) {
    test::TempDir dir;
    const std::string out = dir.File("输出 (1).avi");
    auto r = RunProcess(ZORVEX_CLI_PATH, {"transcode", "--iset", "ss=0.5", "--set", "vcodec=mpeg4",
                                          "--set", "ACODEC=mp2", Clip(), out});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "done " + out + "\n");
    // Not a terminal: plain lines, the last one for the end of the run, which
    // measures against what is left after the start time.
    EXPECT_TRUE(std::regex_search(
        r.err, std::regex("progress (99|100)% time=00:00:01\\.(4[6-9]|5)[0-9]* speed=")))
        << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"输出 (1).avi"});
}

TEST(CliTranscode, UsageErrorsExitTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {"transcode"},
        {"transcode", "only-one"},
        {"transcode", "a", "b", "c"},
        {"transcode", "--set"},
        {"transcode", "--bogus", "a", "b"},
        {"transcode", "--log", "chatty", "a", "b"},
    };
    for (const auto& args : bad) {
        auto r = RunProcess(ZORVEX_CLI_PATH, args);
        EXPECT_EQ(r.exitCode, 2) << args.size();
        EXPECT_NE(r.err.find("usage: zorvex-cli transcode"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(CliTranscode, FailuresLeaveEveryFileAsItWas) {
    test::TempDir dir;
    const std::string garbage = dir.File("garbage.avi");
    test::WriteFile(garbage, std::string(20000, '\x5a'));
    const std::string existing = dir.File("existing.mkv");
    test::WriteFile(existing, "an older file");
    const std::string input = dir.File("input.mkv");
    fs::copy_file(Clip(), input);
    const std::string inputBytes = test::ReadFile(input);

    struct Case {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{garbage, existing},
         "failed " + garbage + ": " + garbage + ": Invalid data found when processing input\n"},
        {{input, input},
         "failed " + input + ": Output file '" + input + "' is the same file as input '" + input +
             "'\n"},
        {{"--set", "vcodec=nosuchcodec", input, existing},
         "failed " + input + ": new_video_stream fail: Unknown encoder 'nosuchcodec'\n"},
        {{"--set", "acodec=mp2", "--set", "ab=9000000", input, existing},
         "failed " + input +
             ": Error while opening encoder for output stream #0.1 (Audio) - maybe incorrect "
             "parameters such as bit_rate, rate, width or height. Please check error log message "
             "to find out more detail information. mp2: bitrate 9000 is not allowed in mp2\n"},
    };
    for (const Case& k : cases) {
        std::vector<std::string> args = {"transcode", "--overwrite"};
        args.insert(args.end(), k.args.begin(), k.args.end());
        auto r = RunProcess(ZORVEX_CLI_PATH, args);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(r.out, k.out);
        EXPECT_EQ(test::ReadFile(existing), "an older file");
        EXPECT_EQ(test::ReadFile(input), inputBytes);
        EXPECT_EQ(FolderNames(dir.Path()),
                  (std::vector<std::string>{"existing.mkv", "garbage.avi", "input.mkv"}));
    }
}

// Cut-off and broken inputs fail with a text that names the file and says what
// is wrong with it, not with FFmpeg's internal answer.
TEST(CliTranscode, DamagedInputsAreNamedInPlainWords) {
    test::TempDir dir;
    auto cut = [&](const std::string& source, const std::string& name, std::size_t bytes) {
        const std::string path = dir.File(name);
        test::WriteFile(path, test::ReadFile(source).substr(0, bytes));
        return path;
    };
    const std::string picture = "-f lavfi -i testsrc=size=64x48:rate=10:duration=1 ";
    // End of file before any stream, an I/O error inside the header, a picture
    // of unknown size.
    const std::string ogg =
        cut(test::Fixture("damage_src.ogg", "-f lavfi -i sine=duration=1 -c:a libvorbis"),
            "cut.ogg", 100);
    const std::string mkv =
        cut(test::Fixture("damage_src.mkv", picture + "-c:v mpeg4"), "cut.mkv", 100);
    const std::string h264 =
        cut(test::Fixture("damage_src.h264", picture + "-c:v libx264 -f h264"), "cut.h264", 9);
    // A video stream whose tag no decoder knows.
    std::string avi = test::ReadFile(test::Fixture(
        "damage_src.avi", picture + "-f lavfi -i sine=duration=1 -c:v mpeg4 -c:a pcm_s16le"));
    for (auto at = avi.find("FMP4"); at != std::string::npos; at = avi.find("FMP4", at))
        avi.replace(at, 4, "ZZZZ");
    const std::string unknown = dir.File("unknown tag.avi");
    test::WriteFile(unknown, avi);

    const std::pair<std::string, std::string> cases[] = {
        {ogg, "The file is damaged or incomplete: " + ogg},
        {mkv, "The file is damaged or incomplete: " + mkv},
        {h264, "The file is damaged or incomplete: " + h264},
        {unknown, "No decoder for stream #0 of " + unknown},
    };
    for (const auto& [input, message] : cases) {
        auto r = RunProcess(ZORVEX_CLI_PATH, {"transcode", input, dir.File("out.mp4")});
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(r.out, "failed " + input + ": " + message + "\n") << r.err;
        EXPECT_FALSE(fs::exists(dir.File("out.mp4")));
    }
}

// Option names nothing knows and values an option refuses are reported on
// stderr; --strict fails the task instead of converting without them.
TEST(CliTranscode, OptionWarningsAndStrict) {
    test::TempDir dir;
    const std::string out = dir.File("out.avi");
    const std::pair<std::string, std::string> cases[] = {
        {"vcodce=libx264", "Unrecognized option 'vcodce' ignored"},
        {"crf=nan", "Invalid value \"nan\" for option \"crf\""},
        {"g=/usr/lib", "Invalid value \"/usr/lib\" for option \"g\""},
        {"b=1/0", "Invalid value \"1/0\" for option \"b\""},
        {"sample_fmt=subrip", "Invalid value \"subrip\" for option \"sample_fmt\""},
    };
    for (const auto& [option, warning] : cases) {
        auto r = RunProcess(ZORVEX_CLI_PATH, {"transcode", "--set", "vcodec=libx264", "--set",
                                              option, "--set", "t=0.2", Clip(), out});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "done " + out + "\n");
        EXPECT_NE(r.err.find(warning + "\n"), std::string::npos) << option << ": " << r.err;
        fs::remove(out);

        r = RunProcess(ZORVEX_CLI_PATH, {"transcode", "--strict", "--set", "vcodec=libx264",
                                         "--set", option, Clip(), out});
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(r.out, "failed " + Clip() + ": " + warning + "\n");
        EXPECT_FALSE(fs::exists(out));
    }
    // Options that are all known and accepted pass --strict.
    auto r = RunProcess(ZORVEX_CLI_PATH, {"transcode", "--strict", "--set", "vcodec=libx264",
                                          "--set", "crf=30", "--set", "t=0.2", Clip(), out});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("option"), std::string::npos) << r.err;
}

// A disk that fills up while the output is written: a file-size limit on the
// program (any user may set one), and a small memory file system where the
// test may mount one.
TEST(CliTranscode, AFullDiskFailsTheRunAndKeepsTheOlderFile) {
    test::TempDir dir;
    const std::string out = dir.File("big.avi");
    test::WriteFile(out, "an older file");
    const std::string command = "ulimit -f 64; exec '" + std::string(ZORVEX_CLI_PATH) +
                                "' transcode --overwrite --set vcodec=mpeg4 --set qscale=1 '" +
                                Clip() + "' '" + out + "'";
    auto r = RunProcess("/bin/sh", {"-c", command});
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.out.rfind("failed " + Clip() + ": ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("File too large"), std::string::npos) << r.out;
    EXPECT_EQ(test::ReadFile(out), "an older file");
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"big.avi"});

    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    const std::string small = dir.File("small");
    fs::create_directory(small);
    if (RunProcess("/bin/mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", small}).exitCode != 0) {
        GTEST_SKIP() << "no permission to mount a file system here";
    }
    const std::string full = small + "/full.avi";
    test::WriteFile(full, "an older file");
    r = RunProcess(ZORVEX_CLI_PATH, {"transcode", "--overwrite", "--set", "vcodec=mpeg4", "--set",
                                     "qscale=1", Clip(), full});
    const auto names = FolderNames(small);
    RunProcess("/bin/umount", {small});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.out.find("No space left on device"), std::string::npos) << r.out;
    EXPECT_EQ(names, std::vector<std::string>{"full.avi"});
}

std::string LongClip() {
    return test::Fixture("cli_transcode_long.mkv",
                         "-f lavfi -i testsrc=size=160x120:rate=25:duration=10 -c:v mpeg4 -q:v 4");
}

int CountPackets(const std::string& file) {
    auto probe = RunProcess("/usr/bin/ffprobe", {"-v", "error", "-count_packets", "-show_entries",
                                                 "stream=nb_read_packets", "-of", "csv=p=0", file});
    return probe.exitCode == 0 ? std::atoi(probe.out.c_str()) : -1;
}

struct Signalled {
    int status = 0;
    std::string out, err;
};

// Runs transcode --overwrite at the input's own pace and, once it reports
// progress, calls during(pid); then waits for it to end.
Signalled TranscodeWhile(const test::TempDir& dir, const std::vector<std::string>& files,
                         const std::function<void(pid_t)>& during) {
    const std::string out = dir.File("stdout.txt"), err = dir.File("stderr.txt");
    std::vector<std::string> args = {ZORVEX_CLI_PATH, "transcode", "--overwrite",   "--iset",
                                     "re=1",          "--set",     "vcodec=libx264"};
    args.insert(args.end(), files.begin(), files.end());
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen(err.c_str(), "w", stderr))
            ::_exit(126);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (test::ReadFile(err).find("progress") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    during(pid);
    Signalled r;
    ::waitpid(pid, &r.status, 0);
    r.out = test::ReadFile(out);
    r.err = test::ReadFile(err);
    fs::remove(out);
    fs::remove(err);
    return r;
}

// Runs transcode at the input's own pace and sends the signal once it reports
// progress.
Signalled TranscodeAndSignal(const test::TempDir& dir, const std::vector<std::string>& files,
                             int signal) {
    return TranscodeWhile(dir, files, [signal](pid_t pid) { ::kill(pid, signal); });
}

// Ctrl-C, SIGTERM and SIGHUP stop the run the same way. What was converted is
// kept under the output's name when nothing was there; an existing file is
// left byte for byte and the partial output is put beside it.
TEST(CliTranscode, StopSignalsKeepWhatWasWrittenAndNeverAnOlderFile) {
    const struct {
        int signal;
        int exitCode;
        bool existing;
    } cases[] = {{SIGINT, 130, true}, {SIGTERM, 143, true}, {SIGHUP, 129, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signal);
        test::TempDir dir;
        const std::string out = dir.File("结果 clip.mp4");
        const std::string older = "an older file";
        if (c.existing) test::WriteFile(out, older);
        const Signalled r = TranscodeAndSignal(dir, {LongClip(), out}, c.signal);
        ASSERT_TRUE(WIFEXITED(r.status)) << r.err;
        EXPECT_EQ(WEXITSTATUS(r.status), c.exitCode);
        EXPECT_NE(r.err.find("interrupted"), std::string::npos);
        const std::string partial = c.existing ? dir.File("结果 clip(New_1).mp4") : out;
        EXPECT_EQ(r.out, c.existing ? "stopped " + LongClip() + " (kept as " + partial + ")\n"
                                    : "stopped " + LongClip() + "\n");
        const int packets = CountPackets(partial);
        EXPECT_GT(packets, 0);
        EXPECT_LT(packets, 250);
        if (c.existing) {
            EXPECT_EQ(test::ReadFile(out), older);
            EXPECT_EQ(FolderNames(dir.Path()),
                      (std::vector<std::string>{"结果 clip(New_1).mp4", "结果 clip.mp4"}));
        } else {
            EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"结果 clip.mp4"});
        }
    }
}

// A name near the limit of one name on disk (Chinese characters are three
// bytes): a stopped run keeps its part beside the older file under a "(New_1)"
// name cut to fit; a name over the limit is refused before anything is done.
TEST(CliTranscode, LongNamesKeepTheirPartsAndTooLongOnesAreRefused) {
    test::TempDir dir;
    std::string base;
    for (int i = 0; i < 83; ++i) base += "名";
    const std::string out = dir.File(base + ".mp4");
    test::WriteFile(out, "an older file");
    const Signalled r = TranscodeAndSignal(dir, {LongClip(), out}, SIGINT);
    ASSERT_TRUE(WIFEXITED(r.status)) << r.err;
    EXPECT_EQ(WEXITSTATUS(r.status), 130);
    const std::string kept = dir.File(base.substr(0, 81 * 3) + "(New_1).mp4");
    EXPECT_EQ(r.out, "stopped " + LongClip() + " (kept as " + kept + ")\n");
    EXPECT_GT(CountPackets(kept), 0);
    EXPECT_EQ(test::ReadFile(out), "an older file");

    auto refused = RunProcess(ZORVEX_CLI_PATH, {"transcode", Clip(), dir.File(base + "1234.mp4")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.out.find("File name too long"), std::string::npos) << refused.out;
    EXPECT_EQ(FolderNames(dir.Path()),
              (std::vector<std::string>{fs::path(kept).filename(), fs::path(out).filename()}));
}

// A run that is killed leaves its temporary file; the next run into that
// folder removes it, but never the file of a run that is still going.
TEST(CliTranscode, TheNextRunRemovesWhatAKilledRunLeft) {
    test::TempDir dir;
    const Signalled killed = TranscodeAndSignal(dir, {LongClip(), dir.File("killed.mp4")}, SIGKILL);
    ASSERT_TRUE(WIFSIGNALED(killed.status));
    auto names = FolderNames(dir.Path());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(std::regex_match(
        names[0], std::regex("killed\\.mp4\\.zorvex-[0-9a-f]{8}-[0-9a-f]{6}\\.part")))
        << names[0];

    auto r = RunProcess(ZORVEX_CLI_PATH, {"transcode", "--log", "info", "--set", "vcodec=mpeg4",
                                          Clip(), dir.File("next.avi")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Removed " + dir.File(names[0])), std::string::npos) << r.err;
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"next.avi"});
}

// A file that appears at the output's name during the run, or takes the place
// of the older file that --overwrite allowed to replace, is left as it was:
// the output goes beside it and the done line names it.
TEST(CliTranscode, AFileThatAppearsDuringTheRunIsNeverReplaced) {
    for (const bool olderFile : {false, true}) {
        SCOPED_TRACE(olderFile);
        test::TempDir dir;
        const std::string out = dir.File("clip.mp4");
        if (olderFile) test::WriteFile(out, "an older file");
        const Signalled r = TranscodeWhile(dir, {LongClip(), out}, [&](pid_t) {
            // Saved the way editors save: a new file renamed over the name.
            test::WriteFile(dir.File("saved"), "saved meanwhile");
            fs::rename(dir.File("saved"), out);
        });
        ASSERT_TRUE(WIFEXITED(r.status)) << r.err;
        EXPECT_EQ(WEXITSTATUS(r.status), 0) << r.out << r.err;
        EXPECT_EQ(r.out, "done " + dir.File("clip(New_1).mp4") + "\n");
        EXPECT_NE(r.err.find(out +
                             " appeared during the conversion and is left as it was; the "
                             "output is kept as " +
                             dir.File("clip(New_1).mp4")),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(test::ReadFile(out), "saved meanwhile");
        EXPECT_EQ(CountPackets(dir.File("clip(New_1).mp4")), 250);
        EXPECT_EQ(FolderNames(dir.Path()),
                  (std::vector<std::string>{"clip(New_1).mp4", "clip.mp4"}));
    }
}

// The output's folder is moved or deleted during the run: the run fails and
// says where the finished output is; a later run in the folder it was moved
// to leaves that file alone.
TEST(CliTranscode, AnOutputFolderMovedAwayFailsTheRunAndKeepsTheOutput) {
    test::TempDir dir;
    fs::create_directory(dir.File("out"));
    Signalled r = TranscodeWhile(dir, {LongClip(), dir.File("out/clip.mp4")},
                                 [&](pid_t) { fs::rename(dir.File("out"), dir.File("moved")); });
    ASSERT_TRUE(WIFEXITED(r.status)) << r.err;
    EXPECT_EQ(WEXITSTATUS(r.status), 1) << r.out << r.err;
    auto names = FolderNames(dir.File("moved"));
    ASSERT_EQ(names.size(), 1u);
    const std::string kept = dir.File("moved/" + names[0]);
    EXPECT_TRUE(std::regex_match(names[0], std::regex("clip\\.mp4\\.zorvex-.*\\.part")))
        << names[0];
    EXPECT_EQ(r.out, "failed " + LongClip() + ": " + dir.File("out/clip.mp4") +
                         ": the converted file could not be put in place (No such file or "
                         "directory); it is kept as " +
                         kept + "\n");
    EXPECT_EQ(CountPackets(kept), 250);
    auto next = RunProcess(ZORVEX_CLI_PATH, {"transcode", "--set", "vcodec=mpeg4", Clip(),
                                             dir.File("moved/next.avi")});
    EXPECT_EQ(next.exitCode, 0) << next.err;
    EXPECT_EQ(FolderNames(dir.File("moved")), (std::vector<std::string>{names[0], "next.avi"}));

    fs::create_directory(dir.File("gone"));
    r = TranscodeWhile(dir, {LongClip(), dir.File("gone/clip.mp4")},
                       [&](pid_t) { fs::remove_all(dir.File("gone")); });
    ASSERT_TRUE(WIFEXITED(r.status)) << r.err;
    EXPECT_EQ(WEXITSTATUS(r.status), 1) << r.out << r.err;
    EXPECT_EQ(r.out.rfind("failed " + LongClip() + ": " + dir.File("gone/clip.mp4") +
                              ": the converted file could not be put in place (No such file or "
                              "directory); it was deleted with its folder (" +
                              dir.File("gone/clip.mp4.zorvex-"),
                          0),
              0u)
        << r.out;
}

TEST(CliTranscode, AnExistingOutputIsReplacedOnlyWithOverwrite) {
    test::TempDir dir;
    const std::string out = dir.File("out.avi");
    test::WriteFile(out, "an older file");
    auto r = RunProcess(ZORVEX_CLI_PATH, {"transcode", "--set", "vcodec=mpeg4", Clip(), out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "failed " + Clip() + ": " + out + " already exists (use --overwrite)\n");
    EXPECT_EQ(test::ReadFile(out), "an older file");
    // The file replaced is private and, where this test may say so, someone
    // else's: the new file is too.
    ASSERT_EQ(::chmod(out.c_str(), 0600), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(out.c_str(), 4321, 4322), 0);
    }
    r = RunProcess(ZORVEX_CLI_PATH,
                   {"transcode", "--overwrite", "--set", "vcodec=mpeg4", Clip(), out});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GT(CountPackets(out), 0);
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"out.avi"});
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    if (root) {
        EXPECT_EQ(st.st_uid, 4321u);
        EXPECT_EQ(st.st_gid, 4322u);
    }
}

// A link is followed (the link stays and the file it names is replaced), a
// pipe and a device are written as they are, a folder is refused.
TEST(CliTranscode, SpecialDestinations) {
    test::TempDir dir;
    fs::create_directory(dir.File("real"));
    test::WriteFile(dir.File("real/target.avi"), "an older file");
    fs::create_symlink("real/target.avi", dir.File("link.avi"));
    auto r = RunProcess(ZORVEX_CLI_PATH, {"transcode", "--overwrite", "--set", "vcodec=mpeg4",
                                          Clip(), dir.File("link.avi")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir.File("link.avi")));
    EXPECT_EQ(fs::read_symlink(dir.File("link.avi")), "real/target.avi");
    EXPECT_EQ(CountPackets(dir.File("real/target.avi")), 50);
    EXPECT_EQ(FolderNames(dir.File("real")), std::vector<std::string>{"target.avi"});

    // A pipe: written directly once a reader opens it; the reader gets it all.
    const std::string pipe = dir.File("pipe.ts");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string received = dir.File("received.ts");
    const std::string command = "sleep 1; cat '" + pipe + "' > '" + received + "'";
    const pid_t reader = ::fork();
    if (reader == 0) {
        ::execl("/bin/sh", "/bin/sh", "-c", command.c_str(), nullptr);
        ::_exit(127);
    }
    r = RunProcess(ZORVEX_CLI_PATH, {"transcode", "--set", "vcodec=mpeg2video", "--set",
                                     "acodec=mp2", Clip(), pipe});
    ::waitpid(reader, nullptr, 0);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "done " + pipe + "\n");
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_EQ(CountPackets(received), 50);  // the video stream's

    // A device; no --overwrite is needed for it. /dev/null stays the device.
    r = RunProcess(ZORVEX_CLI_PATH, {"transcode", "--set", "f=matroska", "--set", "vcodec=mpeg4",
                                     Clip(), "/dev/null"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    // A loop of links is something there, refused as an existing file is.
    fs::create_symlink("loop.avi", dir.File("loop.avi"));
    r = RunProcess(ZORVEX_CLI_PATH, {"transcode", Clip(), dir.File("loop.avi")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "failed " + Clip() + ": " + dir.File("loop.avi") +
                         " already exists (use --overwrite)\n");
    EXPECT_TRUE(fs::is_symlink(dir.File("loop.avi")));
    fs::remove(dir.File("loop.avi"));

    r = RunProcess(ZORVEX_CLI_PATH, {"transcode", "--overwrite", Clip(), dir.File("real")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "failed " + Clip() + ": " + dir.File("real") +
                         ": is a folder; the output must be a file name\n");
    EXPECT_EQ(FolderNames(dir.Path()),
              (std::vector<std::string>{"link.avi", "pipe.ts", "real", "received.ts"}));
}

TEST(CliTranscode, InterruptStopsAndKeepsWhatWasWritten) {
    test::TempDir dir;
    const std::string input = LongClip();
    const std::string out = dir.File("stopped.mp4");
    const std::string err = dir.File("stderr.txt");
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::FILE* log = std::freopen(err.c_str(), "w", stderr);
        (void)log;
        // Read at the input's own pace, so that the run is still going.
        ::execl(ZORVEX_CLI_PATH, ZORVEX_CLI_PATH, "transcode", "--iset", "re=1", "--set",
                "vcodec=libx264", input.c_str(), out.c_str(), nullptr);
        ::_exit(127);
    }
    // Interrupt once it reports progress.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (test::ReadFile(err).find("progress") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << test::ReadFile(err);
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_NE(test::ReadFile(err).find("interrupted"), std::string::npos);
    auto probe = RunProcess("/usr/bin/ffprobe", {"-v", "error", "-count_packets", "-show_entries",
                                                 "stream=nb_read_packets", "-of", "csv=p=0", out});
    EXPECT_EQ(probe.exitCode, 0) << probe.err;
    const int packets = std::atoi(probe.out.c_str());
    EXPECT_GT(packets, 0);
    EXPECT_LT(packets, 150);
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"stderr.txt", "stopped.mp4"}));
}

}  // namespace
}  // namespace zorvex
