// Reading a subcommand's arguments: "--name value", "--name=value", flags that
// take no value, positional arguments, and "--" after which everything is
// positional.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace zorvex::cli {

class ArgumentReader {
public:
    struct Item {
        enum Kind { Positional, Option, Flag, MissingValue } kind;
        std::string name;   // "--jobs" (options, flags, a missing value)
        std::string value;  // the option's value, or the positional argument
    };

    ArgumentReader(const std::vector<std::string>& args, std::set<std::string> flags = {})
        : args_(args), flags_(std::move(flags)) {}

    // The next item; false when all arguments were read.
    bool Next(Item& item);

private:
    const std::vector<std::string>& args_;
    std::set<std::string> flags_;
    std::size_t next_ = 0;
    bool optionsEnded_ = false;
};

// A count from 1 up to max given as plain digits (for --jobs); false otherwise.
bool ParseCount(const std::string& text, int max, int& count);
// --jobs: "auto" (0, one file per usable core) or a count from 1 up to max.
bool ParseJobs(const std::string& text, int max, int& jobs);
bool AllDigits(const std::string& text);

}  // namespace zorvex::cli
