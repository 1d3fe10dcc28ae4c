#include "app/ui/conversion_log_window.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTextCursor>
#include <QVBoxLayout>

#include "app/core/workbench/controller.h"
#include "app/ui/skin.h"

namespace zorvex::app {

ConversionLogWindow::ConversionLogWindow(WorkbenchController& controller, SettingsStore& settings,
                                         QWidget* parent)
    : QDialog(parent), controller_(controller), settings_(settings) {
    setObjectName(QStringLiteral("conversionLogWindow"));
    setWindowTitle(QStringLiteral("转换日志"));
    resize(640, 400);
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("logText"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* copy = new QPushButton(QStringLiteral("复制全部"), this);
    copy->setObjectName(QStringLiteral("logCopy"));
    auto* save = new QPushButton(QStringLiteral("保存..."), this);
    save->setObjectName(QStringLiteral("logSave"));
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("logClose"));
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(Text()); });
    connect(save, &QPushButton::clicked, this, &ConversionLogWindow::AskAndSave);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copy);
    buttons->addWidget(save);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addLayout(buttons);

    connect(&controller_, &WorkbenchController::LogAppended, this, [this](const QString& line) {
        if (isVisible()) text_->appendPlainText(line);
    });
    connect(&controller_, &WorkbenchController::LogCleared, this, [this] {
        if (isVisible()) text_->clear();
    });
}

QString ConversionLogWindow::Text() const {
    return text_->toPlainText();
}

bool ConversionLogWindow::SaveTo(const QString& path, QString* error) const {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        QByteArray bytes = Text().toUtf8();
        bytes.append('\n');
        file.write(bytes);
        if (file.commit()) return true;
    }
    *error = file.errorString();
    return false;
}

void ConversionLogWindow::showEvent(QShowEvent* event) {
    ApplyStoredSkin(this, settings_);
    Reload();
    QDialog::showEvent(event);
}

void ConversionLogWindow::Reload() {
    text_->setPlainText(controller_.ConversionLog().join('\n'));
    text_->moveCursor(QTextCursor::End);
}

void ConversionLogWindow::AskAndSave() {
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("保存转换日志"), QStringLiteral("转换日志.txt"),
        QStringLiteral("文本文件 (*.txt);;所有的文件 (*.*)"));
    if (path.isEmpty()) return;
    QString error;
    if (!SaveTo(path, &error)) {
        QMessageBox::warning(this, QStringLiteral("提示"),
                             QStringLiteral("无法保存转换日志到 %1：%2").arg(path, error));
    }
}

}  // namespace zorvex::app
