#include "app/ui/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolBar>

#include "app/core/workbench/controller.h"
#include "app/ui/about_dialog.h"
#include "app/ui/skin.h"
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
    const int widths[] = {40, 120, 60, 60, 80, 150, 64};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(view->model()->headerData(i, Qt::Horizontal).toString(),
                  QString::fromUtf8(headers[i]));
        EXPECT_EQ(view->columnWidth(i), widths[i]);
    }
    EXPECT_EQ(view->verticalHeader()->defaultSectionSize(), 20);
    EXPECT_EQ(Find<QLineEdit>("outputFolderField")->text(), QString::fromStdString(dir_.Path()));
    EXPECT_EQ(window_->Controller().CompletionAction(), caOpenFolder);
}

TEST_F(MainWindowTest, QueueViewFollowsTheController) {
    WorkbenchController& c = window_->Controller();
    c.AddDroppedFiles({Touch("b.avi"), Touch("a.avi")});
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
    EXPECT_EQ(view->model()->index(1, 1).data().toString(),
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

TEST_F(MainWindowTest, SkinMenuAppliesAndStoresTheChoice) {
    QAction* winter = Find<QAction>("skin18");
    ASSERT_NE(winter, nullptr);
    EXPECT_EQ(winter->text(), "冬天的色彩皮肤");
    winter->trigger();
    EXPECT_EQ(settings_.ReadString("skin", "SetSkin"), "skin18");
    EXPECT_TRUE(window_->styleSheet().contains("冬天的色彩"));
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
    EXPECT_EQ(about.findChild<QLabel*>("aboutVersion")->text(), "Zorvex 3.8.8");
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

// Renders the window with a converting queue in two skins, for a look at the
// Chinese texts and the progress bars: build/test/screenshots/*.png.
TEST_F(MainWindowTest, ScreenshotsOfAConvertingQueue) {
    WorkbenchController& c = window_->Controller();
    c.AddDroppedFiles(
        {Touch("旅行日记.mkv"), Touch("会议记录.mp4"), Touch("海边.avi"), Touch("音乐会.mov")});
    c.StartOrResume();
    converter_.Progress(0, 30000000, 40000000);
    converter_.Progress(1, 12000000, 60000000);
    converter_.End(2, true);
    const QString folder = QDir::currentPath() + "/screenshots";
    QDir().mkpath(folder);
    for (const char* skin : {"skin4", "skin15", "skin9", "skin7"}) {
        ApplySkin(window_.get(), skin, QString(ZORVEX_SOURCE_DIR));
        window_->show();
        QApplication::processEvents();
        const QImage shot = window_->grab().toImage();
        EXPECT_EQ(shot.size(), QSize(851, 588) * shot.devicePixelRatio());
        EXPECT_TRUE(shot.save(folder + "/main_window_" + skin + ".png")) << folder.toStdString();
    }
}

}  // namespace
}  // namespace zorvex::app::test
