// Shared helpers of the player tests: fixtures and an event recorder.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "media/loader.h"
#include "media/player/player.h"
#include "tests/support/fixtures.h"

namespace zorvex::test {

inline void LoadPlayerLibrariesOrFail() {
    ASSERT_TRUE(Loader().LoadLibrarySet(PlayerLibrarySet)) << Loader().LastError();
}

// 320 x 240 test pattern at 25 frames/s with a stereo tone, 2 s.
inline std::string VideoWithSound() {
    return Fixture(
        "player_a.avi",
        "-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i "
        "sine=frequency=440:sample_rate=44100 -t 2 -ac 2 -c:v mpeg4 -q:v 5 -c:a pcm_s16le");
}
// One second of flat grey, 640 x 480, no sound.
inline std::string Grey640x480() {
    return Fixture("player_grey_640x480.avi",
                   "-f lavfi -i color=c=0x808080:size=640x480:rate=25 -t 1 -c:v mpeg4 -q:v 2");
}
inline std::string SilentStereo() {
    return Fixture("player_silent_stereo.wav",
                   "-f lavfi -i anullsrc=r=44100:cl=stereo -t 2 -c:a pcm_s16le");
}
inline std::string ToneStereo() {
    return Fixture("player_tone_stereo.wav",
                   "-f lavfi -i sine=frequency=440:sample_rate=44100 -t 2 -ac 2 -c:a pcm_s16le");
}

// Records what a player reports, for waiting on and checking afterwards.
class PlayerRecorder {
public:
    // Declare the recorder (and any surface) before the player: the player's
    // last events arrive while it is destroyed.
    void Attach(TCustomPlayer& player) {
        player.OnState = [this](TCustomPlayer*, TPlayState state) {
            std::lock_guard lock(mutex_);
            states_.push_back(state);
            changed_.notify_all();
        };
        player.OnPosition = [this](TCustomPlayer*, std::int64_t pts) {
            std::lock_guard lock(mutex_);
            positions_.push_back(pts);
            changed_.notify_all();
        };
    }
    std::vector<TPlayState> States() {
        std::lock_guard lock(mutex_);
        return states_;
    }
    std::vector<std::int64_t> Positions() {
        std::lock_guard lock(mutex_);
        return positions_;
    }
    bool WaitForState(TPlayState state,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            for (TPlayState s : states_) {
                if (s == state) return true;
            }
            return false;
        });
    }
    bool WaitForPosition(std::int64_t atLeast,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(
            lock, timeout, [&] { return !positions_.empty() && positions_.back() >= atLeast; });
    }
    // Waits until psEnd has been reported at least n times.
    bool WaitForEnds(int n, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            int ends = 0;
            for (TPlayState s : states_) ends += s == psEnd ? 1 : 0;
            return ends >= n;
        });
    }
    int Count(TPlayState state) {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (TPlayState s : states_) n += s == state ? 1 : 0;
        return n;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<TPlayState> states_;
    std::vector<std::int64_t> positions_;
};

}  // namespace zorvex::test
