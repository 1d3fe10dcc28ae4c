#include "app/ui/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdlib>

#include "app/core/skins/skin_table.h"
#include "app/core/workbench/controller.h"
#include "app/ui/about_dialog.h"
#include "app/ui/conversion_log_window.h"
#include "app/ui/skin.h"
#include "app/version.h"
#include "media/ffapi.h"
#include "tests/app/workbench_fakes.h"
#include "tests/support/fixtures.h"

namespace zorvex::app::test {
namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QApplication::instance()) app_ = std::make_unique<QApplication>(argc_, argv_);
        settings_.WriteString("OutPath", "OutPath", QString::fromStdString(dir_.Path()));
        window_ = std::make_unique<MainWindow>(MainWindow::Services{
            converter_, settings_, shell_, power_, &formats_, QString(ZORVEX_SOURCE_DIR),
            "/nonexistent/LibAV", "/nonexistent/Video_Directory"});
    }
    QString Touch(const QString& name) {
        const QString path = QString::fromStdString(dir_.File(name.toStdString()));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return path;
    }
    template <typename T>
    T* Find(const char* name) {
        T* found = window_->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    int argc_ = 1;
    char arg0_[8] = "tests";
    char* argv_[2] = {arg0_, nullptr};
    std::unique_ptr<QApplication> app_;
    zorvex::test::TempDir dir_;
    FakeConverter converter_;
    MemorySettingsStore settings_;
    RecordingShell shell_;
    RecordingPowerControl power_;
    FakeFormats formats_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, LayoutTextsAndStartUpState) {
    EXPECT_EQ(window_->windowTitle(), "Zorvex");
    EXPECT_EQ(window_->size(), QSize(851, 588));
    EXPECT_EQ(window_->PreviewPanelArea()->size(), QSize(313, 190));

    struct Command {
        const char* name;
        const char* text;
        const char* hint;
        bool enabled;
    } commands[] = {
        {"addAction", "       添加      ", "添加要转换的视频音频文件", true},
        {"removeAction", "移除", "从列表中删除选中的文件", false},
        {"clearAction", "清空", "清空转换列表", false},
        {"startAction", "转换", "开始转换视频", false},
        {"pauseAction", "暂停", "暂停视频转换", false},
        {"stopAction", "停止", "停止视频转换", false},
        {"skinAction", "皮肤", "更换软件外观皮肤", true},
        {"helpAction", "帮助", "软件帮助", true},
    };
    for (const Command& c : commands) {
        QAction* action = Find<QAction>(c.name);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text(), QString::fromUtf8(c.text)) << c.name;
        EXPECT_EQ(action->statusTip(), QString::fromUtf8(c.hint)) << c.name;
        EXPECT_EQ(action->isEnabled(), c.enabled) << c.name;
    }
    EXPECT_TRUE(Find<QPushButton>("moveUpButton")->isEnabled()) << "active at start-up";

    QTableView* view = window_->QueueView();
    const char* headers[] = {"序号",     "视频源文件", "源格式", "目标格式",
                             "当前时间", "转换进度",   "状态"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(view->model()->headerData(i, Qt::Horizontal).toString(),
                  QString::fromUtf8(headers[i]));
    }
    EXPECT_EQ(view->verticalHeader()->defaultSectionSize(), 20);
    EXPECT_EQ(Find<QLineEdit>("outputFolderField")->text(), QString::fromStdString(dir_.Path()));
    EXPECT_EQ(window_->Controller().CompletionAction(), caOpenFolder);
}

