// The player's event queue: a ring of ten entries that carries positions and
// states from the playback threads to the event thread. A new entry of the same
// kind as the newest one replaces it, so a burst of positions or of states
// arrives as its last value.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zorvex {

enum TPlayState { psPlay, psPause, psResume, psStep, psStop, psEnd };

enum class TPlayerEventKind { Position = 1, State = 2, EndOfDelivery = 3 };

struct TPlayerEvent {
    TPlayerEventKind Kind = TPlayerEventKind::Position;
    TPlayState State = psPlay;
    std::int64_t Time = 0;  // microseconds, for positions
};

class TPlayerEventQueue {
public:
    static constexpr int Capacity = 10;

    void Post(const TPlayerEvent& event);
    // The oldest entry; false when the queue is empty.
    bool Take(TPlayerEvent& event);
    // True when an entry is queued, waiting up to the timeout for one.
    bool WaitNotEmpty(std::chrono::milliseconds timeout);
    void Clear();
    int Count() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable notEmpty_;
    std::array<TPlayerEvent, Capacity> ring_{};
    int first_ = 0;
    int count_ = 0;
};

}  // namespace zorvex
