// The format windows behind the main window's add commands.
#include "app/ui/format_window_dialogs.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QTabWidget>

#include "app/platform/settings_store.h"
#include "app/platform/shell.h"
#include "tests/app/formats/ui_test_support.h"

namespace zorvex::app {
namespace {

struct Dialogs {
    Dialogs()
        : dialogs((App(), nullptr), store, shell,
                  std::make_unique<FixedDurationReader>(120'000'000)) {
        dialogs.Windows().SetMessagePresenter([](QWidget*, const QString&, const QString&) {});
    }
    MemorySettingsStore store;
    RecordingShell shell;
    FormatWindowDialogs dialogs;
};

// Picks a format in the chooser and confirms its defaults.
std::unique_ptr<ModalScript> ChooseAndConfirm(FormatWindows& w, int page, int row,
                                              bool* cutEnabled) {
    auto script = std::make_unique<ModalScript>();
    script->Then([&] { return w.Chooser().isVisible(); },
                 [&, page, row] {
                     w.Chooser().Tabs()->setCurrentIndex(page);
                     w.Chooser().List(page)->setCurrentRow(row);
                     w.Chooser().NextButton()->click();
                 });
    script->Then([&] { return w.Settings().isVisible(); },
                 [&, cutEnabled] {
                     if (cutEnabled) *cutEnabled = w.Settings().CutBox()->isEnabled();
                     w.Settings().OkButton()->click();
                 });
    script->Start();
    return script;
}

TEST(FormatWindowDialogs, SingleFileAddGetsTheConfirmedSettings) {
    Dialogs d;
    d.dialogs.ResetPendingSettings();
    d.dialogs.SetSourceFile("/v/clip.avi");
    bool cutEnabled = false;
    auto script = ChooseAndConfirm(d.dialogs.Windows(), 2, 3, &cutEnabled);  // Sony PSP
    ASSERT_TRUE(d.dialogs.ChooseFormat(true, "/out"));
    EXPECT_FALSE(script->failed);
    EXPECT_TRUE(cutEnabled);
    EXPECT_EQ(d.dialogs.FormatId(), 4);
    EXPECT_EQ(d.dialogs.ProposedOutputFile(), "/out/clip.mp4");
    EXPECT_EQ(d.dialogs.Settings().FmtExtTag, ".psp.mp4");

    TInputOptions input;
    InitInputOptions(input);
    d.dialogs.ApplyInputSettings(input, true);
    EXPECT_EQ(input.StartTime, NoPtsValue);
    TOutputOptions output;
    InitOutputOptions(output);
    d.dialogs.ApplyOutputSettings(output, true);
    EXPECT_EQ(output.VideoCodec, "mpeg4");
    EXPECT_EQ(output.FrameSize, "320*240 (PSP所有固件版本适用)");
    EXPECT_EQ(output.AudioSampleRate, 24000);
    EXPECT_EQ(output.StartTime, 0);

    // The next add starts from reset settings but the chooser keeps format 4.
    d.dialogs.ResetPendingSettings();
    EXPECT_EQ(d.dialogs.Settings().FmtOutputFile, "");
    EXPECT_EQ(d.dialogs.Settings().FmtSourceFile, "/v/clip.avi");
    EXPECT_EQ(d.dialogs.FormatId(), 4);
}

TEST(FormatWindowDialogs, SeveralFilesGetNoCutRange) {
    Dialogs d;
    d.dialogs.ResetPendingSettings();
    d.dialogs.SetSourceFile("/v/b.avi");
    bool cutEnabled = true;
    auto script = ChooseAndConfirm(d.dialogs.Windows(), 3, 0, &cutEnabled);  // MP3
    ASSERT_TRUE(d.dialogs.ChooseFormat(false, "/out"));
    EXPECT_FALSE(cutEnabled);
    TOutputOptions output;
    InitOutputOptions(output);
    d.dialogs.ApplyOutputSettings(output, false);
    EXPECT_TRUE(output.DisableVideo);
    EXPECT_EQ(output.StartTime, NoPtsValue);
    EXPECT_EQ(output.AudioCodec, "libmp3lame");
}

TEST(FormatWindowDialogs, CancelledChooserAddsNothing) {
    Dialogs d;
    FormatWindows& w = d.dialogs.Windows();
    ModalScript script;
    script.Then([&] { return w.Chooser().isVisible(); },
                [&] { w.Chooser().CancelButton()->click(); });
    script.Start();
    EXPECT_FALSE(d.dialogs.ChooseFormat(true, "/out"));
    EXPECT_EQ(w.ChooserResult(), "2");
}

}  // namespace
}  // namespace zorvex::app