TEST_F(MainWindowTest, QueueViewFollowsTheController) {
    WorkbenchController& c = window_->Controller();
    c.AddDroppedFiles({Touch("a.avi"), Touch("b.avi")});
    QTableView* view = window_->QueueView();
    ASSERT_EQ(view->model()->rowCount(), 2);
    EXPECT_EQ(view->model()->index(1, 0).data().toInt(), 2);
    EXPECT_EQ(c.SelectedRow(), 1);
    ASSERT_EQ(view->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(view->selectionModel()->selectedRows().first().row(), 1);
    EXPECT_TRUE(Find<QAction>("removeAction")->isEnabled());

    view->selectRow(0);  // the user picks a row
    EXPECT_EQ(c.SelectedRow(), 0);
    Find<QPushButton>("moveDownButton")->click();
    EXPECT_EQ(view->model()->index(1, 1).data().toString(), "a.avi");
    EXPECT_EQ(view->model()->index(1, 1).data(Qt::ToolTipRole).toString(),
              QString::fromStdString(dir_.File("a.avi")));
    ASSERT_EQ(view->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(view->selectionModel()->selectedRows().first().row(), 1);

    Find<QAction>("startAction")->trigger();
    EXPECT_FALSE(Find<QAction>("addAction")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("browseButton")->isEnabled());
    converter_.Progress(0, 3000000, 6000000);
    EXPECT_EQ(view->model()->index(0, 5).data().toString(), "50%");
    EXPECT_EQ(view->model()->index(0, 4).data().toString(), "3   (秒)");
    converter_.FinishAll();
    EXPECT_EQ(view->model()->index(0, 6).data().toString(), "完成");
    EXPECT_TRUE(Find<QAction>("addAction")->isEnabled());
}

TEST_F(MainWindowTest, BatchChoicesAreStoredAndFitTheOptionsGroup) {
    auto* files = Find<QComboBox>("filesAtOnceChoice");
    auto* priority = Find<QComboBox>("cpuPriorityChoice");
    ASSERT_TRUE(files && priority);
    ASSERT_EQ(files->count(), 11);
    EXPECT_EQ(files->itemText(0), "自动");
    EXPECT_EQ(files->itemText(1), "1个文件");
    EXPECT_EQ(files->itemText(10), "10个文件");
    EXPECT_EQ(files->currentIndex(), 0);
    const QStringList priorities = {"闲置时进行", "CPU占用最低", "CPU占用一般", "正常转换"};
    for (int i = 0; i < priorities.size(); ++i) EXPECT_EQ(priority->itemText(i), priorities[i]);
    EXPECT_EQ(priority->currentIndex(), 3);

    files->setCurrentIndex(3);
    priority->setCurrentIndex(1);
    EXPECT_EQ(window_->Controller().FilesAtOnce(), 2);
    EXPECT_EQ(settings_.ReadString("Convert", "FilesAtOnce"), "3");
    EXPECT_EQ(settings_.ReadString("Convert", "CpuPriority"), "1");

    // The next start shows the stored choices, every text of the group whole.
    window_ = std::make_unique<MainWindow>(MainWindow::Services{
        converter_, settings_, shell_, power_, &formats_, QString(ZORVEX_SOURCE_DIR),
        "/nonexistent/LibAV", "/nonexistent/Video_Directory"});
    EXPECT_EQ(Find<QComboBox>("filesAtOnceChoice")->currentIndex(), 3);
    EXPECT_EQ(Find<QComboBox>("cpuPriorityChoice")->currentIndex(), 1);
    window_->show();
    QApplication::processEvents();
    EXPECT_EQ(window_->size(), QSize(851, 588));
    EXPECT_EQ(window_->PreviewPanelArea()->size(), QSize(313, 190));
    auto* group = Find<QGroupBox>("optionsGroup");
    ASSERT_NE(group, nullptr);
    QStringList labels;
    for (QWidget* w : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!w->isVisible()) continue;
        const std::string name =
            w->objectName().toStdString() + " " +
            (qobject_cast<QLabel*>(w) ? qobject_cast<QLabel*>(w)->text() : "").toStdString();
        EXPECT_TRUE(group->rect().contains(w->geometry())) << name;
        EXPECT_GE(w->width(), w->minimumSizeHint().width()) << name;
        EXPECT_GE(w->height(), w->minimumSizeHint().height()) << name;
        if (auto* label = qobject_cast<QLabel*>(w)) labels << label->text();
    }
    EXPECT_TRUE(labels.contains("同时进行转换的文件个数：")) << labels.join(' ').toStdString();
    EXPECT_TRUE(labels.contains("CPU占用率修改项目："));
}

// The queue shows what matters at the window's only size, in every skin: the
// file's name (its path as tooltip) and every column up to the status; adds
// and removes leave the view where the user scrolled it.
TEST_F(MainWindowTest, TheQueueFitsAndKeepsItsScrollPosition) {
    window_->show();
    WorkbenchController& c = window_->Controller();
    QStringList files;
    for (int i = 0; i < 30; ++i) {
        files << Touch(
            QString("一个很长的文件名称，来自手机的视频 %1.mp4").arg(i, 2, 10, QChar('0')));
    }
    c.AddDroppedFiles(files);
    QTableView* view = window_->QueueView();
    QAbstractItemModel* model = view->model();
    ASSERT_EQ(model->rowCount(), 30);
    EXPECT_EQ(model->index(3, 1).data().toString(), "一个很长的文件名称，来自手机的视频 03.mp4");
    EXPECT_EQ(model->index(3, 1).data(Qt::ToolTipRole).toString(), files[3]);

    for (const char* skin : {"skin4", "skin7", "skin15", "skin9", "skin1"}) {
        Find<QAction>(skin)->trigger();
        QApplication::processEvents();
        const int viewport = view->viewport()->width();
        const int statusEnd = view->columnViewportPosition(6) + view->columnWidth(6);
        EXPECT_LE(statusEnd, viewport) << skin;
        EXPECT_GE(view->columnWidth(1), 80) << skin << ": room for the file name";
        for (int column : {0, 2, 3, 4, 6}) {
            const QString widest = column == 6
                                       ? QString("转换中...")
                                       : model->headerData(column, Qt::Horizontal).toString();
            EXPECT_GE(view->columnWidth(column), view->fontMetrics().horizontalAdvance(widest) + 8)
                << skin << " column " << column;
        }
        EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0) << skin;
    }

    QScrollBar* vertical = view->verticalScrollBar();
    ASSERT_GT(vertical->maximum(), 5);
    vertical->setValue(5);
    view->selectRow(12);
    Find<QPushButton>("queueRemoveButton")->click();
    QApplication::processEvents();
    ASSERT_EQ(model->rowCount(), 29);
    EXPECT_EQ(vertical->value(), 5) << "a remove keeps the scroll position";
}

