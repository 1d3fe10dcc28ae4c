#include "media/engine/input_integrity.h"

#include <algorithm>
#include <cstdio>

namespace zorvex {

const char* const kIncompleteSourceText = "源文件不完整或在转换时被改动";

std::int64_t AllowedShortfallUs(std::int64_t statedUs) {
    return std::max<std::int64_t>(2'000'000, statedUs / 50);  // 2 s, or 2 % of a long file
}

std::string IncompleteInputReason(const InputEndFacts& f) {
    char text[160];
    if (f.sizeAtOpen >= 0 && f.sizeAtEnd >= 0 && f.sizeAtEnd != f.sizeAtOpen) {
        std::snprintf(text, sizeof text,
                      "its size changed from %lld to %lld bytes while it was read",
                      static_cast<long long>(f.sizeAtOpen), static_cast<long long>(f.sizeAtEnd));
        return text;
    }
    if (f.sizeAtOpen >= 0 && f.sizeAtEnd >= 0 && f.modifiedAtEnd != f.modifiedAtOpen) {
        return "it was modified while it was read";
    }
    if (f.statedUs > 0 &&
        f.statedUs - std::max<std::int64_t>(f.reachedUs, 0) > AllowedShortfallUs(f.statedUs)) {
        std::snprintf(text, sizeof text, "it ends at %.1f s of the %.1f s it states",
                      static_cast<double>(std::max<std::int64_t>(f.reachedUs, 0)) / 1e6,
                      static_cast<double>(f.statedUs) / 1e6);
        return text;
    }
    return {};
}

std::string IncompleteSourceText(const std::string& fileName, const std::string& reason) {
    return fileName + ": " + kIncompleteSourceText + " (" + reason + ")";
}

}  // namespace zorvex
