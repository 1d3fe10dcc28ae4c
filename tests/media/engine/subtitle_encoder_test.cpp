#include "media/engine/subtitle_encoder.h"

#include <gtest/gtest.h>

#include <cstring>

#include "media/loader.h"
#include "tests/support/fixtures.h"

namespace zorvex {
namespace {

class SubtitleEncoderTest : public ::testing::Test {
protected:
    void SetUp() override { test::LoadConverterLibrariesOrFail(); }

    static CodecContextPtr Open(const char* name) {
        const AVCodec* codec = ff::avcodec_find_encoder_by_name(name);
        if (codec == nullptr) return nullptr;
        CodecContextPtr c(ff::avcodec_alloc_context3(codec));
        c->time_base = {1, 1000};
        c->width = 720;
        c->height = 576;
        // Text encoders read their styles from the ASS header a decoder gives.
        static const char header[] =
            "[Script Info]\r\nScriptType: v4.00+\r\n\r\n[Events]\r\n"
            "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n";
        c->subtitle_header = static_cast<std::uint8_t*>(ff::av_mallocz(sizeof header));
        std::memcpy(c->subtitle_header, header, sizeof header);
        c->subtitle_header_size = sizeof header - 1;
        std::lock_guard lock(CodecLock());
        if (ff::avcodec_open2(c.get(), codec, nullptr) < 0) return nullptr;
        return c;
    }
};

TEST_F(SubtitleEncoderTest, TextSubtitleTimedFromItsPacket) {
    auto encoder = Open("subrip");
    ASSERT_TRUE(encoder);
    AVSubtitleRect rect{};
    char line[] = "0,0,Default,,0,0,0,,Hello";
    rect.type = SUBTITLE_ASS;
    rect.ass = line;
    AVSubtitleRect* rects[] = {&rect};
    AVSubtitle sub{};
    sub.num_rects = 1;
    sub.rects = rects;
    sub.start_display_time = 500;  // ms after the packet
    sub.end_display_time = 2500;

    SubtitleEncoder s;
    std::vector<PacketPtr> out;
    ASSERT_TRUE(s.Encode(encoder.get(), sub, 1000000, {1, 1000}, out)) << s.LastError();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out[0]->data), out[0]->size), "Hello");
    EXPECT_EQ(out[0]->pts, 1500);
    EXPECT_EQ(out[0]->duration, 2000);
    EXPECT_EQ(sub.start_display_time, 500u);  // the caller's subtitle is unchanged

    EXPECT_FALSE(s.Encode(encoder.get(), sub, NoPtsValue, {1, 1000}, out));
    EXPECT_EQ(s.LastError(), "Subtitle packets must have a pts");
    EXPECT_EQ(out.size(), 1u);
}

TEST_F(SubtitleEncoderTest, DvbSubtitleIsDrawnThenCleared) {
    auto encoder = Open("dvbsub");
    ASSERT_TRUE(encoder);
    std::uint8_t pixels[8 * 4];
    for (int i = 0; i < 32; ++i) pixels[i] = static_cast<std::uint8_t>(i % 4);
    std::uint32_t palette[4] = {0x00000000, 0xffffffff, 0xff000000, 0xffff0000};
    AVSubtitleRect rect{};
    rect.type = SUBTITLE_BITMAP;
    rect.x = 10;
    rect.y = 20;
    rect.w = 8;
    rect.h = 4;
    rect.nb_colors = 4;
    rect.data[0] = pixels;
    rect.linesize[0] = 8;
    rect.data[1] = reinterpret_cast<std::uint8_t*>(palette);
    rect.linesize[1] = 16;
    AVSubtitleRect* rects[] = {&rect};
    AVSubtitle sub{};
    sub.num_rects = 1;
    sub.rects = rects;
    sub.start_display_time = 0;
    sub.end_display_time = 3000;

    SubtitleEncoder s;
    std::vector<PacketPtr> out;
    ASSERT_TRUE(s.Encode(encoder.get(), sub, 2000000, {1, 90000}, out)) << s.LastError();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0]->pts, 180000);
    EXPECT_EQ(out[1]->pts, 180000 + 90 * 3000);
    EXPECT_GT(out[0]->size, out[1]->size);  // the second carries no picture
    EXPECT_EQ(sub.num_rects, 1u);
}

}  // namespace
}  // namespace zorvex
