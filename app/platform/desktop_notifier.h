// Desktop notifications: a batch has ended while the user works in another
// window.
#pragma once

#include <QString>
#include <QStringList>

namespace zorvex::app {

class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    // Shows one notification; nothing happens when no notification service runs.
    virtual void Notify(const QString& summary, const QString& body) = 0;
};

// org.freedesktop.Notifications on the session bus. The call is sent without
// waiting for its answer, so a slow or missing service never holds the window.
class DBusDesktopNotifier : public DesktopNotifier {
public:
    // desktopId names the program's desktop entry (without ".desktop"), which
    // is also its icon's name.
    DBusDesktopNotifier(QString appName, QString desktopId);
    void Notify(const QString& summary, const QString& body) override;

private:
    QString appName_;
    QString desktopId_;
};

// Records the notifications instead of showing them; for tests.
class RecordingDesktopNotifier : public DesktopNotifier {
public:
    void Notify(const QString& summary, const QString& body) override {
        shown << summary + "|" + body;
    }
    QStringList shown;
};

}  // namespace zorvex::app
