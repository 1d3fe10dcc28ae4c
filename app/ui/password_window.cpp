#include "app/ui/password_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/platform/machine_store.h"
#include "app/ui/dialog_support.h"
#include "app/ui/skin.h"

namespace zorvex::app {

namespace {

void ShowCriticalBox(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox::critical(parent, caption, text);
}

}  // namespace

PasswordWindow::PasswordWindow(const PasswordLock& lock, const SettingsStore& settings,
                               QWidget* parent)
    : QDialog(parent), lock_(lock), settings_(settings), errorBox_(ShowCriticalBox) {
    setObjectName("PasswordWindow");
    setWindowTitle(QStringLiteral("密码窗口"));
    setFixedSize(360, 207);

    auto* picture = new QLabel(this);
    picture->setPixmap(LockPicture(96));
    picture->setAlignment(Qt::AlignCenter);

    auto* prompt = new QLabel(QStringLiteral("请输入您设置的密码："), this);
    password_ = new QLineEdit(this);
    password_->setObjectName("passwordEdit");
    password_->setEchoMode(QLineEdit::Password);
    password_->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // "*"

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName("okButton");
    ok->setDefault(true);
    auto* quit = new QPushButton(QStringLiteral("退出"), this);
    quit->setObjectName("quitButton");
    connect(ok, &QPushButton::clicked, this, &PasswordWindow::Confirm);
    connect(quit, &QPushButton::clicked, this, &QDialog::reject);

    auto* entry = new QVBoxLayout;
    entry->addStretch();
    entry->addWidget(prompt);
    entry->addWidget(password_);
    entry->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addSpacing(8);
    top->addLayout(entry, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(quit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
}

void PasswordWindow::showEvent(QShowEvent* event) {
    password_->clear();
    ApplyStoredSkin(this, settings_);
    CenterOnScreen(this);
    password_->setFocus();
    QDialog::showEvent(event);
}

void PasswordWindow::Confirm() {
    if (lock_.Verify(password_->text())) {
        accept();
        return;
    }
    errorBox_(this, QStringLiteral("输入的密码错误,请和本机管理人员联系！"),
              QStringLiteral("错误"));
    reject();
}

bool PassStartupLock(QWidget* mainWindow, const MachineStore& store,
                     const SettingsStore& settings) {
    const PasswordLock lock(store);
    if (!lock.IsLocked()) return true;
    PasswordWindow window(lock, settings, mainWindow);
    return window.exec() == QDialog::Accepted;
}

}  // namespace zorvex::app
