// Frame hook plug-ins ("vhook"): shared libraries exporting Configure, Process
// and Release, loaded once per process by file name and called for every
// decoded picture of the task that loaded them.
#include <dlfcn.h>

#include <map>
#include <mutex>

#include "media/engine/engine.h"
#include "media/ffapi.h"

namespace zorvex {

namespace {

// Loaded plug-in libraries by file name; they stay loaded for the process.
std::mutex g_libraryLock;
std::map<std::string, void*>& LoadedLibraries() {
    static std::map<std::string, void*> libraries;
    return libraries;
}

}  // namespace

int TCustomFFmpeg::AddFrameHook(const std::vector<std::string>& args) {
    if (args.empty()) return -2;
    const std::string& fileName = args[0];
    void* library = nullptr;
    {
        std::lock_guard lock(g_libraryLock);
        auto& libraries = LoadedLibraries();
        auto found = libraries.find(fileName);
        if (found != libraries.end()) {
            library = found->second;
        } else {
            // The library's own dependencies are found through its run path; the
            // process's folder and search path are left alone.
            library = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (library == nullptr) {
                const char* error = ::dlerror();
                ff::av_log(nullptr, AV_LOG_ERROR, "%s\n",
                           error != nullptr ? error : fileName.c_str());
                return -1;
            }
            libraries.emplace(fileName, library);
        }
    }
    TFrameHook hook;
    hook.Configure = reinterpret_cast<TFrameHook::ConfigureFn>(::dlsym(library, "Configure"));
    hook.Process = reinterpret_cast<TFrameHook::ProcessFn>(::dlsym(library, "Process"));
    hook.Release = reinterpret_cast<TFrameHook::ReleaseFn>(::dlsym(library, "Release"));
    if (hook.Process == nullptr) {
        ff::av_log(nullptr, AV_LOG_ERROR, "Failed to find Process entrypoint in %s\n",
                   fileName.c_str());
        return -2;
    }
    if (hook.Configure == nullptr && args.size() > 1) {
        ff::av_log(nullptr, AV_LOG_ERROR, "Failed to find Configure entrypoint in %s\n",
                   fileName.c_str());
        return -2;
    }
    if (hook.Configure != nullptr) {
        std::vector<std::string> copies(args);
        std::vector<char*> argv;
        for (std::string& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (hook.Configure(&hook.Context, static_cast<int>(args.size()), argv.data()) != 0) {
            ff::av_log(nullptr, AV_LOG_ERROR, "Failed to Configure %s\n", fileName.c_str());
            return -22;
        }
    }
    FrameHooks.push_back(hook);
    return 0;
}

void TCustomFFmpeg::ProcessFrameHooks(TFramePicture* picture, int pixFmt, int width, int height,
                                      std::int64_t pts) {
    for (const TFrameHook& hook : FrameHooks)
        hook.Process(hook.Context, picture, pixFmt, width, height, pts);
}

void TCustomFFmpeg::ReleaseFrameHooks() {
    for (const TFrameHook& hook : FrameHooks) {
        if (hook.Release != nullptr) hook.Release(hook.Context);
    }
    FrameHooks.clear();
    HooksActive = false;
}

}  // namespace zorvex
