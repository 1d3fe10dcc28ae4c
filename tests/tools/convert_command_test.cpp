// zorvex-cli formats and zorvex-cli convert.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "tests/support/av_sync.h"
#include "tests/support/fixtures.h"
#include "tests/support/process.h"
#include "tests/tools/format_expectations.h"

namespace zorvex::test {
namespace {

namespace fs = std::filesystem;

ProcessResult Cli(const std::vector<std::string>& args, int timeout = 120) {
    return RunProcess(ZORVEX_CLI_PATH, args, {}, timeout);
}

std::string Clip3s() {
    return Fixture("convert_clip_3s.avi",
                   "-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i "
                   "sine=frequency=440:sample_rate=44100 -ac 2 -t 3 -c:v mpeg4 -c:a libmp3lame");
}

// The tests that need real conversions wait for the converter component.
bool ConverterMissing() {
    static const bool missing = [] {
        TempDir dir;
        const ProcessResult r = Cli({"convert", "--format", "200", "--out", dir.Path(), Clip3s()});
        return r.out.find("the converter is not available in this build") != std::string::npos;
    }();
    return missing;
}
#define REQUIRE_CONVERTER()                                             \
    if (ConverterMissing())                                             \
    GTEST_SKIP() << "the converter component is a placeholder in this " \
                    "build"

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(FormatsCommand, ListsTheCatalogue) {
    const ProcessResult r = Cli({"formats"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 76u);
    EXPECT_EQ(lines.front(), "500\t.mpg\tVCD视频格式PAL");
    EXPECT_EQ(lines[22], "100\t.avi\t智能手机视频格式");
    EXPECT_EQ(lines.back(), "209\t.amr\tAMR（手机）音频格式");

    const ProcessResult psp = Cli({"formats", "4"});
    ASSERT_EQ(psp.exitCode, 0);
    EXPECT_NE(psp.out.find("  * 320*240 (PSP所有固件版本适用)\n"), std::string::npos);
    EXPECT_NE(psp.out.find("    480*272  (PSP 3.03或更高固件版本适用)\n"), std::string::npos);
    const ProcessResult mp3 = Cli({"formats", "200"});
    EXPECT_NE(mp3.out.find("--frame-size  视频分辨率：  (not offered)"), std::string::npos);
    EXPECT_EQ(Cli({"formats", "25"}).exitCode, 2);
}

TEST(ConvertCommand, RefusesBadRequests) {
    const std::string clip = Clip3s();
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"convert", clip}, "--format is required"},
        {{"convert", "--format", "522", clip}, "no format 522"},
        {{"convert", "--format", "abc", clip}, "--format needs a format id"},
        {{"convert", "--format", "506"}, "no FILE given"},
        {{"convert", "--format", "506", "--jobs", "0", clip}, "--jobs needs auto or a number"},
        {{"convert", "--format", "506", "--cut", "00:00:01", clip}, "--cut needs"},
        {{"convert", "--format", "506", "--cut", "0:0:1-0:0:2", clip, clip}, "single FILE"},
        {{"convert", "--format", "506", "--bogus", "1", clip}, "unknown option --bogus"},
        {{"convert", "--format", "506", "--filter", "blur", clip}, "hflip, vflip or negate"},
        {{"convert", "--format", "506", "--video-encoder", "Divx 视频压缩器", clip},
         "format 506 offers no --video-encoder \"Divx 视频压缩器\"; it offers: \"Divx 5 "
         "视频压缩器\", \"MPEG4视频压缩器\", \"XviD 视频压缩器1\", \"XviD 视频压缩器2\", "
         "\"H264/AVC高清视频压缩器\""},
        // Picking Mjpeg replaces format 1's bit rates, so 9000 kbps becomes possible.
        {{"convert", "--format", "1", "--video-bitrate", "9000 kbps(极高质量)", clip},
         "offers no --video-bitrate"},
        {{"convert", "--format", "200", "--frame-size", "320*240", clip},
         "--frame-size is not offered"},
        {{"convert", "--format", "200", "--filter", "hflip", clip}, "--filter is not offered"},
        {{"convert", "--format", "209", "--channels", "立体声", clip}, "it offers: \"单声道\""},
        // The settings window's refusal of a pair the container cannot hold.
        {{"convert", "--format", "520", "--audio-encoder", "AAC音频编码器", clip},
         "zorvex-cli convert: 所选的音频编码器“AAC音频编码器”（aac）不能写入.swf文件（swf，SWF "
         "(ShockWave Flash)），请选择其他音频编码器！\n"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = Cli(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.message << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(ConvertCommand, MissingFileFailsItsLine) {
    TempDir dir;
    const ProcessResult r =
        Cli({"convert", "--format", "506", "--out", dir.Path(), dir.File("none.avi")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "failed " + dir.File("none.avi") + ": No such file or directory\n");
}

// Mean luma of the left and right halves of a file's first picture.
std::pair<double, double> HalvesLuma(const std::string& file) {
    std::pair<double, double> halves;
    for (double* half : {&halves.first, &halves.second}) {
        const std::string x = half == &halves.first ? "0" : "iw/2";
        const ProcessResult r = RunProcess(
            "/usr/bin/ffmpeg", {"-nostdin", "-v", "error", "-i", file, "-map", "0:v:0", "-vf",
                                "crop=iw/2:ih:" + x + ":0,signalstats,metadata=mode=print:file=-",
                                "-frames:v", "1", "-f", "null", "-"});
        const auto at = r.out.find("YAVG=");
        *half = at == std::string::npos ? -1 : std::atof(r.out.c_str() + at + 5);
    }
    return halves;
}

// mean_volume in dB, as ffmpeg's volumedetect measures it.
double MeanVolume(const std::string& file) {
    const ProcessResult r = RunProcess(
        "/usr/bin/ffmpeg",
        {"-nostdin", "-v", "info", "-i", file, "-af", "volumedetect", "-f", "null", "-"});
    const auto at = r.err.find("mean_volume: ");
    return at == std::string::npos ? 1000 : std::atof(r.err.c_str() + at + 13);
}

TEST(ConvertCommand, ChoiceOptionsReachTheOutput) {
    REQUIRE_CONVERTER();
    TempDir dir;
    // A detailed picture whose left half is brighter, and a tone at -18 dB.
    const std::string clip = Fixture(
        "convert_halves_3s.avi",
        "-f lavfi -i "
        "testsrc2=s=320x240:r=25:d=3,drawbox=x=0:y=0:w=160:h=240:c=white@0.6:t=fill "
        "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 -ac 2 -c:v mpeg4 -q:v 2 "
        "-c:a libmp3lame");
    const std::vector<std::string> common = {"convert",
                                             "--format",
                                             "1",
                                             "--video-encoder",
                                             "Mjpeg 视频压缩器",
                                             "--video-bitrate",
                                             "4000 kbps(高质量)",
                                             "--frame-size",
                                             "704*576",
                                             "--sample-rate",
                                             "22050",
                                             "--channels",
                                             "单声道"};
    auto convert = [&](const std::string& folder, std::vector<std::string> extra) {
        std::vector<std::string> args = common;
        args.insert(args.end(), {"--out", dir.File(folder)});
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(clip);
        const ProcessResult r = Cli(args);
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        const std::string output = dir.File(folder + "/convert_halves_3s.avi");
        EXPECT_EQ(r.out, "done " + output + "\n");
        return output;
    };
    const std::string chosen = convert("chosen", {"--filter", "hflip", "--volume", "音量增加1倍"});
    const std::string plain = convert("plain", {});

    const ProbeFacts facts = Probe(chosen);
    EXPECT_EQ(facts.videoCodec, "mjpeg");
    EXPECT_EQ(facts.width, 704);
    EXPECT_EQ(facts.height, 576);
    EXPECT_EQ(facts.sampleRate, 22050);
    EXPECT_EQ(facts.channels, 1);
    // The flip: the brighter half is now on the right.
    const auto [left, right] = HalvesLuma(chosen);
    EXPECT_GT(right - left, 50) << left << " " << right;
    const auto [plainLeft, plainRight] = HalvesLuma(plain);
    EXPECT_GT(plainLeft - plainRight, 50) << plainLeft << " " << plainRight;
    // Twice the volume is 6 dB louder than the same conversion without it.
    EXPECT_NEAR(MeanVolume(chosen) - MeanVolume(plain), 6.02, 0.5);
    // 4000 kbit/s of pictures (MJPEG's rate control holds it within a few
    // tenths at this size).
    const ProcessResult rate =
        RunProcess("/usr/bin/ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                        "stream=bit_rate", "-of", "csv=p=0", chosen});
    EXPECT_NEAR(std::atof(rate.out.c_str()), 4000000, 4000000 * 0.2) << rate.out;
}

TEST(ConvertCommand, ExistingOutputsGetNewNamesUnlessOverwritten) {
    REQUIRE_CONVERTER();
    TempDir dir;
    const std::string clip = Clip3s();
    WriteFile(dir.File("convert_clip_3s.mp3"), "old");
    WriteFile(dir.File("convert_clip_3s(New_1).mp3"), "old");
    ProcessResult r = Cli({"convert", "--format", "200", "--out", dir.Path(), clip});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "done " + dir.File("convert_clip_3s(New_2).mp3") + "\n");
    EXPECT_EQ(ReadFile(dir.File("convert_clip_3s.mp3")), "old");

    r = Cli({"convert", "--format", "200", "--overwrite", "--out", dir.Path(), clip});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "done " + dir.File("convert_clip_3s.mp3") + "\n");
    EXPECT_NE(ReadFile(dir.File("convert_clip_3s.mp3")), "old");
}

TEST(ConvertCommand, CutRangeOfASingleFile) {
    REQUIRE_CONVERTER();
    TempDir dir;
    // Format 16: MPEG-4 at 320*240 and 25 frames per second, as the source.
    const std::string source = FlashBeepClip(3);
    const ProcessResult r = Cli(
        {"convert", "--format", "16", "--out", dir.Path(), "--cut", "00:00:01-00:00:02", source});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const std::string output = dir.File("flash_beep_3s.mkv");
    const ProcessResult length = RunProcess(
        "/usr/bin/ffprobe",
        {"-v", "error", "-show_entries", "format=duration", "-of", "default=nw=1:nk=1", output});
    EXPECT_NEAR(std::atof(length.out.c_str()), 1.0, 0.1);
    // The first picture is the source's picture at the cut's start (its
    // background changes colour every second).
    const PictureMean first = PictureMeanAt(output, 0);
    const PictureMean atStart = PictureMeanAt(source, 1.0);
    const PictureMean before = PictureMeanAt(source, 0.96);
    EXPECT_NEAR(first.u, atStart.u, 4);
    EXPECT_NEAR(first.v, atStart.v, 4);
    EXPECT_GT(std::fabs(before.v - atStart.v), 20);  // the check can tell them apart
    // Sound and picture are cut at the same moment: the flash at 1.36 s of the
    // source meets its beep within a frame.
    const SyncMeasure sync = MeasureSync(output);
    ASSERT_EQ(sync.flashes.size(), 1u);
    EXPECT_NEAR(sync.flashes[0], 0.36, 0.045);
    EXPECT_LT(sync.WorstOffset(), 0.04);

    // Beyond the source's length: the window's message, nothing converted.
    const ProcessResult late = Cli({"convert", "--format", "16", "--out", dir.File("late"), "--cut",
                                    "00:00:01-00:00:04", source});
    EXPECT_EQ(late.exitCode, 2);
    EXPECT_NE(late.err.find("截取时间设置错误，不允许停止时间大于时间长度！"), std::string::npos);
}

TEST(ConvertCommand, SeveralFilesOneLineEach) {
    REQUIRE_CONVERTER();
    TempDir dir;
    const std::string bad = dir.File("bad.avi");
    WriteFile(bad, "not a media file");
    fs::create_directories(dir.File("b"));
    const std::string second = dir.File("b/convert_clip_3s.avi");
    fs::copy_file(Clip3s(), second);
    const std::string out = dir.File("out");
    const ProcessResult r =
        Cli({"convert", "--format", "4", "--jobs", "2", "--out", out, Clip3s(), bad, second});
    EXPECT_EQ(r.exitCode, 1);  // one file failed
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0].rfind("failed " + bad + ": ", 0), 0u) << lines[0];
    // Same source name twice: the second output gets its own name, with the
    // file's extension (not ".psp.mp4").
    std::vector<std::string> done(lines.begin() + 1, lines.end());
    std::sort(done.begin(), done.end());
    EXPECT_EQ(done[0], "done " + out + "/convert_clip_3s(New_1).mp4");
    EXPECT_EQ(done[1], "done " + out + "/convert_clip_3s.mp4");
}

TEST(ConvertCommand, InterruptStopsTheBatch) {
    REQUIRE_CONVERTER();
    TempDir dir;
    // Format 115 scales to 4096*3112: long enough to be interrupted.
    const ProcessResult r = RunProcess(
        "/usr/bin/timeout", {"--preserve-status", "-s", "INT", "2", ZORVEX_CLI_PATH, "convert",
                             "--format", "115", "--out", dir.Path(), Clip3s()});
    EXPECT_EQ(r.exitCode, 130) << r.out << r.err;
    EXPECT_EQ(r.out, "stopped " + Clip3s() + "\n");
}

}  // namespace
}  // namespace zorvex::test
