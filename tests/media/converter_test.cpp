// The converter component: the option text and how the records configure a
// task, its state rules and their messages, and the helpers of its records.
#include "media/converter.h"

#include <gtest/gtest.h>

#include <ctime>

#include "media/converter_tasks.h"
#include "media/ffapi.h"
#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace zorvex::test {
namespace {

std::string SmallClip() {
    return Fixture("converter_small.avi",
                   "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
                   "sine=sample_rate=44100:duration=1 -c:v mpeg4 -c:a mp2");
}

// A clip with a subtitle stream, made in dir.
std::string SubtitledClip(const TempDir& dir) {
    const std::string srt = dir.File("lines.srt");
    WriteFile(srt, "1\n00:00:00,000 --> 00:00:00,800\nhello\n\n");
    const std::string clip = dir.File("subtitled.mkv");
    const ProcessResult r =
        RunProcess("/usr/bin/ffmpeg", {"-v", "error", "-nostdin", "-f", "lavfi", "-i",
                                       "testsrc=size=160x120:rate=25:duration=1", "-i", srt, "-c:v",
                                       "mpeg4", "-c:s", "srt", clip});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return clip;
}

class ConverterTest : public ::testing::Test {
protected:
    void SetUp() override { LoadConverterLibrariesOrFail(); }

    // The encoders of the first output's streams of a kind, in stream order.
    static std::vector<std::string> Codecs(TDAdadiZUZ& c, int task, AVMediaType type) {
        std::vector<std::string> names;
        for (const TOutputStream& s : c.Task(task).OutputFiles.at(0)->Streams) {
            if (s.Codec->codec_type == type)
                names.push_back(ff::avcodec_get_name(s.Codec->codec_id));
        }
        return names;
    }
    static std::string ErrorOf(const std::function<void()>& fn) {
        try {
            fn();
        } catch (const Exception& x) {
            return x.what();
        }
        return {};
    }

