// The catalogue's data and the chooser's logic.
#include <gtest/gtest.h>

#include <set>

#include "app/core/formats/chooser_controller.h"
#include "app/core/formats/format_catalogue.h"

namespace zorvex::app {
namespace {

TEST(Catalogue, TablesResolveAndTabsHoldTheirIds) {
    EXPECT_EQ(CatalogueProblems(), std::vector<std::string>{});
    EXPECT_EQ(Formats().size(), 76u);
    const struct {
        const char* caption;
        int base, count;
    } tabs[] = {{"VCD、MP4及常用格式", 500, 22},
                {"智能设备常用视频格式", 100, 20},
                {"更多电脑常用视频格式", 1, 24},
                {"更多音频格式", 200, 10}};
    ASSERT_EQ(CatalogueTabs().size(), 4u);
    for (int page = 0; page < 4; ++page) {
        const CatalogueTab& tab = CatalogueTabs()[page];
        EXPECT_EQ(tab.caption, tabs[page].caption);
        EXPECT_EQ(tab.idBase, tabs[page].base);
        ASSERT_EQ(static_cast<int>(tab.entries.size()), tabs[page].count);
        for (int i = 0; i < tabs[page].count; ++i) {
            EXPECT_EQ(tab.entries[i]->id, tabs[page].base + i);
            EXPECT_EQ(tab.entries[i]->page, page);
            EXPECT_EQ(tab.entries[i]->audioOnly, page == 3);
            EXPECT_EQ(FindFormat(tabs[page].base + i), tab.entries[i]);
        }
    }
    EXPECT_EQ(FindFormat(0), nullptr);
    EXPECT_EQ(FindFormat(25), nullptr);
    EXPECT_EQ(FindFormat(522), nullptr);
}

TEST(Catalogue, ExtensionTagsContainersAndDiscTargets) {
    std::set<std::string_view> psp, ipod, mov, dvd, svcd, vcd;
    for (const FormatEntry& f : Formats()) {
        if (f.extTag == ".psp.mp4") psp.insert(f.caption);
        if (f.extTag == ".ipod.mp4") ipod.insert(f.caption);
        if (f.container == "mov") mov.insert(f.caption);
        if (f.discTarget == "dvd") dvd.insert(f.caption);
        if (f.discTarget == "svcd") svcd.insert(f.caption);
        if (f.discTarget == "vcd") vcd.insert(f.caption);
        if (f.extTag != ".psp.mp4" && f.extTag != ".ipod.mp4") {
            EXPECT_EQ(f.extTag, f.extension);
        }
    }
    auto captions = [](std::initializer_list<int> ids) {
        std::set<std::string_view> out;
        for (int id : ids) out.insert(FindFormat(id)->caption);
        return out;
    };
    EXPECT_EQ(psp, captions({4, 5, 510}));
    EXPECT_EQ(ipod, captions({6, 7, 8, 9, 509}));
    EXPECT_EQ(mov, captions({17, 106, 518}));
    EXPECT_EQ(dvd, captions({19, 505}));
    EXPECT_EQ(svcd, captions({20, 502, 503}));
    EXPECT_EQ(vcd, captions({21, 500, 501}));
    EXPECT_EQ(FindFormat(4)->extension, ".mp4");
    EXPECT_EQ(FindFormat(209)->caption, "AMR（手机）音频格式");
    EXPECT_EQ(FindFormat(14)->caption, "FLV视频格式(视频网站专用的FLV文件)(如土豆网)");
}

TEST(Chooser, StartsOnTheFirstTabWithFormat500) {
    int formatId = 0;
    FormatChooserController chooser(formatId);
    EXPECT_EQ(formatId, 500);
    EXPECT_EQ(chooser.ActivePage(), 0);
    EXPECT_EQ(chooser.SelectedIndex(0), 0);
    EXPECT_EQ(chooser.SelectedIndex(1), 0);
    EXPECT_EQ(chooser.SelectedIndex(2), 0);
    EXPECT_EQ(chooser.SelectedIndex(3), -1);  // the audio list starts without a selection
    chooser.BeginShow();
    EXPECT_TRUE(chooser.Next());
    EXPECT_EQ(chooser.ChooserResult(), "1");
}

TEST(Chooser, TabSwitchesRestartAtTheFirstEntry) {
    int formatId = 0;
    FormatChooserController chooser(formatId);
    chooser.SwitchPage(3);
    EXPECT_EQ(formatId, 200);  // "MP3音频格式"
    chooser.SwitchPage(1);
    chooser.SelectItem(1, 5);
    EXPECT_EQ(formatId, 105);
    chooser.SwitchPage(2);
    EXPECT_EQ(formatId, 1);
    chooser.SwitchPage(1);
    EXPECT_EQ(formatId, 100);
    EXPECT_EQ(chooser.SelectedIndex(1), 0);
}

TEST(Chooser, NoSelectionShowsTheMessage) {
    int formatId = 0;
    FormatChooserController chooser(formatId);
    std::vector<std::string> messages;
    chooser.OnMessage = [&](const std::string& caption, const std::string& text) {
        messages.push_back(caption + "|" + text);
    };
    chooser.SwitchPage(1);
    chooser.SelectItem(1, 7);
    EXPECT_TRUE(chooser.ClickList(1));
    EXPECT_TRUE(messages.empty());

    chooser.SelectItem(1, -1);  // a click on empty space cleared the selection
    EXPECT_FALSE(chooser.ClickList(1));
    EXPECT_FALSE(chooser.Next());
    EXPECT_FALSE(chooser.DoubleClickList(1));
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], "提示|请选择一个要转换的类型,然后点击“下一步”按钮！");
    EXPECT_EQ(formatId, 107);  // the last selected item still names the format

    chooser.SelectItem(1, 2);
    EXPECT_TRUE(chooser.DoubleClickList(1));
    EXPECT_EQ(formatId, 102);
    chooser.Cancel();
    EXPECT_EQ(chooser.ChooserResult(), "2");
    chooser.BeginShow();
    EXPECT_EQ(chooser.ChooserResult(), "1");
}

}  // namespace
}  // namespace zorvex::app
