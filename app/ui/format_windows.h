// The two format windows the main window's add commands use: the chooser
// ("选择转换格式") and, from its "下一步", the settings window ("选项设置").
//
// Use from "添加一个视频文件" / "添加多个视频文件":
//   ResetFormatSettings(fmt);                 // pending settings reset
//   formatWindows.OfferCutRange(single);      // cut range only for one file
//   ... open-file dialog ...
//   fmt.FmtSourceFile = path;                 // single: the file; several: the first
//   if (formatWindows.Run(fmt, outputFolder) == "2") return;   // cancelled
//   ... per file: ApplyFormatSettings(fmt, single, input) before AddTask,
//       ApplyFormatSettings(fmt, single, output) before SetOutputFile.
#pragma once

#include <QPointer>
#include <memory>
#include <string>

#include "app/core/formats/chooser_controller.h"
#include "app/core/formats/duration_reader.h"
#include "app/core/formats/format_settings.h"
#include "app/core/formats/settings_controller.h"
#include "app/ui/format_chooser_dialog.h"
#include "app/ui/format_settings_dialog.h"

class QWidget;

namespace zorvex::app {

class SettingsStore;
class Shell;

class FormatWindows {
public:
    // Created once at start-up, after the main window. formatId is the main
    // window's FormatId (written by the chooser, kept between adds); settings is
    // system.ini (skins), shell opens the source for "预览视频". durations
    // defaults to the settings window's own converter component.
    FormatWindows(QWidget* parent, int& formatId, const SettingsStore& settings, Shell& shell,
                  std::unique_ptr<DurationReader> durations = nullptr);
    ~FormatWindows();

    // Before the chooser: "允许截取视频" unchecked, enabled only for a file added
    // alone.
    void OfferCutRange(bool addedAlone);

    // Shows the chooser modally; "下一步" opens the settings window for the
    // chosen format, whose "确定" writes fmt and closes both, and whose "取消"
    // brings the chooser back. Returns ChooserResult: "1" confirmed, "2" when
    // the chooser was cancelled (fmt then holds no new confirmation).
    std::string Run(TFormatSettings& fmt, const std::string& outputFolder);
    const std::string& ChooserResult() const { return chooserController_.ChooserResult(); }

    void SetMessagePresenter(MessagePresenter presenter);

    FormatChooserController& ChooserController() { return chooserController_; }
    FormatSettingsController& SettingsController() { return settingsController_; }
    FormatChooserDialog& Chooser() { return *chooser_; }
    FormatSettingsDialog& Settings() { return *settings_; }

private:
    int& formatId_;
    std::unique_ptr<DurationReader> durations_;
    FormatChooserController chooserController_;
    FormatSettingsController settingsController_;
    // Children of the main window: whichever goes first takes them along.
    QPointer<FormatChooserDialog> chooser_;
    QPointer<FormatSettingsDialog> settings_;
};

}  // namespace zorvex::app
