// The format windows as the add commands see them: a pending set of format
// settings that the chooser and the settings window confirm, and the two
// halves that apply it to a task's option records.
#pragma once

#include <QString>

#include "media/converter_options.h"

namespace zorvex::app {

class FormatDialogs {
public:
    virtual ~FormatDialogs() = default;

    // The pending settings reset at the start of each add command: every text
    // but the source file and the cut mode emptied, volume "256", bit rates and
    // the cut range -1, not audio-only. The chosen format id is kept.
    virtual void ResetPendingSettings() = 0;
    // The file being added (FmtSourceFile).
    virtual void SetSourceFile(const QString& path) = 0;
    // Shows the format chooser and, from it, the settings window, modally.
    // offerCutRange: the settings window offers "允许截取视频" (one file only).
    // The settings window proposes the output file in outputFolder. False when
    // the user cancelled the chooser.
    virtual bool ChooseFormat(bool offerCutRange, const QString& outputFolder) = 0;
    // The confirmed output path for the source file (FmtOutputFile).
    virtual QString ProposedOutputFile() const = 0;

    // The two halves of ApplyFormatSettings; alone: the file is added by itself.
    virtual void ApplyInputSettings(TInputOptions& options, bool alone) const = 0;
    virtual void ApplyOutputSettings(TOutputOptions& options, bool alone) const = 0;
};

}  // namespace zorvex::app
