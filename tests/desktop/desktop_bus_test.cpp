// The desktop services on a real D-Bus: every test of this binary runs inside
// dbus-run-session, on a private session bus where a stand-in notification
// service and dock listen on a connection of their own.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QVariantMap>

#include "app/core/workbench/product_info.h"
#include "app/platform/desktop_notifier.h"
#include "app/platform/launcher_entry.h"
#include "tests/app/qt_test_app.h"
#include "tests/app/workbench_fakes.h"
#include "tests/support/fixtures.h"

namespace zorvex::app::test {
namespace {

struct Notification {
    QString app, icon, summary, body;
    QVariantMap hints;
};

// org.freedesktop.Notifications as a desktop's notification daemon offers it.
class FakeNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QList<Notification> received;

public slots:
    uint Notify(const QString& app, uint, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int) {
        received.append({app, icon, summary, body, hints});
        return static_cast<uint>(received.size());
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }
};

// A dock reading the launcher entry signals.
class FakeDock : public QObject {
    Q_OBJECT
public:
    struct Update {
        QString uri;
        QVariantMap properties;
    };
    QList<Update> updates;

public slots:
    void OnUpdate(const QString& uri, const QVariantMap& properties) {
        updates.append({uri, properties});
    }
};

class DesktopBus : public ::testing::Test {
protected:
    void SetUp() override {
        zorvex::test::TestApplication();
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected())
            << "run under dbus-run-session (ctest does)";
    }
    // The desktop's side, on a connection apart from the program's.
    void StartDesktop(bool withNotifications) {
        desktop_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "desktop");
        ASSERT_TRUE(desktop_.isConnected());
        if (withNotifications) {
            ASSERT_TRUE(desktop_.registerObject("/org/freedesktop/Notifications", &service,
                                                QDBusConnection::ExportAllSlots));
            ASSERT_TRUE(desktop_.registerService("org.freedesktop.Notifications"));
        }
        ASSERT_TRUE(desktop_.connect(QString(), QString(), "com.canonical.Unity.LauncherEntry",
                                     "Update", &dock, SLOT(OnUpdate(QString, QVariantMap))));
    }
    void TearDown() override { QDBusConnection::disconnectFromBus("desktop"); }
    // Serves the event loop until done() or the time is up; then a little
    // longer, so a message that should not come has had its chance.
    template <typename Done>
    static void ServeUntil(Done done, int milliseconds = 10000) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < milliseconds) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        // A ping through the bus orders everything sent before it.
        QDBusConnection::sessionBus().interface()->isServiceRegistered("org.example.none");
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    FakeNotificationService service;
    FakeDock dock;

private:
    QDBusConnection desktop_{QString()};
};

TEST_F(DesktopBus, UnwatchedBatchEndGivesOneNotificationWithItsCounts) {
    StartDesktop(true);
    zorvex::test::TempDir dir;
    const QString folder = QString::fromStdString(dir.Path());
    QStringList files;
    for (const char* name : {"c.avi", "b.avi", "a.avi"}) {
        QFile file(folder + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        files << file.fileName();
    }
    QDir().mkpath(folder + "/out");
    DBusDesktopNotifier notifier(kProductName, kDesktopId);
    DBusLauncherEntry launcher(kDesktopId);
    FakeConverter converter;
    MemorySettingsStore settings;
    settings.WriteString("OutPath", "OutPath", folder + "/out");
    RecordingShell shell;
    RecordingPowerControl power;
    FakeUi ui;
    FakeFormats formats;
    WorkbenchController controller{WorkbenchController::Services{
        converter, settings, shell, power, ui, formats, nullptr, "/opt/zorvex/LibAV",
        folder + "/Video_Directory", "/opt/zorvex", &notifier, &launcher}};
    controller.Startup();
    controller.SetCompletionAction(caNothing);
    ui.files = files;
    controller.AddSeveralFiles();
    ui.active = false;  // the user works in another window

    controller.StartOrResume();
    converter.Progress(0, 5000000, 10000000);
    converter.End(0, true);
    converter.End(1, false, "Conversion failed!");
    converter.End(2, true);
    ServeUntil([&] { return !service.received.isEmpty(); });

    ASSERT_EQ(service.received.size(), 1);
    const Notification& n = service.received[0];
    EXPECT_EQ(n.app, "Zorvex");
    EXPECT_EQ(n.icon, kDesktopId);
    EXPECT_EQ(n.summary, "转换完毕");
    EXPECT_EQ(n.body, "2 个文件转换成功，1 个文件失败");
    EXPECT_EQ(n.hints.value("desktop-entry").toString(), kDesktopId);

    ASSERT_GE(dock.updates.size(), 3);
    double last = -1;
    for (const FakeDock::Update& u : dock.updates) {
        EXPECT_EQ(u.uri, "application://org.example.zorvex.desktop");
        if (!u.properties.value("progress-visible").toBool()) continue;
        const double progress = u.properties.value("progress").toDouble();
        EXPECT_GE(progress, last);
        last = progress;
    }
    const QVariantMap& first = dock.updates.front().properties;
    EXPECT_TRUE(first.value("progress-visible").toBool());
    EXPECT_EQ(first.value("count").toLongLong(), 3);
    EXPECT_TRUE(first.value("count-visible").toBool());
    const QVariantMap& end = dock.updates.back().properties;
    EXPECT_FALSE(end.value("progress-visible").toBool());
    EXPECT_FALSE(end.value("count-visible").toBool());
}

TEST_F(DesktopBus, NothingHappensWithoutANotificationService) {
    StartDesktop(false);
    DBusDesktopNotifier notifier(kProductName, kDesktopId);
    QElapsedTimer clock;
    clock.start();
    notifier.Notify("转换完毕", "1 个文件转换成功，0 个文件失败");
    EXPECT_LT(clock.elapsed(), 1000) << "never waits for an answer";
    ServeUntil([] { return false; }, 500);
    EXPECT_TRUE(service.received.isEmpty());
    EXPECT_TRUE(QDBusConnection::sessionBus().isConnected());
}

}  // namespace
}  // namespace zorvex::app::test

#include "desktop_bus_test.moc"
