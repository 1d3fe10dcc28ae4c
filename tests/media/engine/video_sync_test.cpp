#include "media/engine/video_sync.h"

#include <gtest/gtest.h>

#include "tests/media/engine/engine_test_support.h"
#include "tests/support/fixtures.h"

namespace zorvex {
namespace {

// Writes the frames as an encoder step would: n copies, each advancing the
// sync timestamp.
int Feed(VideoSync& sync, double target, std::int64_t framesLeft = INT64_MAX) {
    const int n = sync.FramesToWrite(target, framesLeft);
    for (int i = 0; i < n; ++i) sync.FrameWritten();
    return n;
}

TEST(VideoSync, SingleDecisions) {
    struct Case {
        const char* name;
        int method;
        bool variableRateFormat;
        std::int64_t syncBefore;
        double target;
        int frames;
        std::int64_t syncAfter;  // before the frames are written
        int dups, drops;
    } cases[] = {
        {"cfr on time", vsConstantRate, false, 10, 10.0, 1, 10, 0, 0},
        {"cfr less than half a frame late", vsConstantRate, false, 10, 10.5, 1, 10, 0, 0},
        {"cfr more than half a frame late", vsConstantRate, false, 10, 10.6, 2, 10, 1, 0},
        {"cfr gap duplicates", vsConstantRate, false, 10, 13.0, 4, 10, 3, 0},
        {"cfr less than half a frame early kept", vsConstantRate, false, 10, 9.6, 1, 10, 0, 0},
        {"cfr half a frame early dropped", vsConstantRate, false, 10, 9.5, 0, 10, 0, 1},
        {"auto is cfr for constant formats", vsAuto, false, 10, 13.0, 4, 10, 3, 0},
        {"vfr half behind written", vsVariableRate, false, 10, 9.5, 1, 10, 0, 0},
        {"vfr 0.7 ahead moves sync", vsVariableRate, false, 10, 10.7, 1, 11, 0, 0},
        {"vfr gap moves sync, no dup", vsVariableRate, false, 10, 15.2, 1, 15, 0, 0},
        {"vfr 0.6 behind dropped", vsVariableRate, false, 10, 9.35, 0, 10, 0, 1},
        {"auto is vfr for variable formats", vsAuto, true, 10, 9.35, 0, 10, 0, 1},
        {"auto vfr never duplicates", vsAuto, true, 10, 13.0, 1, 13, 0, 0},
        {"passthrough takes the position", vsPassthrough, false, 10, 13.4, 1, 13, 0, 0},
        {"passthrough earlier position", vsPassthrough, false, 10, 4.0, 1, 4, 0, 0},
    };
    for (const Case& c : cases) {
        VideoSync sync(c.method, c.variableRateFormat);
        sync.SetSyncTimestamp(c.syncBefore);
        EXPECT_EQ(sync.FramesToWrite(c.target), c.frames) << c.name;
        EXPECT_EQ(sync.SyncTimestamp(), c.syncAfter) << c.name;
        EXPECT_EQ(sync.DupCount(), c.dups) << c.name;
        EXPECT_EQ(sync.DropCount(), c.drops) << c.name;
        EXPECT_EQ(sync.ReportDirty(), c.dups + c.drops > 0) << c.name;
    }
}

TEST(VideoSync, HalvingTheRateWritesEverySecondFrame) {
    // 25 frames per second into a 12.5 frames per second constant-rate output:
    // each slot shows the frame of its own time.
    VideoSync sync(vsAuto, false);
    const AVRational encoderTimeBase{2, 25};
    std::string pattern;
    for (int k = 0; k < 12; ++k) {
        const double target = VideoSync::TargetPosition(k * 40000, encoderTimeBase);
        pattern += Feed(sync, target) == 1 ? 'W' : 'd';
    }
    EXPECT_EQ(pattern, "WdWdWdWdWdWd");
    EXPECT_EQ(sync.DropCount(), 6);
    EXPECT_EQ(sync.DupCount(), 0);
}

TEST(VideoSync, GapsRepeatThePictureBefore) {
    // 25 frames per second into 50: the slot between two frames repeats the
    // earlier one, and each frame keeps its own time.
    VideoSync sync(vsConstantRate, false);
    int previous = -1;
    EXPECT_EQ(sync.FramesToWrite(0.0, INT64_MAX, &previous), 1);
    EXPECT_EQ(previous, 0);
    sync.FrameWritten();
    EXPECT_EQ(sync.FramesToWrite(2.0, INT64_MAX, &previous), 2);
    EXPECT_EQ(previous, 1);
    sync.FrameWritten();
    sync.FrameWritten();
    EXPECT_EQ(sync.SyncTimestamp(), 3);
    // Nothing written yet: the first frame fills the slots before it itself.
    VideoSync late(vsConstantRate, false);
    EXPECT_EQ(late.FramesToWrite(2.0, INT64_MAX, &previous), 3);
    EXPECT_EQ(previous, 0);
}

TEST(VideoSync, GapDuplicatesAreLoggedAtHighVerbosity) {
    test::LoadConverterLibrariesOrFail();
    test::LogCapture log;
    VideoSync sync(vsAuto, false, 3);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(Feed(sync, k), 1);
    // Frames 3, 4 and 5 are missing: the picture before fills their places.
    EXPECT_EQ(Feed(sync, 6), 4);
    EXPECT_EQ(sync.DupCount(), 3);
    EXPECT_EQ(sync.SyncTimestamp(), 7);
    EXPECT_EQ(Feed(sync, 4), 0);
    EXPECT_EQ(log.Count(llVerbose, "*** 3 dup!"), 1);
    EXPECT_EQ(log.Count(llVerbose, "*** drop!"), 1);

    VideoSync quiet(vsAuto, false, 2);
    Feed(quiet, 0);
    Feed(quiet, 5);
    EXPECT_EQ(log.Count(llVerbose, "dup!"), 1);  // only the verbose instance logged
}

TEST(VideoSync, FrameLimitCapsTheCopies) {
    VideoSync sync(vsConstantRate, false);
    EXPECT_EQ(sync.FramesToWrite(4.0, 2), 2);  // would be 5 copies
    EXPECT_EQ(sync.DupCount(), 4);             // counted as decided
    EXPECT_EQ(sync.FramesToWrite(4.0, 0), 0);
}

TEST(VideoSync, PassthroughKeepsTimestampsIncreasing) {
    VideoSync sync(vsPassthrough, false);
    EXPECT_EQ(Feed(sync, 0.0), 1);
    EXPECT_EQ(Feed(sync, 0.4), 0);  // rounds onto the frame already written
    EXPECT_EQ(Feed(sync, 1.0), 1);
    EXPECT_EQ(Feed(sync, 0.0), 0);
    EXPECT_EQ(Feed(sync, 3.0), 1);  // gaps are kept, nothing is duplicated
    EXPECT_EQ(sync.SyncTimestamp(), 4);
    EXPECT_EQ(sync.DropCount(), 2);
    EXPECT_EQ(sync.DupCount(), 0);
}

TEST(VideoSync, TargetPosition) {
    EXPECT_DOUBLE_EQ(VideoSync::TargetPosition(2000000, {1, 25}), 50.0);
    EXPECT_DOUBLE_EQ(VideoSync::TargetPosition(1001000, {1001, 30000}), 30.0);
    EXPECT_DOUBLE_EQ(VideoSync::TargetPosition(-40000, {1, 25}), -1.0);
    EXPECT_DOUBLE_EQ(VideoSync::TargetPosition(1000000, {0, 1}), 0.0);
}

}  // namespace
}  // namespace zorvex
