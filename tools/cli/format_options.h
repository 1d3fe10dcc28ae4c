// The choice options of zorvex-cli convert: one per list of the settings window.
#pragma once

#include <string>
#include <vector>

#include "app/core/formats/format_catalogue.h"

namespace zorvex::cli {

struct ChoiceOption {
    const char* name;  // "--video-encoder"
    app::ChoiceKind kind;
};

// In the window's order.
const std::vector<ChoiceOption>& ChoiceOptions();
// The lists an audio format disables.
bool IsVideoChoice(app::ChoiceKind kind);
// A whole decimal number in int range.
bool ParseFormatId(const std::string& text, int& id);

}  // namespace zorvex::cli