// A converting row's "转换中..." is drawn whole in every skin: the status
// column is at least as wide as the view's own measure of its cells (the
// style's text margins and the grid line included), not only the text. So is
// the time column's "1   (秒)".
TEST_F(MainWindowTest, TheStatusColumnShowsConvertingWhole) {
    window_->show();
    WorkbenchController& c = window_->Controller();
    c.AddDroppedFiles({Touch("a.avi"), Touch("b.avi")});
    Find<QAction>("startAction")->trigger();
    converter_.Progress(0, 999000000, 1000000000);
    QApplication::processEvents();
    QTableView* view = window_->QueueView();
    ASSERT_EQ(view->model()->index(0, 6).data().toString(), "转换中...");
    for (const char* skin : {"skin4", "skin7", "skin15", "skin9", "skin1", "skin18"}) {
        Find<QAction>(skin)->trigger();
        QApplication::processEvents();
        // The view's own measure: what resizing the column to its contents
        // would give (the column's width is put back afterwards).
        for (int column : {4, 6}) {
            const int width = view->columnWidth(column);
            view->resizeColumnToContents(column);
            const int needed = view->columnWidth(column);
            view->setColumnWidth(column, width);
            EXPECT_GE(width, needed) << skin << " column " << column;
        }
    }
    converter_.FinishAll();
}

// The extent of the pixels of an image that differ from its top left corner
// (for an icon's own picture: from transparency).
QSize DrawnExtent(const QImage& image) {
    const QRgb corner = image.pixel(0, 0);
    int left = image.width(), right = -1, top = image.height(), bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == corner) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return right < 0 ? QSize() : QSize(right - left + 1, bottom - top + 1);
}

