#include "media/engine/preview.h"

#include "media/converter.h"
#include "media/ffapi.h"
#include "media/log.h"

namespace zorvex {

std::recursive_mutex& PreviewLock() {
    static std::recursive_mutex lock;
    return lock;
}

PreviewProducer::PreviewProducer(std::int64_t interval, Clock clock)
    : interval_(interval), clock_(std::move(clock)) {
    if (!clock_) clock_ = [] { return ff::av_gettime_relative(); };
}

PreviewProducer::~PreviewProducer() {
    std::lock_guard lock(PreviewLock());
    window_.reset();
}

void PreviewProducer::SetFlags(std::uint8_t flags) {
    std::shared_ptr<TPreviewWindow> closing;
    {
        std::lock_guard lock(PreviewLock());
        if (flags == flags_) return;
        if ((flags & pfPreview) == 0) closing = std::move(window_);
        flags_ = flags;
    }
    // closing goes here, outside the lock: the window may need the main thread.
}

std::uint8_t PreviewProducer::Flags() const {
    std::lock_guard lock(PreviewLock());
    return flags_;
}

void PreviewProducer::ClearFlag(std::uint8_t flag) {
    std::lock_guard lock(PreviewLock());
    SetFlags(flags_ & static_cast<std::uint8_t>(~flag));
}

void PreviewProducer::Reset() {
    {
        std::lock_guard lock(PreviewLock());
        lastPreview_ = 0;
        anyPreview_ = false;
    }
    conversion_.Reset();
    produced_ = 0;
}

void PreviewProducer::Produce(const AVFrame* picture, int frameNumber, std::int64_t pts) {
    if (picture == nullptr) return;
    std::uint8_t kind = 0;
    std::shared_ptr<TPreviewWindow> window;
    {
        std::lock_guard lock(PreviewLock());
        if ((flags_ & pfPreviewBitmap) != 0 && bitmapHandler_) {
            kind = pfPreviewBitmap;
        } else if ((flags_ & pfPreview) != 0) {
            kind = pfPreview;
        } else {
            return;
        }
        const std::int64_t now = clock_();
        if (anyPreview_ && now - lastPreview_ <= interval_) return;
        lastPreview_ = now;
        anyPreview_ = true;
        window = window_;
    }
    // The handler and the window may wait for the main thread, which may itself
    // be waiting for PreviewLock to change the flags: they are called without it.
    if (!conversion_.PictureToBitmap(picture->data, picture->linesize,
                                     static_cast<AVPixelFormat>(picture->format), picture->height,
                                     picture->width)) {
        Logger().Log(this, llError, "Cannot initialize the toRGB conversion context");
        ClearFlag(kind);
        return;
    }
    ++produced_;
    if (kind == pfPreviewBitmap) {
        bitmapHandler_(conversion_.Bitmap(), frameNumber, pts);
        return;
    }
    if (!window) {
        if (windowFactory_) window = windowFactory_();
        if (!window) {
            ClearFlag(pfPreview);
            return;
        }
        std::lock_guard lock(PreviewLock());
        if ((flags_ & pfPreview) == 0) return;  // switched off meanwhile
        window_ = window;
    }
    if (!window->Show(conversion_.Bitmap(), frameNumber, pts)) {
        // The user closed the window: no more previews of this kind.
        ClearFlag(pfPreview);
    }
}

}  // namespace zorvex
