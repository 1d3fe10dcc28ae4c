// The run of a task end to end: generated inputs converted into the formats of
// the catalogue, cuts, stream copy, progress reports, two-pass encoding,
// pictures, sound, subtitles, and the failures of the setup.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "media/probe.h"
#include "tests/media/engine/engine_fixture.h"
#include "tests/media/engine/transcode_support.h"
#include "tests/support/av_sync.h"

namespace zorvex::test {
namespace {

namespace fs = std::filesystem;

// 3 s of 160x120 pictures at 25 frames per second (75 frames) and a stereo tone
// of exactly 3 s.
std::string Clip() {
    return Fixture("run_clip3.mkv",
                   "-f lavfi -i testsrc=size=160x120:rate=25:duration=3 -f lavfi -i "
                   "sine=frequency=440:sample_rate=44100:duration=3 -ac 2 -c:v mpeg4 -q:v 5 "
                   "-c:a pcm_s16le");
}

// Left half white, right half black.
std::string Halves() {
    return Fixture("run_halves.avi",
                   "-f lavfi -i color=black:size=160x120:rate=25:duration=1 -vf "
                   "drawbox=x=0:y=0:w=80:h=120:color=white:t=fill -c:v mpeg4 -q:v 2");
}

int DecodedFrames(const std::string& path) {
    const ProcessResult r = RunProcess(
        "/usr/bin/ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0",
                             "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", path});
    return r.out.empty() ? -1 : std::atoi(r.out.c_str());
}

// max_volume of the audio in dB, as ffmpeg's volumedetect measures it.
double MaxVolume(const std::string& path) {
    const ProcessResult r = RunProcess(
        "/usr/bin/ffmpeg",
        {"-v", "info", "-nostdin", "-i", path, "-af", "volumedetect", "-f", "null", "-"});
    const size_t at = r.err.find("max_volume: ");
    return at == std::string::npos ? 1000 : std::atof(r.err.c_str() + at + 12);
}

class TranscodeTest : public EngineTest {
protected:
    std::string Out(const std::string& name) const { return dir_.File(name); }
    RunOutcome Run(const std::string& input, const std::string& output,
                   const OptionList& options = {}, const OptionList& inputOptions = {}) {
        RunOutcome r = RunTask(engine, input, output, options, inputOptions);
        EXPECT_TRUE(r.started) << r.configError;
        return r;
    }
    // The folder holds exactly these names (no temporary file left behind).
    void ExpectFolder(const std::vector<std::string>& names) const {
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(dir_.Path()))
            found.push_back(e.path().filename());
        std::sort(found.begin(), found.end());
        std::vector<std::string> expected = names;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(found, expected);
    }

    TempDir dir_;
};

