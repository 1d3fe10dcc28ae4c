// The settings window's logic: lists and defaults per format, encoder-change
// rules, the duration read and the time boxes.
#include "app/core/formats/settings_controller.h"

#include <gtest/gtest.h>

#include "app/core/formats/duration_reader.h"
#include "app/platform/shell.h"

namespace zorvex::app {
namespace {

using Captions = std::vector<std::string_view>;

struct Shown {
    explicit Shown(int formatId, std::int64_t durationUs = 120'000'000,
                   std::string source = "/v/clip.avi")
        : reader(durationUs), controller(reader, &shell) {
        settings.FmtSourceFile = std::move(source);
        controller.OnMessage = [this](const std::string& caption, const std::string& text) {
            messages.push_back(caption + "|" + text);
        };
        controller.Show(formatId, settings, "/out");
    }
    FixedDurationReader reader;
    RecordingShell shell;
    TFormatSettings settings;
    FormatSettingsController controller;
    std::vector<std::string> messages;
};

TEST(SettingsWindow, PspFormatListsAndExtensionTag) {
    Shown w(4);
    auto& c = w.controller;
    EXPECT_EQ(c.Items(ChoiceKind::VideoEncoder),
              (Captions{"MPEG4视频压缩器", "Divx 5 视频压缩器", "XviD 视频压缩器1",
                        "XviD 视频压缩器2", "H264/AVC高清视频压缩器"}));
    EXPECT_EQ(c.SelectedCaption(ChoiceKind::VideoEncoder), "MPEG4视频压缩器");
    EXPECT_EQ(c.Items(ChoiceKind::FrameSize),
              (Captions{"320*240 (PSP所有固件版本适用)", "368*208 (PSP 2.0或更高固件版本适用)",
                        "480*272  (PSP 3.03或更高固件版本适用)",
                        "720*480  (PSP 3.4或更高固件版本适用)"}));
    EXPECT_EQ(c.SelectedCaption(ChoiceKind::FrameSize), "320*240 (PSP所有固件版本适用)");
    EXPECT_EQ(c.Items(ChoiceKind::AudioEncoder), (Captions{"AAC音频编码器"}));
    EXPECT_EQ(c.Items(ChoiceKind::SampleRate), (Captions{"24000"}));
    EXPECT_EQ(c.SelectedCaption(ChoiceKind::Channels), "立体声");
    EXPECT_EQ(c.SelectedCaption(ChoiceKind::Volume), "音量保持不变");
    EXPECT_EQ(c.Items(ChoiceKind::Volume).size(), 28u);
    EXPECT_EQ(w.settings.FmtExtTag, ".psp.mp4");
    EXPECT_EQ(w.settings.FmtOutputFile, "/out/clip.mp4");
    EXPECT_EQ(c.MediaKind(), "Vedio");
    EXPECT_TRUE(c.Enabled(ChoiceKind::VideoEncoder));
    EXPECT_TRUE(c.FiltersEnabled());
}

TEST(SettingsWindow, AudioFormatsDisableTheVideoControls) {
    Shown mp3(200);
    auto& c = mp3.controller;
    for (auto [kind, only] : {std::pair{ChoiceKind::VideoEncoder, "该格式无视频"},
                              {ChoiceKind::VideoBitRate, "无"},
                              {ChoiceKind::FrameSize, "无"},
                              {ChoiceKind::FrameRate, "无"},
                              {ChoiceKind::Scaling, "无"}}) {
        EXPECT_EQ(c.Items(kind), (Captions{only}));
        EXPECT_EQ(c.Selected(kind), 0);
        EXPECT_FALSE(c.Enabled(kind));
    }
    EXPECT_TRUE(c.Enabled(ChoiceKind::AudioEncoder));
    EXPECT_TRUE(c.Enabled(ChoiceKind::Volume));
    EXPECT_FALSE(c.FiltersEnabled());
    c.SetFilterChecked(PictureFilter::Negative, true);
    EXPECT_FALSE(c.FilterChecked(PictureFilter::Negative));
    EXPECT_EQ(c.MediaKind(), "Music");
    EXPECT_EQ(mp3.settings.FmtOutputFile, "/out/clip.mp3");

    Shown amr(209);
    auto& a = amr.controller;
    EXPECT_EQ(a.Items(ChoiceKind::AudioBitRate),
              (Captions{"4.75", "5.15", "5.9", "6.7", "7.4", "7.95", "10.2", "12.2"}));
    EXPECT_EQ(a.SelectedCaption(ChoiceKind::AudioBitRate), "7.4");
    EXPECT_EQ(a.Items(ChoiceKind::SampleRate), (Captions{"8000"}));
    EXPECT_EQ(a.Items(ChoiceKind::Channels), (Captions{"单声道"}));
    EXPECT_EQ(a.SelectedCaption(ChoiceKind::Channels), "单声道");
    EXPECT_EQ(a.SelectedCaption(ChoiceKind::AudioEncoder), "AMR音频编码器");
}

TEST(SettingsWindow, EncoderChangeRules) {
    const Captions b1 = FindChoiceList("B1")->items;
    const Captions b12 = FindChoiceList("B12")->items;
    const Captions smallSizes = {"112*96",  "128*96",  "160*112", "160*120", "176*144", "192*144",
                                 "208*176", "220*176", "320*208", "320*224", "320*240"};
    struct Case {
        int format;
        const char* encoder;
        ChoiceKind changed;
        Captions items;  // empty: the list stays as it was
        const char* selected;
    } cases[] = {
        {1, "Mjpeg 视频压缩器", ChoiceKind::VideoBitRate, b12, "3000 kbps(高质量)"},
        {2, "H264/AVC高清视频压缩器", ChoiceKind::VideoBitRate, b1, "528 kbps(中等质量)"},
        {101, "Divx 视频压缩器", ChoiceKind::FrameSize,
         Captions{"128*96", "176*144", "352*288", "704*576"}, "176*144"},
        {100, "XviD 视频压缩器2", ChoiceKind::FrameSize, smallSizes, "176*144"},
        {101, "Divx 5 视频压缩器", ChoiceKind::FrameSize, smallSizes, "176*144"},
        {101, "MPEG4 视频压缩器", ChoiceKind::FrameSize, {}, "保持原分辨率"},
        {24, "Mjpeg 视频压缩器", ChoiceKind::VideoBitRate, {}, "3000 kbps(高质量)"},
        {506, "Divx 5 视频压缩器", ChoiceKind::FrameSize, {}, "1024*768"},
    };
    for (const Case& c : cases) {
        Shown w(c.format);
        const Captions before = w.controller.Items(c.changed);
        ASSERT_TRUE(w.controller.SelectCaption(ChoiceKind::VideoEncoder, c.encoder)) << c.format;
        EXPECT_EQ(w.controller.Items(c.changed), c.items.empty() ? before : c.items)
            << c.format << " " << c.encoder;
        EXPECT_EQ(w.controller.SelectedCaption(c.changed), c.selected) << c.format;
    }

    // Format 1 there and back: Mjpeg gives B12, another encoder B1 again.
    Shown w(1);
    w.controller.SelectCaption(ChoiceKind::VideoEncoder, "Mjpeg 视频压缩器");
    w.controller.SelectCaption(ChoiceKind::VideoBitRate, "9000 kbps(极高质量)");
    w.controller.SelectCaption(ChoiceKind::VideoEncoder, "MPEG4 视频压缩器");
    EXPECT_EQ(w.controller.Items(ChoiceKind::VideoBitRate), b1);
    EXPECT_EQ(w.controller.SelectedCaption(ChoiceKind::VideoBitRate), "528 kbps(中等质量)");
    // Picking the selected encoder again is no change.
    w.controller.SelectCaption(ChoiceKind::VideoBitRate, "2000 kbps(极高质量)");
    w.controller.SelectCaption(ChoiceKind::VideoEncoder, "MPEG4 视频压缩器");
    EXPECT_EQ(w.controller.SelectedCaption(ChoiceKind::VideoBitRate), "2000 kbps(极高质量)");
}

TEST(SettingsWindow, DurationFillsTheStopBoxes) {
    struct Case {
        std::int64_t microseconds;
        const char* duration;
        const char *h, *m, *s;
    } cases[] = {
        {3725'000'000LL, "3725", "01", "02", "05"},
        {360000'000'000LL, "360000", "100", "00", "00"},
        {120'999'999LL, "120", "00", "02", "00"},  // whole seconds, truncated
        {-1, "", "", "", ""},                      // cannot be read
    };
    for (const Case& c : cases) {
        Shown w(506, c.microseconds);
        auto& ctl = w.controller;
        EXPECT_EQ(w.reader.lastFile, "/v/clip.avi");
        EXPECT_EQ(ctl.SourceDuration(), c.duration);
        EXPECT_EQ(ctl.TimeBoxText(tbStartHours), "00");
        EXPECT_EQ(ctl.TimeBoxText(tbStartMinutes), "00");
        EXPECT_EQ(ctl.TimeBoxText(tbStartSeconds), "00");
        EXPECT_EQ(ctl.TimeBoxText(tbStopHours), c.h) << c.microseconds;
        EXPECT_EQ(ctl.TimeBoxText(tbStopMinutes), c.m);
        EXPECT_EQ(ctl.TimeBoxText(tbStopSeconds), c.s);
    }

    // A failed read does not keep the length of the source shown before.
    Shown w(506, 3725'000'000LL);
    w.reader.duration = -1;
    w.controller.Show(506, w.settings, "/out");
    EXPECT_EQ(w.controller.SourceDuration(), "");
}

TEST(SettingsWindow, ShowingAgainLeavesNoTraceOfTheEarlierFormat) {
    Shown w(19);
    EXPECT_EQ(w.controller.DiscTarget(), "dvd");
    w.controller.SetFilterChecked(PictureFilter::VerticalFlip, true);
    ASSERT_EQ(w.controller.Confirm(), ConfirmResult::Confirmed);
    EXPECT_EQ(w.settings.FmtNorm, "PAL");

    w.controller.Show(506, w.settings, "/out");
    EXPECT_EQ(w.controller.DiscTarget(), "");
    EXPECT_EQ(w.settings.FmtNorm, "");
    EXPECT_EQ(w.settings.FmtFilters, "");
    EXPECT_FALSE(w.controller.FilterChecked(PictureFilter::VerticalFlip));
    EXPECT_EQ(w.controller.Items(ChoiceKind::VideoEncoder), FindChoiceList("E5")->items);
    EXPECT_EQ(w.settings.FmtOutputFile, "/out/clip.mp4");

    // And an audio format's disabled controls come back for a video format.
    w.controller.Show(200, w.settings, "/out");
    w.controller.Show(518, w.settings, "/out");
    EXPECT_TRUE(w.controller.Enabled(ChoiceKind::FrameSize));
    EXPECT_TRUE(w.controller.FiltersEnabled());
    EXPECT_EQ(w.controller.MediaKind(), "Vedio");
    EXPECT_EQ(w.settings.FmtContainer, "mov");
}

TEST(SettingsWindow, TimeBoxesTakeDigitsOnly) {
    Shown w(506);
    auto& c = w.controller;
    for (char32_t key : {U'0', U'7', U'9', char32_t{8}, char32_t{13}})
        EXPECT_TRUE(c.TimeBoxKey(key));
    EXPECT_TRUE(w.messages.empty());
    for (char32_t key : {U'a', U'-', U' ', U'.', U'５', char32_t{22}})
        EXPECT_FALSE(c.TimeBoxKey(key));
    ASSERT_EQ(w.messages.size(), 6u);
    EXPECT_EQ(w.messages[0], "提示|对不起，这里只能输入数字！");
}

TEST(SettingsWindow, CutRangeOfferFollowsTheAddCommand) {
    Shown w(506);
    auto& c = w.controller;
    c.OfferCutRange(false);  // several files
    c.SetCutChecked(true);
    EXPECT_FALSE(c.CutChecked());
    EXPECT_FALSE(c.TimeBoxesEnabled());

    c.OfferCutRange(true);
    EXPECT_TRUE(c.CutEnabled());
    EXPECT_FALSE(c.TimeBoxesEnabled());
    c.SetCutChecked(true);
    EXPECT_TRUE(c.TimeBoxesEnabled());
    c.SetCutChecked(false);
    EXPECT_FALSE(c.TimeBoxesEnabled());
}

TEST(SettingsWindow, PreviewOpensTheSource) {
    Shown w(506, 1'000'000, "/v/中文 clip.avi");
    EXPECT_TRUE(w.controller.PreviewSource());
    ASSERT_EQ(w.shell.opened.size(), 1);
    EXPECT_EQ(w.shell.opened[0].toLocalFile().toStdString(), "/v/中文 clip.avi");
}

}  // namespace
}  // namespace zorvex::app
