// The format windows' answer for every added file, for programs that drive the
// real main window without a person: MPEG-4 video and MP2 sound in AVI, or the
// given output option text and extension.
#pragma once

#include <QFileInfo>
#include <QString>
#include <string>

#include "app/core/workbench/format_dialogs.h"
#include "media/converter_options.h"

namespace zorvex::app {

class FixedFormat : public FormatDialogs {
public:
    FixedFormat() = default;
    // optionText: NAME=VALUE lines of the output (the engine's option names);
    // extension with its dot.
    FixedFormat(std::string optionText, QString extension)
        : optionText_(std::move(optionText)), extension_(std::move(extension)) {}

    void ResetPendingSettings() override {}
    void SetSourceFile(const QString& path) override { source_ = path; }
    bool ChooseFormat(bool, const QString& outputFolder) override {
        folder_ = outputFolder;
        return true;
    }
    QString ProposedOutputFile() const override {
        return folder_ + "/" + QFileInfo(source_).completeBaseName() + extension_;
    }
    void ApplyInputSettings(TInputOptions&, bool) const override {}
    void ApplyOutputSettings(TOutputOptions& options, bool) const override {
        if (!optionText_.empty()) {
            options.ExtOptions = optionText_;
            return;
        }
        options.VideoCodec = "mpeg4";
        options.VideoBitrate = 800000;
        options.AudioCodec = "mp2";
        options.AudioBitrate = 128000;
    }

private:
    std::string optionText_;
    QString extension_ = QStringLiteral(".avi");
    QString source_, folder_;
};

}  // namespace zorvex::app
