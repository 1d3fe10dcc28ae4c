#include "media/cpu_cores.h"

#include <sched.h>

#include <algorithm>
#include <thread>

namespace zorvex {

int UsableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof(set), &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return count;
    }
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

int AutoFilesAtOnce(int files) {
    return std::max(1, std::min(files, UsableCores()));
}

int AutoCodecThreads(int running) {
    return std::clamp(UsableCores() / std::max(1, running), 1, MaxAutoCodecThreads);
}

int AutoEncoderThreads(std::string_view encoder, int cores) {
    cores = std::max(1, cores);
    if (encoder.starts_with("libx264")) return cores * 3 / 2;  // libx264, libx264rgb
    return cores;
}

}  // namespace zorvex
