// The engine's option table: each handler's effect, its messages, and the
// values it refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "media/ffapi.h"
#include "media/loader.h"
#include "tests/media/engine/engine_fixture.h"

namespace zorvex::test {
namespace {

using Options = std::vector<std::pair<std::string, std::string>>;

TEST_F(EngineTest, RefusedValuesGiveTheirMessages) {
    const std::string matrix63 = [] {
        std::string m;
        for (int i = 0; i < 63; ++i) m += (i ? "," : "") + std::to_string(16 + i);
        return m;
    }();
    struct Case {
        Options before;
        std::string name, value, message;
    } cases[] = {
        {{}, "threads", "-1", "threads must be auto or a number from 0 to 64"},
        {{}, "threads", "65", "threads must be auto or a number from 0 to 64"},
        {{}, "threads", "many", "'many' is not a valid integer value"},
        {{}, "s", "0x100", "Incorrect frame size"},
        {{}, "s", "320x-5", "Incorrect frame size"},
        {{}, "s", "abc", "Incorrect frame size"},
        {{}, "s", "100000x100000", "Incorrect frame size"},
        {{}, "r", "0", "Incorrect frame rate"},
        {{}, "r", "25/0", "Incorrect frame rate"},
        {{}, "r", "fast", "Incorrect frame rate"},
        {{}, "aspect", "4:0", "Incorrect aspect ratio specification."},
        {{}, "aspect", "abc", "Incorrect aspect ratio specification."},
        {{}, "aspect", "-4:3", "Incorrect aspect ratio specification."},
        {{}, "qscale", "0", "qscale must be > 0.0 and <= 255"},
        {{}, "qscale", "255.5", "qscale must be > 0.0 and <= 255"},
        {{}, "qscale", "x", "'x' is not a valid floating point value"},
        {{}, "pass", "3", "pass number can be only 1 or 2"},
        {{}, "pass", "", "'' is not a valid integer value"},
        {{}, "vtag", "DX5", "video tag parameter must be 4 chars"},
        {{}, "atag", "mp4a1", "audio tag parameter must be 4 chars"},
        {{}, "stag", "t", "subtitle tag parameter must be 4 chars"},
        {{}, "metadata", "title", "Missing ="},
        {{}, "itsscale", "20:1", "stream index over MAX_STREAMS(20)"},
        {{}, "itsscale", "-1:1", "stream index over MAX_STREAMS(20)"},
        {{},
         "streamid",
         "3",
         "Invalid value \"3\" for option \"streamid\", required syntax is \"index:value\""},
        {{},
         "streamid",
         ":3",
         "Invalid value \":3\" for option \"streamid\", required syntax is \"index:value\""},
        {{}, "streamid", "20:1", "stream index over MAX_STREAMS(20)"},
        {{}, "streamid", "-1:1", "stream index over MAX_STREAMS(20)"},
        {{}, "streamid", "a:1", "'a' is not a valid integer value"},
        {{}, "map", "-1:0", "Invalid stream map \"-1:0\""},
        {{}, "map", "20:0", "Invalid stream map \"20:0\""},
        {{}, "map", "0:0:99999999999:0", "Invalid stream map \"0:0:99999999999:0\""},
        {{}, "map_meta_data", "0:25", "Invalid metadata map \"0:25\""},
        {{}, "intra_matrix", matrix63, "Syntax error in matrix \"" + matrix63 + "\" at coeff 62"},
        {{}, "inter_matrix", "8,0,8", "Syntax error in matrix \"8,0,8\" at coeff 1"},
        {{}, "pix_fmt", "bogus", "Unknown pixel format requested: bogus"},
        {{}, "padtop", "8", "Please use vfilters=pad"},
        {{}, "padcolor", "000000", "Please use vfilters=pad"},
        {{}, "t", "abc", "Invalid duration specification for t: abc"},
        {{}, "ss", "1:2:3:4", "Invalid duration specification for ss: 1:2:3:4"},
        {{}, "timestamp", "yesterday", "Invalid date specification for timestamp: yesterday"},
        {{}, "fs", "12kb", "'12kb' is not a valid integer value"},
        {{}, "vframes", "99999999999", "'99999999999' is not a valid integer value"},
        {{}, "dts_delta_threshold", "1,5", "'1,5' is not a valid floating point value"},
        {{}, "loglevel", "loud", "'loud' is not a valid integer value"},
        {{}, "vbsf", "no_such_filter", "Unknown bitstream filter no_such_filter"},
        {{},
         "croptop",
         "10",
         "Vertical crop dimensions are outside the range of the original image.\nRemember to crop "
         "first and scale second."},
        {{{"s", "320x240"}},
         "cropleft",
         "320",
         "Horizontal crop dimensions are outside the range of the original image.\nRemember to "
         "crop first and scale second."},
        {{}, "newvideo", "", "At least one output file must be specified"},
        {{}, "newaudio", "", "At least one output file must be specified"},
        {{}, "newsubtitle", "", "At least one output file must be specified"},
        {{},
         "vhook",
         "/nonexistent/hook.so",
         "Failed to add video hook function: /nonexistent/hook.so"},
        {{}, "vhook", "libm.so.6|-x", "Failed to add video hook function: libm.so.6|-x"},
        {{{"r", "25"}}, "target", "dvx", "Unknown target type"},
        {{}, "target", "dvd", "frame_rate is invalid."},
    };
    for (const Case& c : cases) {
        engine.Reset();
        for (const auto& [n, v] : c.before) Option(n, v);
        EXPECT_EQ(OptionError(c.name, c.value), c.message) << c.name << "=" << c.value;
    }
    engine.Reset();
    EXPECT_EQ(OptionError("threads", "65"), "threads must be auto or a number from 0 to 64");
    EXPECT_EQ(S.ThreadCount, 0);  // a refused count leaves the automatic one
    // A library without the Process entry point names it in the log.
    EXPECT_TRUE(LoggedAnywhere("Failed to find Process entrypoint in libm.so.6"));
}

TEST_F(EngineTest, OptionsTakeEffect) {
    struct Case {
        Options options;
        std::function<void(const TEngineSettings&)> check;
    };
    const Case cases[] = {
        {{{"copyts", "0"}, {"xerror", "0"}},
         [](auto& s) { EXPECT_TRUE(s.CopyTs && s.ExitOnError); }},
        {{{"shortest", "0"}}, [](auto& s) { EXPECT_FALSE(s.Shortest); }},
        {{{"threads", "3"}}, [](auto& s) { EXPECT_EQ(s.ThreadCount, 3); }},
        {{{"threads", "3"}, {"threads", " auto "}}, [](auto& s) { EXPECT_EQ(s.ThreadCount, 0); }},
        {{{"shortest", ""}}, [](auto& s) { EXPECT_TRUE(s.Shortest); }},
        {{{"ar", "0"}, {"ac", "-1"}},
         [](auto& s) { EXPECT_TRUE(s.AudioSampleRate == 44100 && s.AudioChannels == 2); }},
        {{{"ar", "22050"}, {"ac", "1"}},
         [](auto& s) { EXPECT_TRUE(s.AudioSampleRate == 22050 && s.AudioChannels == 1); }},
        {{{"s", "320*240"}},
         [](auto& s) { EXPECT_TRUE(s.FrameWidth == 320 && s.FrameHeight == 240); }},
        {{{"s", "480*272  (PSP 3.03或更高固件版本适用)"}},
         [](auto& s) { EXPECT_TRUE(s.FrameWidth == 480 && s.FrameHeight == 272); }},
        {{{"s", "vga"}}, [](auto& s) { EXPECT_TRUE(s.FrameWidth == 640 && s.FrameHeight == 480); }},
        {{{"s", "352x288"}, {"s", ""}},
         [](auto& s) { EXPECT_TRUE(s.FrameWidth == 352 && s.FrameHeight == 288); }},
        {{{"r", "25.00"}},
         [](auto& s) { EXPECT_TRUE(s.FrameRate.num == 25 && s.FrameRate.den == 1); }},
        {{{"r", "30000/1001"}},
         [](auto& s) { EXPECT_TRUE(s.FrameRate.num == 30000 && s.FrameRate.den == 1001); }},
        {{{"r", "24000:1001"}},
         [](auto& s) { EXPECT_TRUE(s.FrameRate.num == 24000 && s.FrameRate.den == 1001); }},
        {{{"r", "ntsc"}},
         [](auto& s) { EXPECT_TRUE(s.FrameRate.num == 30000 && s.FrameRate.den == 1001); }},
        {{{"r", "29.97"}}, [](auto& s) { EXPECT_NEAR(av_q2d(s.FrameRate), 29.97, 1e-9); }},
        {{{"aspect", "16:9"}}, [](auto& s) { EXPECT_FLOAT_EQ(s.FrameAspectRatio, 1.7777778f); }},
        {{{"aspect", "1.5"}}, [](auto& s) { EXPECT_FLOAT_EQ(s.FrameAspectRatio, 1.5f); }},
        {{{"qscale", "255"}}, [](auto& s) { EXPECT_EQ(s.VideoQscale, 255.0f); }},
        {{{"vtag", "XVID"}},
         [](auto& s) {
             EXPECT_EQ(s.VideoCodecTag, 0x44495658u);
         }},  // X, V, I, D from the lowest byte up
        {{{"vtag", ""}}, [](auto& s) { EXPECT_EQ(s.VideoCodecTag, 0u); }},
        {{{"metadata", "title=a=b"}},
         [](auto& s) {
             ASSERT_EQ(s.Metadata.size(), 1u);
             EXPECT_EQ(s.Metadata[0], std::make_pair(std::string("title"), std::string("a=b")));
         }},
        {{{"streamid", "0:256"}}, [](auto& s) { EXPECT_EQ(s.StreamIdMap[0], 256); }},
        {{{"map", "0.1"}, {"map", "0:1:1:0"}, {"map", "2"}},
         [](auto& s) {
             ASSERT_EQ(s.StreamMaps.size(), 3u);
             auto same = [](const TStreamMap& m, int a, int b, int c, int d) {
                 return m.FileIndex == a && m.StreamIndex == b && m.SyncFileIndex == c &&
                        m.SyncStreamIndex == d;
             };
             EXPECT_TRUE(same(s.StreamMaps[0], 0, 1, 0, 1));
             EXPECT_TRUE(same(s.StreamMaps[1], 0, 1, 1, 0));
             EXPECT_TRUE(same(s.StreamMaps[2], 2, 0, 2, 0));
         }},
        {{{"map_meta_data", "0:1"}},
         [](auto& s) {
             ASSERT_EQ(s.MetaDataMaps.size(), 1u);
             EXPECT_TRUE(s.MetaDataMaps[0].OutputFile == 0 && s.MetaDataMaps[0].InputFile == 1);
         }},
        {{{"pass", "2"}, {"passlogfile", "/tmp/x"}},
         [](auto& s) { EXPECT_TRUE(s.DoPass == 2 && s.PassLogPrefix == "/tmp/x"); }},
        {{{"pix_fmt", "yuv422p"}}, [](auto& s) { EXPECT_EQ(s.FramePixFmt, AV_PIX_FMT_YUV422P); }},
        {{{"pix_fmt", "list"}}, [](auto& s) { EXPECT_EQ(s.FramePixFmt, -1); }},
        {{{"sample_fmt", "s16"}}, [](auto& s) { EXPECT_EQ(s.AudioSampleFmt, AV_SAMPLE_FMT_S16); }},
        {{{"sample_fmt", "s16"}, {"sample_fmt", "bogus"}},
         [](auto& s) { EXPECT_EQ(s.AudioSampleFmt, -1); }},
        {{{"t", "00:00:10.5"}},
         [](auto& s) {
             EXPECT_TRUE(s.RecordingTime == 10500000 && s.ExpectedDuration == 10500000);
         }},
        {{{"ss", "1.5"}, {"itsoffset", "-2"}},
         [](auto& s) { EXPECT_TRUE(s.StartTime == 1500000 && s.InputTimeOffset == -2000000); }},
        {{{"timestamp", "1970-01-02T00:00:00Z"}},
         [](auto& s) { EXPECT_EQ(s.RecTimestamp, 86400); }},
        {{{"fs", "$10"}, {"loop_output", "0x10"}, {"v", "+3"}},
         [](auto& s) {
             EXPECT_TRUE(s.LimitFilesize == 16 && s.LoopOutput == 16 && s.Verbose == 3);
         }},
        {{{"vframes", "10"}, {"aframes", "20"}, {"dframes", "30"}},
         [](auto& s) {
             EXPECT_TRUE(s.MaxFrames[0] == 10 && s.MaxFrames[1] == 20 && s.MaxFrames[2] == 30 &&
                         s.MaxFrames[3] == INT_MAX);
         }},
        {{{"adrift_threshold", " 0.5 "}, {"muxdelay", "1e-1"}, {"muxpreload", ".25"}},
         [](auto& s) {
             EXPECT_TRUE(s.AudioDriftThreshold == 0.5f && s.MuxMaxDelay == 0.1f &&
                         s.MuxPreload == 0.25f);
         }},
        {{{"f", "pgmyuv"}},
         [](auto& s) { EXPECT_TRUE(s.FormatName == "image2" && s.PgmyuvCompat); }},
        {{{"f", "mp4"}, {"f", ""}}, [](auto& s) { EXPECT_EQ(s.FormatName, "mp4"); }},
        {{{"vcodec", "copy"}},
         [](auto& s) { EXPECT_TRUE(s.VideoStreamCopy && s.VideoCodecName.empty()); }},
        {{{"acodec", "copy"}, {"acodec", "mp2"}},
         [](auto& s) { EXPECT_TRUE(s.AudioStreamCopy && s.AudioCodecName == "mp2"); }},
        {{{"scodec", "ass"}, {"scodec", ""}},
         [](auto& s) { EXPECT_EQ(s.SubtitleCodecName, "ass"); }},
        {{{"vf", "hflip"}, {"vfilters", ""}}, [](auto& s) { EXPECT_EQ(s.VideoFilters, "hflip"); }},
        {{{"s", "320x240"}, {"croptop", "10"}, {"cropright", "20"}},
         [](auto& s) {
             EXPECT_TRUE(s.CropTop == 10 && s.CropRight == 20 && s.FrameHeight == 230 &&
                         s.FrameWidth == 300);
         }},
        {{{"vbsf", "h264_mp4toannexb"},
          {"absf", "=x"},
          {"sbsf", ""},
          {"absf", "aac_adtstoasc=opt"}},
         [](auto& s) {
             EXPECT_EQ(s.VideoBsf, std::vector<std::string>{"h264_mp4toannexb"});
             EXPECT_EQ(s.AudioBsf, std::vector<std::string>{"aac_adtstoasc"});
             EXPECT_TRUE(s.SubtitleBsf.empty());
         }},
        {{{"vstats", ""}},
         [](auto& s) {
             // A bare name: the run puts it beside the output.
             const std::string& n = s.VstatsFilename;
             ASSERT_EQ(n.size(), 17u);
             EXPECT_EQ(n.substr(0, 7), "vstats_");
             EXPECT_EQ(n.substr(n.size() - 4), ".log");
             EXPECT_TRUE(s.VstatsBesideOutput);
         }},
        {{{"vstats", ""}, {"vstats_file", "/tmp/stats.log"}},
         [](auto& s) {
             EXPECT_EQ(s.VstatsFilename, "/tmp/stats.log");
             EXPECT_FALSE(s.VstatsBesideOutput);
         }},
        {{{"rc_override", "0,10,2/20,30,-50"}},
         [](auto& s) { EXPECT_EQ(s.RcOverride.value_or(""), "0,10,2/20,30,-50"); }},
        {{{"vn", ""}, {"an", "1"}, {"sn", "0"}},
         [](auto& s) { EXPECT_TRUE(s.VideoDisable && s.AudioDisable && !s.SubtitleDisable); }},
        {{{"vlang", "chi"}, {"alang", "eng"}, {"slang", "fre"}},
         [](auto& s) {
             EXPECT_TRUE(s.VideoLanguage == "chi" && s.AudioLanguage == "eng" &&
                         s.SubtitleLanguage == "fre");
         }},
        {{{"vsync", "2"},
          {"async", "1"},
          {"vol", "512"},
          {"top", "1"},
          {"dc", "10"},
          {"programid", "3"}},
         [](auto& s) {
             EXPECT_TRUE(s.VideoSyncMethod == 2 && s.AudioSyncMethod == 1 && s.AudioVolume == 512 &&
                         s.TopFieldFirst == 1 && s.IntraDcPrecision == 10 && s.ProgramId == 3);
         }},
        {{{"no_such_option_anywhere", "1"}, {"", ""}}, [](auto& s) { EXPECT_EQ(s.Verbose, 1); }},
    };
    for (const Case& c : cases) {
        engine.Reset();
        for (const auto& [n, v] : c.options) Option(n, v);
        SCOPED_TRACE(c.options.front().first + "=" + c.options.front().second);
        c.check(S);
    }
}

TEST_F(EngineTest, MatricesAreTakenWholeOrNotAtAll) {
    std::string m70, m64;
    for (int i = 0; i < 70; ++i) m70 += (i ? "," : "") + std::to_string(i + 1);
    Option("intra_matrix", m70);  // the coefficients after the 64th are ignored
    ASSERT_TRUE(S.IntraMatrix.has_value());
    EXPECT_EQ((*S.IntraMatrix)[0], 1);
    EXPECT_EQ((*S.IntraMatrix)[63], 64);

    // A refused text leaves the matrix taken before as it was.
    EXPECT_NE(OptionError("intra_matrix", "16,16,x"), "");
    EXPECT_EQ((*S.IntraMatrix)[1], 2);
    EXPECT_FALSE(S.InterMatrix.has_value());
}

TEST_F(EngineTest, ScaleOfTheNextInputStream) {
    Option("itsscale", "1:0.5");
    EXPECT_EQ(engine.InputTsScaleOf(0, 1), 0.5);
    EXPECT_EQ(engine.InputTsScaleOf(0, 0), 0.0);
    EXPECT_EQ(engine.InputTsScaleOf(1, 1), 0.0);
    EXPECT_EQ(engine.InputTsScaleOf(0, 25), 0.0);  // beyond the table reads as unscaled
}

TEST_F(EngineTest, LoggedOnlyOptions) {
    struct Case {
        std::string name, value;
        TLogLevel level;
        std::string text;
    } cases[] = {
        {"L", "", llInfo, "Do nothing: option - L"},
        {"benchmark", "", llInfo, "Do nothing: option - benchmark"},
        {"y", "", llInfo, "Do nothing: option - y"},
        {"timelimit", "10", llWarning, "Warning: -timelimit not implemented on Windows"},
        {"f", "pgmyuv", llInfo, "pgmyuv format is deprecated, use image2"},
        {"b", "64", llWarning,
         "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s"},
        {"ab", "32", llWarning, "WARNING: The bitrate parameter is set too low"},
        {"pix_fmt", "list", llInfo, "yuv420p"},
        {"sample_fmt", "list", llInfo, "s16"},
    };
    for (const Case& c : cases) {
        ClearLog();
        Option(c.name, c.value);
        EXPECT_TRUE(Logged(c.level, c.text)) << c.name << "=" << c.value;
    }

    ClearLog();
    Option("b", "64k");
    Option("vb", "800000");
    Option("croptop", "0");
    EXPECT_FALSE(LoggedAnywhere("bitrate parameter"));
    EXPECT_FALSE(LoggedAnywhere("Crop"));
    std::int64_t bitRate = 0;
    ff::av_opt_get_int(engine.CodecOptions[skVideo].get(), "b", 0, &bitRate);
    EXPECT_EQ(bitRate, 800000);

    Option("s", "320x240");
    Option("cropbottom", "8");
    EXPECT_TRUE(Logged(llWarning, "CropBottom is deprecated in favor of the crop avfilter"));

    Option("loglevel", "error");
    EXPECT_EQ(Logger().LogLevel(), llError);
}

// A name nothing knows and a value an option refuses are never dropped in
// silence: each is a warning, logged and kept for the caller (zorvex-cli
// --strict fails the task on them).
TEST_F(EngineTest, OptionsNeverFailSilently) {
    struct Case {
        std::string name, value, warning;
    } cases[] = {
        {"vcodce", "libx264", "Unrecognized option 'vcodce' ignored"},
        {"no_such_option", "", "Unrecognized option 'no_such_option' ignored"},
        {"crf", "nan", "Invalid value \"nan\" for option \"crf\""},
        {"g", "/usr/lib", "Invalid value \"/usr/lib\" for option \"g\""},
        {"g", "", "Invalid value \"\" for option \"g\""},
        {"b", "1/0", "Invalid value \"1/0\" for option \"b\""},
        {"sample_fmt", "subrip", "Invalid value \"subrip\" for option \"sample_fmt\""},
        {"flags2", "+bpyramid+nosuchflag", "Invalid value \"+nosuchflag\" for option \"flags2\""},
    };
    for (const Case& c : cases) {
        engine.Reset();
        ClearLog();
        if (c.name == "crf") Option("vcodec", "libx264");
        Option(c.name, c.value);
        EXPECT_TRUE(Logged(llWarning, c.warning)) << c.name << "=" << c.value;
        EXPECT_EQ(engine.OptionWarnings(), std::vector<std::string>{c.warning}) << c.name;
    }
    EXPECT_EQ(engine.Settings.AudioSampleFmt, -1);

    // Known names with values they take, and an empty line, warn about nothing;
    // Reset forgets earlier warnings.
    engine.Reset();
    EXPECT_TRUE(engine.OptionWarnings().empty());
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"g", "250"}, {"b", "800k"}, {"sample_fmt", "s16"}, {"", ""}, {"flags2", "-dct8x8"}}) {
        Option(name, value);
    }
    EXPECT_TRUE(engine.OptionWarnings().empty()) << engine.OptionWarnings().front();
}

}  // namespace
}  // namespace zorvex::test

namespace zorvex::test {
namespace {

TEST(EngineWithoutLibraries, ConfigurationIsRefused) {
    if (Loader().LibrarySetLoaded(ConverterLibrarySet))
        GTEST_SKIP() << "libraries loaded by an earlier test";
    TCustomFFmpeg engine(20);
    engine.Reset();  // nothing to release yet
    engine.SetAudioChannels(6);
    EXPECT_EQ(engine.Settings.AudioChannels, 6);
    EXPECT_FALSE(engine.SetGenericOption("g", "12"));
    EXPECT_THROW(engine.ParseOption("r", "25"), Exception);
    EXPECT_THROW(engine.AddInputFile("/tmp/x.avi"), Exception);
    EXPECT_THROW(TCustomFFmpeg(0), Exception);
    EXPECT_THROW(TCustomFFmpeg(513), Exception);
}

}  // namespace
}  // namespace zorvex::test
