#include "media/player/display_surface.h"

#include <algorithm>

namespace zorvex {

void TDisplayImage::SetSize(int width, int height) {
    Width = std::max(width, 0);
    Height = std::max(height, 0);
    Pixels.assign(static_cast<size_t>(Width) * Height, Black);
}

void TDisplayImage::Fill(const TRect& rect, std::uint32_t color) {
    const int x0 = std::max(rect.X, 0), y0 = std::max(rect.Y, 0);
    const int x1 = std::min(rect.X + rect.Width, Width),
              y1 = std::min(rect.Y + rect.Height, Height);
    for (int y = y0; y < y1; ++y) std::fill(Row(y) + x0, Row(y) + std::max(x0, x1), color);
}

void TDisplaySurface::SetListener(TDisplaySurfaceListener* listener) {
    std::lock_guard lock(listenerMutex_);
    listener_ = listener;
}

void TDisplaySurface::NotifyResized(int width, int height) {
    std::lock_guard lock(listenerMutex_);
    if (listener_ != nullptr) listener_->SurfaceResized(width, height);
}

void TMemoryDisplaySurface::ClientSize(int& width, int& height) const {
    std::lock_guard lock(mutex_);
    width = width_;
    height = height_;
}

void TMemoryDisplaySurface::Present(const TDisplayImage& image) {
    {
        std::lock_guard lock(mutex_);
        last_ = image;
        ++presentCount_;
    }
    presented_.notify_all();
}

void TMemoryDisplaySurface::Resize(int width, int height) {
    {
        std::lock_guard lock(mutex_);
        width_ = width;
        height_ = height;
    }
    NotifyResized(width, height);
}

TDisplayImage TMemoryDisplaySurface::LastImage() const {
    std::lock_guard lock(mutex_);
    return last_;
}

int TMemoryDisplaySurface::PresentCount() const {
    std::lock_guard lock(mutex_);
    return presentCount_;
}

bool TMemoryDisplaySurface::WaitForPresentCount(int count,
                                                std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return presented_.wait_for(lock, timeout, [&] { return presentCount_ > count; });
}

}  // namespace zorvex
