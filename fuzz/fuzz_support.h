// Shared pieces of the fuzz targets: the converter libraries loaded once, a
// quiet log router, a private scratch folder, and a reader that takes fuzz
// bytes apart.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "media/loader.h"
#include "media/log.h"

namespace zorvex::fuzz {

// Loads the FFmpeg libraries and keeps the log router's lines away from the
// terminal (they are still formatted, so that path is exercised too). Ends the
// process when the libraries are missing: nothing could be fuzzed.
inline void LoadConverterLibraries() {
    if (!Loader().LoadLibrarySet(ConverterLibrarySet)) {
        std::fprintf(stderr, "cannot load the converter libraries: %s\n",
                     Loader().LastError().c_str());
        std::exit(1);
    }
    Logger().SetOnLog([](TFFLogger*, std::uint32_t, TLogLevel, const std::string&) {});
    Logger().SetLogLevel(llWarning);
}

// A folder of this process under $TMPDIR, removed by the shell script that runs
// the targets (libFuzzer ends the process without running destructors).
inline const std::string& ScratchFolder() {
    static const std::string folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/zorvex-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        return pattern;
    }();
    return folder;
}

inline void WriteScratchFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Takes the fuzz bytes apart front to back; past the end every read gives zero
// or the empty text.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return pos_ >= size_; }
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    bool Bool() { return (Byte() & 1) != 0; }
    // Text up to the next byte equal to stop (not included) or the end.
    std::string Text(char stop) {
        const std::size_t start = pos_;
        while (pos_ < size_ && data_[pos_] != static_cast<std::uint8_t>(stop)) ++pos_;
        std::string text(reinterpret_cast<const char*>(data_ + start), pos_ - start);
        if (pos_ < size_) ++pos_;
        return text;
    }
    std::string_view Rest() {
        std::string_view rest(reinterpret_cast<const char*>(data_ + pos_), size_ - pos_);
        pos_ = size_;
        return rest;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace zorvex::fuzz
