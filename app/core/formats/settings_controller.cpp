#include "app/core/formats/settings_controller.h"

#include <QUrl>

#include "app/core/formats/choice_compatibility.h"
#include "app/core/formats/duration_reader.h"
#include "app/platform/shell.h"

namespace zorvex::app {
namespace {

constexpr ChoiceKind kVideoControls[] = {ChoiceKind::VideoEncoder, ChoiceKind::VideoBitRate,
                                         ChoiceKind::FrameSize, ChoiceKind::FrameRate,
                                         ChoiceKind::Scaling};

// At least two digits; hours above 99 keep all of theirs.
std::string TwoDigits(std::int64_t value) {
    std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

}  // namespace

std::string_view FilterCaption(PictureFilter filter) {
    static constexpr std::string_view captions[kFilterCount] = {
        "视频图像水平翻转", "视频图像垂直翻转", "视频显示底片效果"};
    return captions[static_cast<int>(filter)];
}

FormatSettingsController::FormatSettingsController(DurationReader& durations, Shell* shell)
    : durations_(durations), shell_(shell) {}

void FormatSettingsController::OfferCutRange(bool addedAlone) {
    cutChecked_ = false;
    cutEnabled_ = addedAlone;
    Changed();
}

void FormatSettingsController::Show(int formatId, TFormatSettings& settings,
                                    const std::string& outputFolder) {
    settings_ = &settings;
    outputFolder_ = outputFolder;
    formatId_ = formatId;

    // Clear.
    for (Control& control : controls_) {
        control.items.clear();
        control.selected = -1;
    }
    sourceText_.clear();
    filters_ = {};
    settings.FmtFilters.clear();
    settings.FmtVideoTag.clear();

    // Fill by format, starting from enabled video controls.
    sourceText_ = settings.FmtSourceFile;
    for (ChoiceKind kind : kVideoControls) controls_[Index(kind)].enabled = true;
    filtersEnabled_ = true;
    mediaKind_ = "Vedio";
    settings.FmtContainer.clear();
    discTarget_.clear();
    settings.FmtNorm.clear();

    if (const FormatEntry* format = FindFormat(formatId)) {
        settings.FmtOutputFile =
            OutputPathFor(outputFolder, settings.FmtSourceFile, std::string(format->extension));
        settings.FmtExtTag = format->extTag;
        settings.FmtContainer = format->container;
        discTarget_ = format->discTarget;
        for (int i = 0; i < kChoiceCount; ++i) Fill(static_cast<ChoiceKind>(i), format->choices[i]);
        if (format->audioOnly) {
            for (ChoiceKind kind : kVideoControls) controls_[Index(kind)].enabled = false;
            filtersEnabled_ = false;
            mediaKind_ = "Music";
        }
    }
    proposedOutputFile_ = settings.FmtOutputFile;

    ReadDuration();
    Changed();
}

void FormatSettingsController::ReadDuration() {
    const std::int64_t microseconds = durations_.ReadDuration(sourceText_);
    timeBoxes_[tbStartHours] = timeBoxes_[tbStartMinutes] = timeBoxes_[tbStartSeconds] = "00";
    if (microseconds < 0) {
        // An unknown length must not be taken from an earlier source.
        sourceDuration_.clear();
        timeBoxes_[tbStopHours].clear();
        timeBoxes_[tbStopMinutes].clear();
        timeBoxes_[tbStopSeconds].clear();
        return;
    }
    const std::int64_t seconds = microseconds / 1000000;
    sourceDuration_ = std::to_string(seconds);
    timeBoxes_[tbStopHours] = TwoDigits(seconds / 3600);
    timeBoxes_[tbStopMinutes] = TwoDigits(seconds % 3600 / 60);
    timeBoxes_[tbStopSeconds] = TwoDigits(seconds % 60);
}

void FormatSettingsController::Fill(ChoiceKind kind, const FormatChoice& choice) {
    if (choice.list) Fill(kind, *choice.list, choice.defaultIndex);
}

void FormatSettingsController::Fill(ChoiceKind kind, const ChoiceList& list, int selected) {
    Control& control = controls_[Index(kind)];
    control.items = list.items;
    control.selected = selected;
}

const std::vector<std::string_view>& FormatSettingsController::Items(ChoiceKind kind) const {
    return controls_[Index(kind)].items;
}

std::string FormatSettingsController::SelectedCaption(ChoiceKind kind) const {
    const Control& control = controls_[Index(kind)];
    if (control.selected < 0 || control.selected >= static_cast<int>(control.items.size())) {
        return {};
    }
    return std::string(control.items[control.selected]);
}

void FormatSettingsController::Select(ChoiceKind kind, int index) {
    Control& control = controls_[Index(kind)];
    if (index < 0 || index >= static_cast<int>(control.items.size())) return;
    const bool changed = control.selected != index;
    control.selected = index;
    if (kind == ChoiceKind::VideoEncoder && changed) {
        if (const EncoderChange* change = FindEncoderChange(formatId_, control.items[index])) {
            Fill(change->target, *change->list, change->selectIndex);
        }
    }
    Changed();
}

bool FormatSettingsController::SelectCaption(ChoiceKind kind, std::string_view caption) {
    const auto& items = controls_[Index(kind)].items;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i] == caption) {
            Select(kind, static_cast<int>(i));
            return true;
        }
    }
    return false;
}

