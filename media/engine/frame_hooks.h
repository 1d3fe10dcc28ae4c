// Per-frame hooks on decoded video pictures: the application's custom hook,
// which sees every picture as a 24-bit BGR bitmap and may paint on it, and
// frame hook plug-ins ("vhook", see frame_hook_plugin.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "media/bitmap.h"
#include "media/engine/frame_hook_plugin.h"
#include "media/util.h"

struct AVFrame;

namespace zorvex {

// The application's hook: the picture as a bitmap, its number (1 for the
// task's first decoded picture), its time in microseconds, and two flags the
// handler may change: update (in: true; true on return writes the bitmap back
// into the picture that is encoded) and stop (in: false; true on return ends
// all hooking for the rest of the task).
using TCustomHookHandler = std::function<void(TBitmap& bitmap, int frameNumber, std::int64_t pts,
                                              bool& update, bool& stop)>;

// One per engine; configured on the caller's thread before the run, used by
// the task's thread during it.
class FrameHooks {
public:
    FrameHooks() = default;
    ~FrameHooks();
    FrameHooks(const FrameHooks&) = delete;
    FrameHooks& operator=(const FrameHooks&) = delete;

    void SetCustomHook(TCustomHookHandler handler);
    bool HasCustomHook() const { return static_cast<bool>(customHook_); }
    // Plug-ins have been added (copied video streams cannot take them).
    bool HasFrameHooks() const { return !plugins_.empty(); }

    // Adds a plug-in: args[0] is the library file, the rest go to its Configure.
    // 0, or -2 (no arguments, no Process, or arguments without Configure), -1
    // (the library cannot be loaded), -22 (Configure refused). Failures are
    // logged at llError ("Failed to find Process entrypoint in %s", ...).
    int AddFrameHook(const std::vector<std::string>& args);
    // The "vhook" option: the value is split at "|" when it holds one, else at
    // blanks (runs of separators count as one, at most 254 arguments), then
    // added. False with LastError "Failed to add video hook function: " + value.
    bool AddFrameHookOption(const std::string& value);
    // Calls every plug-in's Release and forgets them (the libraries stay
    // loaded); forgets the custom hook; restarts the frame count.
    void Release();

    // Counts the picture (FrameCounter), then runs the custom hook on it, or
    // else the plug-ins, in place; the frame is made writable first when a hook
    // will run. pts in microseconds.
    void Process(AVFrame* frame, std::int64_t pts);
    // A hook is still to be called (none installed, or stopped: false).
    bool Active() const { return !stopped_ && (customHook_ || !plugins_.empty()); }
    int FrameCounter() const { return frameCounter_; }

    const std::string& LastError() const { return lastError_; }

private:
    struct Plugin {
        std::string fileName;
        void* context = nullptr;
        ZorvexHookProcessFn process = nullptr;
        ZorvexHookReleaseFn release = nullptr;
    };
    void RunCustomHook(AVFrame* frame, std::int64_t pts);
    void RunPlugins(AVFrame* frame, std::int64_t pts);

    TCustomHookHandler customHook_;
    std::vector<Plugin> plugins_;
    PictureConversion conversion_;
    int frameCounter_ = 0;
    bool stopped_ = false;
    std::string lastError_;
};

// Splits a "vhook" value into arguments as the option does.
std::vector<std::string> SplitFrameHookArguments(const std::string& value);

}  // namespace zorvex
