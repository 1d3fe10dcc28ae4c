// Ordinary sources (5.1 sound, 10-bit 4:2:2 pictures, portrait clips) through
// catalogue formats with zorvex-cli convert: codecs, sizes, rates, pixel
// formats, channels and the picture's shape as ffprobe sees them. Each
// expectation is written from the format's own tables (its choices, its disc
// target), not computed by the program.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace zorvex::test {
namespace {

// 640x360 pictures with 5.1 sound at 48 kHz.
std::string Wide51() {
    return Fixture("fidelity_cli_wide51.mkv",
                   "-f lavfi -i testsrc2=size=640x360:rate=25:duration=2 -f lavfi -i "
                   "sine=frequency=440:sample_rate=48000:duration=2 -ac 6 -c:v libx264 -preset "
                   "ultrafast -pix_fmt yuv420p -c:a ac3");
}
// 10-bit 4:2:2 pictures with mono sound at 22.05 kHz.
std::string Deep() {
    return Fixture("fidelity_cli_deep.mkv",
                   "-f lavfi -i testsrc2=size=320x240:rate=25:duration=2 -f lavfi -i "
                   "sine=frequency=440:sample_rate=22050:duration=2 -ac 1 -c:v libx264 -preset "
                   "ultrafast -pix_fmt yuv422p10le -c:a libmp3lame");
}
// A portrait clip.
std::string Portrait() {
    return Fixture("fidelity_cli_portrait.mp4",
                   "-f lavfi -i testsrc2=size=360x640:rate=25:duration=2 -f lavfi -i "
                   "sine=frequency=440:sample_rate=48000:duration=2 -c:v libx264 -preset ultrafast "
                   "-pix_fmt yuv420p -c:a aac");
}

std::map<std::string, std::string> ProbeStream(const std::string& path, const char* stream) {
    const ProcessResult r = RunProcess(
        "/usr/bin/ffprobe",
        {"-v", "error", "-select_streams", stream, "-show_entries",
         "stream=codec_name,profile,pix_fmt,width,height,sample_aspect_ratio,r_frame_rate,"
         "channels,sample_rate",
         "-of", "default=nw=1", path});
    std::map<std::string, std::string> fields;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) fields.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    return fields;
}

double Ratio(const std::string& text) {
    const auto sep = text.find_first_of(":/");
    if (sep == std::string::npos) return std::atof(text.c_str());
    const double den = std::atof(text.c_str() + sep + 1);
    return den == 0 ? 0 : std::atof(text.substr(0, sep).c_str()) / den;
}

// The display shape of the picture inside its bars: cropdetect's area of the
// first pictures, times the sample aspect.
double PictureShape(const std::string& path, double sar) {
    const ProcessResult r = RunProcess(
        "/usr/bin/ffmpeg", {"-v", "info", "-nostdin", "-i", path, "-frames:v", "3", "-vf",
                            "cropdetect=limit=24:round=2:reset=1", "-f", "null", "-"});
    const auto at = r.err.rfind("crop=");
    if (at == std::string::npos) return 0;
    int w = 0, h = 0;
    std::sscanf(r.err.c_str() + at, "crop=%d:%d", &w, &h);
    return h > 0 ? w * sar / h : 0;
}

struct Case {
    int format;
    std::vector<std::string> choices;  // convert options
    std::string (*source)();
    double sourceShape;
    // Expected picture (codec empty: no check of the size) and sound.
    const char* videoCodec;
    int width, height;  // 0: not fixed by the format (only the shape is checked)
    double fps;         // 0: not checked
    double frameShape;  // display shape of the whole frame; 0: not checked
    const char* audioCodec;
    int channels, sampleRate;
};

class FormatFidelity : public ::testing::TestWithParam<Case> {};

