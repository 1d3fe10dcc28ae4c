// The chooser and settings windows, driven offscreen.
#include "app/ui/format_windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTimer>
#include <deque>

#include "app/platform/settings_store.h"
#include "app/platform/shell.h"
#include "app/ui/format_icons.h"
#include "tests/app/formats/ui_test_support.h"

namespace zorvex::app {
namespace {

struct Windows {
    Windows() : windows((App(), nullptr), formatId, store, shell, MakeReader()) {
        windows.SetMessagePresenter([this](QWidget*, const QString& caption, const QString& text) {
            messages << caption + "|" + text;
        });
    }
    std::unique_ptr<DurationReader> MakeReader() {
        auto r = std::make_unique<FixedDurationReader>(3725'000'000LL);
        reader = r.get();
        return r;
    }
    int formatId = 0;
    MemorySettingsStore store;
    RecordingShell shell;
    FixedDurationReader* reader = nullptr;
    FormatWindows windows;
    QStringList messages;
};

void Click(QWidget* target, QPoint at, bool release = true) {
    QMouseEvent press(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    if (!release) return;
    QMouseEvent up(QEvent::MouseButtonRelease, at, target->mapToGlobal(at), Qt::LeftButton,
                   Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &up);
}

void Type(QWidget* target, Qt::Key key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
}

TEST(ChooserWindow, TabsListsAndIcons) {
    Windows w;
    FormatChooserDialog& chooser = w.windows.Chooser();
    EXPECT_EQ(chooser.windowTitle(), "选择转换格式");
    QTabWidget* tabs = chooser.Tabs();
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), "VCD、MP4及常用格式");
    EXPECT_EQ(tabs->tabText(1), "智能设备常用视频格式");
    EXPECT_EQ(tabs->tabText(2), "更多电脑常用视频格式");
    EXPECT_EQ(tabs->tabText(3), "更多音频格式");
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(w.formatId, 500);
    EXPECT_EQ(chooser.NextButton()->text(), "下一步");
    EXPECT_EQ(chooser.CancelButton()->text(), "取消");