TEST_F(TranscodeTest, ConvertsIntoTheCatalogueFormats) {
    struct Case {
        std::string name;
        OptionList options;
        std::string video, audio;  // expected codecs; empty: no such stream
        double audioSlack;         // seconds an encoder may add (its last frame)
        int width = 160, height = 120;
    } cases[] = {
        {"a.avi", {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}}, "mpeg4", "mp3", 0.03},
        {"b.mp4", {{"vcodec", "libx264"}, {"acodec", "aac"}}, "h264", "aac", 0.03},
        {"dvd.mpg", {{"target", "pal-dvd"}}, "mpeg2video", "ac3", 0.04, 720, 576},
        {"vcd.mpg", {{"target", "pal-vcd"}}, "mpeg1video", "mp2", 0.03, 352, 288},
        {"c.asf", {{"vcodec", "wmv2"}, {"acodec", "wmav2"}}, "wmv2", "wmav2", 0.05},
        {"d.flv", {}, "flv1", "mp3", 0.03},
        {"e.mov", {}, "h264", "aac", 0.03},
        {"f.mkv", {}, "h264", "vorbis", 0.03},
        {"g.mp3", {}, "", "mp3", 0.03},  // a video input gives sound only
        {"h.wav", {}, "", "pcm_s16le", 0.001},
        {"i.flac", {}, "", "flac", 0.001},
        {"j.ogg", {{"vn", "1"}}, "", "vorbis", 0.03},
        {"k.ac3", {}, "", "ac3", 0.04},
        {"l.mp2", {}, "", "mp2", 0.03},
        {"m.m4a", {{"vn", "1"}}, "", "aac", 0.03},
        {"n.amr", {{"ar", "8000"}, {"ac", "1"}}, "", "amr_nb", 0.03},
    };
    const std::string input = Clip();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        engine.Reset();
        const RunOutcome r = Run(input, Out(k.name), k.options);
        ASSERT_TRUE(r.finished) << r.message;
        EXPECT_FALSE(r.failed);
        EXPECT_EQ(r.notices, 1);

        const ProbedFile f = Probe(Out(k.name));
        ASSERT_TRUE(f.ok) << f.error;
        const ProbedStream* v = f.Find("video");
        const ProbedStream* a = f.Find("audio");
        if (k.video.empty()) {
            EXPECT_EQ(v, nullptr);
        } else {
            ASSERT_NE(v, nullptr);
            EXPECT_EQ(v->codec, k.video);
            EXPECT_EQ(v->width, k.width);
            EXPECT_EQ(v->height, k.height);
            EXPECT_NEAR(DecodedFrames(Out(k.name)), 75, 1);  // within one frame
        }
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->codec, k.audio);
        const double sound = DecodedDuration(Out(k.name), "audio");
        EXPECT_GE(sound, 3.0 - 0.03);
        EXPECT_LE(sound, 3.0 + k.audioSlack + 0.03);

        TAVProbe probe;
        EXPECT_TRUE(probe.LoadFile(Out(k.name))) << probe.LastError();
    }
}

TEST_F(TranscodeTest, CutsAndFrameLimitsHold) {
    struct Case {
        OptionList output, input;
        int frames;
        double sound;
    } cases[] = {
        {{{"t", "1"}}, {}, 25, 1.0},
        {{{"ss", "1"}}, {}, 50, 2.0},
        {{{"ss", "0.5"}, {"t", "1.2"}}, {}, 30, 1.2},
        {{{"t", "1"}}, {{"ss", "1"}}, 25, 1.0},  // seek in the input
        {{{"vframes", "50"}}, {}, 50, -1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.output.front().first + "=" + k.output.front().second);
        engine.Reset();
        const std::string out = Out("cut.mkv");
        const RunOutcome r = Run(FlashBeepClip(3), out, k.output, k.input);
        ASSERT_TRUE(r.finished) << r.message;
        EXPECT_EQ(DecodedFrames(out), k.frames);
        if (k.sound > 0) {
            EXPECT_NEAR(DecodedDuration(out, "audio"), k.sound, 0.03);
        }
        // Picture and sound are cut at the same moment: each flash still
        // meets its beep within a frame.
        EXPECT_LT(MeasureSync(out).WorstOffset(), 0.04);
    }
}

TEST_F(TranscodeTest, StreamCopyKeepsThePacketsByteForByte) {
    const std::string out = Out("copy.mkv");
    const RunOutcome r = Run(Clip(), out, {{"vcodec", "copy"}, {"acodec", "copy"}});
    ASSERT_TRUE(r.finished) << r.message;
    for (const char* stream : {"v", "a"}) {
        const auto in = PacketHashes(Clip(), stream);
        ASSERT_GT(in.size(), 10u);
        EXPECT_EQ(PacketHashes(out, stream), in) << stream;
    }
}

