// The settings window's logic ("选项设置"): the ten choice lists of the chosen
// format with their defaults, the three picture filters, the cut range with its
// six time boxes and the source's length, and the confirmation. The window only
// shows this state and forwards the user's actions; tests and zorvex-cli drive
// it without a screen.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/formats/format_catalogue.h"
#include "app/core/formats/format_settings.h"

namespace zorvex::app {

class DurationReader;
class Shell;

enum class PictureFilter { HorizontalFlip, VerticalFlip, Negative };
constexpr int kFilterCount = 3;
// "视频图像水平翻转", "视频图像垂直翻转", "视频显示底片效果"
std::string_view FilterCaption(PictureFilter filter);

class FormatSettingsController {
public:
    // (caption, text) of an information message box.
    using MessageHandler = std::function<void(const std::string&, const std::string&)>;

    // shell may be null (then "预览视频" does nothing).
    FormatSettingsController(DurationReader& durations, Shell* shell);

    // The main window's offer before the chooser runs: "允许截取视频" unchecked,
    // and enabled only for a file added alone.
    void OfferCutRange(bool addedAlone);

    // Showing the window: clears everything, fills the lists of formatId with
    // their defaults, proposes the output file in settings and reads the source's
    // length. settings must outlive the window's use (until Confirm or cancel).
    void Show(int formatId, TFormatSettings& settings, const std::string& outputFolder);

    int FormatId() const { return formatId_; }
    const std::string& SourceText() const { return sourceText_; }

    const std::vector<std::string_view>& Items(ChoiceKind kind) const;
    int Selected(ChoiceKind kind) const { return controls_[Index(kind)].selected; }
    std::string SelectedCaption(ChoiceKind kind) const;
    bool Enabled(ChoiceKind kind) const { return controls_[Index(kind)].enabled; }
    // The user picks an item. A new video encoder may replace another list
    // (formats 1-3 and 100-101). Out-of-range indexes are ignored.
    void Select(ChoiceKind kind, int index);
    // The same by caption (exact); false when the list does not offer it.
    bool SelectCaption(ChoiceKind kind, std::string_view caption);

    bool FilterChecked(PictureFilter filter) const { return filters_[static_cast<int>(filter)]; }
    bool FiltersEnabled() const { return filtersEnabled_; }
    void SetFilterChecked(PictureFilter filter, bool checked);

    bool CutChecked() const { return cutChecked_; }
    bool CutEnabled() const { return cutEnabled_; }
    // Checking "允许截取视频" enables the six time boxes, unchecking disables them.
    void SetCutChecked(bool checked);
    const std::string& TimeBoxText(TimeBox box) const { return timeBoxes_[box]; }
    bool TimeBoxesEnabled() const { return cutChecked_; }
    void SetTimeBoxText(TimeBox box, std::string text);
    // A typed character: digits, Backspace (8) and Enter (13) pass; anything
    // else is refused with "对不起，这里只能输入数字！" and false.
    bool TimeBoxKey(char32_t key);

    const std::string& SourceDuration() const { return sourceDuration_; }
    const std::string& MediaKind() const { return mediaKind_; }
    const std::string& DiscTarget() const { return discTarget_; }
    const std::string& ProposedOutputFile() const { return proposedOutputFile_; }

    // "确定": the confirmation writes the format settings. Refused cut ranges
    // show their message; the window closes only on Confirmed.
    ConfirmResult Confirm();
    // "预览视频": the system opens the source with its default application.
    bool PreviewSource();

    MessageHandler OnMessage;
    // Called after every change of state, so a view can refresh.
    std::function<void()> OnChanged;

    static constexpr const char* kDigitsOnlyMessage = "对不起，这里只能输入数字！";

private:
    struct Control {
        std::vector<std::string_view> items;
        int selected = -1;
        bool enabled = true;
    };
    void Fill(ChoiceKind kind, const FormatChoice& choice);
    void Fill(ChoiceKind kind, const ChoiceList& list, int selected);
    void ReadDuration();
    void Message(const std::string& text);
    void Changed();

    DurationReader& durations_;
    Shell* shell_;
    TFormatSettings* settings_ = nullptr;
    std::string outputFolder_;
    int formatId_ = 0;
    std::string sourceText_;
    std::array<Control, kChoiceCount> controls_;
    std::array<bool, kFilterCount> filters_{};
    bool filtersEnabled_ = true;
    bool cutChecked_ = false;
    bool cutEnabled_ = true;
    std::array<std::string, kTimeBoxCount> timeBoxes_;
    std::string sourceDuration_;
    std::string mediaKind_ = "Vedio";
    std::string discTarget_;
    std::string proposedOutputFile_;
};

}  // namespace zorvex::app
