#include "app/platform/desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace zorvex::app {

DBusDesktopNotifier::DBusDesktopNotifier(QString appName, QString desktopId)
    : appName_(std::move(appName)), desktopId_(std::move(desktopId)) {}

void DBusDesktopNotifier::Notify(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints = {
        {QStringLiteral("desktop-entry"), desktopId_},
        {QStringLiteral("urgency"), QVariant::fromValue<uchar>(1)},  // normal
    };
    call << appName_ << uint(0) << desktopId_ << summary << body << QStringList() << hints
         << int(-1);
    // The answer (the notification's id, or an error when no service runs) is
    // not needed.
    bus.send(call);
}

}  // namespace zorvex::app
