// The playback clocks and pause.
#include <chrono>

#include "media/player/playback.h"
#include "media/player/player.h"

namespace zorvex {

double TPlayback::Now() {
    return static_cast<double>(ff::av_gettime_relative()) / 1000000.0;
}

double TPlayback::AudioClock() const {
    std::lock_guard lock(audioClockMutex_);
    const double bytesPerSecond = static_cast<double>(audioRate_) * 2 * audioChannels_;
    if (bytesPerSecond == 0) return audioClock_;
    return audioClock_ - audioBytesPending_ / bytesPerSecond;
}

double TPlayback::VideoClock() const {
    std::lock_guard lock(clockMutex_);
    return VideoClockLocked();
}

double TPlayback::VideoClockLocked() const {
    if (paused) return videoCurrentPts_;
    if (videoCurrentPtsDrift_ != 0) return videoCurrentPtsDrift_ + Now();
    return static_cast<double>(startTime) / 1000000.0;
}

double TPlayback::MasterClock() const {
    return HasAudio() ? AudioClock() : VideoClock();
}

void TPlayback::TogglePause() {
    using std::chrono::milliseconds;
    if (!owner.seekDone_.WaitFor(milliseconds(250))) owner.seekDone_.Set();
    if (abortRequest) return;
    if (paused) {
        std::lock_guard lock(clockMutex_);
        const double now = Now();
        // The frame timer moves on by the time spent paused, which is known
        // once a picture has been shown.
        if (pictureShown_) frameTimer_ += now + videoCurrentPtsDrift_ - videoCurrentPts_;
        if (readPauseResult_ != AVERROR(ENOSYS)) videoCurrentPts_ = videoCurrentPtsDrift_ + now;
        videoCurrentPtsDrift_ = videoCurrentPts_ - now;
        paused = false;
    } else {
        if (HasVideo()) {
            if (!owner.pictureAfterSeek_.WaitFor(milliseconds(250))) owner.pictureAfterSeek_.Set();
            if (abortRequest) return;
        }
        std::lock_guard lock(clockMutex_);
        paused = true;
    }
}

}  // namespace zorvex
