// Real sources into encoded outputs: channel counts, pixel formats, sizes and
// frame rates the encoders take, parameters from the mapped stream, the
// picture's shape (sample aspect, rotation, bars), disc streams, and failures
// that say the library's reason. ffprobe is the oracle; the expectations come
// from what the encoders and the formats take, written out per case.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

#include "tests/media/engine/engine_fixture.h"
#include "tests/media/engine/transcode_support.h"

namespace zorvex::test {
namespace {

namespace fs = std::filesystem;

// --- sources ---------------------------------------------------------------

std::string Surround51() {
    return Fixture("fidelity_51.mkv",
                   "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 -ac 6 -c:a ac3");
}
std::string Surround71() {
    return Fixture("fidelity_71.mkv",
                   "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 -ac 8 "
                   "-channel_layout 7.1 -c:a flac");
}
std::string Mono22k() {
    return Fixture("fidelity_mono22k.mp3",
                   "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 -ac 1 "
                   "-c:a libmp3lame");
}
// Picture, a 5.1 main track and a mono commentary at another rate.
std::string WithCommentary() {
    return Fixture("fidelity_commentary.mkv",
                   "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
                   "sine=frequency=440:sample_rate=48000:duration=1 -f lavfi -i "
                   "sine=frequency=880:sample_rate=22050:duration=1 -map 0 -map 1 -map 2 -c:v "
                   "mpeg4 -c:a:0 ac3 -ac:a:0 6 -c:a:1 libmp3lame -ac:a:1 1");
}
// Two programs: 320x240 and 160x96 pictures.
std::string TwoPrograms() {
    return Fixture("fidelity_programs.ts",
                   "-f lavfi -i testsrc=size=320x240:rate=25:duration=1 -f lavfi -i "
                   "testsrc=size=160x96:rate=25:duration=1 -map 0:v -map 1:v -c:v mpeg2video "
                   "-program title=big:st=0 -program title=small:st=1");
}
std::string Yuv422p10() {
    return Fixture("fidelity_422p10.mkv",
                   "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v libx264 -preset "
                   "ultrafast -pix_fmt yuv422p10le");
}
std::string Odd641x359() {
    return Fixture("fidelity_gray_odd.mkv",
                   "-f lavfi -i color=c=gray:size=641x359:rate=25:duration=1,format=yuv444p "
                   "-c:v ffv1");
}
// Plain grey pictures: bars around them are found exactly.
std::string Picture(int width, int height) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    return Fixture("fidelity_gray_" + size + ".mkv", "-f lavfi -i color=c=gray:size=" + size +
                                                         ":rate=25:duration=1 -c:v mpeg4 -q:v 3");
}
// 720x576 whose 16:9 shape only the container states (the pictures say 1:1).
std::string AnamorphicInContainer() {
    const std::string plain = Fixture("fidelity_gray_720x576.mkv",
                                      "-f lavfi -i color=c=gray:size=720x576:rate=25:duration=1 "
                                      "-c:v mpeg2video -q:v 4");
    return Fixture("fidelity_gray_720x576_sar64_45.mkv", "-i " + plain + " -c copy -aspect 16:9");
}
// A phone clip: 320x180 pictures to be shown turned a quarter clockwise.
std::string Rotated() {
    const std::string plain = Fixture("fidelity_rot_plain.mp4",
                                      "-f lavfi -i testsrc=size=320x180:rate=25:duration=1 "
                                      "-c:v libx264 -preset ultrafast -pix_fmt yuv420p");
    return Fixture("fidelity_rot90.mp4", "-i " + plain + " -c copy -metadata:s:v:0 rotate=90");
}

// --- what ffprobe sees -----------------------------------------------------

struct VideoFacts {
    std::string codec, pixFmt, profile;
    int width = 0, height = 0;
    double sar = 0, fps = 0;
    double DisplayAspect() const { return height > 0 ? width * sar / height : 0; }
};

double Ratio(const std::string& text) {
    const auto colon = text.find_first_of(":/");
    if (colon == std::string::npos) return std::atof(text.c_str());
    const double den = std::atof(text.c_str() + colon + 1);
    return den == 0 ? 0 : std::atof(text.substr(0, colon).c_str()) / den;
}

VideoFacts ProbeVideo(const std::string& path) {
    const ProcessResult r = RunProcess(
        "/usr/bin/ffprobe",
        {"-v", "error", "-select_streams", "v:0", "-show_entries",
         "stream=codec_name,pix_fmt,profile,width,height,sample_aspect_ratio,r_frame_rate", "-of",
         "default=nw=1", path});
    std::map<std::string, std::string> f;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) f[line.substr(0, eq)] = line.substr(eq + 1);
    }
    VideoFacts v;
    v.codec = f["codec_name"];
    v.pixFmt = f["pix_fmt"];
    v.profile = f["profile"];
    v.width = std::atoi(f["width"].c_str());
    v.height = std::atoi(f["height"].c_str());
    // No sample aspect (or a container that keeps none) means square pixels.
    v.sar = Ratio(f["sample_aspect_ratio"]) > 0 ? Ratio(f["sample_aspect_ratio"]) : 1.0;
    v.fps = Ratio(f["r_frame_rate"]);
    return v;
}

