// "密码窗口": asks for the start-up password while the machine's lock is on.
#pragma once

#include <QDialog>
#include <functional>

#include "app/core/lock/password_lock.h"

class QLineEdit;

namespace zorvex::app {

class MachineStore;
class SettingsStore;

// Accepted after the right password; rejected after a wrong one (once the
// message has been shown), on "退出", and when the window is closed any other
// way, so closing it by its title bar ends the program like "退出".
class PasswordWindow : public QDialog {
    Q_OBJECT
public:
    // Shows a modal message box (text, caption) in front of a window.
    using ErrorBox =
        std::function<void(QWidget* parent, const QString& text, const QString& caption)>;

    PasswordWindow(const PasswordLock& lock, const SettingsStore& settings,
                   QWidget* parent = nullptr);
    // Replaces the message box shown for a wrong password; for tests.
    void SetErrorBox(ErrorBox box) { errorBox_ = std::move(box); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Confirm();

    const PasswordLock& lock_;
    const SettingsStore& settings_;
    QLineEdit* password_ = nullptr;
    ErrorBox errorBox_;
};

// The lock check when the main window is first shown: true when start-up may
// go on (no lock, or the right password). On false the caller closes the main
// window, which ends the program.
bool PassStartupLock(QWidget* mainWindow, const MachineStore& store, const SettingsStore& settings);

}  // namespace zorvex::app