// The folder picker inherits the window's skin; its tool buttons (back, up,
// new folder, list and detail view) draw their icons whole, not shrunk into
// what the skin's button padding leaves of their fixed size.
TEST_F(MainWindowTest, TheFolderPickerKeepsItsIconsWhole) {
    window_->show();
    for (const char* skin : {"skin4", "skin15", "skin1"}) {
        Find<QAction>(skin)->trigger();
        QFileDialog dialog(window_.get(), "选择文件夹");
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.show();
        QApplication::processEvents();
        int buttons = 0;
        for (QToolButton* button : dialog.findChildren<QToolButton*>()) {
            if (!button->isVisible() || button->icon().isNull()) continue;
            ++buttons;
            const QImage own = button->icon()
                                   .pixmap(button->iconSize())
                                   .toImage()
                                   .convertToFormat(QImage::Format_ARGB32);
            const QSize whole = DrawnExtent(own);
            const QSize drawn = DrawnExtent(button->grab().toImage());
            EXPECT_GE(drawn.width(), whole.width() - 1)
                << skin << " " << button->objectName().toStdString();
            EXPECT_GE(drawn.height(), whole.height() - 1)
                << skin << " " << button->objectName().toStdString();
        }
        EXPECT_GE(buttons, 4) << skin;
        dialog.close();
    }
}

TEST_F(MainWindowTest, SkinMenuAppliesAndStoresTheChoice) {
    QAction* winter = Find<QAction>("skin18");
    ASSERT_NE(winter, nullptr);
    EXPECT_EQ(winter->text(), "冬天的色彩皮肤");
    winter->trigger();
    EXPECT_EQ(settings_.ReadString("skin", "SetSkin"), "skin18");
    EXPECT_TRUE(window_->styleSheet().contains("冬天的色彩"));
}

// Runs action once a message box is the active modal window (it is open and
// its event loop runs); then presses its button with the given text (empty:
// its first button).
void WhenMessageBoxOpens(const std::function<void()>& action, const QString& button) {
    QTimer* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, action, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        action();
        for (QAbstractButton* b : box->buttons()) {
            if (button.isEmpty() || b->text() == button) {
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
        }
    });
    poll->start(10);
}

// The batch ends while "停止"'s question is open; "确定" afterwards must leave
// the window ready for the next batch, not with every command grey.
TEST_F(MainWindowTest, StopAnsweredAfterTheBatchEndedLeavesTheCommandsUsable) {
    window_->show();
    WorkbenchController& c = window_->Controller();
    c.AddDroppedFiles({Touch("a.avi"), Touch("b.avi")});
    Find<QAction>("startAction")->trigger();
    ASSERT_TRUE(Find<QAction>("stopAction")->isEnabled());
    WhenMessageBoxOpens([&] { converter_.FinishAll(); }, "确定");
    Find<QAction>("stopAction")->trigger();
    EXPECT_TRUE(Find<QAction>("startAction")->isEnabled());
    EXPECT_TRUE(Find<QAction>("addAction")->isEnabled());
    EXPECT_FALSE(Find<QAction>("pauseAction")->isEnabled());
    EXPECT_FALSE(Find<QAction>("stopAction")->isEnabled());
    EXPECT_EQ(window_->QueueView()->model()->index(0, 6).data().toString(), "完成");
}