// Rows and columns of the first picture that are black at the edges, as
// cropdetect finds the picture inside its bars: "w:h:x:y".
std::string PictureArea(const std::string& path) {
    const ProcessResult r = RunProcess(
        "/usr/bin/ffmpeg", {"-v", "info", "-nostdin", "-i", path, "-frames:v", "3", "-vf",
                            "cropdetect=limit=24:round=2:reset=1", "-f", "null", "-"});
    const auto at = r.err.rfind("crop=");
    if (at == std::string::npos) return "";
    return r.err.substr(at + 5, r.err.find_first_of(" \n", at) - at - 5);
}

class OutputFidelityTest : public EngineTest {
protected:
    RunOutcome Run(const std::string& input, const std::string& output,
                   const OptionList& options = {}, const OptionList& inputOptions = {}) {
        RunOutcome r = RunTask(engine, input, output, options, inputOptions);
        EXPECT_TRUE(r.started) << r.configError;
        return r;
    }
    std::string Out(const std::string& name) const { return dir_.File(name); }
    TempDir dir_;
};

// Every output has the channel count asked for, or the source's, as near as
// its encoder takes it; the sound is mixed down or up by the resampler.
TEST_F(OutputFidelityTest, ChannelCountsFitTheEncoder) {
    struct Case {
        std::string source;
        const char* output;
        const char* codec;
        const char* channels;  // "ac"; empty: the source's
        int expected;
        int expectedRate;
    } cases[] = {
        {Surround51(), "a.mp3", "libmp3lame", "", 2, 48000},  // MP3 takes at most stereo
        {Surround51(), "b.ac3", "ac3", "2", 2, 48000},
        {Surround71(), "c.ac3", "ac3", "", 6, 48000},  // AC-3 ends at 5.1
        {Surround51(), "d.wma", "wmav2", "", 2, 48000},
        {Mono22k(), "e.m4a", "aac", "2", 2, 22050},
        {Surround51(), "f.mp2", "mp2", "1", 1, 48000},
        {Surround51(), "g.amr", "libopencore_amrnb", "", 1, 8000},  // mono at 8 kHz only
    };
    for (const Case& k : cases) {
        engine.Reset();
        OptionList options = {{"acodec", k.codec}};
        if (*k.channels) options.push_back({"ac", k.channels});
        if (std::string(k.codec) == "libopencore_amrnb") options.push_back({"ab", "12200"});
        const RunOutcome r = Run(k.source, Out(k.output), options);
        ASSERT_TRUE(r.finished) << k.output << ": " << r.message;
        const ProbedFile f = Probe(Out(k.output));
        ASSERT_NE(f.Find("audio"), nullptr) << k.output;
        EXPECT_EQ(f.Find("audio")->channels, k.expected) << k.output;
        EXPECT_EQ(f.Find("audio")->sampleRate, k.expectedRate) << k.output;
    }
}

// Unasked parameters come from the stream the output is mapped to, not from
// the last stream of that kind in the input.
TEST_F(OutputFidelityTest, ParametersComeFromTheMappedStream) {
    // The main 5.1 track is mapped, not the mono commentary after it.
    RunOutcome r = Run(WithCommentary(), Out("main.mkv"), {{"acodec", "ac3"}});
    ASSERT_TRUE(r.finished) << r.message;
    const ProbedFile main = Probe(Out("main.mkv"));
    ASSERT_NE(main.Find("audio"), nullptr);
    EXPECT_EQ(main.Find("audio")->channels, 6);
    EXPECT_EQ(main.Find("audio")->sampleRate, 48000);

    // The small program keeps its own size.
    engine.Reset();
    engine.SetProgramId(2);
    r = Run(TwoPrograms(), Out("small.mkv"), {{"vcodec", "mpeg4"}});
    ASSERT_TRUE(r.finished) << r.message;
    const VideoFacts small = ProbeVideo(Out("small.mkv"));
    EXPECT_EQ(small.width, 160);
    EXPECT_EQ(small.height, 96);
}

