// The format windows' answer for every added file, for programs that drive the
// real main window without a person: MPEG-4 video and MP2 sound in AVI.
#pragma once

#include <QFileInfo>
#include <QString>

#include "app/core/workbench/format_dialogs.h"
#include "media/converter_options.h"

namespace zorvex::app {

class FixedFormat : public FormatDialogs {
public:
    void ResetPendingSettings() override {}
    void SetSourceFile(const QString& path) override { source_ = path; }
    bool ChooseFormat(bool, const QString& outputFolder) override {
        folder_ = outputFolder;
        return true;
    }
    QString ProposedOutputFile() const override {
        return folder_ + "/" + QFileInfo(source_).completeBaseName() + ".avi";
    }
    void ApplyInputSettings(TInputOptions&, bool) const override {}
    void ApplyOutputSettings(TOutputOptions& options, bool) const override {
        options.VideoCodec = "mpeg4";
        options.VideoBitrate = 800000;
        options.AudioCodec = "mp2";
        options.AudioBitrate = 128000;
    }

private:
    QString source_, folder_;
};

}  // namespace zorvex::app
