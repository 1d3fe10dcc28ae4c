#include "media/thread_start.h"

#include <mutex>

namespace zorvex {
namespace {
std::mutex g_starterMutex;
ThreadStarter g_starter;
}  // namespace

std::thread StartThread(std::function<void()> body) {
    ThreadStarter starter;
    {
        std::lock_guard lock(g_starterMutex);
        starter = g_starter;
    }
    if (starter) return starter(std::move(body));
    return std::thread(std::move(body));
}

void SetThreadStarter(ThreadStarter starter) {
    std::lock_guard lock(g_starterMutex);
    g_starter = std::move(starter);
}

}  // namespace zorvex