TEST_F(TranscodeTest, ProgressReportsKeepTheIntervalAndEndWithTheFileSize) {
    struct Report {
        std::int64_t at;
        int file, frame, fps;
        float quality;
        std::int64_t size, duration, total;
    };
    std::vector<Report> reports;
    auto record = [&](TCustomFFmpeg*, int file, int frame, int fps, float q, float,
                      std::int64_t size, std::int64_t duration, std::int64_t total) {
        reports.push_back({ff::av_gettime_relative(), file, frame, fps, q, size, duration, total});
    };
    engine.ProgressInterval = 20000;
    engine.ProgressCallback = record;
    // A slow encoder with a long delay, so that there are several reports.
    std::string out = Out("p.mp4");
    RunOutcome r = Run(Clip(), out, {{"vcodec", "libx264"}, {"vpre", "slower"}, {"acodec", "aac"}});
    ASSERT_TRUE(r.finished) << r.message;
    ASSERT_GE(reports.size(), 3u);
    for (size_t i = 1; i < reports.size(); ++i) {
        if (reports[i].file != -1) {
            EXPECT_GE(reports[i].at - reports[i - 1].at, 20000);
        }
        EXPECT_GE(reports[i].frame, reports[i - 1].frame);
        EXPECT_GE(reports[i].duration, reports[i - 1].duration);
        EXPECT_GE(reports[i].size, reports[i - 1].size);
    }
    EXPECT_EQ(reports.front().file, 0);
    Report last = reports.back();
    EXPECT_EQ(last.file, -1);
    EXPECT_EQ(last.frame, 75);
    EXPECT_GE(last.quality, 1.0f);
    EXPECT_EQ(last.size, static_cast<std::int64_t>(fs::file_size(out)));
    EXPECT_EQ(last.total, engine.ExpectedDuration());
    EXPECT_NEAR(static_cast<double>(last.duration) / 1e6, 3.0, 0.05);

    // Sound only: no frame number, rate or quality.
    engine.Reset();
    reports.clear();
    engine.ProgressCallback = record;
    out = Out("p.mp3");
    r = Run(Clip(), out);
    ASSERT_TRUE(r.finished) << r.message;
    ASSERT_FALSE(reports.empty());
    last = reports.back();
    EXPECT_EQ(last.file, -1);
    EXPECT_EQ(last.frame, -1);
    EXPECT_EQ(last.fps, -1);
    EXPECT_EQ(last.quality, -1.0f);
    EXPECT_EQ(last.size, static_cast<std::int64_t>(fs::file_size(out)));

    // Copied pictures have no quantiser.
    engine.Reset();
    reports.clear();
    engine.ProgressCallback = record;
    r = Run(Clip(), Out("p.mkv"), {{"vcodec", "copy"}});
    ASSERT_TRUE(r.finished) << r.message;
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().frame, 75);
    EXPECT_EQ(reports.back().quality, -1.0f);

    // Without a handler the status line goes to the log, the last one marked.
    // (Reset keeps the handler; with one, only lines whose counts changed are
    // logged, so the marked line would be missing whenever a report came late.)
    engine.Reset();
    engine.ProgressCallback = nullptr;
    ClearLog();
    r = Run(Clip(), Out("psnr.avi"), {{"vcodec", "mpeg4"}, {"psnr", "1"}, {"r", "50"}});
    ASSERT_TRUE(r.finished) << r.message;
    EXPECT_TRUE(Logged(llVerbose, "frame=  149 fps="));
    EXPECT_TRUE(Logged(llVerbose, " L"));
    EXPECT_TRUE(Logged(llVerbose, "PSNR=Y:"));
    EXPECT_TRUE(Logged(llVerbose, " dup=74 drop=0"));
    EXPECT_TRUE(Logged(llVerbose, "video:"));
}

TEST_F(TranscodeTest, TwoPassEncoding) {
    ::setenv("XDG_CACHE_HOME", dir_.File("cache").c_str(), 1);
    for (const char* encoder : {"mpeg4", "libx264"}) {
        SCOPED_TRACE(encoder);
        const std::string out = Out(std::string("two-") + encoder + ".mkv");
        const OptionList common = {{"vcodec", encoder}, {"b", "200000"}, {"an", "1"}};
        for (const char* pass : {"1", "2"}) {
            engine.Reset();
            OptionList options = common;
            options.push_back({"pass", pass});
            const RunOutcome r = Run(Clip(), out, options);
            ASSERT_TRUE(r.finished) << pass << ": " << r.message;
        }
        EXPECT_EQ(DecodedFrames(out), 75);
    }
    // Each output has its own statistics, under the name the first pass gave them.
    int logs = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir_.File("cache"))) {
        if (e.path().filename() == "ffmpeg2pass-0.log") ++logs;
    }
    EXPECT_EQ(logs, 2);

    // A second pass without the first pass's statistics.
    engine.Reset();
    const std::string prefix = dir_.File("missing");
    const RunOutcome r = Run(Clip(), Out("never.mkv"),
                             {{"vcodec", "mpeg4"}, {"pass", "2"}, {"passlogfile", prefix}});
    EXPECT_TRUE(r.failed);
    EXPECT_FALSE(r.finished);
    EXPECT_EQ(r.message, "Cannot read file: Error reading log file \"" + prefix +
                             "-0.log\" for pass-2 encoding");
    EXPECT_FALSE(fs::exists(Out("never.mkv")));
}

