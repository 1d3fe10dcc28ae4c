#include "tools/cli/arguments.h"

namespace zorvex::cli {

bool ArgumentReader::Next(Item& item) {
    while (next_ < args_.size()) {
        std::string arg = args_[next_++];
        if (optionsEnded_ || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            item = {Item::Positional, {}, arg};
            return true;
        }
        if (arg == "--") {
            optionsEnded_ = true;
            continue;
        }
        if (flags_.count(arg) != 0) {
            item = {Item::Flag, arg, {}};
            return true;
        }
        if (const auto eq = arg.find('='); eq != std::string::npos) {
            item = {Item::Option, arg.substr(0, eq), arg.substr(eq + 1)};
        } else if (next_ < args_.size()) {
            item = {Item::Option, arg, args_[next_++]};
        } else {
            item = {Item::MissingValue, arg, {}};
        }
        return true;
    }
    return false;
}

bool AllDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

bool ParseCount(const std::string& text, int max, int& count) {
    if (!AllDigits(text) || text.size() > 9) return false;
    const long value = std::stol(text);
    if (value < 1 || value > max) return false;
    count = static_cast<int>(value);
    return true;
}

bool ParseJobs(const std::string& text, int max, int& jobs) {
    if (text == "auto") {
        jobs = 0;
        return true;
    }
    return ParseCount(text, max, jobs);
}

}  // namespace zorvex::cli
