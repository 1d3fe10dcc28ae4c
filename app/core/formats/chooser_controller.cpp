#include "app/core/formats/chooser_controller.h"

#include "app/core/formats/format_catalogue.h"
#include "app/core/formats/format_settings.h"

namespace zorvex::app {

FormatChooserController::FormatChooserController(int& formatId) : formatId_(formatId) {
    selected_.fill(-1);
    // Fill order: computers, devices, audio, then the first tab, so the last
    // selection made is the first tab's item 0.
    for (int page : {2, 1, 3, 0}) {
        if (!CatalogueTabs()[page].entries.front()->audioOnly) SelectItem(page, 0);
    }
}

void FormatChooserController::BeginShow() {
    chooserResult_ = "1";
}

void FormatChooserController::SelectItem(int page, int index) {
    if (page < 0 || page >= kPageCount) return;
    const CatalogueTab& tab = CatalogueTabs()[page];
    if (index < 0 || index >= static_cast<int>(tab.entries.size())) {
        selected_[page] = -1;
    } else {
        selected_[page] = index;
        formatId_ = tab.idBase + index;
    }
    if (OnChanged) OnChanged();
}

void FormatChooserController::SwitchPage(int page) {
    if (page < 0 || page >= kPageCount) return;
    activePage_ = page;
    SelectItem(page, 0);
}

bool FormatChooserController::ClickList(int page) {
    if (selected_[page] >= 0) return true;
    Message();
    return false;
}

bool FormatChooserController::DoubleClickList(int page) {
    if (selected_[page] >= 0) return Next();
    Message();
    return false;
}

bool FormatChooserController::Next() {
    if (selected_[activePage_] >= 0) return true;
    Message();
    return false;
}

void FormatChooserController::Cancel() {
    chooserResult_ = "2";
}

void FormatChooserController::Message() {
    if (OnMessage) OnMessage(kPromptCaption, kSelectMessage);
}

}  // namespace zorvex::app
