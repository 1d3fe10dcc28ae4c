// Input and output file setup: the stream layouts and parameters taken over
// from inputs of many kinds, the streams an output gets, and every refusal.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "media/ffapi.h"
#include "tests/media/engine/engine_fixture.h"

namespace zorvex::test {
namespace {

namespace fs = std::filesystem;

// The stream types of a file as letters: v, a, s, d.
std::string Layout(const AVFormatContext* c) {
    std::string layout;
    for (unsigned i = 0; i < c->nb_streams; ++i) {
        switch (c->streams[i]->codecpar->codec_type) {
            case AVMEDIA_TYPE_VIDEO:
                layout += 'v';
                break;
            case AVMEDIA_TYPE_AUDIO:
                layout += 'a';
                break;
            case AVMEDIA_TYPE_SUBTITLE:
                layout += 's';
                break;
            default:
                layout += 'd';
        }
    }
    return layout;
}

std::string SubtitledMkv() {
    const std::string srt = std::string(ZORVEX_FIXTURE_DIR) + "/engine_subs.srt";
    fs::create_directories(ZORVEX_FIXTURE_DIR);
    if (!fs::exists(srt)) {
        WriteFile(
            srt,
            "1\n00:00:00,000 --> 00:00:01,000\n你好\n\n2\n00:00:01,000 --> 00:00:02,000\nworld\n");
    }
    return Fixture("engine_subs.mkv", "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -i " +
                                          srt + " -c:v mpeg4 -c:s srt");
}

TEST_F(EngineTest, InputsOfManyKinds) {
    struct Case {
        std::string file;
        std::string format;  // forced container
        std::string layout;
        int width, height, rateNum, rateDen;
        int sampleRate, channels;
    } cases[] = {
        {MkvH264Aac(), "", "va", 160, 120, 25, 1, 48000, 2},
        {Fixture("engine_mpeg4_mp3.avi",
                 "-f lavfi -i testsrc=size=176x144:rate=15:duration=2 -f lavfi -i "
                 "sine=sample_rate=22050:duration=2 -c:v mpeg4 -c:a libmp3lame -ac 1"),
         "", "va", 176, 144, 15, 1, 22050, 1},
        {Fixture("engine_mpeg2.ts",
                 "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                 "-c:v mpeg2video -c:a mp2"),
         "", "va", 160, 120, 25, 1, 44100, 1},
        {Fixture("engine_program_stream.bin",
                 "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                 "-c:v mpeg1video -c:a mp2 -f mpeg"),
         "mpeg", "va", 160, 120, 25, 1, 44100, 1},
        {Fixture("engine_wmv2.wmv",
                 "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                 "-c:v wmv2 -c:a wmav2"),
         "", "va", 160, 120, 25, 1, 44100, 1},
        {Fixture("engine_flv1.flv",
                 "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                 "-c:v flv1 -c:a libmp3lame -ar 44100"),
         "", "av", 160, 120, 25, 1, 44100, 1},  // the flv muxer announces audio first
        {Mp3Audio(), "", "a", 0, 0, 0, 0, 44100, 1},
        {Fixture("engine_tone.flac", "-f lavfi -i sine=sample_rate=48000:duration=2 -ac 2"), "",
         "a", 0, 0, 0, 0, 48000, 2},
        {Fixture("engine_tone.wav", "-f lavfi -i sine=sample_rate=8000:duration=2"), "", "a", 0, 0,
         0, 0, 8000, 1},
        {Fixture("engine_tone.ogg", "-f lavfi -i sine=duration=2 -c:a libvorbis"), "", "a", 0, 0, 0,
         0, 44100, 1},
        {SubtitledMkv(), "", "vs", 160, 120, 25, 1, 44100, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        engine.Reset();
        ClearLog();
        if (!c.format.empty()) Option("f", c.format);
        ASSERT_TRUE(engine.AddInputFile(c.file)) << engine.LastError();
        ASSERT_EQ(engine.InputFileCount(), 1);
        const AVFormatContext* ic = engine.InputFormatContext(0);
        EXPECT_EQ(Layout(ic), c.layout);
        EXPECT_EQ(engine.InputCodecs.size(), ic->nb_streams);
        EXPECT_NEAR(static_cast<double>(S.ExpectedDuration), 2000000.0, 150000.0);
        if (c.width != 0) {
            EXPECT_EQ(S.FrameWidth, c.width);
            EXPECT_EQ(S.FrameHeight, c.height);
            EXPECT_EQ(S.FrameRate.num, c.rateNum);
            EXPECT_EQ(S.FrameRate.den, c.rateDen);
            EXPECT_GE(S.FramePixFmt, 0);
        } else {
            EXPECT_EQ(S.FrameRate.den, 0);  // untouched by audio-only inputs
        }
        EXPECT_EQ(S.AudioSampleRate, c.sampleRate);
        EXPECT_EQ(S.AudioChannels, c.channels);
        EXPECT_TRUE(S.FormatName.empty());
        if (c.layout[0] == 'v' && c.format.empty() && c.file.find(".mkv") != std::string::npos) {
            // H.264 counts fields: two codec ticks per frame are no mismatch.
            EXPECT_FALSE(LoggedAnywhere("Seems stream"));
        }
    }
}

TEST_F(EngineTest, BadInputsGiveAClearError) {
    TempDir dir;
    const std::string missing = dir.File("missing.avi");
    const std::string garbage = dir.File("garbage.avi");
    const std::string empty = dir.File("empty.mkv");
    const std::string truncated = dir.File("truncated.mkv");
    std::string noise(4096, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919 + 13) % 251);
    WriteFile(garbage, noise);
    WriteFile(empty, "");
    const std::string whole = ReadFile(MkvH264Aac());
    WriteFile(truncated, whole.substr(0, 300));
    const std::string half = dir.File("half.mkv");
    WriteFile(half, whole.substr(0, whole.size() / 2));

    EXPECT_FALSE(engine.AddInputFile(missing));
    EXPECT_EQ(engine.LastError(), missing + ": No such file or directory");
    for (const std::string& bad : {garbage, empty}) {
        engine.Reset();
        EXPECT_FALSE(engine.AddInputFile(bad)) << bad;
        EXPECT_EQ(engine.LastError().rfind(bad + ": ", 0), 0u) << engine.LastError();
        EXPECT_EQ(engine.InputFileCount(), 0);
    }
    // Cut inside its header: FFmpeg's read error becomes plain words.
    engine.Reset();
    EXPECT_FALSE(engine.AddInputFile(truncated));
    EXPECT_EQ(engine.LastError(), "The file is damaged or incomplete: " + truncated);
    EXPECT_EQ(engine.InputFileCount(), 0);

    // Cut after its header, a file still opens; what is missing ends the run early.
    engine.Reset();
    EXPECT_TRUE(engine.AddInputFile(half)) << engine.LastError();

    const std::string longName = dir.File(std::string(3000, 'x') + ".avi");
    EXPECT_FALSE(engine.AddInputFile(longName));
    EXPECT_EQ(engine.LastError(), longName + ": File name too long");

    TCustomFFmpeg small(1);
    small.Reset();
    ASSERT_TRUE(small.AddInputFile(Mp3Audio())) << small.LastError();
    EXPECT_FALSE(small.AddInputFile(Mp3Audio()));
    EXPECT_EQ(small.LastError(), "max input files 1 reached");
}

TEST_F(EngineTest, InputSettingsAreConsumed) {
    // Unknown forced format: raised.
    Option("f", "nosuchformat");
    EXPECT_EQ(ErrorOf([&] { engine.AddInputFile(MkvH264Aac()); }),
              "Unknown input format: \"nosuchformat\"");

    // Forced decoders that do not fit, and the names are used up either way.
    struct Case {
        const char* option;
        const char* value;
        const char* error;
    } cases[] = {{"vcodec", "nosuch", "Unknown decoder 'nosuch'"},
                 {"acodec", "h264", "Invalid decoder type 'h264'"},
                 {"scodec", "aac", "Invalid decoder type 'aac'"}};
    for (const Case& c : cases) {
        engine.Reset();
        Option(c.option, c.value);
        Option("vc", "2");
        EXPECT_FALSE(engine.AddInputFile(MkvH264Aac()));
        EXPECT_EQ(engine.LastError(), c.error);
        EXPECT_TRUE(S.VideoCodecName.empty() && S.AudioCodecName.empty() &&
                    S.SubtitleCodecName.empty());
        EXPECT_EQ(S.VideoChannel, 0);
    }

    // A decoder named for the input is recorded for its streams.
    engine.Reset();
    Option("acodec", "aac_fixed");
    ASSERT_TRUE(engine.AddInputFile(MkvH264Aac())) << engine.LastError();
    ASSERT_EQ(engine.InputCodecs.size(), 2u);
    EXPECT_EQ(engine.InputCodecs[0], nullptr);
    ASSERT_NE(engine.InputCodecs[1], nullptr);
    EXPECT_STREQ(engine.InputCodecs[1]->name, "aac_fixed");
    EXPECT_TRUE(S.AudioCodecName.empty());

    // Seek position, offset and the scale of the next input.
    engine.Reset();
    Option("ss", "1");
    Option("itsoffset", "0.5");
    ASSERT_TRUE(engine.AddInputFile(MkvH264Aac())) << engine.LastError();
    const std::int64_t start = engine.InputFormatContext(0)->start_time;
    EXPECT_EQ(S.StartTime, 0);
    EXPECT_EQ(engine.InputFiles[0].TsOffset, 500000 - (1000000 + start));
    Option("itsscale", "1:0.5");
    Option("copyts", "");
    ASSERT_TRUE(engine.AddInputFile(Mp3Audio())) << engine.LastError();
    EXPECT_EQ(engine.InputFiles[1].TsOffset, 500000);  // copyts keeps the offset as given
    EXPECT_EQ(engine.InputTsScaleOf(1, 1), 0.5);
    EXPECT_EQ(engine.InputTsScaleOf(0, 1), 0.0);
    EXPECT_EQ(engine.InputCodecs.size(), 3u);

    // Disabled kinds are discarded.
    engine.Reset();
    Option("vn", "");
    ASSERT_TRUE(engine.AddInputFile(MkvH264Aac())) << engine.LastError();
    EXPECT_EQ(engine.InputFormatContext(0)->streams[0]->discard, AVDISCARD_ALL);
    EXPECT_EQ(engine.InputFormatContext(0)->streams[1]->discard, AVDISCARD_DEFAULT);
}

TEST_F(EngineTest, ProgramSelection) {
    const std::string ts =
        Fixture("engine_mpeg2.ts",
                "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i "
                "sine=duration=2 -c:v mpeg2video -c:a mp2");
    engine.SetProgramId(3);
    EXPECT_FALSE(engine.AddInputFile(ts));
    EXPECT_EQ(engine.LastError(), "Specified program id not found");

    engine.Reset();
    engine.SetProgramId(1);
    ASSERT_TRUE(engine.AddInputFile(ts)) << engine.LastError();
    EXPECT_EQ(S.ProgramId, 0);
    EXPECT_EQ(engine.InputFormatContext(0)->streams[0]->discard, AVDISCARD_DEFAULT);
}

TEST_F(EngineTest, AspectRatioOfTheInput) {
    engine.Reset();
    ASSERT_TRUE(engine.AddInputFile(Fixture("engine_pal_sar.avi",
                                            "-f lavfi -i testsrc=size=720x576:rate=25:duration=0.2 "
                                            "-vf setsar=16/15 -c:v mpeg4")))
        << engine.LastError();
    EXPECT_FLOAT_EQ(S.FrameAspectRatio, 1.3333334f);
    engine.Reset();
    ASSERT_TRUE(engine.AddInputFile(
        Fixture("engine_pal_square.avi",
                "-f lavfi -i testsrc=size=720x576:rate=25:duration=0.2 -c:v mpeg4")))
        << engine.LastError();
    EXPECT_FLOAT_EQ(S.FrameAspectRatio, 1.25f);
}

class OutputTest : public EngineTest {
protected:
    int Add(const std::string& name, bool join = false) {
        return engine.AddOutputFile(dir_.File(name), join);
    }
    TOutputFile& Last() { return *engine.OutputFiles.back(); }
    TempDir dir_;
};

TEST_F(OutputTest, StreamsAndTheirParameters) {
    ASSERT_TRUE(engine.AddInputFile(MkvH264Aac())) << engine.LastError();
    Option("vlang", "chi");
    Option("streamid", "0:256");
    Option("metadata", "comment=c");
    engine.AddMetadata("title", "first");
    engine.AddMetadata("title", "second");
    Option("vbsf", "h264_mp4toannexb");
    ASSERT_EQ(Add("out.mp4"), 1) << engine.LastError();
    EXPECT_FALSE(fs::exists(dir_.File("out.mp4"))) << "file setup writes nothing";

    TOutputFile& out = Last();
    ASSERT_EQ(out.Streams.size(), 2u);
    ASSERT_EQ(out.Context->nb_streams, 2u);
    const TOutputStream& v = out.Streams[0];
    const TOutputStream& a = out.Streams[1];
    EXPECT_EQ(v.Stream->index, 0);
    EXPECT_EQ(v.Codec->codec_type, AVMEDIA_TYPE_VIDEO);
    EXPECT_STREQ(v.Encoder->name, "libx264");
    EXPECT_EQ(v.Codec->width, 160);
    EXPECT_EQ(v.Codec->height, 120);
    EXPECT_EQ(v.Codec->time_base.num, 1);
    EXPECT_EQ(v.Codec->time_base.den, 25);
    EXPECT_EQ(v.Codec->pix_fmt, AV_PIX_FMT_YUV420P);
    EXPECT_NE(v.Codec->flags & AV_CODEC_FLAG_GLOBAL_HEADER, 0);  // mp4 wants global headers
    EXPECT_EQ(v.Codec->thread_count, engine.CodecThreads());
    EXPECT_EQ(v.Stream->id, 256);
    EXPECT_EQ(v.Bsf, std::vector<std::string>{"h264_mp4toannexb"});
    EXPECT_STREQ(ff::av_dict_get(v.Stream->metadata, "language", nullptr, 0)->value, "chi");
    EXPECT_EQ(a.Codec->codec_type, AVMEDIA_TYPE_AUDIO);
    EXPECT_STREQ(a.Encoder->name, "aac");
    EXPECT_EQ(a.Codec->sample_rate, 48000);
    EXPECT_EQ(a.Codec->ch_layout.nb_channels, 2);
    EXPECT_EQ(a.Codec->sample_fmt, AV_SAMPLE_FMT_FLTP);
    EXPECT_EQ(a.Codec->time_base.den, 48000);
    EXPECT_STREQ(ff::av_dict_get(out.Context->metadata, "title", nullptr, 0)->value, "first");
    EXPECT_STREQ(ff::av_dict_get(out.Context->metadata, "comment", nullptr, 0)->value, "c");

    // Pending settings were used up.
    EXPECT_TRUE(S.Metadata.empty());
    EXPECT_EQ(S.StreamIdMap[0], 0);
    EXPECT_TRUE(S.VideoLanguage.empty());
    EXPECT_TRUE(S.VideoBsf.empty());
    EXPECT_EQ(S.FramePixFmt, -1);

    // Further streams of the last output.
    Option("vcodec", "mpeg4");
    Option("qscale", "4");
    Option("rc_override", "0,10,2/20,30,-50");
    std::string matrix;
    for (int i = 0; i < 64; ++i) matrix += (i ? "," : "") + std::to_string(8 + i);
    Option("intra_matrix", matrix);
    Option("newvideo", "");
    ASSERT_EQ(out.Streams.size(), 3u);
    const AVCodecContext* third = out.Streams[2].Codec.get();
    EXPECT_EQ(third->codec_id, AV_CODEC_ID_MPEG4);
    EXPECT_NE(third->flags & AV_CODEC_FLAG_QSCALE, 0);
    EXPECT_EQ(third->global_quality, 472);
    ASSERT_EQ(third->rc_override_count, 2);
    EXPECT_EQ(third->rc_override[1].start_frame, 20);
    EXPECT_EQ(third->rc_override[1].qscale, 0);
    EXPECT_FLOAT_EQ(third->rc_override[1].quality_factor, 0.5f);
    ASSERT_NE(third->intra_matrix, nullptr);
    EXPECT_EQ(third->intra_matrix[63], 71);
    Option("acodec", "copy");
    Option("newaudio", "");
    EXPECT_TRUE(out.Streams[3].StreamCopy);
    EXPECT_EQ(out.Streams[3].Encoder, nullptr);

    Option("rc_override", "0;10,2");
    EXPECT_EQ(OptionError("newvideo", ""), "error parsing rc_override");
    EXPECT_EQ(out.Context->nb_streams, 4u) << "a refused stream is not added";
}

TEST_F(OutputTest, StreamsFollowTheInputs) {
    ASSERT_TRUE(engine.AddInputFile(Mp3Audio())) << engine.LastError();
    ASSERT_EQ(Add("audio.mp4"), 1) << engine.LastError();
    EXPECT_EQ(Layout(Last().Context.get()), "a");  // mp4 has a video codec, the input has none

    // The closest rate the encoder offers, with a warning.
    Option("ar", "22050");
    Option("acodec", "ac3");
    ASSERT_EQ(Add("tone.ac3"), 2) << engine.LastError();
    EXPECT_EQ(Last().Streams[0].Codec->sample_rate, 32000);
    EXPECT_TRUE(
        Logged(llWarning, "Requested sampling rate unsupported using closest supported (32000)"));

    Option("vcodec", "copy");
    Option("an", "");
    ASSERT_EQ(Add("nothing.mkv"), 3) << engine.LastError();
    EXPECT_EQ(Last().Streams.size(), 0u);

    engine.Reset();
    ASSERT_TRUE(engine.AddInputFile(SubtitledMkv())) << engine.LastError();
    struct Case {
        const char* name;
        const char* layout;
        AVCodecID subtitle;
    } cases[] = {{"subs.mkv", "vs", AV_CODEC_ID_ASS},
                 {"subs.mp4", "v", AV_CODEC_ID_NONE},
                 {"subs.avi", "v", AV_CODEC_ID_NONE}};
    for (const Case& c : cases) {
        ASSERT_GT(Add(c.name), 0) << engine.LastError();
        EXPECT_EQ(Layout(Last().Context.get()), c.layout) << c.name;
        if (c.subtitle != AV_CODEC_ID_NONE) {
            EXPECT_EQ(Last().Streams[1].Codec->codec_id, c.subtitle);
        }
    }
    Option("scodec", "copy");
    ASSERT_GT(Add("copied.mkv"), 0) << engine.LastError();
    EXPECT_TRUE(Last().Streams[1].StreamCopy);
}

// "libfaac" is gone from today's libraries: an output asking for it gets "aac",
// told in the log; encoders the libraries have are kept.
TEST_F(OutputTest, EncodersTheLibrariesLackAreReplaced) {
    EXPECT_EQ(AvailableEncoderName("libfaac"), "aac");
    for (const char* kept : {"libx264", "libmp3lame", "libvorbis", "aac", "nosuch"}) {
        EXPECT_EQ(AvailableEncoderName(kept), kept);
    }
    ASSERT_TRUE(engine.AddInputFile(MkvH264Aac())) << engine.LastError();
    Option("acodec", "libfaac");
    ASSERT_EQ(Add("out.mkv"), 1) << engine.LastError();
    EXPECT_STREQ(Last().Streams[1].Encoder->name, "aac");
    EXPECT_TRUE(Logged(llInfo, "Encoder 'libfaac' is not available, using 'aac' instead"));
}

TEST_F(OutputTest, RefusedOutputs) {
    const std::string input = dir_.File("source.mkv");
    fs::copy_file(MkvH264Aac(), input);
    ASSERT_TRUE(engine.AddInputFile(input)) << engine.LastError();

    EXPECT_EQ(Add("out.xyz"), -1);
    EXPECT_EQ(engine.LastError(),
              "Unable to find a suitable output format for '" + dir_.File("out.xyz") + "'");
    Option("f", "nosuch");
    EXPECT_EQ(Add("out.mkv"), -1);
    EXPECT_EQ(engine.LastError(),
              "Requested output format 'nosuch' is not a suitable output format");
    EXPECT_TRUE(S.FormatName.empty()) << "a refused name does not poison the next output";

    struct Case {
        const char* option;
        const char* value;
        std::string error;
    } cases[] = {
        {"vcodec", "aac", "new_video_stream fail: Invalid encoder type 'aac'"},
        {"vcodec", "nosuch", "new_video_stream fail: Unknown encoder 'nosuch'"},
        {"acodec", "mpeg4", "new_audio_stream fail: Invalid encoder type 'mpeg4'"},
        {"acodec", "vorbis",
         "new_audio_stream fail: encoder 'vorbis' is experimental and might produce bad "
         "results.\r\n"
         "Add '-strict experimental' if you want to use it.\r\nOr use the non experimental encoder "
         "'libvorbis'."},
    };
    for (const Case& c : cases) {
        Option(c.option, c.value);
        EXPECT_EQ(Add("out.mkv"), -1) << c.value;
        EXPECT_EQ(engine.LastError(), c.error);
        EXPECT_EQ(engine.OutputFileCount(), 0);
    }
    Option("strict", "experimental");
    Option("acodec", "vorbis");
    EXPECT_EQ(Add("out.mkv"), 1) << engine.LastError();

    // The input itself, however it is named: refused, and left as it was.
    const auto before = fs::last_write_time(input);
    const auto size = fs::file_size(input);
    for (const std::string& same : {input, dir_.Path() + "/./source.mkv"}) {
        EXPECT_EQ(engine.AddOutputFile(same, false), -1);
        EXPECT_NE(engine.LastError().find("is the same file as input"), std::string::npos)
            << engine.LastError();
    }
    EXPECT_EQ(fs::last_write_time(input), before);
    EXPECT_EQ(fs::file_size(input), size);

    // An existing output is not touched until the run writes it.
    const std::string existing = dir_.File("existing.mkv");
    WriteFile(existing, "keep me");
    EXPECT_EQ(engine.AddOutputFile(existing, false), 2) << engine.LastError();
    EXPECT_EQ(ReadFile(existing), "keep me");

    const std::string nowhere = dir_.File("no/such/folder/out.mkv");
    EXPECT_EQ(engine.AddOutputFile(nowhere, false), -1);
    EXPECT_EQ(engine.LastError(), nowhere + ": No such file or directory");
    const std::string longName = dir_.File(std::string(1100, 'y') + ".mkv");
    EXPECT_EQ(engine.AddOutputFile(longName, false), -1);
    EXPECT_EQ(engine.LastError(), longName + ": File name too long");
}

TEST_F(OutputTest, JoinedInputs) {
    ASSERT_TRUE(engine.AddInputFile(MkvH264Aac())) << engine.LastError();
    ASSERT_TRUE(engine.AddInputFile(Mp3Audio())) << engine.LastError();
    const std::int64_t total =
        engine.InputFormatContext(0)->duration + engine.InputFormatContext(1)->duration;
    ASSERT_EQ(Add("joined.mkv", true), 2) << engine.LastError();
    EXPECT_TRUE(engine.JoinMode);
    EXPECT_EQ(S.ExpectedDuration, total);
    EXPECT_EQ(engine.OutputFiles[0], engine.OutputFiles[1]);
    EXPECT_EQ(Layout(engine.OutputFiles[0]->Context.get()),
              "va");  // the streams of the first input
    EXPECT_EQ(Add("second.mkv"), -1);
    EXPECT_EQ(engine.LastError(), "Cannot join more than one output file.");
}

}  // namespace
}  // namespace zorvex::test
