// Stands in for the format chooser and settings window until they are part of
// the program: every add is answered with a message and adds nothing.
#pragma once

#include <QWidget>

#include "app/core/workbench/format_dialogs.h"

namespace zorvex::app {

class PendingFormatDialogs : public FormatDialogs {
public:
    explicit PendingFormatDialogs(QWidget* parent) : parent_(parent) {}
    void ResetPendingSettings() override {}
    void SetSourceFile(const QString&) override {}
    bool ChooseFormat(bool offerCutRange, const QString& outputFolder) override;
    QString ProposedOutputFile() const override { return {}; }
    void ApplyInputSettings(TInputOptions&, bool) const override {}
    void ApplyOutputSettings(TOutputOptions&, bool) const override {}

private:
    QWidget* parent_;
};

}  // namespace zorvex::app
