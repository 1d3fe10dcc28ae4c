#include "app/core/formats/output_names.h"

#include <filesystem>

namespace zorvex::app {

bool PathExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::path(path), error);
}

std::string UniqueOutputName(const std::string& proposed,
                             const std::function<bool(const std::string&)>& taken) {
    if (!taken(proposed)) return proposed;
    const auto slash = proposed.rfind('/');
    const auto nameStart = slash == std::string::npos ? 0 : slash + 1;
    auto dot = proposed.rfind('.');
    if (dot == std::string::npos || dot < nameStart) dot = proposed.size();
    const std::string base = proposed.substr(0, dot);
    const std::string ext = proposed.substr(dot);
    for (long k = 1;; ++k) {
        std::string candidate = base + "(New_" + std::to_string(k) + ")" + ext;
        if (!taken(candidate)) return candidate;
    }
}

}  // namespace zorvex::app