TEST_F(TranscodeTest, PicturesGoThroughCropScaleAndFilters) {
    struct Case {
        OptionList options;
        int width, height;
        bool leftBright;
        bool rightBright;
    } cases[] = {
        {{}, 160, 120, true, false},
        {{{"vf", "hflip"}}, 160, 120, false, true},
        {{{"vf", "negate"}}, 160, 120, false, true},
        {{{"vf", "hflip,negate"}}, 160, 120, true, false},
        {{{"cropleft", "80"}}, 80, 120, false, false},
        {{{"cropright", "80"}, {"s", "40x60"}}, 40, 60, true, true},
        {{{"s", "80x60"}}, 80, 60, true, false},
        {{{"deinterlace", "1"}}, 160, 120, true, false},
        {{{"vhook", std::string(ZORVEX_TEST_HOOK_DIR) + "/test_hook_invert.so"}},
         160,
         120,
         false,
         true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.options.empty() ? "plain" : k.options.front().first);
        engine.Reset();
        const std::string out = Out("pic.avi");
        const RunOutcome r = Run(Halves(), out, k.options);
        ASSERT_TRUE(r.finished) << r.message;
        const auto pictures = DecodePictures(out, 1);
        ASSERT_EQ(pictures.size(), 1u);
        const AVFrame* p = pictures[0].get();
        EXPECT_EQ(p->width, k.width);
        EXPECT_EQ(p->height, k.height);
        const int w = p->width / 4, h = p->height / 2;
        EXPECT_EQ(MeanLuma(p, 0, h / 2, w, h) > 128, k.leftBright);
        EXPECT_EQ(MeanLuma(p, p->width - w, h / 2, w, h) > 128, k.rightBright);
    }
    engine.Reset();
    const RunOutcome bad = Run(Halves(), Out("bad.avi"), {{"vf", "hflip,nosuchfilter"}});
    EXPECT_TRUE(bad.failed);
    EXPECT_EQ(bad.message.rfind("Error opening filters: ", 0), 0u) << bad.message;
}

