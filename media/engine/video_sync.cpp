#include "media/engine/video_sync.h"

#include <algorithm>
#include <cmath>

#include "media/log.h"

namespace zorvex {

VideoSync::VideoSync(int method, bool variableRateFormat, int verbose)
    : method_(method),
      variableRate_(method == vsVariableRate || (method < 0 && variableRateFormat)),
      verbose_(verbose) {}

double VideoSync::TargetPosition(std::int64_t syncPositionMicroseconds,
                                 AVRational encoderTimeBase) {
    if (encoderTimeBase.num <= 0 || encoderTimeBase.den <= 0) return 0.0;
    return static_cast<double>(syncPositionMicroseconds) / 1000000.0 * encoderTimeBase.den /
           encoderTimeBase.num;
}

int VideoSync::FramesToWrite(double target, std::int64_t framesLeft, int* previousCopies) {
    std::int64_t n = 1;
    std::int64_t previous = 0;
    if (method_ != vsPassthrough && !variableRate_) {
        // Every output slot shows the picture nearest to its time: the slots
        // before this picture's own keep showing the one before it, and a
        // picture whose slot is already shown is dropped. Pictures and sound
        // so stay within half a frame of each other whatever the rates.
        // A frame exactly half-way goes to the earlier slot (the margin keeps
        // rounding noise of the position from deciding it).
        const auto slot = static_cast<std::int64_t>(std::ceil(target - 0.5 - 1e-6));
        if (slot < syncTimestamp_) {
            n = 0;
        } else {
            const std::int64_t gap = slot - syncTimestamp_;
            n = gap + 1;
            if (lastWritten_ != INT64_MIN) previous = gap;
        }
    } else if (method_ != vsPassthrough) {
        const double delta = target - static_cast<double>(syncTimestamp_);
        if (delta <= -0.6) {
            n = 0;
        } else if (delta > 0.6) {
            syncTimestamp_ = std::llrint(target);
        }
    } else {
        // Each frame keeps its own position; one that would not come after the
        // frame written before it cannot be muxed, so it is dropped.
        const std::int64_t position = std::llrint(target);
        if (lastWritten_ != INT64_MIN && position <= lastWritten_) {
            n = 0;
        } else {
            syncTimestamp_ = position;
        }
    }
    if (n == 0) {
        ++dropCount_;
        reportDirty_ = true;
        if (verbose_ > 2) Logger().Log(this, llVerbose, "*** drop!");
    } else if (n > 1) {
        dupCount_ += static_cast<int>(n - 1);
        reportDirty_ = true;
        if (verbose_ > 2) Logger().LogFmt(this, llVerbose, "*** %d dup!", static_cast<int>(n - 1));
    }
    if (n > framesLeft) n = framesLeft;
    if (n < 0) n = 0;
    if (previousCopies != nullptr) *previousCopies = static_cast<int>(std::min(previous, n));
    return static_cast<int>(n);
}

}  // namespace zorvex
