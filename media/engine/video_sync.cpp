#include "media/engine/video_sync.h"

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

int VideoSync::FramesToWrite(double target, std::int64_t framesLeft) {
    std::int64_t n = 1;
    if (method_ != vsPassthrough) {
        const double delta = target - static_cast<double>(syncTimestamp_);
        if (delta < -1.1) {
            n = 0;
        } else if (variableRate_) {
            if (delta <= -0.6) {
                n = 0;
            } else if (delta > 0.6) {
                syncTimestamp_ = std::llrint(target);
            }
        } else if (delta > 1.1) {
            n = std::llrint(delta);
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
    return n > 0 ? static_cast<int>(n) : 0;
}

}  // namespace zorvex
