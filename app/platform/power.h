// Shutting the computer down when a batch has ended.
#pragma once

#include <QString>

namespace zorvex::app {

class PowerControl {
public:
    virtual ~PowerControl() = default;
    // Asks the system to power off; false with a reason when it refused.
    virtual bool PowerOff(QString* error) = 0;
};

// Power-off through systemd-logind ("systemctl poweroff", which logind
// authorises for the session's user).
class LogindPowerControl : public PowerControl {
public:
    bool PowerOff(QString* error) override;
};

// Counts the calls instead of powering off; for tests.
class RecordingPowerControl : public PowerControl {
public:
    bool PowerOff(QString* error) override {
        ++calls;
        if (!result && error != nullptr) *error = QStringLiteral("refused");
        return result;
    }
    int calls = 0;
    bool result = true;
};

}  // namespace zorvex::app