    TempDir dir;
};

TEST(ConverterOptionText, LinesNamesAndValues) {
    struct Case {
        std::string text;
        std::vector<std::pair<std::string, std::string>> lines;
    } cases[] = {
        {"vcodec=mpeg4<CRLF>B=800000", {{"vcodec", "mpeg4"}, {"b", "800000"}}},
        {"\t a=1\r\nb=2\rc=3\nD=x=y \r\n", {{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "x=y"}}},
        {"flag<crlf>x=1", {{"flag<crlf>x", "1"}}},  // the marker is case sensitive
        {"an\n\nvn", {{"an", ""}, {"", ""}, {"vn", ""}}},
        {"  \r\n ", {}},
    };
    for (const Case& k : cases) {
        std::vector<std::pair<std::string, std::string>> got;
        for (const TOptionLine& l : ParseOptionText(k.text)) got.emplace_back(l.Name, l.Value);
        EXPECT_EQ(got, k.lines) << k.text;
    }
}

TEST(ConverterRecords, TimestampAndPreviewTime) {
    const std::int64_t now = std::time(nullptr);
    EXPECT_NEAR(static_cast<double>(TimestampToUnixSeconds(0)), static_cast<double>(now), 2);
    ::tzset();
    const double standardOffset = -static_cast<double>(::timezone) / 86400.0;
    EXPECT_EQ(TimestampToUnixSeconds(25569.0 + standardOffset), 0);  // 1970-01-01 00:00 UTC
    EXPECT_EQ(TimestampToUnixSeconds(25569.5 + standardOffset), 43200);

    EXPECT_EQ(PreviewTimeText(3723004000), "01:02:03.004");
    EXPECT_EQ(PreviewTimeText(0), "00:00:00.000");
    EXPECT_EQ(PreviewTimeText(NoPtsValue), "N/A");
}

TEST(ConverterProperties, DefaultsAndProgressIntervalFloor) {
    TDAdadiZUZ c;
    EXPECT_STREQ(c.Version(), "3.3");
    EXPECT_FALSE(c.Preview());
    EXPECT_FALSE(c.PreviewBitmap());
    EXPECT_TRUE(c.TriggerEventInMainThread());
    EXPECT_EQ(c.ThreadPriority(), tpNormal);
    EXPECT_EQ(c.ProgressInterval(), 500);
    for (auto [set, read] : {std::pair{50, 100}, {100, 100}, {101, 101}, {-5, 100}}) {
        c.SetProgressInterval(set);
        EXPECT_EQ(c.ProgressInterval(), read) << set;
    }
}

// Codec, preset, size and filter lines of the option text feed the new streams
// in order; the record's value wins for the primary stream.
TEST_F(ConverterTest, OptionTextStreamsFollowTheDefList) {
    const std::string subtitled = SubtitledClip(dir);
    struct Case {
        const char* videoCodec;
        const char* subtitleCodec;
        const char* text;
        std::vector<std::string> video, subtitle;
    } cases[] = {
        {"",
         "",
         "vcodec=mpeg4\nvcodec=mjpeg\nnewvideo=\nnewvideo=",
         {"mpeg4", "mpeg4", "mjpeg"},
         {"ass"}},
        {"mpeg2video",
         "",
         "vcodec=mpeg4\r\nvcodec=mjpeg\r\nnewvideo=\r\nnewvideo=",
         {"mpeg2video", "mpeg4", "mjpeg"},
         {"ass"}},
        {"mpeg4", "srt", "scodec=ass<CRLF>newsubtitle=", {"mpeg4"}, {"subrip", "ass"}},
        {"mpeg4", "ass", "newsubtitle=", {"mpeg4"}, {"ass", "ass"}},
        {"mpeg4", "", "scodec=ass\nscodec=srt\nnewsubtitle=", {"mpeg4"}, {"ass", "ass"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.text);
        TDAdadiZUZ c;
        const int task = c.AddTask(subtitled);
        ASSERT_EQ(task, 0) << c.LastError();
        TOutputOptions o;
        InitOutputOptions(o);
        o.VideoCodec = k.videoCodec;
        o.SubtitleCodec = k.subtitleCodec;
        o.ExtOptions = k.text;
        ASSERT_TRUE(c.SetOutputFile(task, dir.File("out.mkv"), &o)) << c.LastError();
        EXPECT_EQ(Codecs(c, task, AVMEDIA_TYPE_VIDEO), k.video);
        EXPECT_EQ(Codecs(c, task, AVMEDIA_TYPE_SUBTITLE), k.subtitle);
    }
}

// Codec names of the output text go through the def_ list; everything else is
// an option of the engine, and the record's fields override the text.
TEST_F(ConverterTest, RecordsAndTextConfigureTheTask) {
    TDAdadiZUZ c;
    TInputOptions in;
    InitInputOptions(in);
    in.StartTime = 250000;
    in.ExtOptions = "acodec=mp3";  // input side: a decoder name, passed as it is
    ASSERT_EQ(c.AddTask(SmallClip(), &in), 0) << c.LastError();
    DORudov& task = c.Task(0);
    EXPECT_EQ(task.InputOptions.at(0)->FileName, SmallClip());

    TOutputOptions o;
    InitOutputOptions(o);
    o.ExtOptions = "vcodec=mpeg4<CRLF>B=800000<CRLF>ar=22050<CRLF>async=3";
    o.AudioSampleRate = 32000;  // set: overrides the text
    o.AudioCodec = "mp2";
    o.Duration = 500000;
    o.StreamInfo.Timestamp = 0;
    o.StreamInfo.Title = "t";
    o.StreamInfo.Year = 2010;
    ASSERT_TRUE(c.SetOutputFile(0, dir.File("a.avi"), &o)) << c.LastError();
    const TEngineSettings& s = task.Settings;
    EXPECT_EQ(s.AudioSampleRate, 32000);
    EXPECT_EQ(s.AudioSyncMethod, 0) << "AudioSync is applied always";
    EXPECT_EQ(s.RecordingTime, 500000);
    EXPECT_EQ(s.ExpectedDuration, 500000);
    EXPECT_NEAR(static_cast<double>(s.RecTimestamp), static_cast<double>(std::time(nullptr)), 5);
    bool bitRate = false;
    for (const TSetOption& option : task.SetOptionNames) {
        if (option.Name == "b" && option.Value == "800000") bitRate = true;
    }
    EXPECT_TRUE(bitRate) << "B=800000 reaches the engine as b";
    const auto& streams = task.OutputFiles.at(0)->Streams;
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].Codec->codec_id, AV_CODEC_ID_MPEG4);
    EXPECT_EQ(streams[0].Codec->bit_rate, 800000);
    EXPECT_EQ(streams[1].Codec->codec_id, AV_CODEC_ID_MP2);
    EXPECT_EQ(streams[1].Codec->sample_rate, 32000);
    EXPECT_EQ(task.OutputOptions.at(0)->FileName, dir.File("a.avi"));

