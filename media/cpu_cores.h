// How many processor cores the program may use, and how a batch shares them:
// files converted at once and codec threads per file.
#pragma once

#include <string_view>

namespace zorvex {

// The most codec threads a task gets when nobody chose a number: decoders
// stop gaining from more frame threads, and x264 loses quality with them.
inline constexpr int MaxAutoCodecThreads = 16;
// The most codec threads the option "threads" accepts.
inline constexpr int MaxCodecThreads = 64;

// The cores this process may run on: the calling thread's CPU affinity (what
// taskset or a container allows), else std::thread::hardware_concurrency();
// at least 1.
int UsableCores();

// Files converted at once in an automatic batch of `files` files: one per
// usable core, never more than there are files, at least 1.
int AutoFilesAtOnce(int files);

// Codec threads of a task that starts while `running` tasks (itself included)
// convert: the usable cores shared evenly, max(1, cores / running), at most
// MaxAutoCodecThreads.
int AutoCodecThreads(int running);

// Threads an encoder gets for an automatic share of `cores` cores: the count
// the encoder's library picks by itself on a machine of that many cores.
// x264 keeps one and a half frame threads per core (each frame thread waits
// for rows of its reference frames part of the time, and the half keeps the
// cores busy meanwhile); every other encoder takes one thread per core. The
// result depends on the share alone, so the stream still does too.
int AutoEncoderThreads(std::string_view encoder, int cores);

}  // namespace zorvex