TEST_F(TranscodeTest, CustomHookPaintsAndStops) {
    // Paints every picture white until frame 10, then asks to stop.
    int calls = 0;
    engine.HookCallback = [&](TCustomFFmpeg*, TBitmap& bitmap, int frame, std::int64_t,
                              bool& update, bool& stop) {
        ++calls;
        EXPECT_EQ(frame, calls);
        EXPECT_EQ(bitmap.Width, 160);
        std::fill(bitmap.Bits.begin(), bitmap.Bits.end(), 255);
        update = true;
        stop = frame == 10;
    };
    const std::string out = Out("hook.avi");
    RunOutcome r = Run(Halves(), out);
    ASSERT_TRUE(r.finished) << r.message;
    EXPECT_EQ(calls, 10);
    const auto pictures = DecodePictures(out);
    ASSERT_EQ(pictures.size(), 25u);
    EXPECT_GT(MeanLuma(pictures[0].get(), 120, 30, 40, 60), 200);  // painted
    EXPECT_LT(MeanLuma(pictures[20].get(), 120, 30, 40, 60), 50);  // as decoded

    // A handler that throws: logged, the picture goes on unchanged.
    engine.Reset();
    ClearLog();
    engine.HookCallback = [](TCustomFFmpeg*, TBitmap& bitmap, int, std::int64_t, bool&, bool&) {
        std::fill(bitmap.Bits.begin(), bitmap.Bits.end(), 255);
        throw std::runtime_error("brush broke");
    };
    r = Run(Halves(), out);
    ASSERT_TRUE(r.finished) << r.message;
    EXPECT_TRUE(Logged(llError, "Error occurs OnCustomHook: brush broke"));
    EXPECT_LT(MeanLuma(DecodePictures(out, 1)[0].get(), 120, 30, 40, 60), 50);

    // Copied pictures are never decoded.
    engine.Reset();
    engine.HookCallback = [](TCustomFFmpeg*, TBitmap&, int, std::int64_t, bool&, bool&) {};
    r = Run(Halves(), Out("copy.avi"), {{"vcodec", "copy"}});
    EXPECT_EQ(r.message, "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
}

TEST_F(TranscodeTest, PreviewBitmapsComeAtMostEveryInterval) {
    std::vector<std::int64_t> times;
    engine.PreviewCallback = [&](TCustomFFmpeg*, const TBitmap& bitmap, int, std::int64_t) {
        EXPECT_EQ(bitmap.Width, 160);
        times.push_back(ff::av_gettime_relative());
    };
    engine.SetPreviewFlags(PreviewBitmapFlag);
    // Read at the input's own pace, so that the run lasts long enough.
    const RunOutcome r = Run(Halves(), Out("preview.avi"), {}, {{"re", "1"}});
    ASSERT_TRUE(r.finished) << r.message;
    ASSERT_GE(times.size(), 3u);
    EXPECT_LE(times.size(), 11u);
    // The interval is measured when a picture is taken, the handler runs after
    // its conversion, which a busy machine may delay by some milliseconds: the
    // gaps seen here may fall a little short of the interval (the exact rule is
    // tested with a clock of the test's own). Pictures come every 40 ms, so a
    // preview of every picture still fails.
    constexpr std::int64_t kSchedulingSlack = 20000;
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_GT(times[i] - times[i - 1], DefaultPreviewInterval - kSchedulingSlack);
}

TEST_F(TranscodeTest, SoundVolumeChannelsAndRate) {
    const double original = MaxVolume(ToneWav());
    struct Case {
        OptionList options;
        double gain;  // dB
        int channels, rate;
    } cases[] = {
        {{{"vol", "512"}}, 6.02, 2, 44100},
        {{{"vol", "128"}}, -6.02, 2, 44100},
        {{{"ac", "1"}}, 0, 1, 44100},
        {{{"ar", "22050"}}, 0, 2, 22050},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.options.front().first);
        engine.Reset();
        const std::string out = Out("sound.wav");
        const RunOutcome r = Run(ToneWav(), out, k.options);
        ASSERT_TRUE(r.finished) << r.message;
        EXPECT_NEAR(MaxVolume(out) - original, k.gain, 0.2);
        const ProbedFile f = Probe(out);
        ASSERT_NE(f.Find("audio"), nullptr);
        EXPECT_EQ(f.Find("audio")->channels, k.channels);
        EXPECT_EQ(f.Find("audio")->sampleRate, k.rate);
        EXPECT_NEAR(DecodedDuration(out, "audio"), 2.0, 0.005);
    }
}

TEST_F(TranscodeTest, FrameRateChangesDropAndRepeatPictures) {
    // Each output slot shows the picture nearest to its time, and the last
    // one is not repeated to fill its own duration: doubling the rate gives
    // one frame fewer than twice as many.
    // Dropped and repeated pictures keep them with their sound within one
    // output frame (PCM sound: no encoder delay to blur the measure).
    for (const auto& [rate, frames] : {std::pair{"12.5", 38}, std::pair{"50", 149}}) {
        SCOPED_TRACE(rate);
        engine.Reset();
        const std::string out = Out("rate.avi");
        const RunOutcome r = Run(FlashBeepClip(3), out, {{"r", rate}, {"acodec", "pcm_s16le"}});
        ASSERT_TRUE(r.finished) << r.message;
        EXPECT_NEAR(DecodedFrames(out), frames, 1);
        EXPECT_LT(MeasureSync(out).WorstOffset(), 1 / std::atof(rate));
    }
}