// 8-bit 4:2:0 unless a pixel format is asked for; JPEG in full range.
TEST_F(OutputFidelityTest, PixelFormatsAreEightBit420) {
    struct Case {
        const char* output;
        const char* codec;
        const char* pixFmt;  // asked; empty: none
        const char* expected;
    } cases[] = {
        {"a.mp4", "libx264", "", "yuv420p"},
        {"b.mpg", "mpeg2video", "", "yuv420p"},
        {"c.avi", "mjpeg", "", "yuvj420p"},
        {"d.mkv", "libx264", "yuv444p", "yuv444p"},
    };
    for (const Case& k : cases) {
        engine.Reset();
        OptionList options = {{"vcodec", k.codec}};
        if (*k.pixFmt) options.push_back({"pix_fmt", k.pixFmt});
        const RunOutcome r = Run(Yuv422p10(), Out(k.output), options);
        ASSERT_TRUE(r.finished) << k.output << ": " << r.message;
        const VideoFacts v = ProbeVideo(Out(k.output));
        EXPECT_EQ(v.pixFmt, k.expected) << k.output;
        if (std::string(k.codec) == "libx264" && !*k.pixFmt) {
            EXPECT_EQ(v.profile, "High") << k.output;
        }
    }
}

// Sizes the encoders take, the picture's shape kept within 1 %.
TEST_F(OutputFidelityTest, FrameSizesFitTheEncoder) {
    struct Case {
        std::string source;
        const char* output;
        const char* codec;
        const char* size;  // asked; empty: the source's
        int width, height;
    } cases[] = {
        {Odd641x359(), "a.rm", "rv10", "", 640, 352},          // multiples of 16
        {Odd641x359(), "b.rm", "rv20", "", 640, 360},          // multiples of 4
        {Odd641x359(), "c.mp4", "libx264", "", 642, 360},      // even for 4:2:0
        {Odd641x359(), "d.3gp", "h263", "320x240", 352, 288},  // its fixed sizes only
    };
    for (const Case& k : cases) {
        engine.Reset();
        OptionList options = {{"vcodec", k.codec}};
        if (*k.size) options.push_back({"s", k.size});
        const RunOutcome r = Run(k.source, Out(k.output), options);
        ASSERT_TRUE(r.finished) << k.output << ": " << r.message;
        const VideoFacts v = ProbeVideo(Out(k.output));
        EXPECT_EQ(v.width, k.width) << k.output;
        EXPECT_EQ(v.height, k.height) << k.output;
        // The picture inside its bars keeps the source's shape (RealMedia keeps
        // no sample aspect, so its frame has square pixels).
        int w = 0, h = 0;
        ASSERT_EQ(std::sscanf(PictureArea(Out(k.output)).c_str(), "%d:%d", &w, &h), 2) << k.output;
        EXPECT_NEAR(w * v.sar / h, 641.0 / 359, 641.0 / 359 * 0.01) << k.output;
    }
}

// MPEG-1 and MPEG-2 video get the standard rate nearest to the one asked for.
TEST_F(OutputFidelityTest, MpegFrameRatesSnapToStandardOnes) {
    struct Case {
        const char* output;
        const char* codec;
        const char* rate;
        double expected;
    } cases[] = {
        {"a.mpg", "mpeg1video", "10", 24000.0 / 1001},
        {"b.mpg", "mpeg1video", "15", 24000.0 / 1001},
        {"c.m2v", "mpeg2video", "13", 24000.0 / 1001},
        {"d.mpg", "mpeg1video", "30", 30},
    };
    for (const Case& k : cases) {
        engine.Reset();
        const RunOutcome r =
            Run(Picture(160, 120), Out(k.output), {{"vcodec", k.codec}, {"r", k.rate}});
        ASSERT_TRUE(r.finished) << k.output << ": " << r.message;
        EXPECT_NEAR(ProbeVideo(Out(k.output)).fps, k.expected, 0.001) << k.output;
    }
}

