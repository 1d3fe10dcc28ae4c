#include "app/ui/update_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/core/update/update_check.h"
#include "app/platform/downloader.h"
#include "app/ui/dialog_support.h"
#include "app/ui/skin.h"

namespace zorvex::app {

UpdateWindow::UpdateWindow(const SettingsStore& settings, Shell& shell, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      ownDownloader_(std::make_unique<HttpDownloader>()),
      ownCheck_(std::make_unique<UpdateCheck>(*ownDownloader_, shell, UpdateInfoUrl(settings),
                                              UpdateInfoPath())),
      check_(ownCheck_.get()) {
    Build();
}

UpdateWindow::UpdateWindow(UpdateCheck& check, const SettingsStore& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), check_(&check) {
    Build();
}

UpdateWindow::~UpdateWindow() = default;

void UpdateWindow::Build() {
    setObjectName("UpdateWindow");
    setWindowTitle(QStringLiteral("网上升级"));
    setFixedSize(604, 412);

    auto* picture = new QLabel(this);
    picture->setPixmap(UpdatePicture(110));
    picture->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    auto* steps = new QVBoxLayout;
    steps->setSpacing(4);
    for (const QString& text :
         {QStringLiteral("软件更新步骤:"),
          QStringLiteral("1.请确认您已经连接到网上,如果您设置了防火墙,必须允许程序通过."),
          QStringLiteral("2.检测软件是否有新版本,如果有点击下载按钮."),
          QStringLiteral("3.软件更新可能需要30秒--几分钟,这期间请您耐心等待...")}) {
        steps->addWidget(new QLabel(text, this));
    }
    status_ = new QLabel(this);
    status_->setObjectName("statusLabel");
    steps->addSpacing(6);
    steps->addWidget(status_);

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addSpacing(10);
    top->addLayout(steps, 1);

    messages_ = new QPlainTextEdit(this);
    messages_->setObjectName("messageArea");
    messages_->setReadOnly(true);

    progress_ = new QProgressBar(this);
    progress_->setObjectName("progressBar");
    progress_->setRange(0, 100);
    progress_->setTextVisible(true);

    checkButton_ = new QPushButton(QStringLiteral("检测升级"), this);
    checkButton_->setObjectName("checkButton");
    downloadButton_ = new QPushButton(QStringLiteral("开始下载"), this);
    downloadButton_->setObjectName("downloadButton");
    backButton_ = new QPushButton(QStringLiteral("返回"), this);
    backButton_->setObjectName("backButton");
    connect(checkButton_, &QPushButton::clicked, this, [this] { check_->Check(); });
    connect(downloadButton_, &QPushButton::clicked, this, [this] { check_->StartDownload(); });
    connect(backButton_, &QPushButton::clicked, this, &UpdateWindow::reject);
    connect(check_, &UpdateCheck::Changed, this, &UpdateWindow::Render);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(checkButton_);
    buttons->addWidget(downloadButton_);
    buttons->addWidget(backButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(messages_, 1);
    layout->addWidget(progress_);
    layout->addLayout(buttons);
    Render();
}

void UpdateWindow::Render() {
    status_->setText(check_->Status());
    messages_->setPlainText(check_->Messages().join('\n'));
    progress_->setValue(check_->Progress());
    const bool busy = check_->Busy();
    // While the download runs the window paints but takes no commands.
    checkButton_->setEnabled(!busy);
    backButton_->setEnabled(!busy);
    downloadButton_->setEnabled(!busy && check_->DownloadEnabled());
}

void UpdateWindow::showEvent(QShowEvent* event) {
    ApplyStoredSkin(this, settings_);
    check_->Reset();
    CenterOnScreen(this);
    QDialog::showEvent(event);
}

void UpdateWindow::reject() {
    if (check_->Busy()) return;
    QDialog::reject();
}

void UpdateWindow::closeEvent(QCloseEvent* event) {
    if (check_->Busy()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

}  // namespace zorvex::app