    // A negative timestamp leaves the engine's alone; no options, no copy.
    ASSERT_TRUE(c.SetOutputFile(0, dir.File("b.avi"))) << c.LastError();
    EXPECT_FALSE(task.OutputOptions.at(1).has_value());
}

TEST_F(ConverterTest, FailuresGoToLastErrorAndStateRulesRaise) {
    TDAdadiZUZ c;
    EXPECT_EQ(c.AddTask(dir.File("missing.avi")), -1);
    EXPECT_NE(c.LastError().find("No such file or directory"), std::string::npos) << c.LastError();
    EXPECT_EQ(c.TaskCount(), 0);
    TInputOptions bad;
    InitInputOptions(bad);
    bad.ExtOptions = "r=0";
    EXPECT_EQ(c.AddTask(SmallClip(), &bad), -1);
    EXPECT_EQ(c.LastError(), "Incorrect frame rate");

    ASSERT_EQ(c.AddTask(SmallClip()), 0);
    EXPECT_EQ(c.LastError(), "Incorrect frame rate") << "cleared only by ClearTasks";
    TOutputOptions o;
    InitOutputOptions(o);
    o.VideoCodec = "nosuchcodec";
    EXPECT_FALSE(c.SetOutputFile(0, dir.File("x.avi"), &o));
    EXPECT_EQ(c.LastError(), "new_video_stream fail: Unknown encoder 'nosuchcodec'");
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(c.SetOutputFile(0, dir.File("o" + std::to_string(i) + ".avi"))) << i;
    }
    EXPECT_FALSE(c.SetOutputFile(0, dir.File("o20.avi")));
    EXPECT_EQ(c.LastError(), "max output files 20 reached");
    EXPECT_EQ(ErrorOf([&] { c.SetOutputFile(3, dir.File("y.avi")); }),
              "List index out of bounds (3)");
    EXPECT_EQ(ErrorOf([&] { c.RemoveTask(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(c.InputFormatContext(5, 0), nullptr);
    EXPECT_EQ(c.InputFormatContext(0, 1), nullptr);
    ASSERT_NE(c.InputFormatContext(0, 0), nullptr);
    EXPECT_NEAR(c.InputFormatContext(0, 0)->duration / 1e6, 1.0, 0.1);

    c.ClearTasks();
    EXPECT_EQ(c.LastError(), "");
    EXPECT_EQ(c.TaskCount(), 0);
    ASSERT_EQ(c.AddTask(SmallClip()), 0);
    ASSERT_EQ(c.AddTask(SmallClip()), 1);
    c.RemoveTask(0);
    EXPECT_EQ(c.TaskCount(), 1);
    EXPECT_EQ(c.Task(0).Index, 0) << "later tasks move down";
}

// An empty list ends its batch at once; a batch runs once, and only its end
// lets the list be cleared.
TEST_F(ConverterTest, EmptyBatchEndsAtOnceAndAnEndedBatchRefusesWork) {
    TDAdadiZUZ c;
    std::vector<TTerminateInfo> reports;
    c.OnTerminate = [&](TCustomDAdadiZUZ*, const TTerminateInfo& info) { reports.push_back(info); };
    c.StartTask(0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].TaskIndex, -1);
    EXPECT_TRUE(reports[0].Finished);
    for (const char* op : {"AddTask", "SetOutputFile", "RemoveTask", "StartTask"}) {
        const std::string message = ErrorOf([&] {
            const std::string name = op;
            if (name == "AddTask") c.AddTask(SmallClip());
            if (name == "SetOutputFile") c.SetOutputFile(0, dir.File("a.avi"));
            if (name == "RemoveTask") c.RemoveTask(0);
            if (name == "StartTask") c.StartTask(1);
        });
        EXPECT_EQ(message, std::string("Cannot ") + op + " while working.");
    }
    c.ClearTasks();
    EXPECT_EQ(c.AddTask(SmallClip()), 0);
}

}  // namespace
}  // namespace zorvex::test