// Failures are on screen: the row says "失败" and why; the log has a window.
TEST_F(MainWindowTest, FailuresShowInTheQueueAndTheConversionLog) {
    WorkbenchController& c = window_->Controller();
    c.AddDroppedFiles({Touch("a.avi")});
    c.StartOrResume();
    QString warning;
    WhenMessageBoxOpens(
        [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            warning = box->windowTitle() + "|" + box->text();
        },
        {});
    converter_.End(0, false, "Invalid data found when processing input");
    EXPECT_EQ(warning, "Zorvex|文件转换失败：" + QString::fromStdString(dir_.File("a.avi")) +
                           "\nInvalid data found when processing input");
    QAbstractItemModel* model = window_->QueueView()->model();
    EXPECT_EQ(model->index(0, 6).data().toString(), "失败");
    EXPECT_EQ(model->index(0, 6).data(Qt::ToolTipRole).toString(),
              "Invalid data found when processing input");

    QAction* logAction = Find<QAction>("logAction");
    ASSERT_NE(logAction, nullptr);
    EXPECT_EQ(logAction->text(), "转换日志");
    EXPECT_TRUE(Find<QMenu>("helpMenu")->actions().contains(logAction));
    logAction->trigger();
    ConversionLogWindow* log = window_->ConversionLog();
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->isVisible());
    EXPECT_EQ(log->windowTitle(), "转换日志");
    EXPECT_EQ(log->Text(), c.ConversionLog().join('\n'));
    c.AppendLog("#7.32: a line that arrives while the window is open");
    EXPECT_TRUE(log->Text().endsWith("#7.32: a line that arrives while the window is open"));
    EXPECT_EQ(log->Text(), c.ConversionLog().join('\n'));

    log->findChild<QPushButton*>("logCopy")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), log->Text());
    const QString saved = QString::fromStdString(dir_.File("日志.txt"));
    QString error;
    ASSERT_TRUE(log->SaveTo(saved, &error)) << error.toStdString();
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), log->Text() + "\n");
    EXPECT_FALSE(log->SaveTo("/nonexistent/folder/log.txt", &error));
    EXPECT_FALSE(error.isEmpty());
}

// The version a library file of the system names, e.g. "libavcodec 59.37.100"
// for libavcodec.so.59 -> libavcodec.so.59.37.100.
QString SystemLibraryVersion(const QString& name, int major) {
    const QString link = QString("/usr/lib/x86_64-linux-gnu/%1.so.%2").arg(name).arg(major);
    const QString target = QFileInfo(QFileInfo(link).symLinkTarget()).fileName();
    return name + " " + target.mid(target.indexOf(".so.") + 4);
}

TEST_F(MainWindowTest, AboutWindow) {
    AboutDialog& about = window_->About();
    EXPECT_EQ(about.windowTitle(), "关于");
    // The project's version (CMakeLists.txt), as zorvex --version and the package give it.
    EXPECT_EQ(about.findChild<QLabel*>("aboutVersion")->text(), "Zorvex " ZORVEX_VERSION);
    QPushButton* ok = about.findChild<QPushButton*>("aboutOk");
    EXPECT_EQ(ok->text(), "确定");
    settings_.WriteString("skin", "SetSkin", "skin5");  // built in: no files needed
    about.show();
    EXPECT_TRUE(about.styleSheet().contains("Protein")) << "applies the stored skin when shown";

    // The libraries the program runs with, as the system has them.
    const QString libraries = about.findChild<QLabel*>("aboutLibraries")->text();
    for (const QString& version :
         {SystemLibraryVersion("libavcodec", LIBAVCODEC_VERSION_MAJOR),
          SystemLibraryVersion("libavformat", LIBAVFORMAT_VERSION_MAJOR),
          SystemLibraryVersion("libavutil", LIBAVUTIL_VERSION_MAJOR),
          SystemLibraryVersion("libswresample", LIBSWRESAMPLE_VERSION_MAJOR)}) {
        EXPECT_TRUE(libraries.contains(version))
            << version.toStdString() << " in " << libraries.toStdString();
    }
    EXPECT_TRUE(libraries.contains(QString("Qt 库：") + qVersion())) << libraries.toStdString();

    // Its help link opens the help document like "帮助系统?".
    QLabel* help = about.findChild<QLabel*>("aboutHelp");
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->text().contains("软件帮助"));
    emit help->linkActivated("help:");
    EXPECT_EQ(shell_.opened,
              QList<QUrl>{QUrl::fromLocalFile(QString(ZORVEX_SOURCE_DIR) + "/help/index.html")});
    ok->click();
    EXPECT_FALSE(about.isVisible());
}

