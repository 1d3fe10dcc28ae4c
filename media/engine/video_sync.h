// Video frame-rate keeping: how many times a decoded (or filtered) picture is
// written so that the output holds its frame rate against the input clock.
// Pure arithmetic on positions counted in encoder time-base units (frames).
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/rational.h>
}

namespace zorvex {

// Values of the "vsync" setting.
enum VideoSyncMethod : int {
    vsAuto = -1,         // constant rate, or variable when the output format allows it
    vsPassthrough = 0,   // every frame once, at its own position
    vsConstantRate = 1,  // drop and duplicate to keep a constant rate
    vsVariableRate = 2,  // drop only, let the timestamps follow the input
};

// One instance per encoded video output stream, used by the task's thread only.
class VideoSync {
public:
    // variableRateFormat: the output format accepts variable frame rates
    // (AVFMT_VARIABLE_FPS). verbose: the engine's "v" value; above 2 every drop
    // and duplication is logged at llVerbose ("*** drop!", "*** %d dup!").
    VideoSync(int method, bool variableRateFormat, int verbose = 1);

    // The position of a frame in encoder time-base units, from its sync position
    // (input clock minus start time) in microseconds.
    static double TargetPosition(std::int64_t syncPositionMicroseconds, AVRational encoderTimeBase);

    // How many pictures to write for the frame at targetPosition: 0 drops it,
    // 1 writes it once, n > 1 fills a gap. At a constant rate the first
    // *previousCopies of them repeat the picture written before (the slots
    // before this frame's time), the rest are this frame; without a picture
    // written before, the frame itself fills the gap. framesLeft is what the
    // frame limit still allows; the result never exceeds it. Counts drops and
    // duplicates, and moves the sync timestamp where the method says so. Call
    // FrameWritten after each copy actually written; its timestamp is
    // SyncTimestamp() before the call.
    int FramesToWrite(double targetPosition, std::int64_t framesLeft = INT64_MAX,
                      int* previousCopies = nullptr);
    void FrameWritten() { lastWritten_ = syncTimestamp_++; }

    // The timestamp (encoder time base) of the next frame written.
    std::int64_t SyncTimestamp() const { return syncTimestamp_; }
    // Join mode hands a group's position on to the next group.
    void SetSyncTimestamp(std::int64_t value) { syncTimestamp_ = value; }

    // Counters of this stream; the run's DupCount and DropCount are their sums
    // over its video streams.
    int DupCount() const { return dupCount_; }
    int DropCount() const { return dropCount_; }
    // Set when a counter changed; the progress report clears it after logging.
    bool ReportDirty() const { return reportDirty_; }
    void ClearReportDirty() { reportDirty_ = false; }

    bool VariableRate() const { return variableRate_; }
    // Constant rate: gaps are filled with the picture written before.
    bool FillsGaps() const { return method_ != vsPassthrough && !variableRate_; }

private:
    int method_;
    bool variableRate_;
    int verbose_;
    std::int64_t syncTimestamp_ = 0;
    std::int64_t lastWritten_ = INT64_MIN;  // passthrough: keeps timestamps increasing
    int dupCount_ = 0;
    int dropCount_ = 0;
    bool reportDirty_ = false;
};

}  // namespace zorvex
