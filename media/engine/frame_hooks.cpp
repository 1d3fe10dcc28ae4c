#include "media/engine/frame_hooks.h"

#include <dlfcn.h>

#include <exception>

#include "media/ffapi.h"
#include "media/log.h"

namespace zorvex {
namespace {

constexpr size_t kMaxHookArguments = 254;

}  // namespace

std::vector<std::string> SplitFrameHookArguments(const std::string& value) {
    const char separator = value.find('|') != std::string::npos ? '|' : ' ';
    std::vector<std::string> args;
    size_t pos = 0;
    while (pos < value.size() && args.size() < kMaxHookArguments) {
        while (pos < value.size() && value[pos] == separator) ++pos;
        if (pos >= value.size()) break;
        size_t end = value.find(separator, pos);
        if (end == std::string::npos) end = value.size();
        args.push_back(value.substr(pos, end - pos));
        pos = end;
    }
    return args;
}

FrameHooks::~FrameHooks() {
    Release();
}

void FrameHooks::SetCustomHook(TCustomHookHandler handler) {
    customHook_ = std::move(handler);
}

int FrameHooks::AddFrameHook(const std::vector<std::string>& args) {
    if (args.empty()) return -2;
    const std::string& fileName = args[0];
    // The dynamic loader keeps one copy of a library however often it is
    // opened, and the library stays loaded for the rest of the process.
    void* library = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* error = ::dlerror();
        Logger().Log(this, llError, error != nullptr ? error : ("Cannot load " + fileName));
        return -1;
    }
    auto configure =
        reinterpret_cast<ZorvexHookConfigureFn>(::dlsym(library, ZORVEX_HOOK_CONFIGURE));
    auto process = reinterpret_cast<ZorvexHookProcessFn>(::dlsym(library, ZORVEX_HOOK_PROCESS));
    auto release = reinterpret_cast<ZorvexHookReleaseFn>(::dlsym(library, ZORVEX_HOOK_RELEASE));
    if (process == nullptr) {
        Logger().LogFmt(this, llError, "Failed to find Process entrypoint in %s", fileName.c_str());
        return -2;
    }
    if (configure == nullptr && args.size() > 1) {
        Logger().LogFmt(this, llError, "Failed to find Configure entrypoint in %s",
                        fileName.c_str());
        return -2;
    }
    Plugin plugin;
    plugin.fileName = fileName;
    plugin.process = process;
    plugin.release = release;
    if (configure != nullptr) {
        std::vector<std::string> storage(args);
        std::vector<char*> argv;
        for (std::string& a : storage) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (configure(&plugin.context, static_cast<int>(storage.size()), argv.data()) != 0) {
            Logger().LogFmt(this, llError, "Failed to Configure %s", fileName.c_str());
            return -22;
        }
    }
    plugins_.push_back(plugin);
    return 0;
}

bool FrameHooks::AddFrameHookOption(const std::string& value) {
    if (AddFrameHook(SplitFrameHookArguments(value)) != 0) {
        lastError_ = "Failed to add video hook function: " + value;
        return false;
    }
    return true;
}

void FrameHooks::Release() {
    for (Plugin& p : plugins_) {
        if (p.release != nullptr) p.release(p.context);
    }
    plugins_.clear();
    customHook_ = nullptr;
    conversion_.Reset();
    frameCounter_ = 0;
    stopped_ = false;
}

void FrameHooks::Process(AVFrame* frame, std::int64_t pts) {
    ++frameCounter_;
    if (!Active() || frame == nullptr) return;
    // Decoded pictures may share their buffers (reference frames); hooks write
    // into a copy of their own.
    if (ff::av_frame_make_writable(frame) < 0) {
        Logger().Log(this, llError, "hook buf malloc error.");
        return;
    }
    if (customHook_) {
        RunCustomHook(frame, pts);
    } else {
        RunPlugins(frame, pts);
    }
}

void FrameHooks::RunCustomHook(AVFrame* frame, std::int64_t pts) {
    const auto format = static_cast<AVPixelFormat>(frame->format);
    if (!conversion_.PictureToBitmap(frame->data, frame->linesize, format, frame->height,
                                     frame->width)) {
        Logger().Log(this, llError, "Cannot initialize the toRGB conversion context");
        stopped_ = true;
        return;
    }
    bool update = true;
    bool stop = false;
    try {
        customHook_(conversion_.Bitmap(), frameCounter_, pts, update, stop);
    } catch (const std::exception& e) {
        Logger().Log(this, llError, std::string("Error occurs OnCustomHook: ") + e.what());
        update = false;
    } catch (...) {
        Logger().Log(this, llError, "Error occurs OnCustomHook: unknown exception");
        update = false;
    }
    if (update && !conversion_.BitmapToPicture(frame->data, frame->linesize, format, frame->height,
                                               frame->width)) {
        Logger().Log(this, llError, "Cannot initialize the fromRGB conversion context");
        stop = true;
    }
    if (stop) stopped_ = true;
}

void FrameHooks::RunPlugins(AVFrame* frame, std::int64_t pts) {
    ZorvexHookPicture picture{};
    for (int i = 0; i < 4; ++i) {
        picture.data[i] = frame->data[i];
        picture.linesize[i] = frame->linesize[i];
    }
    for (Plugin& p : plugins_) {
        p.process(p.context, &picture, frame->format, frame->width, frame->height, pts);
    }
}

}  // namespace zorvex