TEST_F(TranscodeTest, SubtitlesAreEncodedAndCopied) {
    const std::string srt = dir_.File("subs.srt");
    WriteFile(srt,
              "1\n00:00:00,500 --> 00:00:01,000\nhello\n\n2\n00:00:01,500 --> "
              "00:00:02,500\nworld\n");
    const std::string input =
        Fixture("run_subs.mkv", "-f lavfi -i testsrc=size=160x120:rate=25:duration=3 -i " + srt +
                                    " -c:v mpeg4 -c:s srt");
    for (const char* codec : {"ass", "copy"}) {
        SCOPED_TRACE(codec);
        engine.Reset();
        const std::string out = Out(std::string("subs-") + codec + ".mkv");
        const RunOutcome r = Run(input, out, {{"scodec", codec}});
        ASSERT_TRUE(r.finished) << r.message;
        const ProbedFile f = Probe(out);
        const ProbedStream* s = f.Find("subtitle");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->codec, std::string(codec) == "copy" ? "subrip" : "ass");
        EXPECT_EQ(s->packets, 2);
    }
}

TEST_F(TranscodeTest, CoverPictureBecomesAPictureStreamAndDoesNotHoldProgressBack) {
    const std::string input = Fixture(
        "run_cover.mp3",
        "-f lavfi -i sine=duration=2 -f lavfi -i color=red:size=64x64:duration=1 -map 0 -map 1 "
        "-c:a libmp3lame -c:v png -disposition:v attached_pic -frames:v 1 -id3v2_version 3");
    std::int64_t reached = 0;
    engine.ProgressCallback = [&](TCustomFFmpeg*, int, int, int, float, float, std::int64_t,
                                  std::int64_t duration, std::int64_t) { reached = duration; };
    const std::string out = Out("cover.mp4");
    const RunOutcome r = Run(input, out);
    ASSERT_TRUE(r.finished) << r.message;
    const ProbedFile f = Probe(out);
    ASSERT_NE(f.Find("video"), nullptr);
    EXPECT_EQ(f.Find("video")->packets, 1);
    EXPECT_NEAR(static_cast<double>(reached) / 1e6, 2.0, 0.05);
}

TEST_F(TranscodeTest, TimestampJumpsOfTransportStreamsAreClosed) {
    // Two recordings one after another, the second stamped 100 s later.
    const char* args =
        "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i sine=duration=2 -c:v "
        "mpeg2video -bf 2 -c:a mp2";
    const std::string first = ReadFile(Fixture("run_part1.ts", args));
    const std::string second =
        ReadFile(Fixture("run_part2.ts", std::string(args) + " -output_ts_offset 100"));
    const std::string input = dir_.File("jump.ts");
    WriteFile(input, first + second);
    S.Verbose = 3;
    const std::string out = Out("jump.mkv");
    const RunOutcome r = Run(input, out);
    ASSERT_TRUE(r.finished) << r.message;
    EXPECT_TRUE(Logged(llVerbose, "timestamp discontinuity"));
    EXPECT_NEAR(DecodedFrames(out), 100, 1);
    EXPECT_NEAR(Probe(out).duration, 4.0, 0.1);
}

TEST_F(TranscodeTest, JoinedInputsFollowOneAnother) {
    const std::string out = Out("joined.mkv");
    ASSERT_TRUE(engine.AddInputFile(FlashBeepClip(3)));
    ASSERT_TRUE(engine.AddInputFile(FlashBeepClip(3)));
    ASSERT_EQ(engine.AddOutputFile(out, true), 2) << engine.LastError();
    engine.Start(false);
    ASSERT_TRUE(engine.Finished) << engine.FailureMessage;
    EXPECT_NEAR(DecodedFrames(out), 150, 1);
    EXPECT_NEAR(DecodedDuration(out, "audio"), 6.0, 0.03);
    // The second file's flashes meet their beeps as the first one's do.
    const SyncMeasure sync = MeasureSync(out);
    EXPECT_EQ(sync.flashes.size(), 6u);
    EXPECT_LT(sync.WorstOffset(), 0.04);
}

