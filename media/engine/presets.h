// The built-in presets: 36 (name, text) pairs for libx264, each text a series of
// key=value lines separated by line feeds.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zorvex {

const std::vector<std::pair<std::string, std::string>>& BuiltInPresets();

}  // namespace zorvex
