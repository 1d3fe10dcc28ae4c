#include "app/core/workbench/output_naming.h"

#include <algorithm>
#include <filesystem>

namespace zorvex::app {

namespace {

size_t FileNameStart(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// Where the extension of the file-name part starts (its last dot), or the end.
size_t ExtensionStart(const std::string& path) {
    const auto dot = path.rfind('.');
    return dot == std::string::npos || dot < FileNameStart(path) ? path.size() : dot;
}

}  // namespace

bool PathExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::path(path), error);
}

std::string UniqueOutputName(const std::string& proposed, const NameTakenFn& taken) {
    if (!taken(proposed)) return proposed;
    const size_t dot = ExtensionStart(proposed);
    const std::string base = proposed.substr(0, dot);
    const std::string ext = proposed.substr(dot);
    for (long long k = 1;; ++k) {
        std::string candidate = base + "(New_" + std::to_string(k) + ")" + ext;
        if (!taken(candidate)) return candidate;
    }
}

std::string BatchStartOutputName(const std::string& outputFolder, const std::string& stored,
                                 int policy, const NameTakenFn& taken) {
    std::string folder = outputFolder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const std::string name =
        (folder == "/" ? folder : folder + "/") + stored.substr(FileNameStart(stored));
    const size_t nameStart = FileNameStart(name);
    const auto marker = name.find("(New_", nameStart);
    if (marker == std::string::npos) return name;
    const std::string plain =
        name.substr(0, std::min(marker, ExtensionStart(name))) + name.substr(ExtensionStart(name));
    return policy == npNewName ? UniqueOutputName(plain, taken) : plain;
}

}  // namespace zorvex::app