TEST_F(TranscodeTest, StatisticsFileAndBitstreamFilters) {
    const std::string stats = dir_.File("stats.log");
    const std::string out = Out("stats.avi");
    const RunOutcome r = Run(
        Clip(), out,
        {{"vcodec", "mpeg4"}, {"vstats_file", stats}, {"vbsf", "dump_extra"}, {"absf", "null"}});
    ASSERT_TRUE(r.finished) << r.message;
    const std::string text = ReadFile(stats);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 75);
    EXPECT_EQ(text.rfind("frame=     1 q= ", 0), 0u) << text.substr(0, 200);
    EXPECT_NE(text.find("type= I\n"), std::string::npos);
    EXPECT_EQ(DecodedFrames(out), 75);

    // Without a name the file goes beside the output, not beside the program.
    engine.Reset();
    const std::string besideFolder = dir_.File("beside");
    fs::create_directory(besideFolder);
    const RunOutcome beside =
        Run(Clip(), besideFolder + "/beside.avi", {{"vcodec", "mpeg4"}, {"vstats", ""}});
    ASSERT_TRUE(beside.finished) << beside.message;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(besideFolder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "beside.avi");
    EXPECT_TRUE(names[1].starts_with("vstats_") && names[1].ends_with(".log")) << names[1];

    // A filter that refuses the stream's packets fails the setup.
    engine.Reset();
    const RunOutcome bad =
        Run(Clip(), Out("bad.mp4"), {{"vcodec", "mpeg4"}, {"vbsf", "h264_mp4toannexb"}});
    EXPECT_TRUE(bad.failed);
    EXPECT_NE(bad.message.find("h264_mp4toannexb"), std::string::npos) << bad.message;
}

TEST_F(TranscodeTest, FileSizeLimitEndsTheRun) {
    const std::string out = Out("limited.avi");
    const RunOutcome r = Run(Clip(), out, {{"fs", "40000"}, {"vcodec", "mpeg4"}, {"qscale", "2"}});
    ASSERT_TRUE(r.finished) << r.message;
    const auto size = fs::file_size(out);
    EXPECT_GT(size, 40000u);
    EXPECT_LT(size, 80000u);
    EXPECT_LT(DecodedFrames(out), 75);
}

TEST_F(TranscodeTest, SetupFailuresAreReportedAndLeaveNoOutput) {
    struct Case {
        OptionList options;
        std::uint8_t previewFlags;
        std::string message;
    } cases[] = {
        {{{"map", "0:0"}}, 0, "Number of stream maps must match number of output streams"},
        {{{"map", "0:1"}, {"map", "0:0"}},
         0,
         "Codec type mismatch for mapping #0.1 (Audio) -> #0.0 (Video)"},
        {{{"vcodec", "copy"}},
         PreviewWindowFlag,
         "-vcodec copy and PostHooks are incompatible (frames are not decoded)"},
        {{{"acodec", "copy"}, {"vol", "512"}},
         0,
         "-acodec copy and -vol are incompatible (frames are not decoded)"},
        {{{"acodec", "mp2"}, {"ab", "9000000"}},
         0,
         "Error while opening encoder for output stream #0.1 (Audio) - maybe incorrect "
         "parameters such as bit_rate, rate, width or height. Please check error log message to "
         "find out more detail information."},
    };
    const std::string out = Out("failed.mp4");
    WriteFile(out, "an older file of that name");
    for (const Case& k : cases) {
        SCOPED_TRACE(k.message);
        engine.Reset();
        ClearLog();
        engine.SetPreviewFlags(k.previewFlags);
        const RunOutcome r = Run(Clip(), out, k.options);
        EXPECT_TRUE(r.failed);
        EXPECT_FALSE(r.finished);
        EXPECT_EQ(r.notices, 1);
        // The library's own reason may follow.
        EXPECT_EQ(r.message.rfind(k.message, 0), 0u) << r.message;
        EXPECT_TRUE(Logged(llQuiet, k.message));
        EXPECT_EQ(ReadFile(out), "an older file of that name");
        ExpectFolder({"failed.mp4"});
    }
    EXPECT_TRUE(LoggedAnywhere("Stream mapping:"));
}

}  // namespace
}  // namespace zorvex::test