void FormatSettingsController::SetFilterChecked(PictureFilter filter, bool checked) {
    if (!filtersEnabled_) return;
    filters_[static_cast<int>(filter)] = checked;
    Changed();
}

void FormatSettingsController::SetCutChecked(bool checked) {
    if (!cutEnabled_) return;
    cutChecked_ = checked;
    Changed();
}

void FormatSettingsController::SetTimeBoxText(TimeBox box, std::string text) {
    timeBoxes_[box] = std::move(text);
    Changed();
}

bool FormatSettingsController::TimeBoxKey(char32_t key) {
    if ((key >= U'0' && key <= U'9') || key == 8 || key == 13) return true;
    Message(kDigitsOnlyMessage);
    return false;
}

ConfirmResult FormatSettingsController::Confirm() {
    if (!settings_) return ConfirmResult::Confirmed;
    SettingsSelection selection;
    for (int i = 0; i < kChoiceCount; ++i) {
        selection.captions[i] = SelectedCaption(static_cast<ChoiceKind>(i));
    }
    selection.hflip = FilterChecked(PictureFilter::HorizontalFlip);
    selection.vflip = FilterChecked(PictureFilter::VerticalFlip);
    selection.negate = FilterChecked(PictureFilter::Negative);
    selection.cutChecked = cutChecked_;
    selection.timeBoxes = timeBoxes_;
    selection.sourceDuration = sourceDuration_;
    selection.mediaKind = mediaKind_;
    selection.discTarget = discTarget_;
    selection.proposedOutputFile = proposedOutputFile_;
    selection.outputFolder = outputFolder_;

    ConfirmResult result = ConfirmFormatSettings(selection, *settings_);
    timeBoxes_ = selection.timeBoxes;  // empty boxes now show "00"
    if (result != ConfirmResult::Confirmed) {
        Message(ConfirmMessage(result));
    } else if (const std::string refusal = UnwritableChoiceMessage(*settings_, selection.captions);
               !refusal.empty()) {
        result = ConfirmResult::Unwritable;
        Message(refusal);
    }
    Changed();
    return result;
}

bool FormatSettingsController::PreviewSource() {
    if (!shell_ || sourceText_.empty()) return false;
    return shell_->OpenUrl(QUrl::fromLocalFile(QString::fromStdString(sourceText_)));
}

void FormatSettingsController::Message(const std::string& text) {
    if (OnMessage) OnMessage(kPromptCaption, text);
}

void FormatSettingsController::Changed() {
    if (OnChanged) OnChanged();
}

}  // namespace zorvex::app
