// The black video panel: a widget the player draws into.
#pragma once

#include <QImage>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "media/player/display_surface.h"

namespace zorvex::app {

class VideoView : public QWidget, public TDisplaySurface {
    Q_OBJECT
public:
    explicit VideoView(QWidget* parent = nullptr);

    // TDisplaySurface, called from the player's threads.
    void ClientSize(int& width, int& height) const override;
    void Present(const TDisplayImage& image) override;

    // Back to black.
    void Clear();
    // What the panel shows now (empty when black).
    QImage Picture() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    mutable std::mutex mutex_;
    QImage image_;
    std::atomic<int> width_{0};
    std::atomic<int> height_{0};
    std::atomic<bool> updateQueued_{false};
};

}  // namespace zorvex::app
