#include "app/ui/task_preview_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QWindow>

namespace zorvex::app {

namespace {

// The component's view of one window. The window may be closed (and deleted)
// by the user; the surface then answers that it has been closed.
class TaskPreviewSurface : public TPreviewSurface {
public:
    TaskPreviewSurface(int width, int height) : window_(new TaskPreviewWindow(width, height)) {}
    ~TaskPreviewSurface() override { delete window_.data(); }
    bool Paint(const TBitmap& bitmap, const std::string& caption) override {
        if (!window_) return false;
        return window_->ShowPicture(bitmap, QString::fromStdString(caption));
    }

private:
    QPointer<TaskPreviewWindow> window_;
};

}  // namespace

TaskPreviewWindow::TaskPreviewWindow(int width, int height)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(std::max(width, 1), std::max(height, 1));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(this->width() / 2, this->height() / 2));
    }
}

bool TaskPreviewWindow::ShowPicture(const TBitmap& bitmap, const QString& caption) {
    if (closed_) return false;
    // The bitmap belongs to the engine and is reused for the next picture.
    picture_ = QImage(bitmap.Bits.data(), bitmap.Width, bitmap.Height, bitmap.Stride,
                      QImage::Format_BGR888)
                   .copy();
    if (size() != picture_.size() && !picture_.isNull()) setFixedSize(picture_.size());
    setWindowTitle(caption);
    if (!isVisible()) show();
    update();
    return true;
}

void TaskPreviewWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.drawImage(QPoint(0, 0), picture_);
}

void TaskPreviewWindow::closeEvent(QCloseEvent* event) {
    closed_ = true;
    event->accept();
}

// The window has no caption to speak of: it is moved by its picture.
void TaskPreviewWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    if (windowHandle() != nullptr && windowHandle()->startSystemMove()) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TaskPreviewWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    move(event->globalPosition().toPoint() - dragOffset_);
    event->accept();
}

void TaskPreviewWindow::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}

void InstallTaskPreviewWindows() {
    SetPreviewWindowFactory([](int width, int height) -> std::unique_ptr<TPreviewSurface> {
        return std::make_unique<TaskPreviewSurface>(width, height);
    });
}

}  // namespace zorvex::app