// No picture is stretched or squeezed: the source's display shape (sample
// aspect from the container, rotation) is kept, and a frame of another shape
// gets bars.
TEST_F(OutputFidelityTest, PicturesKeepTheirShape) {
    struct Case {
        std::string source;
        const char* output;
        OptionList options;
        int width, height;
        double displayAspect;
        const char* pictureArea;  // cropdetect's w:h:x:y of the picture inside bars
    } cases[] = {
        // The container's 64:45 is kept for a kept size.
        {AnamorphicInContainer(), "a.mp4", {{"vcodec", "libx264"}}, 720, 576, 16.0 / 9, ""},
        // Into a square-pixel 4:3 frame: bars above and below.
        {AnamorphicInContainer(),
         "b.mp4",
         {{"vcodec", "libx264"}, {"s", "320x240"}},
         320,
         240,
         4.0 / 3,
         "320:180:0:30"},
        // A phone clip stands upright.
        {Rotated(), "c.mp4", {{"vcodec", "libx264"}}, 180, 320, 180.0 / 320, ""},
        // A 4:3 picture in a 16:9 display: bars left and right.
        {Picture(320, 240),
         "d.mp4",
         {{"vcodec", "libx264"}, {"aspect", "16:9"}},
         320,
         240,
         16.0 / 9,
         "240:240:40:0"},
        // Cropping keeps the sample aspect: 320x180 of square pixels is 16:9.
        {Picture(320, 240),
         "e.mp4",
         {{"vcodec", "libx264"}, {"croptop", "30"}, {"cropbottom", "30"}},
         320,
         180,
         16.0 / 9,
         ""},
    };
    for (const Case& k : cases) {
        engine.Reset();
        const RunOutcome r = Run(k.source, Out(k.output), k.options);
        ASSERT_TRUE(r.finished) << k.output << ": " << r.message;
        const VideoFacts v = ProbeVideo(Out(k.output));
        EXPECT_EQ(v.width, k.width) << k.output;
        EXPECT_EQ(v.height, k.height) << k.output;
        EXPECT_NEAR(v.DisplayAspect(), k.displayAspect, k.displayAspect * 0.01) << k.output;
        if (*k.pictureArea) {
            EXPECT_EQ(PictureArea(Out(k.output)), k.pictureArea) << k.output;
        }
    }
}

// The upright picture is the one ffmpeg shows: the top-left corner of the
// turned clip matches ffmpeg's own turn of the same source.
TEST_F(OutputFidelityTest, RotationTurnsTheWayFfmpegDoes) {
    const RunOutcome r = Run(Rotated(), Out("upright.mkv"), {{"vcodec", "ffv1"}});
    ASSERT_TRUE(r.finished) << r.message;
    const std::string reference = Out("reference.mkv");
    ASSERT_EQ(RunProcess("/usr/bin/ffmpeg", {"-v", "error", "-nostdin", "-i", Rotated(), "-c:v",
                                             "ffv1", "-pix_fmt", "yuv420p", reference})
                  .exitCode,
              0);
    const auto ours = DecodePictures(Out("upright.mkv"), 1);
    const auto theirs = DecodePictures(reference, 1);
    ASSERT_EQ(ours.size(), 1u);
    ASSERT_EQ(theirs.size(), 1u);
    ASSERT_EQ(ours[0]->width, theirs[0]->width);
    ASSERT_EQ(ours[0]->height, theirs[0]->height);
    for (const auto& [x, y] : {std::pair{10, 10}, std::pair{150, 20}, std::pair{20, 290}}) {
        EXPECT_NEAR(MeanLuma(ours[0].get(), x, y, 16, 16), MeanLuma(theirs[0].get(), x, y, 16, 16),
                    8.0)
            << x << "," << y;
    }
}

// "aspect" with a copied picture stream relabels it; "copyts" among the output
// options keeps the input's timestamps as it does among the input options.
TEST_F(OutputFidelityTest, CopiedStreamsAndCopiedTimestamps) {
    RunOutcome r =
        Run(Picture(320, 240), Out("copy.mkv"), {{"vcodec", "copy"}, {"aspect", "16:9"}});
    ASSERT_TRUE(r.finished) << r.message;
    EXPECT_NEAR(ProbeVideo(Out("copy.mkv")).DisplayAspect(), 16.0 / 9, 0.01);

    const std::string late = Fixture("fidelity_late.ts",
                                     "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 "
                                     "-c:v mpeg2video -output_ts_offset 5");
    auto firstTime = [](const std::string& path) {
        const ProcessResult p =
            RunProcess("/usr/bin/ffprobe",
                       {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=pts_time",
                        "-read_intervals", "%+#1", "-of", "csv=p=0", path});
        return std::atof(p.out.c_str());
    };
    const double start = firstTime(late);
    ASSERT_GT(start, 4.0);
    for (const bool before : {true, false}) {
        engine.Reset();
        const std::string out = Out(before ? "in.mkv" : "out.mkv");
        OptionList copyts = {{"copyts", ""}};
        OptionList options = {{"vcodec", "mpeg2video"}};
        if (!before) options.push_back(copyts.front());
        r = Run(late, out, options, before ? copyts : OptionList{});
        ASSERT_TRUE(r.finished) << r.message;
        EXPECT_NEAR(firstTime(out), start, 0.1) << (before ? "input" : "output") << " option";
    }
}

