// Where the player draws: a small surface interface that the application
// implements on its own windowing (the preview panel), and an in-memory
// surface for tests and programs without a screen.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace zorvex {

struct TRect {
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const TRect&) const = default;
};

// A picture of the whole display area in 32-bit words 0xAARRGGBB (FFmpeg's
// RGB32, the same memory layout as Qt's Format_RGB32).
struct TDisplayImage {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Pixels;  // Width * Height, rows without padding

    static constexpr std::uint32_t Black = 0xFF000000u;
    static constexpr std::uint32_t White = 0xFFFFFFFFu;

    void SetSize(int width, int height);
    std::uint32_t* Row(int y) { return Pixels.data() + static_cast<size_t>(Width) * y; }
    const std::uint32_t* Row(int y) const { return Pixels.data() + static_cast<size_t>(Width) * y; }
    std::uint32_t Pixel(int x, int y) const { return Row(y)[x]; }
    // Fills the part of the rectangle that lies inside the image.
    void Fill(const TRect& rect, std::uint32_t color);
};

// Told by the surface when its client area changes size; the player listens
// while it plays into the surface.
class TDisplaySurfaceListener {
public:
    virtual ~TDisplaySurfaceListener() = default;
    virtual void SurfaceResized(int width, int height) = 0;
};

class TDisplaySurface {
public:
    virtual ~TDisplaySurface() = default;
    // The client size in pixels; called from the player's threads.
    virtual void ClientSize(int& width, int& height) const = 0;
    // Shows the image (the whole display area); called on the player's play
    // thread. The surface copies what it needs before it returns.
    virtual void Present(const TDisplayImage& image) = 0;

    // At most one listener; after SetListener(nullptr) returns no notice is
    // delivered to the old one any more.
    void SetListener(TDisplaySurfaceListener* listener);

protected:
    // Implementations call this from their own thread on a size change.
    void NotifyResized(int width, int height);

private:
    std::mutex listenerMutex_;
    TDisplaySurfaceListener* listener_ = nullptr;
};

// Keeps the last presented image; its size is set by the owner.
class TMemoryDisplaySurface : public TDisplaySurface {
public:
    TMemoryDisplaySurface(int width, int height) : width_(width), height_(height) {}
    void ClientSize(int& width, int& height) const override;
    void Present(const TDisplayImage& image) override;

    // Changes the client size and tells the listener, as a window resize would.
    void Resize(int width, int height);
    TDisplayImage LastImage() const;
    int PresentCount() const;
    // Waits until more than `count` images were presented.
    bool WaitForPresentCount(int count, std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable presented_;
    int width_;
    int height_;
    TDisplayImage last_;
    int presentCount_ = 0;
};

}  // namespace zorvex
