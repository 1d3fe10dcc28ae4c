#include "app/platform/single_instance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <atomic>
#include <cstring>
#include <thread>

#include "tests/app/qt_test_app.h"
#include "tests/support/fixtures.h"

namespace zorvex::app {
namespace {

// Serves the event loop (the running program's side) until done() or 30 s.
template <typename Done>
bool ServeUntil(Done done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

TEST(SingleInstance, ASecondStartOfTheProgramHandsItsFilesToTheFirst) {
    zorvex::test::TestApplication();
    zorvex::test::TempDir runtime;
    const QString runtimeDir = QString::fromStdString(runtime.Path());
    qputenv("XDG_RUNTIME_DIR", runtimeDir.toUtf8());
    const QString programFolder = QFileInfo(QStringLiteral(ZORVEX_APP_PATH)).canonicalPath();
    SingleInstance first(DefaultInstanceSocket(programFolder));
    ASSERT_FALSE(first.HandOffOrServe({}));
    ASSERT_TRUE(first.Serving());
    QList<QStringList> received;
    QObject::connect(&first, &SingleInstance::FilesReceived,
                     [&](const QStringList& files) { received << files; });

    QProcess second;
    second.setWorkingDirectory(runtimeDir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtimeDir);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(ZORVEX_APP_PATH),
                 {"clip one.mp4", "file:///media/%E4%B8%AD%E6%96%87.mkv"});
    ASSERT_TRUE(ServeUntil([&] { return second.state() == QProcess::NotRunning; }))
        << "the second start did not end";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received[0].join('|').toStdString(),
              (runtimeDir + "/clip one.mp4|/media/中文.mkv").toStdString());

    // Another installation of the program has a socket of its own.
    EXPECT_NE(DefaultInstanceSocket(programFolder), DefaultInstanceSocket("/usr/bin"));
}

TEST(SingleInstance, TakesOverASocketLeftBehind) {
    zorvex::test::TestApplication();
    zorvex::test::TempDir dir;
    const std::string path = dir.File("zorvex-socket");
    // A program that ended without closing its server leaves the bound name.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);

    SingleInstance first(QString::fromStdString(path));
    EXPECT_FALSE(first.HandOffOrServe({"/a.mp4"}));
    ASSERT_TRUE(first.Serving());
    QStringList received;
    QObject::connect(&first, &SingleInstance::FilesReceived,
                     [&](const QStringList& files) { received = files; });

    bool handedOff = false;
    std::atomic<bool> done{false};
    std::thread second([&] {
        SingleInstance other(QString::fromStdString(path));
        handedOff = other.HandOffOrServe({"/b.mkv", "/c.avi"});
        done = true;
    });
    ServeUntil([&] { return done.load(); });
    second.join();
    EXPECT_TRUE(handedOff);
    EXPECT_EQ(received.join('|').toStdString(), "/b.mkv|/c.avi");
}

}  // namespace
}  // namespace zorvex::app
