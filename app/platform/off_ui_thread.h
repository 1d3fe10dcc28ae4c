// Runs a blocking call on a worker thread while the calling thread keeps
// serving its events, so windows go on painting during a download.
#pragma once

#include <functional>

namespace zorvex::app {

// Returns when work has returned. Input to the caller's windows is still
// delivered meanwhile: callers disable what must not be used until then.
void RunOffUiThread(const std::function<void()>& work);

}  // namespace zorvex::app
