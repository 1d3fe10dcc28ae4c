// Reads a source file's length for the settings window's cut range.
#pragma once

#include <cstdint>
#include <string>

#include "media/converter.h"

namespace zorvex::app {

class DurationReader {
public:
    virtual ~DurationReader() = default;
    // The length in microseconds; -1 when the file cannot be opened or has no
    // known length.
    virtual std::int64_t ReadDuration(const std::string& file) = 0;
};

// The settings window's own converter component: the source is added as a task,
// its first input's length is read, and the tasks are cleared again.
class ConverterDurationReader : public DurationReader {
public:
    std::int64_t ReadDuration(const std::string& file) override;
    TDAdadiZUZ& Converter() { return converter_; }

private:
    TDAdadiZUZ converter_;
};

// Answers from a fixed value; for tests and for callers that know the length.
class FixedDurationReader : public DurationReader {
public:
    explicit FixedDurationReader(std::int64_t microseconds = -1) : duration(microseconds) {}
    std::int64_t ReadDuration(const std::string& file) override {
        lastFile = file;
        ++reads;
        return duration;
    }
    std::int64_t duration;
    std::string lastFile;
    int reads = 0;
};

}  // namespace zorvex::app
