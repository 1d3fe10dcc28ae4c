#include "app/core/update/update_check.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTimer>
#include <functional>
#include <stdexcept>

#include "app/platform/downloader.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"
#include "tests/app/http_test_server.h"
#include "tests/app/qt_test_app.h"
#include "tests/support/fixtures.h"

namespace zorvex::app {
namespace {

using test::HttpTestServer;

const QString kUpToDate = QStringLiteral("没有检测到新版本,现在使用的为最新版本!");
const QString kFailed = QStringLiteral("连接失败!可能网络忙或没连接到网络...");
const QString kFound = QStringLiteral("发现新版本程序,您可以升级下载新版本。");
const QString kDoneLine = QStringLiteral(
    "检测完成,您可以点击<开始下载>按钮打开下载最新升级版本。推荐您使用（网际快车）软件下载。");

std::string UpdateIni(const std::string& version, const std::string& link) {
    return "[version]\r\nnew=" + version + "\r\ndate=2011-05-01\r\nlinks1=" + link +
           "\r\nsize=12.5 MB\r\n";
}

// A check against a server on 127.0.0.1 with a short timeout and a small cap.
struct ServedCheck {
    ServedCheck() : downloader(1500, 4096) { test::TestApplication(); }
    UpdateCheck Make(const std::string& url) {
        return UpdateCheck(downloader, shell, QUrl(QString::fromStdString(url)),
                           QString::fromStdString(dir.File("update.ini")));
    }
    test::TempDir dir;
    HttpTestServer server;
    HttpDownloader downloader;
    RecordingShell shell;
};

TEST(UpdateCheckTest, SameVersionIsUpToDate) {
    ServedCheck f;
    f.server.Route("/update.ini", HttpTestServer::Behaviour::Serve,
                   UpdateIni("1.63", "http://example.org/zorvex.exe"));
    UpdateCheck check = f.Make(f.server.Url("/update.ini"));
    std::vector<int> steps;
    QObject::connect(&check, &UpdateCheck::Changed, [&] {
        if (steps.empty() || steps.back() != check.Progress()) steps.push_back(check.Progress());
    });
    check.Check();
    EXPECT_EQ(check.Status(), kUpToDate);
    EXPECT_EQ(check.Messages(), QStringList{kUpToDate});
    EXPECT_EQ(steps, (std::vector<int>{0, 20, 50, 100}));
    EXPECT_FALSE(check.DownloadEnabled());
    EXPECT_TRUE(check.DownloadLink().isEmpty());
    EXPECT_EQ(f.server.Requests(), std::vector<std::string>{"/update.ini"});
    // The local copy stays after the check.
    EXPECT_EQ(test::ReadFile(f.dir.File("update.ini")),
              UpdateIni("1.63", "http://example.org/zorvex.exe"));
}

TEST(UpdateCheckTest, AnyOtherVersionIsNewAndOffersTheLink) {
    ServedCheck f;
    // An older version counts as new: the comparison is of texts.
    f.server.Route("/old.ini", HttpTestServer::Behaviour::Serve,
                   UpdateIni("1.50", "https://example.org/zorvex-1.50.tar.gz"));
    UpdateCheck check = f.Make(f.server.Url("/old.ini"));
    check.Check();
    EXPECT_EQ(check.Status(), kFound);
    EXPECT_EQ(check.Messages(),
              (QStringList{"发现新版本程序....", "软件名称:Zorvex", "最新版本:1.50",
                           "更新日期:2011-05-01", "软件大小:12.5 MB",
                           "下载链接:https://example.org/zorvex-1.50.tar.gz", "", kDoneLine}));
    EXPECT_EQ(check.Progress(), 100);
    EXPECT_TRUE(check.DownloadEnabled());

    EXPECT_TRUE(check.StartDownload());
    ASSERT_EQ(f.shell.opened.size(), 1);
    EXPECT_EQ(f.shell.opened[0], QUrl("https://example.org/zorvex-1.50.tar.gz"));
    EXPECT_TRUE(check.Messages().isEmpty());

    // Showing the window again disables the command but keeps the link.
    check.Reset();
    EXPECT_FALSE(check.DownloadEnabled());
    EXPECT_EQ(check.Status(), QStringLiteral("状态信息:"));
    EXPECT_EQ(check.Progress(), 0);
    EXPECT_TRUE(check.Messages().isEmpty());
    EXPECT_EQ(check.DownloadLink(), "https://example.org/zorvex-1.50.tar.gz");
    EXPECT_FALSE(check.StartDownload());
    EXPECT_EQ(f.shell.opened.size(), 1);
}

TEST(UpdateCheckTest, DownloadFailuresReportTheConnectionText) {
    struct Case {
        const char* name;
        std::function<std::string(HttpTestServer&)> url;
    };
    const Case cases[] = {
        {"404", [](HttpTestServer& s) { return s.Url("/missing.ini"); }},
        {"refused port",
         [](HttpTestServer&) {
             return "http://127.0.0.1:" + std::to_string(HttpTestServer::RefusedPort()) + "/u.ini";
         }},
        {"no answer",
         [](HttpTestServer& s) {
             s.Route("/hang.ini", HttpTestServer::Behaviour::Hang);
             return s.Url("/hang.ini");
         }},
        {"body over the cap",
         [](HttpTestServer& s) {
             s.Route("/big.ini", HttpTestServer::Behaviour::Serve,
                     UpdateIni("9.99", "http://x.org/") + std::string(8000, ';'));
             return s.Url("/big.ini");
         }},
        {"unsized body over the cap",
         [](HttpTestServer& s) {
             s.Route("/stream.ini", HttpTestServer::Behaviour::ServeUnsized,
                     UpdateIni("9.99", "http://x.org/") + std::string(100000, ';'));
             return s.Url("/stream.ini");
         }},
        {"not a web address", [](HttpTestServer&) { return std::string("file:///etc/hostname"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServedCheck f;
        // A copy from an earlier check is left as it was.
        test::WriteFile(f.dir.File("update.ini"), "earlier");
        UpdateCheck check = f.Make(c.url(f.server));
        check.Check();
        EXPECT_EQ(check.Status(), kFailed);
        EXPECT_EQ(check.Messages(), QStringList{kFailed});
        EXPECT_EQ(check.Progress(), 20);
        EXPECT_FALSE(check.DownloadEnabled());
        EXPECT_FALSE(check.LastError().isEmpty());
        EXPECT_EQ(test::ReadFile(f.dir.File("update.ini")), "earlier");
    }
}

TEST(UpdateCheckTest, ADownloadThatThrowsIsAFailure) {
    struct ThrowingDownloader : Downloader {
        DownloadResult DownloadToFile(const QUrl&, const QString&) override {
            throw std::runtime_error("broken");
        }
    } downloader;
    test::TestApplication();
    test::TempDir dir;
    RecordingShell shell;
    UpdateCheck check(downloader, shell, QUrl("http://127.0.0.1/u.ini"),
                      QString::fromStdString(dir.File("update.ini")));
    check.Check();
    EXPECT_EQ(check.Status(), kFailed);
    EXPECT_EQ(check.LastError(), "broken");
}

TEST(UpdateCheckTest, EventsAreServedWhileTheDownloadWaits) {
    ServedCheck f;
    f.server.Route("/hang.ini", HttpTestServer::Behaviour::Hang);
    UpdateCheck check = f.Make(f.server.Url("/hang.ini"));
    bool busyDuringTimer = false;
    QTimer::singleShot(100, [&] { busyDuringTimer = check.Busy(); });
    check.Check();
    EXPECT_TRUE(busyDuringTimer);
    EXPECT_FALSE(check.Busy());
    EXPECT_EQ(check.Status(), kFailed);
}

TEST(UpdateCheckTest, OnlyWebLinksCanBeOpened) {
    struct Case {
        std::string body;
        QString link;
    };
    const Case cases[] = {
        {"[version]\nnew=2.0\nlinks1=file:///etc/passwd\n", "file:///etc/passwd"},
        {"[version]\nnew=2.0\nlinks1=javascript:alert(1)\n", "javascript:alert(1)"},
        {"[version]\nnew=2.0\nlinks1=/usr/bin/xterm\n", "/usr/bin/xterm"},
        {"[version]\nnew=2.0\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        test::TestApplication();
        test::TempDir dir;
        FakeDownloader downloader;
        downloader.body = QByteArray::fromStdString(c.body);
        RecordingShell shell;
        UpdateCheck check(downloader, shell, QUrl("http://127.0.0.1/u.ini"),
                          QString::fromStdString(dir.File("update.ini")));
        check.Check();
        EXPECT_EQ(check.Status(), kFound);
        EXPECT_EQ(check.DownloadLink(), c.link);
        EXPECT_FALSE(check.DownloadEnabled());
        EXPECT_NE(check.Messages().back(), kDoneLine);
        EXPECT_FALSE(check.StartDownload());
        EXPECT_TRUE(shell.opened.isEmpty());
    }
}

TEST(UpdateCheckTest, APageThatIsNoUpdateFileIsAFailure) {
    const std::string cases[] = {
        "<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>\n"
        "<body><h1>Not Found</h1><p>new=9.9</p></body></html>\n",
        "",
        "[version]\ndate=2011-05-01\nlinks1=http://example.org/z.exe\n",  // no "new"
        "[version]\nnew=\nlinks1=http://example.org/z.exe\n",             // an empty one
        "[other]\nnew=9.9\nlinks1=http://example.org/z.exe\n",            // another section
    };
    for (const std::string& body : cases) {
        SCOPED_TRACE(body);
        ServedCheck f;
        f.server.Route("/update.ini", HttpTestServer::Behaviour::Serve, body);
        UpdateCheck check = f.Make(f.server.Url("/update.ini"));
        check.Check();
        EXPECT_EQ(check.Status(), kFailed);
        EXPECT_EQ(check.Messages(), QStringList{kFailed});
        EXPECT_FALSE(check.DownloadEnabled());
        EXPECT_TRUE(check.DownloadLink().isEmpty());
        EXPECT_FALSE(check.LastError().isEmpty());
        EXPECT_FALSE(check.StartDownload());
        EXPECT_TRUE(f.shell.opened.isEmpty());
    }
}

TEST(UpdateInfoTest, ReadsLikeThePrivateProfileFunctions) {
    test::TempDir dir;
    const std::string path = dir.File("update.ini");
    test::WriteFile(path,
                    "\xEF\xBB\xBF; comment\r\n"
                    "[other]\r\nnew=0.1\r\n"
                    "[ Version ]\r\n"
                    "NEW =  1.70  \r\n"
                    "Date=\"2012-01-02\"\r\n"
                    "links1 = http://example.org/a b.exe\r\n"
                    "size=3 MB\r\n"
                    "new=9.9\r\n");
    const UpdateInfo info = ReadUpdateInfo(QString::fromStdString(path));
    EXPECT_EQ(info.newVersion, "1.70");
    EXPECT_EQ(info.date, "2012-01-02");
    EXPECT_EQ(info.link, "http://example.org/a b.exe");
    EXPECT_EQ(info.size, "3 MB");

    const UpdateInfo none = ReadUpdateInfo(QString::fromStdString(dir.File("absent.ini")));
    EXPECT_TRUE(none.newVersion.isEmpty() && none.date.isEmpty() && none.link.isEmpty() &&
                none.size.isEmpty());
}

TEST(UpdateInfoTest, AddressComesFromSystemIniOrTheDefault) {
    MemorySettingsStore settings;
    EXPECT_EQ(UpdateInfoUrl(settings), QUrl(kDefaultUpdateInfoUrl));
    settings.WriteString("Update", "InfoUrl", "");
    EXPECT_EQ(UpdateInfoUrl(settings), QUrl(kDefaultUpdateInfoUrl));
    settings.WriteString("Update", "InfoUrl", " http://127.0.0.1:8080/zorvex/update.ini ");
    EXPECT_EQ(UpdateInfoUrl(settings), QUrl("http://127.0.0.1:8080/zorvex/update.ini"));
    EXPECT_TRUE(UpdateInfoPath().endsWith("/update.ini"));
}

}  // namespace
}  // namespace zorvex::app
