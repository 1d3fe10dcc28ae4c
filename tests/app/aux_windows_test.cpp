// The three auxiliary windows on the offscreen platform: captions, texts,
// buttons and how each one ends.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <functional>

#include "app/core/update/update_check.h"
#include "app/platform/downloader.h"
#include "app/platform/machine_store.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"
#include "app/ui/media_info_window.h"
#include "app/ui/password_window.h"
#include "app/ui/update_window.h"
#include "tests/app/qt_test_app.h"
#include "tests/support/fixtures.h"

namespace zorvex::app {
namespace {

// Runs action once the modal window is up.
void WhenShown(std::function<void()> action) {
    QTimer::singleShot(0, std::move(action));
}

template <typename T>
T* Child(QWidget& window, const char* name) {
    T* child = window.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

TEST(MediaInfoWindowTest, ShowsTheTextsInOneLineEach) {
    test::TestApplication();
    MemorySettingsStore settings;
    MediaInfoWindow window(settings);
    EXPECT_EQ(window.windowTitle(), "视频信息提示");
    EXPECT_EQ(window.size(), QSize(650, 455));
    MediaInfoTexts texts;
    texts.fileName = "a.avi";
    texts.fileSize = " 1.50 MB\r\n";
    texts.channels = "立体声";
    texts.videoStream = "无";
    window.SetTexts(texts);
    window.show();
    EXPECT_EQ(window.ShownText("文件名："), "a.avi");
    EXPECT_EQ(window.ShownText("文件大小："), " 1.50 MB");
    EXPECT_EQ(window.ShownText("音频声道："), "立体声");
    EXPECT_EQ(window.ShownText("视频流信息："), "无");

    // The next showing shows the next file's texts, none of the previous ones.
    window.hide();
    texts.channels = "6声道";
    window.SetTexts(texts);
    window.show();
    EXPECT_EQ(window.ShownText("音频声道："), "6声道");
}

TEST(MediaInfoWindowTest, ShowsOnlyForAnExistingFile) {
    test::TestApplication();
    test::LoadConverterLibrariesOrFail();
    MemorySettingsStore settings;
    TAVProbe probe;
    EXPECT_FALSE(ShowMediaInformation(nullptr, probe, "", settings));
    EXPECT_FALSE(ShowMediaInformation(nullptr, probe, "/nonexistent/a.avi", settings));
    EXPECT_FALSE(ShowMediaInformation(nullptr, probe, QDir::tempPath(), settings));

    const std::string file = test::Fixture(
        "window_av.mp4",
        "-f lavfi -i testsrc=size=96x64:rate=25 -f lavfi -i sine -t 1 -c:v mpeg4 -c:a aac");
    QString shownName, shownChannels;
    WhenShown([&] {
        auto* window = qobject_cast<MediaInfoWindow*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        shownName = window->ShownText("文件名：");
        shownChannels = window->ShownText("音频声道：");
        Child<QPushButton>(*window, "okButton")->click();
    });
    EXPECT_TRUE(ShowMediaInformation(nullptr, probe, QString::fromStdString(file), settings));
    EXPECT_EQ(shownName, "window_av.mp4");
    EXPECT_EQ(shownChannels, "单声道");
}

struct LockedStore {
    LockedStore() : store(QString::fromStdString(dir.Path())) {
        test::TestApplication();
        QDir().mkpath(store.KeyFolder(kLockKeyPath));
        test::WriteFile((store.KeyFolder(kLockKeyPath) + "/ps").toStdString(),
                        EncodeLockPassword(QStringLiteral("Secret")).toStdString());
    }
    test::TempDir dir;
    FileMachineStore store;
    MemorySettingsStore settings;
};

TEST(PasswordWindowTest, HowTheWindowEnds) {
    struct Case {
        const char* name;
        const char* typed;
        const char* button;  // nullptr: closed by its title bar
        bool accepted;
        bool message;
    };
    const Case cases[] = {
        {"right password", "Secret", "okButton", true, false},
        {"master password", "wexqim", "okButton", true, false},
        {"wrong password", "secret", "okButton", false, true},
        {"quit", "Secret", "quitButton", false, false},
        {"title bar", "Secret", nullptr, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LockedStore f;
        const PasswordLock lock(f.store);
        PasswordWindow window(lock, f.settings);
        EXPECT_EQ(window.windowTitle(), "密码窗口");
        EXPECT_EQ(window.size(), QSize(360, 207));
        QStringList messages;
        window.SetErrorBox([&](QWidget*, const QString& text, const QString& caption) {
            messages << caption + "|" + text;
        });
        WhenShown([&] {
            auto* edit = Child<QLineEdit>(window, "passwordEdit");
            EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
            edit->setText(c.typed);
            if (c.button != nullptr)
                Child<QPushButton>(window, c.button)->click();
            else
                window.close();
        });
        EXPECT_EQ(window.exec() == QDialog::Accepted, c.accepted);
        EXPECT_EQ(messages, c.message ? QStringList{"错误|输入的密码错误,请和本机管理人员联系！"}
                                      : QStringList{});
    }
}

TEST(PasswordWindowTest, EveryShowingStartsWithAnEmptyField) {
    LockedStore f;
    const PasswordLock lock(f.store);
    PasswordWindow window(lock, f.settings);
    window.show();
    Child<QLineEdit>(window, "passwordEdit")->setText("typed before");
    window.hide();
    window.show();
    EXPECT_TRUE(Child<QLineEdit>(window, "passwordEdit")->text().isEmpty());
}

TEST(PasswordWindowTest, StartUpWithoutTheKeyShowsNothing) {
    test::TestApplication();
    test::TempDir dir;
    const FileMachineStore store(QString::fromStdString(dir.Path()));
    MemorySettingsStore settings;
    bool shown = false;
    WhenShown([&] { shown = QApplication::activeModalWidget() != nullptr; });
    EXPECT_TRUE(PassStartupLock(nullptr, store, settings));
    QApplication::processEvents();
    EXPECT_FALSE(shown);
    EXPECT_TRUE(QDir(QString::fromStdString(dir.Path())).isEmpty());
}

TEST(PasswordWindowTest, StartUpWithTheKeyAsksForThePassword) {
    LockedStore f;
    WhenShown([&] {
        QWidget* window = QApplication::activeModalWidget();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->windowTitle(), "密码窗口");
        Child<QLineEdit>(*window, "passwordEdit")->setText("Secret");
        Child<QPushButton>(*window, "okButton")->click();
    });
    EXPECT_TRUE(PassStartupLock(nullptr, f.store, f.settings));
}

// A download that waits until the test lets it finish.
class GatedDownloader : public Downloader {
public:
    DownloadResult DownloadToFile(const QUrl&, const QString& path) override {
        while (!open) QThread::msleep(5);
        test::WriteFile(path.toStdString(), "[version]\nnew=2.00\nlinks1=http://example.org/z\n");
        return {true, {}};
    }
    std::atomic<bool> open{false};
};

TEST(UpdateWindowTest, ShowsTheCheckAndTakesNoCommandsMeanwhile) {
    test::TestApplication();
    test::TempDir dir;
    GatedDownloader downloader;
    RecordingShell shell;
    MemorySettingsStore settings;
    UpdateCheck check(downloader, shell, QUrl("http://127.0.0.1/u.ini"),
                      QString::fromStdString(dir.File("update.ini")));
    UpdateWindow window(check, settings);
    EXPECT_EQ(window.windowTitle(), "网上升级");
    EXPECT_EQ(window.size(), QSize(604, 412));
    window.show();
    auto* status = Child<QLabel>(window, "statusLabel");
    auto* progress = Child<QProgressBar>(window, "progressBar");
    auto* download = Child<QPushButton>(window, "downloadButton");
    auto* checkButton = Child<QPushButton>(window, "checkButton");
    auto* back = Child<QPushButton>(window, "backButton");
    EXPECT_EQ(status->text(), "状态信息:");
    EXPECT_FALSE(download->isEnabled());
    EXPECT_EQ(progress->value(), 0);

    bool sawBusyWindow = false;
    QTimer::singleShot(50, [&] {
        sawBusyWindow = status->text() == "正在连接软件网站...." && progress->value() == 20 &&
                        !checkButton->isEnabled() && !back->isEnabled();
        window.reject();  // ignored until the check ends
        window.close();
        sawBusyWindow = sawBusyWindow && window.isVisible();
        downloader.open = true;
    });
    checkButton->click();
    EXPECT_TRUE(sawBusyWindow);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(status->text(), "发现新版本程序,您可以升级下载新版本。");
    EXPECT_TRUE(
        Child<QPlainTextEdit>(window, "messageArea")->toPlainText().contains("最新版本:2.00"));
    EXPECT_EQ(progress->value(), 100);
    EXPECT_TRUE(download->isEnabled());
    download->click();
    EXPECT_EQ(shell.opened, QList<QUrl>{QUrl("http://example.org/z")});
    EXPECT_TRUE(Child<QPlainTextEdit>(window, "messageArea")->toPlainText().isEmpty());

    back->click();
    EXPECT_FALSE(window.isVisible());
    window.show();
    EXPECT_FALSE(download->isEnabled());
    EXPECT_EQ(status->text(), "状态信息:");
    EXPECT_EQ(check.DownloadLink(), "http://example.org/z");
}

}  // namespace
}  // namespace zorvex::app
