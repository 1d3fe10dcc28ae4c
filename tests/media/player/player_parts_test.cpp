// The player's building blocks without a playback: event queue, packet queue,
// picture geometry, subtitle blending and seek targets.
#include <gtest/gtest.h>

#include <thread>

#include "media/ffapi.h"
#include "media/ffptr.h"
#include "media/player/display_geometry.h"
#include "media/player/packet_queue.h"
#include "media/player/player.h"
#include "media/player/player_events.h"
#include "media/player/subtitle_blend.h"
#include "tests/support/fixtures.h"

namespace zorvex {
namespace {

using Kind = TPlayerEventKind;

std::vector<TPlayerEvent> Drain(TPlayerEventQueue& queue) {
    std::vector<TPlayerEvent> out;
    TPlayerEvent e;
    while (queue.Take(e)) out.push_back(e);
    return out;
}

TEST(PlayerEventQueue, ConsecutiveEntriesOfOneKindCollapse) {
    TPlayerEventQueue queue;
    queue.Post({Kind::Position, psPlay, 100});
    queue.Post({Kind::Position, psPlay, 200});  // replaces 100
    queue.Post({Kind::State, psPause, 0});
    queue.Post({Kind::State, psResume, 0});  // replaces psPause
    queue.Post({Kind::Position, psPlay, 300});
    const auto events = Drain(queue);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].Time, 200);
    EXPECT_EQ(events[1].State, psResume);
    EXPECT_EQ(events[2].Time, 300);
    EXPECT_FALSE(queue.WaitNotEmpty(std::chrono::milliseconds(1)));
}

TEST(PlayerEventQueue, AFullRingDropsItsOldestEntry) {
    TPlayerEventQueue queue;
    for (int i = 0; i < 12; ++i) {  // alternate kinds so nothing collapses
        queue.Post(i % 2 == 0 ? TPlayerEvent{Kind::Position, psPlay, i}
                              : TPlayerEvent{Kind::State, psPlay, i});
    }
    const auto events = Drain(queue);
    ASSERT_EQ(events.size(), 10u);
    EXPECT_EQ(events.front().Time, 2);
    EXPECT_EQ(events.back().Time, 11);
}

TEST(PacketQueue, FlushMarkerPassesThroughAndSizesAddUp) {
    test::LoadConverterLibrariesOrFail();
    AVPacket flush{};
    TPacketQueue queue(&flush);
    EXPECT_EQ(queue.Count(), 1);  // a new queue starts with the flush marker
    PacketPtr packet(ff::av_packet_alloc());
    ASSERT_EQ(ff::av_new_packet(packet.get(), 100), 0);
    ASSERT_EQ(queue.Put(packet.get()), 0);
    EXPECT_EQ(packet->size, 0);  // the queue took the reference
    EXPECT_EQ(queue.Size(), 100 + 2 * TPacketQueue::NodeSize);

    AVPacket* out = nullptr;
    ASSERT_EQ(queue.Get(out, false), 1);
    EXPECT_TRUE(queue.IsFlush(out));
    EXPECT_EQ(out, &flush);
    ASSERT_EQ(queue.Get(out, false), 1);
    EXPECT_EQ(out->size, 100);
    ff::av_packet_free(&out);
    EXPECT_EQ(queue.Get(out, false), 0);
    EXPECT_EQ(queue.Size(), 0);

    queue.Put(packet.get());  // an empty packet (the end-of-input mark) is fine too
    queue.Flush();
    EXPECT_EQ(queue.Count(), 0);
}

