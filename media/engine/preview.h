// Preview of encoded pictures: at most one picture per preview interval is
// handed to the application as a bitmap, or shown in the task's preview window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "media/bitmap.h"
#include "media/util.h"

struct AVFrame;

namespace zorvex {

class TPreviewWindow;  // media/converter.h

// Process-wide, re-entrant: guards the preview flags and preview state of every
// task, so the component may switch previews on and off from the main thread
// while tasks run.
std::recursive_mutex& PreviewLock();

enum TPreviewFlag : std::uint8_t {
    pfPreview = 1,        // show in the task's preview window
    pfPreviewBitmap = 2,  // hand bitmaps to the application
};

constexpr std::int64_t DefaultPreviewInterval = 100000;  // microseconds

// One per engine. Flags may be set from any thread; Produce runs on the task's
// thread.
class PreviewProducer {
public:
    using BitmapHandler =
        std::function<void(const TBitmap& bitmap, int frameNumber, std::int64_t pts)>;
    using WindowFactory = std::function<std::unique_ptr<TPreviewWindow>()>;
    using Clock = std::function<std::int64_t()>;  // microseconds, monotonic

    explicit PreviewProducer(std::int64_t interval = DefaultPreviewInterval, Clock clock = nullptr);
    ~PreviewProducer();
    PreviewProducer(const PreviewProducer&) = delete;
    PreviewProducer& operator=(const PreviewProducer&) = delete;

    // Set before the run.
    void SetBitmapHandler(BitmapHandler handler) { bitmapHandler_ = std::move(handler); }
    void SetWindowFactory(WindowFactory factory) { windowFactory_ = std::move(factory); }

    // Stores the flags; turning pfPreview off closes the preview window. Takes
    // PreviewLock itself: call it without holding the lock, so that a window
    // that needs the main thread to close is never closed under it.
    void SetFlags(std::uint8_t flags);
    std::uint8_t Flags() const;
    // Some preview is wanted (the encoder step calls Produce only then).
    bool Wanted() const { return Flags() != 0; }

    // After an encoded video picture: when more than the interval has passed
    // since the last preview, converts the picture and hands it to the bitmap
    // handler (pfPreviewBitmap with a handler), or else shows it in the preview
    // window (pfPreview). A failed conversion logs "Cannot initialize the toRGB
    // conversion context" and turns that kind of preview off; so does a window
    // that cannot be made or that the user has closed. pts in microseconds.
    void Produce(const AVFrame* picture, int frameNumber, std::int64_t pts);

    // Forgets the conversion state and the last preview time (task released).
    void Reset();
    int Produced() const { return produced_; }

private:
    void ClearFlag(std::uint8_t flag);

    const std::int64_t interval_;
    Clock clock_;
    BitmapHandler bitmapHandler_;
    WindowFactory windowFactory_;
    // Guarded by PreviewLock:
    std::uint8_t flags_ = 0;
    std::shared_ptr<TPreviewWindow> window_;
    std::int64_t lastPreview_ = 0;
    bool anyPreview_ = false;
    // The task's thread only:
    PictureConversion conversion_;
    int produced_ = 0;
};

}  // namespace zorvex
