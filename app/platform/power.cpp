#include "app/platform/power.h"

#include <QProcess>

namespace zorvex::app {

bool LogindPowerControl::PowerOff(QString* error) {
    QProcess systemctl;
    systemctl.start(QStringLiteral("systemctl"),
                    {QStringLiteral("poweroff"), QStringLiteral("--no-wall")});
    // logind answers at once; the wait only bounds a hung bus.
    if (!systemctl.waitForFinished(10000)) {
        if (error != nullptr) {
            *error = systemctl.error() == QProcess::FailedToStart
                         ? QStringLiteral("systemctl cannot be started")
                         : QStringLiteral("systemctl poweroff did not answer");
        }
        systemctl.kill();
        systemctl.waitForFinished(1000);
        return false;
    }
    if (systemctl.exitStatus() == QProcess::NormalExit && systemctl.exitCode() == 0) return true;
    if (error != nullptr) {
        *error = QString::fromLocal8Bit(systemctl.readAllStandardError()).trimmed();
        if (error->isEmpty()) *error = QStringLiteral("systemctl poweroff failed");
    }
    return false;
}

}  // namespace zorvex::app
