#pragma once

#include <stdexcept>
#include <string>

namespace zorvex {

// The general exception for misuse of a component's state ("Cannot %s while
// working.", a library set that is not loaded, ...). Bad input is reported by
// result and LastError instead.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The transcoding engine's exception: a message text only.
class FFmpegException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace zorvex
