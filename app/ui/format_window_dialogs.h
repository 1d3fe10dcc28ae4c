// The format windows as the main window's add commands use them: the pending
// format settings, the chooser with the settings window, and the two halves of
// ApplyFormatSettings.
#pragma once

#include <QWidget>

#include "app/core/formats/format_settings.h"
#include "app/core/workbench/format_dialogs.h"
#include "app/ui/format_windows.h"

namespace zorvex::app {

class FormatWindowDialogs : public FormatDialogs {
public:
    // Created at start-up after the main window (parent); the windows live as
    // long as this object.
    FormatWindowDialogs(QWidget* parent, const SettingsStore& settings, Shell& shell,
                        std::unique_ptr<DurationReader> durations = nullptr);

    void ResetPendingSettings() override { ResetFormatSettings(settings_); }
    void SetSourceFile(const QString& path) override {
        settings_.FmtSourceFile = path.toStdString();
    }
    bool ChooseFormat(bool offerCutRange, const QString& outputFolder) override;
    QString ProposedOutputFile() const override {
        return QString::fromStdString(settings_.FmtOutputFile);
    }
    void ApplyInputSettings(TInputOptions& options, bool alone) const override {
        ApplyFormatSettings(settings_, alone, options);
    }
    void ApplyOutputSettings(TOutputOptions& options, bool alone) const override {
        ApplyFormatSettings(settings_, alone, options);
    }

    int FormatId() const { return formatId_; }
    const TFormatSettings& Settings() const { return settings_; }
    FormatWindows& Windows() { return windows_; }

private:
    int formatId_ = 500;  // kept between adds
    TFormatSettings settings_;
    FormatWindows windows_;
};

}  // namespace zorvex::app
