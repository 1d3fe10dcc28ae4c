// The library loader: loads the FFmpeg and SDL2 libraries at run time, in
// dependency order, and fills the entry-point tables (ffapi.h, sdlapi.h).
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct AVFormatContext;

namespace zorvex {

// Library rows, in load (dependency) order; the index is the bit in a library set.
enum LibraryIndex : int {
    liAvutil = 0,
    liSwresample = 1,
    liSwscale = 2,
    liAvcodec = 3,
    liAvformat = 4,
    liAvfilter = 5,
    liSdl = 6,
    LibraryCount = 7,
};

using TLibrarySet = std::uint8_t;  // bit n = library index n

constexpr TLibrarySet LibraryBit(LibraryIndex i) {
    return static_cast<TLibrarySet>(1u << i);
}
constexpr TLibrarySet ConverterLibrarySet = 0x3F;  // avutil .. avfilter
constexpr TLibrarySet PlayerLibrarySet = 0x7F;     // the converter set and SDL2

struct TLibraryItem {
    const char* BaseName;  // "avcodec", "SDL2-2.0"
    int Version;           // the major version the program was built against
};

// The row's file name: "lib" + base name + ".so." + version, e.g. "libavcodec.so.59".
std::string LibraryFileName(LibraryIndex index);
const TLibraryItem& LibraryItem(LibraryIndex index);
// The row's entry-point names, in the order they are resolved.
std::vector<std::string> EntryPointNames(LibraryIndex index);

class DORudovLoader {
public:
    DORudovLoader();
    ~DORudovLoader();
    DORudovLoader(const DORudovLoader&) = delete;
    DORudovLoader& operator=(const DORudovLoader&) = delete;

    // Folder searched first for each library file; empty means the system's search.
    void SetLibraryFolder(const std::string& folder);
    std::string LibraryFolder() const;
    std::string LastError() const;

    // Loads every member in index order; all or nothing. Libraries that were
    // already loaded (by another set) stay loaded when a later member fails.
    bool LoadLibrarySet(TLibrarySet set);
    bool LibrarySetLoaded(TLibrarySet set) const;
    bool LibraryLoaded(LibraryIndex index) const;
    void UnloadLibrary(LibraryIndex index);
    void UnloadLibrarySet(TLibrarySet set);

private:
    struct TLibraryStatus {
        void* Handle = nullptr;
        bool Resolved = false;
    };
    bool LoadOne(LibraryIndex index);
    void UnloadOne(LibraryIndex index);

    mutable std::recursive_mutex mutex_;
    std::array<TLibraryStatus, LibraryCount> status_{};
    std::string lastError_;
    std::string folder_;
};

// The process-wide loader.
DORudovLoader& Loader();

// Serialises codec open/close and stream-information probing across threads.
std::recursive_mutex& CodecLock();

// Stream analysis opens the decoders it needs and closing an input frees them,
// so both take CodecLock, wherever an input is read (engine, probe, player).
// Opening, reading and seeking an input touch only that input and run without it.
int FindStreamInfoLocked(AVFormatContext* context);
// Closes *context (nullptr is allowed) and sets it to nullptr.
void CloseInputLocked(AVFormatContext** context);

// The "LibAV" folder beside the running executable.
std::string DefaultLibraryFolder();

}  // namespace zorvex
