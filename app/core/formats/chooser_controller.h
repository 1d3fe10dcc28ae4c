// The format chooser's logic ("选择转换格式"): four tabs of formats, one
// selection per tab, and the format id that the selection stands for. The
// window only shows this state and forwards the user's actions.
#pragma once

#include <array>
#include <functional>
#include <string>

namespace zorvex::app {

class FormatChooserController {
public:
    using MessageHandler = std::function<void(const std::string&, const std::string&)>;

    static constexpr const char* kSelectMessage = "请选择一个要转换的类型,然后点击“下一步”按钮！";
    static constexpr int kPageCount = 4;

    // formatId is the main window's FormatId, which the chooser writes. Builds
    // the lists: item 0 of every video tab selected, the audio tab without a
    // selection, the first tab active (so formatId becomes 500).
    explicit FormatChooserController(int& formatId);

    int ActivePage() const { return activePage_; }
    // -1 when the page's list has no selected item.
    int SelectedIndex(int page) const { return selected_[page]; }
    int FormatId() const { return formatId_; }
    // "1" while the chooser is shown, "2" after "取消".
    const std::string& ChooserResult() const { return chooserResult_; }

    // The chooser's modal run starts: ChooserResult becomes "1".
    void BeginShow();
    // An item becomes selected (by the user or the program); -1 clears the
    // page's selection. A selected item makes FormatId its base + index.
    void SelectItem(int page, int index);
    // The user switches tabs: the new tab restarts at its first entry.
    void SwitchPage(int page);
    // A click on a list, after the selection has followed it: without a selected
    // item (empty space was clicked) the message is shown and false returned.
    bool ClickList(int page);
    // A double click: true when it acts as "下一步".
    bool DoubleClickList(int page);
    // "下一步": true when the settings window is to be shown; otherwise the
    // message was shown and the chooser stays.
    bool Next();
    // "取消" (and the title-bar close): ChooserResult "2".
    void Cancel();

    MessageHandler OnMessage;
    std::function<void()> OnChanged;

private:
    void Message();

    int& formatId_;
    int activePage_ = 0;
    std::array<int, kPageCount> selected_{};
    std::string chooserResult_ = "1";
};

}  // namespace zorvex::app
