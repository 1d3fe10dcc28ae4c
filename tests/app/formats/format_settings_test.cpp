// Settings confirmation and the two halves of ApplyFormatSettings.
#include "app/core/formats/format_settings.h"

#include <gtest/gtest.h>

#include "app/core/formats/duration_reader.h"
#include "app/core/formats/settings_controller.h"
#include "media/log.h"
#include "tests/support/fixtures.h"

namespace zorvex::app {
namespace {

struct Confirmed {
    explicit Confirmed(int formatId, std::int64_t durationUs = 120'000'000)
        : reader(durationUs), controller(reader, nullptr) {
        settings.FmtSourceFile = "/v/clip.avi";
        controller.OnMessage = [this](const std::string&, const std::string& text) {
            messages.push_back(text);
        };
        ResetFormatSettings(settings);
        controller.OfferCutRange(true);
        controller.Show(formatId, settings, "/out");
    }
    ConfirmResult Confirm() { return controller.Confirm(); }
    void Cut(const char* start, const char* stop) {  // "HH MM SS"
        controller.SetCutChecked(true);
        const std::string a(start), b(stop);
        controller.SetTimeBoxText(tbStartHours, a.substr(0, 2));
        controller.SetTimeBoxText(tbStartMinutes, a.substr(3, 2));
        controller.SetTimeBoxText(tbStartSeconds, a.substr(6, 2));
        controller.SetTimeBoxText(tbStopHours, b.substr(0, 2));
        controller.SetTimeBoxText(tbStopMinutes, b.substr(3, 2));
        controller.SetTimeBoxText(tbStopSeconds, b.substr(6, 2));
    }
    TInputOptions Input(bool alone = true) const {
        TInputOptions input;
        InitInputOptions(input);
        input.FileName = settings.FmtSourceFile;
        ApplyFormatSettings(settings, alone, input);
        return input;
    }
    TOutputOptions Output(bool alone = true) const {
        TOutputOptions output;
        InitOutputOptions(output);
        output.FileName = settings.FmtOutputFile;
        ApplyFormatSettings(settings, alone, output);
        return output;
    }
    FixedDurationReader reader;
    TFormatSettings settings;
    FormatSettingsController controller;
    std::vector<std::string> messages;
};

TEST(Confirmation, WorkedExampleFormat506) {
    Confirmed c(506);
    ASSERT_EQ(c.Confirm(), ConfirmResult::Confirmed);
    const TFormatSettings& s = c.settings;
    EXPECT_EQ(s.FmtOutputFile, "/out/clip.mp4");
    EXPECT_EQ(s.FmtExtTag, ".mp4");
    EXPECT_EQ(s.FmtVideoCodec, "libx264");
    EXPECT_EQ(s.FmtVideoBitRate, 1200000);
    EXPECT_EQ(s.FmtFrameSize, "1024*768");
    EXPECT_EQ(s.FmtFrameRate, "25");
    EXPECT_EQ(s.FmtAspect, "4:3");
    EXPECT_EQ(s.FmtAudioCodec, "libfaac");
    EXPECT_EQ(s.FmtAudioBitRate, 128000);
    EXPECT_EQ(s.FmtSampleRate, "44100");
    EXPECT_EQ(s.FmtChannels, "2");
    EXPECT_EQ(s.FmtVolume, "256");
    EXPECT_EQ(s.FmtCutStart, 0);
    EXPECT_EQ(s.FmtCutMode, "NoSelect");
    EXPECT_EQ(s.FmtTarget, "");
    EXPECT_EQ(s.FmtNorm, "");
    EXPECT_EQ(s.FmtVideoTag, "");
    EXPECT_EQ(s.FmtFilters, "");
    EXPECT_EQ(s.FmtContainer, "");
    EXPECT_FALSE(s.FmtAudioOnly);

    EXPECT_EQ(c.Input().StartTime, NoPtsValue);
    const TOutputOptions o = c.Output();
    TOutputOptions expected;
    InitOutputOptions(expected);
    expected.FileName = "/out/clip.mp4";
    expected.VideoCodec = "libx264";
    expected.VideoPreset = "libx264-default";
    expected.VideoBitrate = 1200000;
    expected.FrameSize = "1024*768";
    expected.FrameRate = "25";
    expected.FrameAspectRatio = "4:3";
    expected.AudioCodec = "aac";  // libfaac is not in the libraries
    expected.AudioBitrate = 128000;
    expected.AudioSampleRate = 44100;
    expected.AudioChannels = 2;
    expected.StartTime = 0;
    // Field by field, so a stray setting anywhere in the record shows up.
    EXPECT_EQ(o.FileName, expected.FileName);
    EXPECT_EQ(o.FileFormat, expected.FileFormat);
    EXPECT_EQ(o.VideoCodec, expected.VideoCodec);
    EXPECT_EQ(o.VideoPreset, expected.VideoPreset);
    EXPECT_EQ(o.VideoBitrate, expected.VideoBitrate);
    EXPECT_EQ(o.FrameSize, expected.FrameSize);
    EXPECT_EQ(o.FrameRate, expected.FrameRate);
    EXPECT_EQ(o.FrameAspectRatio, expected.FrameAspectRatio);
    EXPECT_EQ(o.VideoTag, expected.VideoTag);
    EXPECT_EQ(o.VideoFilters, expected.VideoFilters);
    EXPECT_EQ(o.DisableVideo, expected.DisableVideo);
    EXPECT_EQ(o.AudioCodec, expected.AudioCodec);
    EXPECT_EQ(o.AudioBitrate, expected.AudioBitrate);
    EXPECT_EQ(o.AudioSampleRate, expected.AudioSampleRate);
    EXPECT_EQ(o.AudioChannels, expected.AudioChannels);
    EXPECT_EQ(o.AudioVolume, expected.AudioVolume);
    EXPECT_EQ(o.StartTime, expected.StartTime);
    EXPECT_EQ(o.Duration, expected.Duration);
    EXPECT_EQ(o.TargetType, expected.TargetType);
    EXPECT_EQ(o.TargetNorm, expected.TargetNorm);
    EXPECT_EQ(o.ExtOptions, "");
}

TEST(Confirmation, DiscFormat500) {
    Confirmed c(500);
    ASSERT_EQ(c.Confirm(), ConfirmResult::Confirmed);
    const TFormatSettings& s = c.settings;
    EXPECT_EQ(s.FmtTarget, "vcd");
    EXPECT_EQ(s.FmtNorm, "PAL");
    EXPECT_EQ(s.FmtAudioCodec, "libmp3lame");
    EXPECT_EQ(s.FmtVideoCodec, "");
    EXPECT_EQ(s.FmtVideoBitRate, -1000);
    EXPECT_EQ(s.FmtAudioBitRate, -1000);
    EXPECT_EQ(s.FmtFrameSize, "");
    EXPECT_EQ(s.FmtFrameRate, "");
    EXPECT_EQ(s.FmtAspect, "");
    EXPECT_EQ(s.FmtChannels, "");
    EXPECT_EQ(s.FmtSampleRate, "");
    EXPECT_EQ(s.FmtVolume, "256");
    EXPECT_EQ(s.FmtOutputFile, "/out/clip_PAL.mpg");

    const TOutputOptions o = c.Output();
    EXPECT_EQ(o.TargetType, 1);
    EXPECT_EQ(o.TargetNorm, 1);
    EXPECT_EQ(o.AudioCodec, "libmp3lame");
    EXPECT_EQ(o.VideoCodec, "");
    EXPECT_EQ(o.VideoBitrate, -1);
    EXPECT_EQ(o.AudioBitrate, -1);
    EXPECT_EQ(o.AudioChannels, -1);
    EXPECT_EQ(o.AudioSampleRate, -1);
    EXPECT_EQ(o.FrameSize, "");
    EXPECT_EQ(o.FrameAspectRatio, "");

    // The other disc encoders, and a volume chosen with one (step 13 comes after
    // the disc rule).
    struct Case {
        int format;
        const char* encoder;
        int type, norm;
        const char* file;
    } cases[] = {
        {501, "NTSC_VCD视频压缩器", 1, 2, "/out/clip_NTSC.mpg"},
        {502, "NTSC_SVCD视频压缩器", 2, 2, "/out/clip_NTSC.mpg"},
        {19, "NTSC_DVD视频压缩器", 3, 2, "/out/clip_NTSC.mpg"},
        {505, "PAL_DVD视频压缩器", 3, 1, "/out/clip_PAL.mpg"},
    };
    for (const Case& k : cases) {
        Confirmed d(k.format);
        d.controller.SelectCaption(ChoiceKind::VideoEncoder, k.encoder);
        d.controller.SelectCaption(ChoiceKind::Volume, "音量增加1倍");
        ASSERT_EQ(d.Confirm(), ConfirmResult::Confirmed);
        const TOutputOptions out = d.Output();
        EXPECT_EQ(out.TargetType, k.type) << k.format;
        EXPECT_EQ(out.TargetNorm, k.norm) << k.format;
        EXPECT_EQ(out.FileName, k.file) << k.format;
        EXPECT_EQ(out.AudioVolume, 512) << k.format;
    }
}

TEST(Confirmation, VideoTagsOnlyInAvi) {
    struct Case {
        int format;
        const char* encoder;
        const char* codec;
        const char* tag;
        const char* container;
    } cases[] = {
        {1, "XviD 视频压缩器1", "mpeg4", "XVID", ""},
        {1, "Divx 5 视频压缩器", "mpeg4", "DX50", ""},
        {506, "XviD 视频压缩器1", "mpeg4", "", ""},
        {4, "Divx 5 视频压缩器", "mpeg4", "", ""},  // ".psp.mp4"
        {119, "XviD 视频压缩器2", "libxvid", "", ""},
        {1, "Divx 视频压缩器", "msmpeg4", "", ""},
        {23, "ASF视频压缩器", "msmpeg4", "", "asf"},
        {17, "QuickTime视频压缩器", "", "", "mov"},
        {15, "RM视频压缩器2", "rv20", "", ""},
    };
    for (const Case& k : cases) {
        Confirmed c(k.format);
        ASSERT_TRUE(c.controller.SelectCaption(ChoiceKind::VideoEncoder, k.encoder));
        ASSERT_EQ(c.Confirm(), ConfirmResult::Confirmed);
        const TOutputOptions o = c.Output();
        EXPECT_EQ(o.VideoCodec, k.codec) << k.format << " " << k.encoder;
        EXPECT_EQ(o.VideoTag, k.tag) << k.format << " " << k.encoder;
        EXPECT_EQ(o.FileFormat, k.container) << k.format << " " << k.encoder;
        EXPECT_EQ(o.VideoPreset, "") << k.format;
    }
}

TEST(Confirmation, AmrFormat209) {
    Confirmed c(209);
    c.controller.SelectCaption(ChoiceKind::AudioBitRate, "10.2");
    ASSERT_EQ(c.Confirm(), ConfirmResult::Confirmed);
    const TOutputOptions o = c.Output();
    EXPECT_EQ(o.AudioBitrate, 10200);
    EXPECT_EQ(o.AudioSampleRate, 8000);
    EXPECT_EQ(o.AudioChannels, 1);
    EXPECT_TRUE(o.DisableVideo);
    EXPECT_EQ(o.AudioCodec, "libopencore_amrnb");
    EXPECT_EQ(o.VideoBitrate, -1);
    EXPECT_EQ(o.FrameSize, "");
    EXPECT_EQ(o.FrameAspectRatio, "");
    EXPECT_EQ(o.FileName, "/out/clip.amr");

    // Every AMR rate, read exactly.
    const std::pair<const char*, int> rates[] = {{"4.75", 4750}, {"5.15", 5150}, {"5.9", 5900},
                                                 {"6.7", 6700},  {"7.4", 7400},  {"7.95", 7950},
                                                 {"12.2", 12200}};
    for (auto [caption, bitrate] : rates) {
        c.controller.SelectCaption(ChoiceKind::AudioBitRate, caption);
        c.Confirm();
        EXPECT_EQ(c.settings.FmtAudioBitRate, bitrate) << caption;
    }
}

TEST(Confirmation, AutomaticChoicesLeaveTheRecordUnset) {
    Confirmed c(15);  // RM: automatic audio encoder, bit rate and sample rate
    ASSERT_EQ(c.Confirm(), ConfirmResult::Confirmed);
    EXPECT_EQ(c.settings.FmtAudioCodec, "AUTO");
    EXPECT_EQ(c.settings.FmtSampleRate, "AUTO");
    EXPECT_EQ(c.settings.FmtAudioBitRate, -1000);
    const TOutputOptions o = c.Output();
    EXPECT_EQ(o.AudioCodec, "");
    EXPECT_EQ(o.AudioSampleRate, -1);
    EXPECT_EQ(o.AudioBitrate, -1);
    EXPECT_EQ(o.FrameSize, "");  // "保持原分辨率"
    EXPECT_EQ(o.FrameRate, "");  // "保持原帧速率"
    EXPECT_EQ(o.VideoCodec, "rv10");
    EXPECT_EQ(o.VideoBitrate, 528000);

    Confirmed psp(4);
    psp.controller.SelectCaption(ChoiceKind::FrameSize, "480*272  (PSP 3.03或更高固件版本适用)");
    psp.controller.SelectCaption(ChoiceKind::Scaling, "宽屏视频16:9模式");
    psp.Confirm();
    EXPECT_EQ(psp.Output().FrameSize, "480*272  (PSP 3.03或更高固件版本适用)");
    EXPECT_EQ(psp.Output().FrameAspectRatio, "16:9");
    EXPECT_EQ(psp.Output().VideoBitrate, 512000);
}

TEST(Confirmation, FilterChains) {
    struct Case {
        bool h, v, n;
        const char* chain;
    } cases[] = {
        {true, true, true, "hflip,vflip,negate"},
        {false, false, true, "negate"},
        {true, true, false, "hflip,vflip"},
        {false, true, true, "vflip,negate"},
        {false, false, false, ""},
    };
    for (const Case& k : cases) {
        Confirmed c(506, 120'000'000);
        c.controller.SetFilterChecked(PictureFilter::HorizontalFlip, k.h);
        c.controller.SetFilterChecked(PictureFilter::VerticalFlip, k.v);
        c.controller.SetFilterChecked(PictureFilter::Negative, k.n);
        // A refused cut range first: the second confirmation must not add to the
        // chain of the first.
        c.Cut("00:00:10", "00:03:00");
        ASSERT_EQ(c.Confirm(), ConfirmResult::StopAfterDuration);
        c.Cut("00:00:10", "00:01:00");
        ASSERT_EQ(c.Confirm(), ConfirmResult::Confirmed);
        EXPECT_EQ(c.settings.FmtFilters, k.chain);
        EXPECT_EQ(c.Output().VideoFilters, k.chain);
    }
}

TEST(Confirmation, CutRange) {
    struct Case {
        const char* start;
        const char* stop;
        ConfirmResult result;
        std::int64_t cutStart, cutLength;
    } cases[] = {
        {"00:00:10", "00:01:00", ConfirmResult::Confirmed, 10000, 50000},
        {"00:00:00", "00:02:00", ConfirmResult::Confirmed, 0, 120000},  // stop = length
        {"00:00:00", "00:02:01", ConfirmResult::StopAfterDuration, -1, -1},
        {"00:01:00", "00:01:00", ConfirmResult::StopNotAfterStart, -1, -1},
        {"00:01:30", "00:01:00", ConfirmResult::StopNotAfterStart, -1, -1},
        {"00:90:00", "00:01:00", ConfirmResult::StopNotAfterStart, -1, -1},  // 5400 s start
        {"00:00:90", "00:01:45", ConfirmResult::Confirmed, 90000, 15000},    // 90 s, not refused
    };
    for (const Case& k : cases) {
        Confirmed c(506, 120'000'000);
        c.Cut(k.start, k.stop);
        EXPECT_EQ(c.Confirm(), k.result) << k.start << "-" << k.stop;
        EXPECT_EQ(c.settings.FmtCutStart, k.cutStart) << k.start << "-" << k.stop;
        EXPECT_EQ(c.settings.FmtCutLength, k.cutLength);
        if (k.result == ConfirmResult::Confirmed) {
            EXPECT_EQ(c.settings.FmtCutMode, "Select");
            EXPECT_TRUE(c.messages.empty());
        } else {
            ASSERT_EQ(c.messages.size(), 1u);
            EXPECT_EQ(c.messages[0], ConfirmMessage(k.result));
        }
    }
    EXPECT_STREQ(ConfirmMessage(ConfirmResult::StopAfterDuration),
                 "截取时间设置错误，不允许停止时间大于时间长度！");
    EXPECT_STREQ(ConfirmMessage(ConfirmResult::StopNotAfterStart),
                 "截取时间设置错误，不允许起始时间大于等于停止时间！");

    // Empty boxes count as "00" and show it afterwards.
    Confirmed empty(506, 120'000'000);
    empty.controller.SetCutChecked(true);
    for (int box = 0; box < kTimeBoxCount; ++box) {
        empty.controller.SetTimeBoxText(static_cast<TimeBox>(box), "");
    }
    EXPECT_EQ(empty.Confirm(), ConfirmResult::StopNotAfterStart);
    EXPECT_EQ(empty.controller.TimeBoxText(tbStopSeconds), "00");

    // An unreadable source admits no cut at all.
    Confirmed unknown(506, -1);
    unknown.Cut("00:00:00", "00:00:01");
    EXPECT_EQ(unknown.Confirm(), ConfirmResult::StopAfterDuration);
}

TEST(Confirmation, RecordsForAFileAloneAndWithOthers) {
    Confirmed cut(506);
    cut.Cut("00:00:10", "00:01:00");
    ASSERT_EQ(cut.Confirm(), ConfirmResult::Confirmed);
    EXPECT_EQ(cut.Input(true).StartTime, 10'000'000);
    EXPECT_EQ(cut.Output(true).Duration, 50'000'000);
    EXPECT_EQ(cut.Output(true).StartTime, NoPtsValue);
    // With others the cut range does not apply.
    EXPECT_EQ(cut.Input(false).StartTime, NoPtsValue);
    EXPECT_EQ(cut.Output(false).Duration, NoPtsValue);
    EXPECT_EQ(cut.Output(false).StartTime, NoPtsValue);

    Confirmed whole(506);
    ASSERT_EQ(whole.Confirm(), ConfirmResult::Confirmed);
    EXPECT_EQ(whole.Input(true).StartTime, NoPtsValue);
    EXPECT_EQ(whole.Output(true).StartTime, 0);
    EXPECT_EQ(whole.Output(true).Duration, NoPtsValue);
    EXPECT_EQ(whole.Output(false).StartTime, NoPtsValue);
    // Both halves agree on everything else.
    EXPECT_EQ(whole.Output(false).VideoCodec, whole.Output(true).VideoCodec);
    EXPECT_EQ(whole.Output(false).FrameSize, whole.Output(true).FrameSize);
}

TEST(Confirmation, VolumeTable) {
    const std::pair<const char*, int> cases[] = {
        {"音量保持不变", -1}, {"无声音", 0},          {"音量降低90%", 26},   {"音量降低10%", 230},
        {"音量增加10%", 282}, {"音量增加1.5倍", 640}, {"音量增加7倍", 2048},
    };
    for (auto [caption, volume] : cases) {
        Confirmed c(200);
        ASSERT_TRUE(c.controller.SelectCaption(ChoiceKind::Volume, caption));
        c.Confirm();
        EXPECT_EQ(c.Output().AudioVolume, volume) << caption;
    }
    // Every caption of the list has a value: 256 times the loudness factor.
    for (std::string_view caption : FindChoiceList("V1")->items) {
        EXPECT_FALSE(VolumeForCaption(std::string(caption)).empty()) << caption;
    }
}

TEST(Confirmation, ResetKeepsSourceAndCutMode) {
    TFormatSettings s;
    s.FmtSourceFile = "/v/a.avi";
    s.FmtCutMode = "Select";
    s.FmtOutputFile = "/out/a.mp4";
    s.FmtVolume = "0";
    s.FmtVideoBitRate = 5;
    s.FmtCutStart = 7;
    s.FmtAudioOnly = true;
    ResetFormatSettings(s);
    EXPECT_EQ(s.FmtSourceFile, "/v/a.avi");
    EXPECT_EQ(s.FmtCutMode, "Select");
    EXPECT_EQ(s.FmtOutputFile, "");
    EXPECT_EQ(s.FmtVolume, "256");
    EXPECT_EQ(s.FmtVideoBitRate, -1);
    EXPECT_EQ(s.FmtCutStart, -1);
    EXPECT_FALSE(s.FmtAudioOnly);
}

TEST(EncoderNames, AReplacedEncoderIsToldInTheLog) {
    std::vector<std::string> lines;
    Logger().SetOnLog([&](TFFLogger*, std::uint32_t, TLogLevel, const std::string& text) {
        lines.push_back(text);
    });
    TFormatSettings s;
    ResetFormatSettings(s);
    s.FmtAudioCodec = "libfaac";
    s.FmtVideoCodec = "libx264";
    TOutputOptions out;
    InitOutputOptions(out);
    ApplyFormatSettings(s, false, out);
    Logger().SetOnLog(nullptr);
    EXPECT_EQ(out.AudioCodec, "aac");
    EXPECT_EQ(out.VideoCodec, "libx264");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("libfaac"), std::string::npos);
}

TEST(OutputNames, Paths) {
    EXPECT_EQ(OutputPathFor("/out", "/v/clip.avi", ".mp4"), "/out/clip.mp4");
    EXPECT_EQ(OutputPathFor("/out/", "/v/a.b.avi", ".mp4"), "/out/a.b.mp4");
    EXPECT_EQ(OutputPathFor("/out", "/v/noext", ".mp4"), "/out/noext.mp4");
    EXPECT_EQ(OutputPathFor("/out", "/v/clip.mpg", "_PAL.mpg"), "/out/clip_PAL.mpg");
}

}  // namespace
}  // namespace zorvex::app
