#include "app/ui/format_window_dialogs.h"

namespace zorvex::app {

FormatWindowDialogs::FormatWindowDialogs(QWidget* parent, const SettingsStore& settings,
                                         Shell& shell, std::unique_ptr<DurationReader> durations)
    : windows_(parent, formatId_, settings, shell, std::move(durations)) {}

bool FormatWindowDialogs::ChooseFormat(bool offerCutRange, const QString& outputFolder) {
    windows_.OfferCutRange(offerCutRange);
    return windows_.Run(settings_, outputFolder.toStdString()) != "2";
}

}  // namespace zorvex::app
