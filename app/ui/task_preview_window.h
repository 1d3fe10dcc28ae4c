// The preview window of a converting task: a small stay-on-top tool window
// that shows the task's latest picture at its own size, with the picture's
// time in the caption. It is dragged by its picture; closing it ends that
// task's previews. The converter component makes one per task through the
// factory installed with InstallTaskPreviewWindows.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>

#include "media/converter.h"

namespace zorvex::app {

class TaskPreviewWindow : public QWidget {
    Q_OBJECT
public:
    // A window for pictures of width x height, in the centre of the screen.
    TaskPreviewWindow(int width, int height);

    // Shows the picture (copied) with the caption; false once the user has
    // closed the window.
    bool ShowPicture(const TBitmap& bitmap, const QString& caption);
    bool UserClosed() const { return closed_; }
    const QImage& Picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    bool closed_ = false;
    bool dragging_ = false;
    QPoint dragOffset_;
};

// Installs the converter component's preview window factory (main thread).
void InstallTaskPreviewWindows();

}  // namespace zorvex::app