TEST(PacketQueue, AbortEndsABlockedGet) {
    AVPacket flush{};
    TPacketQueue queue(&flush);
    AVPacket* out = nullptr;
    ASSERT_EQ(queue.Get(out, false), 1);
    int result = 0;
    std::thread reader([&] { result = queue.Get(out, true); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    queue.Abort();
    reader.join();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(queue.Get(out, false), -1);
}

TEST(DisplayGeometry, PictureRectangles) {
    const TRect panel{0, 0, 313, 190};
    struct Case {
        float setting;
        int width, height, sarNum, sarDen;
        TRect area;
        TRect expected;
    } cases[] = {
        {0, 640, 480, 0, 1, panel, {30, 0, 252, 190}},
        {0, 640, 480, 1, 1, panel, {30, 0, 252, 190}},
        {-1, 640, 480, 1, 1, panel, {0, 0, 312, 190}},      // fills (the width is even)
        {1, 640, 480, 1, 1, panel, {61, 0, 190, 190}},      // forced 1:1
        {0, 1920, 1080, 1, 1, panel, {0, 7, 313, 176}},     // wider than the panel
        {1.777f, 720, 576, 1, 1, panel, {0, 7, 313, 176}},  // forced 16:9
        // 720 x 576 with pixels of 16:15 is 768 x 576 before fitting
        {0, 720, 576, 16, 15, {0, 0, 768, 576}, {0, 0, 768, 576}},
        {0, 720, 576, 16, 15, {0, 0, 1000, 576}, {116, 0, 768, 576}},
        {0, 318, 238, 0, 0, {0, 0, 320, 240}, {0, 0, 320, 240}},  // unknown pixel aspect: square
    };
    for (const Case& c : cases) {
        const double aspect =
            PictureAspect(c.setting, c.width, c.height, c.sarNum, c.sarDen, c.area);
        EXPECT_EQ(PictureRectangle(c.area, aspect), c.expected)
            << c.setting << " " << c.width << "x" << c.height;
    }
}

TEST(SubtitleBlend, PaletteBecomesLimitedRangeYuv) {
    struct Case {
        std::uint32_t argb, ayuv;
    } cases[] = {
        {0xFF000000, 0xFF108080},  // black
        {0xFFFFFFFF, 0xFFEB8080},  // white
        {0x80FF0000, 0x80515AF0},  // half-transparent red
    };
    for (const Case& c : cases)
        EXPECT_EQ(PaletteColourToAyuv(c.argb), c.ayuv) << std::hex << c.argb;
}

TEST(SubtitleBlend, OpaqueRectangleReplacesItsAreaOnly) {
    // A 4 x 4 grey picture; an opaque 3 x 3 rectangle of one colour at (1, 1).
    std::uint8_t y[16], u[4], v[4];
    std::fill(std::begin(y), std::end(y), 100);
    std::fill(std::begin(u), std::end(u), 128);
    std::fill(std::begin(v), std::end(v), 128);
    TYuvPicture picture{{y, u, v}, {4, 2, 2}, 4, 4};
    std::uint8_t indexes[9] = {};
    std::uint32_t palette[1] = {0xFF00C8F0};  // alpha 255, Y 0, U 200, V 240
    AVSubtitleRect rect{};
    rect.x = rect.y = 1;
    rect.w = rect.h = 3;
    rect.nb_colors = 1;
    rect.data[0] = indexes;
    rect.data[1] = reinterpret_cast<std::uint8_t*>(palette);
    rect.linesize[0] = 3;
    BlendSubtitleRect(picture, rect);
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            EXPECT_EQ(y[row * 4 + col], row >= 1 && col >= 1 ? 0 : 100) << row << "," << col;
        }
    }
    // The block at (1, 1) is wholly inside: its chroma is the colour's.
    EXPECT_EQ(u[3], 200);
    EXPECT_EQ(v[3], 240);
    // One pixel of the block at (0, 0) is inside: a quarter alpha, no shift.
    EXPECT_EQ(u[0], (128 * (255 - 63) + 200 * 63) / 255);
    // Two pixels of the block at (1, 0): half the sum over a shift of one.
    EXPECT_EQ(u[1], ((128 << 1) * (255 - 127) + 400 * 127) / (255 << 1));
}

TEST(SubtitleBlend, RectangleLargerThanThePictureIsLimited) {
    std::uint8_t y[4] = {50, 50, 50, 50}, u[1] = {128}, v[1] = {128};
    TYuvPicture picture{{y, u, v}, {2, 1, 1}, 2, 2};
    std::uint8_t indexes[25] = {};
    std::uint32_t palette[1] = {0xFF400000};
    AVSubtitleRect rect{};
    rect.x = 7;
    rect.y = 9;
    rect.w = rect.h = 5;
    rect.data[0] = indexes;
    rect.data[1] = reinterpret_cast<std::uint8_t*>(palette);
    rect.linesize[0] = 5;
    BlendSubtitleRect(picture, rect);
    for (std::uint8_t value : y) EXPECT_EQ(value, 0x40);
}

TEST(Seeking, TargetIsLimitedOnlyByAKnownDuration) {
    struct Case {
        std::int64_t position, duration, start, target;
    } cases[] = {
        {30000000, 60000000, 0, 30000000},
        {90000000, 60000000, 0, 60000000},  // beyond the end: the end
        {90000000, -1, 0, 90000000},        // unknown duration: as asked
        {-5, 60000000, 0, 0},
        {1000000, 60000000, 1400000, 2400000},  // the file's start time is added
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SeekTarget(c.position, c.duration, c.start), c.target) << c.position;
    }
}

}  // namespace
}  // namespace zorvex
