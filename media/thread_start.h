// Where the media set's worker and delivery threads come from. Starting a
// thread can fail (the system has none to give: std::system_error, as from
// std::thread); tests replace the starter to make it fail on purpose.
#pragma once

#include <functional>
#include <thread>

namespace zorvex {

using ThreadStarter = std::function<std::thread(std::function<void()> body)>;

// Starts body on a new thread; throws std::system_error when none can be had.
std::thread StartThread(std::function<void()> body);
// Replaces the starter; an empty one restores std::thread.
void SetThreadStarter(ThreadStarter starter);

}  // namespace zorvex
