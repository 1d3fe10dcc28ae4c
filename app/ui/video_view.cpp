#include "app/ui/video_view.h"

#include <QPainter>
#include <QResizeEvent>
#include <QThread>
#include <cstring>

namespace zorvex::app {

VideoView::VideoView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);  // a click gives the panel the keyboard focus
    setAutoFillBackground(false);
    width_ = width();
    height_ = height();
}

void VideoView::ClientSize(int& width, int& height) const {
    if (QThread::currentThread() == thread()) {  // current even before the first show
        width = this->width();
        height = this->height();
        return;
    }
    width = width_;
    height = height_;
}

void VideoView::Present(const TDisplayImage& image) {
    {
        std::lock_guard lock(mutex_);
        if (image_.width() != image.Width || image_.height() != image.Height) {
            image_ = QImage(image.Width, image.Height, QImage::Format_RGB32);
        }
        for (int y = 0; y < image.Height; ++y) {
            std::memcpy(image_.scanLine(y), image.Row(y), static_cast<size_t>(image.Width) * 4);
        }
    }
    // One repaint queued at a time; dropped if the view is gone by then.
    if (!updateQueued_.exchange(true)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                updateQueued_ = false;
                update();
            },
            Qt::QueuedConnection);
    }
}

void VideoView::Clear() {
    {
        std::lock_guard lock(mutex_);
        image_ = QImage();
    }
    update();
}

QImage VideoView::Picture() const {
    std::lock_guard lock(mutex_);
    return image_.copy();
}

void VideoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    std::lock_guard lock(mutex_);
    if (!image_.isNull()) painter.drawImage(0, 0, image_);
}

void VideoView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    width_ = event->size().width();
    height_ = event->size().height();
    NotifyResized(width_, height_);
}

}  // namespace zorvex::app