    // Every item has its own 60 x 60 icon and its catalogue caption.
    QSet<QByteArray> pictures;
    int items = 0;
    for (int page = 0; page < 4; ++page) {
        FormatListWidget* list = chooser.List(page);
        EXPECT_EQ(list->viewMode(), QListView::IconMode);
        EXPECT_EQ(list->iconSize(), QSize(60, 60));
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
        for (int row = 0; row < list->count(); ++row, ++items) {
            const FormatEntry* format = FindFormat(list->item(row)->data(Qt::UserRole).toInt());
            ASSERT_NE(format, nullptr);
            EXPECT_EQ(list->item(row)->text().toStdString(), format->caption);
            const QImage image = list->item(row)->icon().pixmap(60, 60).toImage();
            EXPECT_EQ(image.size(), QSize(60, 60));
            pictures.insert(
                QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
        }
    }
    EXPECT_EQ(items, 76);
    EXPECT_EQ(pictures.size(), 76);
    // The audio list starts without a selection, the video lists on item 0.
    EXPECT_TRUE(chooser.List(3)->selectedItems().isEmpty());
    EXPECT_EQ(chooser.List(2)->currentRow(), 0);
}

TEST(ChooserWindow, TabSwitchRestartsAtTheFirstEntry) {
    Windows w;
    FormatChooserDialog& chooser = w.windows.Chooser();
    chooser.show();
    chooser.Tabs()->setCurrentIndex(1);
    chooser.List(1)->setCurrentRow(5);
    EXPECT_EQ(w.formatId, 105);
    chooser.Tabs()->setCurrentIndex(3);
    EXPECT_EQ(w.formatId, 200);
    EXPECT_EQ(chooser.List(3)->currentRow(), 0);
    chooser.Tabs()->setCurrentIndex(1);
    EXPECT_EQ(w.formatId, 100);
    EXPECT_EQ(chooser.List(1)->selectedItems().value(0), chooser.List(1)->item(0));
    chooser.hide();
}

TEST(ChooserWindow, ClickOnEmptySpaceShowsTheMessage) {
    Windows w;
    FormatChooserDialog& chooser = w.windows.Chooser();
    chooser.show();
    FormatListWidget* list = chooser.List(0);
    QWidget* viewport = list->viewport();
    // An item: no message.
    Click(viewport, list->visualItemRect(list->item(3)).center());
    EXPECT_EQ(w.formatId, 503);
    EXPECT_TRUE(w.messages.isEmpty());
    // Empty space below the last item.
    const QPoint empty(viewport->width() - 5, viewport->height() - 5);
    ASSERT_FALSE(list->indexAt(empty).isValid());
    Click(viewport, empty);
    EXPECT_TRUE(list->selectedItems().isEmpty());
    ASSERT_EQ(w.messages.size(), 1);
    EXPECT_EQ(w.messages[0], "提示|请选择一个要转换的类型,然后点击“下一步”按钮！");
    // "下一步" now repeats the message and stays.
    chooser.NextButton()->click();
    EXPECT_EQ(w.messages.size(), 2);
    EXPECT_TRUE(chooser.isVisible());
    chooser.hide();
}

TEST(FormatWindows, CancelInSettingsReturnsToTheChooser) {
    Windows w;
    TFormatSettings fmt;
    fmt.FmtSourceFile = "/v/clip.avi";
    ModalScript script;
    FormatChooserDialog& chooser = w.windows.Chooser();
    FormatSettingsDialog& settings = w.windows.Settings();
    int settingsShown = 0;
    script.Then([&] { return chooser.isVisible(); },
                [&] {
                    chooser.Tabs()->setCurrentIndex(2);
                    chooser.List(2)->setCurrentRow(3);  // Sony PSP
                    chooser.NextButton()->click();
                });
    script.Then([&] { return settings.isVisible(); },
                [&] {
                    ++settingsShown;
                    EXPECT_FALSE(chooser.isVisible());
                    EXPECT_EQ(settings.Combo(ChoiceKind::FrameSize)->currentText(),
                              "320*240 (PSP所有固件版本适用)");
                    settings.CancelButton()->click();
                });
    script.Then([&] { return chooser.isVisible() && !settings.isVisible(); },
                [&] {
                    // Back on the tab and entry left.
                    EXPECT_EQ(chooser.Tabs()->currentIndex(), 2);
                    EXPECT_EQ(w.formatId, 4);
                    chooser.CancelButton()->click();
                });
    script.Start();
    EXPECT_EQ(w.windows.Run(fmt, "/out"), "2");
    EXPECT_FALSE(script.failed);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(settingsShown, 1);
    EXPECT_EQ(fmt.FmtCutMode, "");  // nothing was confirmed
}

TEST(FormatWindows, ConfirmClosesBothWindows) {
    Windows w;
    w.windows.OfferCutRange(true);
    TFormatSettings fmt;
    fmt.FmtSourceFile = "/v/clip.avi";
    FormatChooserDialog& chooser = w.windows.Chooser();
    FormatSettingsDialog& settings = w.windows.Settings();
    ModalScript script;
    script.Then([&] { return chooser.isVisible(); }, [&] { chooser.NextButton()->click(); });
    script.Then([&] { return settings.isVisible(); },
                [&] {
                    // Format 500, a cut beyond the 3725-second source is refused first.
                    EXPECT_EQ(settings.TimeBoxWidget(tbStopHours)->text(), "01");
                    EXPECT_EQ(settings.TimeBoxWidget(tbStopMinutes)->text(), "02");
                    EXPECT_EQ(settings.TimeBoxWidget(tbStopSeconds)->text(), "05");
                    settings.CutBox()->click();
                    QLineEdit* stop = settings.TimeBoxWidget(tbStopMinutes);
                    stop->selectAll();
                    Type(stop, Qt::Key_3, "3");
                    settings.OkButton()->click();
                });
    script.Then([&] { return w.messages.size() == 1; },
                [&] {
                    EXPECT_TRUE(settings.isVisible());
                    QLineEdit* stop = settings.TimeBoxWidget(tbStopMinutes);
                    stop->selectAll();
                    Type(stop, Qt::Key_1, "1");
                    settings.OkButton()->click();
                });
    script.Start();
    EXPECT_EQ(w.windows.Run(fmt, "/out"), "1");
    EXPECT_FALSE(script.failed);
    EXPECT_FALSE(chooser.isVisible());
    EXPECT_FALSE(settings.isVisible());
    EXPECT_EQ(w.messages.value(0), "提示|截取时间设置错误，不允许停止时间大于时间长度！");
    EXPECT_EQ(fmt.FmtCutMode, "Select");
    EXPECT_EQ(fmt.FmtCutLength, 3665000);  // 01:01:05
    EXPECT_EQ(fmt.FmtTarget, "vcd");
    EXPECT_EQ(fmt.FmtOutputFile, "/out/clip_PAL.mpg");
}

TEST(SettingsDialog, WidgetsFollowTheController) {
    Windows w;
    TFormatSettings fmt;
    fmt.FmtSourceFile = "/v/clip.avi";
    FormatSettingsDialog& settings = w.windows.Settings();
    EXPECT_EQ(settings.windowTitle(), "选项设置");
    QStringList labels;
    for (QLabel* label : settings.findChildren<QLabel*>()) labels << label->text();
    for (const char* text :
         {"视频源：", "视频编码器：", "视频比特率：", "视频分辨率：", "视频帧率：", "音频编码器：",
          "音频比特率：", "音频采样率：", "声道设置：", "视频缩放模式：", "音量调节：",
          "视频滤镜：", "转换起始时间：", "转换停止时间："}) {
        EXPECT_TRUE(labels.contains(QString::fromUtf8(text))) << text;
    }
    EXPECT_EQ(settings.PreviewButton()->text(), "预览视频");

    settings.Prepare(1, fmt, "/out");
    settings.show();
    EXPECT_EQ(settings.SourceBox()->text(), "/v/clip.avi");
    EXPECT_EQ(settings.Combo(ChoiceKind::VideoEncoder)->count(), 7);
    EXPECT_EQ(settings.Combo(ChoiceKind::VideoEncoder)->maxVisibleItems(), 30);
    EXPECT_FALSE(settings.Combo(ChoiceKind::VideoEncoder)->isEditable());
    // The user picks Mjpeg: the bit rate list changes under the window.
    QComboBox* encoder = settings.Combo(ChoiceKind::VideoEncoder);
    const int mjpeg = encoder->findText("Mjpeg 视频压缩器");
    encoder->setCurrentIndex(mjpeg);
    emit encoder->activated(mjpeg);
    EXPECT_EQ(settings.Combo(ChoiceKind::VideoBitRate)->currentText(), "3000 kbps(高质量)");
    EXPECT_EQ(settings.Combo(ChoiceKind::VideoBitRate)->count(), 15);

    // Audio format: the video lists and filters are disabled.
    settings.Prepare(200, fmt, "/out");
    EXPECT_FALSE(settings.Combo(ChoiceKind::FrameSize)->isEnabled());
    EXPECT_EQ(settings.Combo(ChoiceKind::VideoEncoder)->currentText(), "该格式无视频");
    EXPECT_FALSE(settings.FilterBox(0)->isEnabled());
    EXPECT_TRUE(settings.Combo(ChoiceKind::Volume)->isEnabled());

    // The preview button opens the source.
    settings.PreviewButton()->click();
    ASSERT_EQ(w.shell.opened.size(), 1);
    EXPECT_EQ(w.shell.opened[0].toLocalFile(), "/v/clip.avi");
    settings.hide();
}

TEST(SettingsDialog, TimeBoxesTakeDigitsOnly) {
    Windows w;
    w.windows.OfferCutRange(true);
    TFormatSettings fmt;
    fmt.FmtSourceFile = "/v/clip.avi";
    FormatSettingsDialog& settings = w.windows.Settings();
    settings.Prepare(506, fmt, "/out");
    settings.show();
    QLineEdit* box = settings.TimeBoxWidget(tbStartSeconds);
    EXPECT_FALSE(box->isEnabled());  // until "允许截取视频" is checked
    settings.CutBox()->click();
    ASSERT_TRUE(box->isEnabled());
    box->setFocus();
    box->end(false);
    Type(box, Qt::Key_A, "a");
    EXPECT_EQ(box->text(), "00");
    ASSERT_EQ(w.messages.size(), 1);
    EXPECT_EQ(w.messages[0], "提示|对不起，这里只能输入数字！");
    Type(box, Qt::Key_Backspace, "\b");
    Type(box, Qt::Key_7, "7");
    EXPECT_EQ(box->text(), "07");
    EXPECT_EQ(w.windows.SettingsController().TimeBoxText(tbStartSeconds), "07");
    // Pasted text is held to digits as well.
    box->selectAll();
    box->insert("1x");
    EXPECT_EQ(box->text(), "07");
    EXPECT_EQ(w.messages.size(), 1);
    // Unchecking disables the boxes again.
    settings.CutBox()->click();
    EXPECT_FALSE(box->isEnabled());
    settings.hide();
}

}  // namespace
}  // namespace zorvex::app
