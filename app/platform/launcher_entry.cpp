#include "app/platform/launcher_entry.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace zorvex::app {

DBusLauncherEntry::DBusLauncherEntry(QString desktopId)
    : appUri_(QStringLiteral("application://") + desktopId + QStringLiteral(".desktop")),
      objectPath_('/' + desktopId.replace('.', '/') + QStringLiteral("/LauncherEntry")) {}

void DBusLauncherEntry::ShowProgress(double fraction, int remaining) {
    Send(fraction, remaining, true);
}

void DBusLauncherEntry::HideProgress() {
    Send(0, 0, false);
}

void DBusLauncherEntry::Send(double fraction, int remaining, bool visible) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage update = QDBusMessage::createSignal(
        objectPath_, QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    const QVariantMap properties = {
        {QStringLiteral("progress"), fraction},
        {QStringLiteral("progress-visible"), visible},
        {QStringLiteral("count"), qint64(remaining)},
        {QStringLiteral("count-visible"), visible && remaining > 0},
    };
    update << appUri_ << properties;
    bus.send(update);
}

}  // namespace zorvex::app