TEST_F(MainWindowTest, F1OpensTheHelpDocument) {
    QAction* help = nullptr;
    for (QAction* action : Find<QMenu>("helpMenu")->actions()) {
        if (action->text() == "帮助系统?") help = action;
    }
    ASSERT_NE(help, nullptr);
    window_->show();
    window_->activateWindow();  // shortcuts go to the active window
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    QTest::keyClick(window_.get(), Qt::Key_F1);
    EXPECT_EQ(shell_.opened,
              QList<QUrl>{QUrl::fromLocalFile(QString(ZORVEX_SOURCE_DIR) + "/help/index.html")});
    help->trigger();
    EXPECT_EQ(shell_.opened.size(), 2);
}

// Pixels of the area that stand out from its most common colour: what a
// reader can see of a control drawn there.
int ContrastingPixels(const QImage& image, const QRect& area, int minDifference = 60) {
    const auto luma = [](QRgb c) {
        return (299 * qRed(c) + 587 * qGreen(c) + 114 * qBlue(c)) / 1000;
    };
    QHash<QRgb, int> counts;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) ++counts[image.pixel(x, y)];
    }
    QRgb background = 0;
    int most = 0;
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    }
    int contrasting = 0;
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        if (std::abs(luma(it.key()) - luma(background)) >= minDifference) contrasting += it.value();
    }
    return contrasting;
}

QRect InWindow(QWidget* widget, QWidget* window, const QRect& rect) {
    return rect.translated(widget->mapTo(window, QPoint()));
}

// Every skin keeps the controls readable: check boxes and radio buttons show
// their indicators, combo boxes their arrows, the preview panel its buttons'
// pictures.
TEST_F(MainWindowTest, EverySkinKeepsIndicatorsArrowsAndPreviewIconsVisible) {
    window_->show();
    for (const SkinEntry& skin : SkinTable()) {
        const std::string name = skin.settingName.toStdString();
        QDialog dialog;
        auto* layout = new QVBoxLayout(&dialog);
        auto* unchecked = new QCheckBox("视频图像水平翻转", &dialog);
        auto* checked = new QCheckBox("允许截取视频", &dialog);
        checked->setChecked(true);
        auto* radio = new QRadioButton("BMP图片", &dialog);
        auto* combo = new QComboBox(&dialog);
        combo->addItems({"自动生成相应的新文件名", "直接覆盖该文件"});
        for (QWidget* w : std::initializer_list<QWidget*>{unchecked, checked, radio, combo}) {
            layout->addWidget(w);
        }
        ASSERT_TRUE(ApplySkin(&dialog, skin.settingName, QString(ZORVEX_SOURCE_DIR))) << name;
        dialog.show();
        QApplication::processEvents();
        const QImage shot = dialog.grab().toImage();

        for (QAbstractButton* box :
             std::initializer_list<QAbstractButton*>{unchecked, checked, radio}) {
            QStyleOptionButton option;
            option.initFrom(box);
            const auto element = qobject_cast<QRadioButton*>(box) ? QStyle::SE_RadioButtonIndicator
                                                                  : QStyle::SE_CheckBoxIndicator;
            const QRect indicator =
                InWindow(box, &dialog, box->style()->subElementRect(element, &option, box));
            EXPECT_GE(ContrastingPixels(shot, indicator.adjusted(-1, -1, 1, 1)), 8)
                << name << ": the indicator of " << box->text().toStdString();
        }
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.subControls = QStyle::SC_All;
        const QRect arrow =
            InWindow(combo, &dialog,
                     combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                    QStyle::SC_ComboBoxArrow, combo));
        EXPECT_GE(ContrastingPixels(shot, arrow.adjusted(3, 3, -3, -3)), 6)
            << name << ": the arrow";

        if (skin.menuCaption.isEmpty()) continue;  // not offered for the main window
        Find<QAction>(skin.settingName.toUtf8().constData())->trigger();
        QApplication::processEvents();
        const QImage around = window_->grab().toImage();
        for (const char* button : {"playButton", "pauseButton", "stopButton", "soundButton"}) {
            QWidget* b = window_->findChild<QWidget*>(button);
            ASSERT_NE(b, nullptr) << button;
            EXPECT_GE(ContrastingPixels(around, InWindow(b, window_.get(), b->rect())), 40)
                << name << ": the picture of " << button;
        }
    }
}

}  // namespace
}  // namespace zorvex::app::test
