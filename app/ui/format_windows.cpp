#include "app/ui/format_windows.h"

#include <QWidget>

namespace zorvex::app {

FormatWindows::FormatWindows(QWidget* parent, int& formatId, const SettingsStore& settings,
                             Shell& shell, std::unique_ptr<DurationReader> durations)
    : formatId_(formatId),
      durations_(durations ? std::move(durations) : std::make_unique<ConverterDurationReader>()),
      chooserController_(formatId),
      settingsController_(*durations_, &shell),
      chooser_(new FormatChooserDialog(chooserController_, settings, parent)),
      settings_(new FormatSettingsDialog(settingsController_, settings, parent)) {}

FormatWindows::~FormatWindows() {
    delete settings_.data();
    delete chooser_.data();
}

void FormatWindows::OfferCutRange(bool addedAlone) {
    settingsController_.OfferCutRange(addedAlone);
}

std::string FormatWindows::Run(TFormatSettings& fmt, const std::string& outputFolder) {
    chooserController_.BeginShow();
    if (!chooser_ || !settings_) return "2";  // the main window is going away
    for (;;) {
        if (chooser_->exec() != FormatChooserDialog::kNext) break;  // cancelled: "2"
        // The chooser stays hidden behind the settings window.
        settings_->Prepare(formatId_, fmt, outputFolder);
        if (settings_->exec() == QDialog::Accepted) break;
        // Settings cancelled: back to the chooser, as it was left.
    }
    if (QWidget* parent = chooser_->parentWidget()) parent->update();
    return chooserController_.ChooserResult();
}

void FormatWindows::SetMessagePresenter(MessagePresenter presenter) {
    chooser_->SetMessagePresenter(presenter);
    settings_->SetMessagePresenter(std::move(presenter));
}

}  // namespace zorvex::app