TEST_P(FormatFidelity, ConvertsAsTheFormatSays) {
    const Case& k = GetParam();
    TempDir dir;
    std::vector<std::string> args = {"convert", "--format", std::to_string(k.format), "--out",
                                     dir.Path()};
    args.insert(args.end(), k.choices.begin(), k.choices.end());
    args.push_back(k.source());
    const ProcessResult run = RunProcess(ZORVEX_CLI_PATH, args, {}, 300);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    ASSERT_EQ(run.out.rfind("done ", 0), 0u) << run.out;
    const std::string output = run.out.substr(5, run.out.find('\n') - 5);
    EXPECT_EQ(run.err.find("buffer underflow"), std::string::npos);

    if (*k.videoCodec) {
        auto v = ProbeStream(output, "v:0");
        EXPECT_EQ(v["codec_name"], k.videoCodec);
        EXPECT_EQ(v["pix_fmt"], k.videoCodec == std::string("mjpeg") ? "yuvj420p" : "yuv420p");
        // No High 10, 4:2:2 or 4:4:4 profile, which players and devices refuse.
        EXPECT_EQ(v["profile"].find(" 10"), std::string::npos) << v["profile"];
        EXPECT_EQ(v["profile"].find("4:"), std::string::npos) << v["profile"];
        const int w = std::atoi(v["width"].c_str()), h = std::atoi(v["height"].c_str());
        if (k.width > 0) {
            EXPECT_EQ(w, k.width);
            EXPECT_EQ(h, k.height);
        }
        if (k.videoCodec == std::string("rv10")) {
            EXPECT_EQ(w % 16, 0);
            EXPECT_EQ(h % 16, 0);
        }
        if (k.fps > 0) {
            EXPECT_NEAR(Ratio(v["r_frame_rate"]), k.fps, 0.01);
        }
        const std::string sarText = v["sample_aspect_ratio"];
        const double sar =
            sarText.empty() || sarText == "N/A" || sarText == "0:1" ? 1.0 : Ratio(sarText);
        if (k.frameShape > 0) {
            EXPECT_NEAR(w * sar / h, k.frameShape, k.frameShape * 0.01);
        }
        EXPECT_NEAR(PictureShape(output, sar), k.sourceShape, k.sourceShape * 0.01);
    }
    auto a = ProbeStream(output, "a:0");
    EXPECT_EQ(a["codec_name"], k.audioCodec);
    EXPECT_EQ(std::atoi(a["channels"].c_str()), k.channels);
    EXPECT_EQ(std::atoi(a["sample_rate"].c_str()), k.sampleRate);
}

const double kWide = 16.0 / 9, kStandard = 4.0 / 3, kPortrait = 360.0 / 640;

// From the format tables: 15 RealMedia keeps the size (multiples of 16 for
// RealVideo 1) with the container's own audio; 500 and 502 are PAL VCD and
// SVCD (MP2, 4:3 frames); 505 a PAL DVD (AC-3 at 48 kHz); 18 an MPEG file at
// "10.00" frames, which MPEG-1 cannot store; 11 a phone format with H.264 at
// 320x240; 512 keeps the size in a 16:9 frame; 24 is Motion JPEG; 200 MP3 and
// 209 AMR sound.
INSTANTIATE_TEST_SUITE_P(
    Formats, FormatFidelity,
    ::testing::Values(
        Case{15, {}, Wide51, kWide, "rv10", 0, 0, 25, 0, "ac3", 2, 48000},
        Case{500, {}, Wide51, kWide, "mpeg1video", 352, 288, 25, kStandard, "mp2", 2, 44100},
        Case{502,
             {"--channels", "单声道", "--audio-encoder", "AC3音频编码器"},
             Portrait,
             kPortrait,
             "mpeg2video",
             480,
             576,
             25,
             kStandard,
             "mp2",
             1,
             44100},
        Case{505, {}, Deep, kStandard, "mpeg2video", 720, 576, 25, kStandard, "ac3", 2, 48000},
        Case{18,
             {"--frame-rate", "10.00"},
             Wide51,
             kWide,
             "mpeg1video",
             320,
             240,
             24000.0 / 1001,
             kStandard,
             "mp2",
             2,
             44100},
        Case{11, {}, Deep, kStandard, "h264", 320, 240, 25, kStandard, "mp3", 2, 48000},
        Case{512, {}, Portrait, kPortrait, "mpeg4", 360, 640, 30, kWide, "mp3", 2, 44100},
        Case{24, {}, Portrait, kPortrait, "mjpeg", 320, 240, 25, kStandard, "mp3", 2, 44100},
        Case{200, {}, Wide51, 0, "", 0, 0, 0, 0, "mp3", 2, 48000},
        Case{209, {}, Wide51, 0, "", 0, 0, 0, 0, "amr_nb", 1, 8000}),
    [](const ::testing::TestParamInfo<Case>& info) {
        return "Format" + std::to_string(info.param.format);
    });

}  // namespace
}  // namespace zorvex::test
