// Whether an input that was read to its end was whole: a file that ends short
// of the length its container states (cut off, a download that stopped), or
// that changed on disk while it was read (still being written, truncated),
// gives a partial conversion, and that must not pass for a finished one.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace zorvex {

// "源文件不完整或在转换时被改动": how the failure of such a task begins.
extern const char* const kIncompleteSourceText;

// What was known of the input when it was opened and when its reading ended.
struct InputEndFacts {
    // A regular file's size and modification time (nanoseconds) at the open
    // and at the end; a negative size means "not a regular file" and skips
    // the comparison.
    std::int64_t sizeAtOpen = -1;
    std::int64_t sizeAtEnd = -1;
    std::int64_t modifiedAtOpen = 0;
    std::int64_t modifiedAtEnd = 0;
    // The length the container states (microseconds from its start), or a
    // negative value when it states none that covers what was read.
    std::int64_t statedUs = -1;
    // The end of the latest packet read (microseconds from the start), or a
    // negative value when nothing was read.
    std::int64_t reachedUs = -1;
};

// How far short of the stated length an input may end before it counts as
// cut off: container lengths are rounded, and streams end a little apart.
std::int64_t AllowedShortfallUs(std::int64_t statedUs);

// Why the input was not whole, or "" when nothing says so.
std::string IncompleteInputReason(const InputEndFacts& facts);

// A stat's modification time in nanoseconds.
inline std::int64_t ModifiedNanoseconds(const struct stat& st) {
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

// "FILE: 源文件不完整或在转换时被改动 (REASON)".
std::string IncompleteSourceText(const std::string& fileName, const std::string& reason);

}  // namespace zorvex
