// Sound-to-picture alignment of converted files: a source that flashes white
// and beeps at the same moments, and the measurement of both in an output.
#pragma once

#include <string>
#include <vector>

namespace zorvex::test {

// seconds of 320x240 pictures at 25 frames per second on a background whose
// colour changes every second (dark red, green, blue, then again), with a
// white flash of three frames and a 1 kHz beep of 0.12 s that both begin at
// 0.2 s and then every 1.16 s (0.2, 1.36, 2.52 ...), so that no shift by whole
// seconds lines them up again; stereo sound at 44.1 kHz. MPEG-4 and PCM in
// Matroska.
std::string FlashBeepClip(int seconds);

struct SyncMeasure {
    std::vector<double> flashes;  // seconds at which a flash begins
    std::vector<double> beeps;    // seconds at which a beep begins
    // The largest distance from a flash to the beep nearest to it; a large
    // value when there is no flash or no beep.
    double WorstOffset() const;
};

// The flash and beep onsets of a file's first picture and sound streams, on
// the file's own timeline (as a player presents them).
SyncMeasure MeasureSync(const std::string& path);

// The mean Y, U and V (0-255) of the picture shown at the given second of a
// file (the first one at 0).
struct PictureMean {
    double y = -1, u = -1, v = -1;
};
PictureMean PictureMeanAt(const std::string& path, double seconds);

}  // namespace zorvex::test