// A VCD, SVCD, DVD or MPEG stream from a 10-bit 4:2:2 source with 5.1 sound:
// 4:2:0 pictures, the disc's audio, and no buffer underflow in the muxer.
TEST_F(OutputFidelityTest, DiscStreamsMuxWithoutUnderflow) {
    const std::string source = Fixture(
        "fidelity_disc_source.mkv",
        "-f lavfi -i testsrc=size=320x240:rate=25:duration=10 -f lavfi -i "
        "sine=frequency=440:sample_rate=48000:duration=10 -ac 6 -c:v libx264 -preset ultrafast "
        "-pix_fmt yuv422p10le -c:a ac3");
    struct Case {
        const char* target;  // empty: a plain MPEG file
        const char* output;
        const char* videoCodec;
        const char* audioCodec;
        int channels;
    } cases[] = {
        {"pal-vcd", "vcd.mpg", "mpeg1video", "mp2", 2},
        {"pal-svcd", "svcd.mpg", "mpeg2video", "mp2", 2},
        {"pal-dvd", "dvd.mpg", "mpeg2video", "ac3", 6},
        {"", "plain.mpg", "mpeg1video", "mp2", 2},
    };
    for (const Case& k : cases) {
        engine.Reset();
        ClearLog();
        OptionList options;
        if (*k.target) options.push_back({"target", k.target});
        const RunOutcome r = Run(source, Out(k.output), options);
        ASSERT_TRUE(r.finished) << k.output << ": " << r.message;
        EXPECT_FALSE(LoggedAnywhere("buffer underflow")) << k.output;
        const VideoFacts v = ProbeVideo(Out(k.output));
        EXPECT_EQ(v.codec, k.videoCodec) << k.output;
        EXPECT_EQ(v.pixFmt, "yuv420p") << k.output;
        const ProbedFile f = Probe(Out(k.output));
        ASSERT_NE(f.Find("audio"), nullptr) << k.output;
        EXPECT_EQ(f.Find("audio")->codec, k.audioCodec) << k.output;
        EXPECT_EQ(f.Find("audio")->channels, k.channels) << k.output;
    }
}

// A refusal carries the library's own reason after the engine's text.
TEST_F(OutputFidelityTest, FailuresSayTheLibrarysReason) {
    RunOutcome r = Run(Surround51(), Out("a.mp4"), {{"acodec", "flac"}});
    EXPECT_TRUE(r.failed);
    EXPECT_NE(r.message.find("Could not write header for output file #0"), std::string::npos)
        << r.message;
    EXPECT_NE(r.message.find("mp4: flac in MP4 support is experimental"), std::string::npos)
        << r.message;

    engine.Reset();
    r = Run(Surround51(), Out("b.mp2"), {{"acodec", "mp2"}, {"ab", "9000000"}});
    EXPECT_TRUE(r.failed);
    EXPECT_NE(r.message.find("Error while opening encoder for output stream #0.0 (Audio)"),
              std::string::npos)
        << r.message;
    EXPECT_NE(r.message.find("mp2: "), std::string::npos) << r.message;
}

// A source whose only stream cannot be decoded fails, naming the input, and
// leaves no output behind.
TEST_F(OutputFidelityTest, NothingDecodedFailsAndKeepsNoFile) {
    std::string bytes = ReadFile(
        Fixture("fidelity_tone.avi",
                "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -c:a libmp3lame"));
    // Every sound chunk emptied: the stream is still found, but nothing decodes.
    for (size_t at = bytes.find("movi"); (at = bytes.find("00wb", at)) != std::string::npos;) {
        if (at + 8 > bytes.size()) break;
        const auto byte = [&](size_t i) {
            return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 4 + i]));
        };
        const size_t size = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at + 8),
                    std::min(size, bytes.size() - at - 8), '\0');
        at += 8 + size;
    }
    const std::string broken = dir_.File("broken.avi");
    WriteFile(broken, bytes);
    const RunOutcome r = Run(broken, Out("none.m4a"), {{"acodec", "aac"}});
    EXPECT_TRUE(r.failed);
    EXPECT_FALSE(r.finished);
    EXPECT_EQ(r.message.rfind(broken + ": nothing of input stream #0.0 could be converted", 0), 0u)
        << r.message;
    EXPECT_FALSE(fs::exists(Out("none.m4a")));
}

}  // namespace
}  // namespace zorvex::test
