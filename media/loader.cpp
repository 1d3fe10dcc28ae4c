#include "media/loader.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "media/ffapi.h"
#include "media/log.h"
#include "media/sdlapi.h"
#include "media/text.h"
#include "media/util.h"

// Entry-point variables: one per name of the declaration lists, empty until loaded.
namespace zorvex::ff {
#define FF_ENTRY(lib, name) decltype(&::name) name = nullptr;
#include "media/ffapi_entries.inc"
#undef FF_ENTRY
}  // namespace zorvex::ff

namespace zorvex::sdl {
#define SDL_ENTRY(name) decltype(&::name) name = nullptr;
#include "media/sdl_entries.inc"
#undef SDL_ENTRY
}  // namespace zorvex::sdl

namespace zorvex {

namespace {
// Under AddressSanitizer an unloaded library stays mapped, so that what it
// allocated and never freed is reported with its name rather than as an
// unknown module (and so can be told apart from this program's own leaks).
#if defined(__SANITIZE_ADDRESS__)
constexpr int kKeepMapped = RTLD_NODELETE;
#else
constexpr int kKeepMapped = 0;
#endif
}  // namespace
namespace {

const std::array<TLibraryItem, LibraryCount> kLibraries = {{
    {"avutil", LIBAVUTIL_VERSION_MAJOR},
    {"swresample", LIBSWRESAMPLE_VERSION_MAJOR},
    {"swscale", LIBSWSCALE_VERSION_MAJOR},
    {"avcodec", LIBAVCODEC_VERSION_MAJOR},
    {"avformat", LIBAVFORMAT_VERSION_MAJOR},
    {"avfilter", LIBAVFILTER_VERSION_MAJOR},
    {"SDL2-2.0", 0},
}};

struct EntryPoint {
    LibraryIndex library;
    const char* name;
    void (*assign)(void*);  // stores a resolved address, or clears with nullptr
};

const EntryPoint kEntryPoints[] = {
#define FF_ENTRY(lib, name) \
    {li##lib, #name, [](void* p) { ff::name = reinterpret_cast<decltype(ff::name)>(p); }},
#include "media/ffapi_entries.inc"
#undef FF_ENTRY
#define SDL_ENTRY(name) \
    {liSdl, #name, [](void* p) { sdl::name = reinterpret_cast<decltype(sdl::name)>(p); }},
#include "media/sdl_entries.inc"
#undef SDL_ENTRY
};

// The loader's messages take texts for every %s.
std::string FormatMessage(const char* fmt, const std::string& a, const std::string& b,
                          const std::string& c = {}) {
    return text::Fmt(fmt, a.c_str(), b.c_str(), c.c_str());
}

std::string DlError() {
    const char* e = dlerror();
    return e != nullptr ? e : "unknown error";
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The major version the loaded library reports, read through its fresh table.
int LoadedMajorVersion(LibraryIndex index) {
    switch (index) {
        case liAvutil:
            return static_cast<int>(ff::avutil_version() >> 16);
        case liSwresample:
            return static_cast<int>(ff::swresample_version() >> 16);
        case liSwscale:
            return static_cast<int>(ff::swscale_version() >> 16);
        case liAvcodec:
            return static_cast<int>(ff::avcodec_version() >> 16);
        case liAvformat:
            return static_cast<int>(ff::avformat_version() >> 16);
        case liAvfilter:
            return static_cast<int>(ff::avfilter_version() >> 16);
        case liSdl: {
            SDL_version v{};
            sdl::SDL_GetVersion(&v);
            return v.major == SDL_MAJOR_VERSION ? 0 : v.major;
        }
        default:
            return -1;
    }
}

// The row's load procedure: resolves every name of the row in list order.
void ResolveEntryPoints(LibraryIndex index, void* handle) {
    const std::string file = LibraryFileName(index);
    for (const EntryPoint& e : kEntryPoints) {
        if (e.library != index) continue;
        dlerror();
        void* address = dlsym(handle, e.name);
        if (address == nullptr) {
            throw std::runtime_error(
                FormatMessage("Load function %s@%s error: %s", e.name, file, DlError()));
        }
        e.assign(address);
    }
}

// The row's unload procedure: empties every variable of the row.
void ClearEntryPoints(LibraryIndex index) {
    for (const EntryPoint& e : kEntryPoints) {
        if (e.library == index) e.assign(nullptr);
    }
}

}  // namespace

const TLibraryItem& LibraryItem(LibraryIndex index) {
    return kLibraries.at(index);
}

std::vector<std::string> EntryPointNames(LibraryIndex index) {
    std::vector<std::string> names;
    for (const EntryPoint& e : kEntryPoints) {
        if (e.library == index) names.emplace_back(e.name);
    }
    return names;
}

std::string LibraryFileName(LibraryIndex index) {
    const TLibraryItem& item = LibraryItem(index);
    return std::string("lib") + item.BaseName + ".so." + std::to_string(item.Version);
}

DORudovLoader::DORudovLoader() = default;
DORudovLoader::~DORudovLoader() = default;  // libraries stay loaded until exit

void DORudovLoader::SetLibraryFolder(const std::string& folder) {
    std::lock_guard lock(mutex_);
    folder_ = folder;
}

std::string DORudovLoader::LibraryFolder() const {
    std::lock_guard lock(mutex_);
    return folder_;
}

std::string DORudovLoader::LastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

bool DORudovLoader::LibraryLoaded(LibraryIndex index) const {
    std::lock_guard lock(mutex_);
    const TLibraryStatus& s = status_.at(index);
    return s.Handle != nullptr && s.Resolved;
}

bool DORudovLoader::LibrarySetLoaded(TLibrarySet set) const {
    if (set == 0) throw std::logic_error("LibrarySetLoaded: empty library set");
    std::lock_guard lock(mutex_);
    for (int i = 0; i < LibraryCount; ++i) {
        if ((set & (1u << i)) != 0 && !LibraryLoaded(static_cast<LibraryIndex>(i))) return false;
    }
    return true;
}

bool DORudovLoader::LoadLibrarySet(TLibrarySet set) {
    if (set == 0) throw std::logic_error("LoadLibrarySet: empty library set");
    std::lock_guard lock(mutex_);
    std::vector<LibraryIndex> loadedNow;
    for (int i = 0; i < LibraryCount; ++i) {
        if ((set & (1u << i)) == 0) continue;
        const auto index = static_cast<LibraryIndex>(i);
        if (LibraryLoaded(index)) continue;
        if (!LoadOne(index)) {
            // Undo only this call's work: another set may still use the rest.
            for (auto it = loadedNow.rbegin(); it != loadedNow.rend(); ++it) UnloadOne(*it);
            return false;
        }
        loadedNow.push_back(index);
    }
    return true;
}

bool DORudovLoader::LoadOne(LibraryIndex index) {
    TLibraryStatus& s = status_.at(index);
    const std::string file = LibraryFileName(index);
    if (s.Handle == nullptr) {
        std::string folder = folder_;
        if (!folder.empty() && folder.back() != '/') folder += '/';
        const std::string path = folder + file;
        // By full path from the folder when it holds the file; dependencies that
        // were loaded before (in row order) are matched by their sonames.
        const bool fromFolder = !folder.empty() && IsRegularFile(path);
        dlerror();
        s.Handle =
            dlopen(fromFolder ? path.c_str() : file.c_str(), RTLD_NOW | RTLD_LOCAL | kKeepMapped);
        if (s.Handle == nullptr) {
            lastError_ = FormatMessage("Load library %s error: %s", path, DlError());
            return false;
        }
    }
    if (!s.Resolved) {
        try {
            ResolveEntryPoints(index, s.Handle);
            const int major = LoadedMajorVersion(index);
            if (major != LibraryItem(index).Version) {
                throw std::runtime_error(
                    FormatMessage("Load library %s error: %s", file,
                                  "major version " + std::to_string(major) + " found, " +
                                      std::to_string(LibraryItem(index).Version) + " expected"));
            }
            s.Resolved = true;
        } catch (const std::exception& e) {
            lastError_ = e.what();
        }
    }
    if (!s.Resolved) {
        UnloadOne(index);
        return false;
    }
    if (index == liAvutil) TFFLogger::InstallLogCallback();
    return true;
}

void DORudovLoader::UnloadOne(LibraryIndex index) {
    TLibraryStatus& s = status_.at(index);
    ClearEntryPoints(index);
    s.Resolved = false;
    if (s.Handle != nullptr) {
        dlclose(s.Handle);
        s.Handle = nullptr;
    }
}

void DORudovLoader::UnloadLibrary(LibraryIndex index) {
    std::lock_guard lock(mutex_);
    UnloadOne(index);
}

void DORudovLoader::UnloadLibrarySet(TLibrarySet set) {
    if (set == 0) throw std::logic_error("UnloadLibrarySet: empty library set");
    std::lock_guard lock(mutex_);
    for (int i = LibraryCount - 1; i >= 0; --i) {
        if ((set & (1u << i)) != 0) UnloadOne(static_cast<LibraryIndex>(i));
    }
}

DORudovLoader& Loader() {
    static DORudovLoader loader;
    return loader;
}

std::recursive_mutex& CodecLock() {
    static std::recursive_mutex lock;
    return lock;
}

int FindStreamInfoLocked(AVFormatContext* context) {
    std::lock_guard lock(CodecLock());
    return ff::avformat_find_stream_info(context, nullptr);
}

void CloseInputLocked(AVFormatContext** context) {
    if (*context == nullptr) return;
    std::lock_guard lock(CodecLock());
    ff::avformat_close_input(context);
}

std::string DefaultLibraryFolder() {
    return ProgramFolder() + "/LibAV";
}

}  // namespace zorvex
