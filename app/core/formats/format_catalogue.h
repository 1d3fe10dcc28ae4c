// The output format catalogue: 76 formats on four chooser tabs, and for each
// format the fixed choice lists of the settings window with their preselected
// items. Everything here is constant data read by small lookups; the data itself
// lives in format_catalogue.cpp, written once.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zorvex::app {

// The ten drop-down lists of the settings window, in the order the window shows
// them in its two columns.
enum class ChoiceKind : int {
    VideoEncoder,
    VideoBitRate,
    FrameSize,
    FrameRate,
    AudioEncoder,
    AudioBitRate,
    SampleRate,
    Channels,
    Scaling,
    Volume,
};
constexpr int kChoiceCount = 10;
constexpr int Index(ChoiceKind kind) {
    return static_cast<int>(kind);
}

// A named list of captions ("E5", "B3", "R6" ...), in display order.
struct ChoiceList {
    std::string_view name;
    std::vector<std::string_view> items;

    // Index of the caption (exact comparison), -1 when the list does not hold it.
    int IndexOf(std::string_view caption) const;
};

// One list of a format with the index of its preselected item.
struct FormatChoice {
    const ChoiceList* list = nullptr;
    int defaultIndex = -1;

    std::string_view DefaultCaption() const { return list->items[defaultIndex]; }
};

// What the chooser draws for a format: a glyph for the kind of device or medium,
// a short label and an optional second line, on a badge of the given colour.
enum class FormatGlyph { Disc, Film, Phone, Tablet, Television, Handheld, SetTopBox, Web, Music };
struct FormatIcon {
    FormatGlyph glyph;
    std::string_view label;
    std::string_view subLabel;
    std::uint32_t colour;  // 0xRRGGBB
};

struct FormatEntry {
    int id = 0;
    std::string_view caption;
    std::string_view extension;   // of the output file: ".mp4"
    std::string_view extTag;      // FmtExtTag: ".psp.mp4", ".ipod.mp4" or the extension
    std::string_view container;   // FmtContainer proposed on show: "mov" or empty
    std::string_view discTarget;  // "vcd", "svcd", "dvd" or empty
    bool audioOnly = false;
    int page = 0;         // chooser tab
    int indexInPage = 0;  // id - the tab's id base
    std::array<FormatChoice, kChoiceCount> choices;
    FormatIcon icon;

    const FormatChoice& Choice(ChoiceKind kind) const { return choices[Index(kind)]; }
};

struct CatalogueTab {
    int page;
    std::string_view caption;
    int idBase;
    std::vector<const FormatEntry*> entries;  // in display order
};

// The whole catalogue, tab by tab in display order (500..521, 100..119, 1..24,
// 200..209).
const std::vector<FormatEntry>& Formats();
// nullptr for an id outside the catalogue.
const FormatEntry* FindFormat(int id);
// The four tabs in the order shown.
const std::vector<CatalogueTab>& CatalogueTabs();
// A named list by name ("E5"), nullptr when unknown.
const ChoiceList* FindChoiceList(std::string_view name);
// The label shown before each list in the settings window ("视频编码器：").
std::string_view ChoiceLabel(ChoiceKind kind);

// The list change that picking a video encoder causes for some formats.
struct EncoderChange {
    ChoiceKind target;
    const ChoiceList* list;
    int selectIndex;
};
// What picking encoderCaption as the user's new video encoder of format id
// changes; nullptr when nothing changes.
const EncoderChange* FindEncoderChange(int formatId, std::string_view encoderCaption);

// Problems in the tables (a list or default that does not resolve, a duplicate
// id); empty when the data is sound. The tables are checked by the tests.
std::vector<std::string> CatalogueProblems();

}  // namespace zorvex::app
