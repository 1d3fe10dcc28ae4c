#include "media/engine/bitstream_filters.h"

#include <gtest/gtest.h>

#include "tests/support/fixtures.h"

namespace zorvex {
namespace {

// The first packets of a fixture's only stream, with its parameters.
struct Packets {
    std::vector<PacketPtr> packets;
    AVCodecParameters* parameters = nullptr;
    AVRational timeBase{0, 1};
    ~Packets() { ff::avcodec_parameters_free(&parameters); }
};

void ReadPackets(const std::string& path, size_t count, Packets& out) {
    AVFormatContext* raw = nullptr;
    ASSERT_GE(ff::avformat_open_input(&raw, path.c_str(), nullptr, nullptr), 0) << path;
    InputContextPtr input(raw);
    ASSERT_GE(ff::avformat_find_stream_info(raw, nullptr), 0);
    out.parameters = ff::avcodec_parameters_alloc();
    ff::avcodec_parameters_copy(out.parameters, raw->streams[0]->codecpar);
    out.timeBase = raw->streams[0]->time_base;
    while (out.packets.size() < count) {
        PacketPtr p(ff::av_packet_alloc());
        if (ff::av_read_frame(raw, p.get()) < 0) break;
        out.packets.push_back(std::move(p));
    }
}

PacketPtr Clone(const PacketPtr& p) {
    return PacketPtr(ff::av_packet_clone(p.get()));
}

class BitstreamFiltersTest : public ::testing::Test {
protected:
    void SetUp() override { test::LoadConverterLibrariesOrFail(); }
};

TEST_F(BitstreamFiltersTest, Mp4ToAnnexBWritesStartCodesAndParameterSets) {
    Packets in;
    ReadPackets(
        test::Fixture("bsf_h264_1s.mp4",
                      "-f lavfi -i testsrc=size=64x48:rate=10 -t 1 -c:v libx264 -pix_fmt yuv420p"),
        3, in);
    ASSERT_EQ(in.packets.size(), 3u);
    ASSERT_NE(std::vector<std::uint8_t>(in.packets[0]->data, in.packets[0]->data + 4),
              (std::vector<std::uint8_t>{0, 0, 0, 1}));  // length-prefixed in MP4

    BitstreamFilterChain chain;
    ASSERT_TRUE(chain.AddList("h264_mp4toannexb,dump_extra"));
    EXPECT_EQ(chain.Names(), (std::vector<std::string>{"h264_mp4toannexb", "dump_extra"}));
    ASSERT_TRUE(chain.Init(in.parameters, in.timeBase, 0, "copy")) << chain.LastError();
    std::vector<PacketPtr> out;
    for (auto& p : in.packets) ASSERT_TRUE(chain.Filter(Clone(p), out)) << chain.LastError();
    ASSERT_TRUE(chain.Flush(out));
    ASSERT_EQ(out.size(), 3u);
    for (auto& p : out) {
        ASSERT_GE(p->size, 5);
        EXPECT_EQ(std::vector<std::uint8_t>(p->data, p->data + 4),
                  (std::vector<std::uint8_t>{0, 0, 0, 1}));
    }
    EXPECT_EQ(out[0]->data[4] & 0x1f, 7);  // the key frame starts with its SPS
    EXPECT_EQ(out[0]->pts, in.packets[0]->pts);
}

TEST_F(BitstreamFiltersTest, AdtsToAscStripsHeadersAndRecoversFromABadPacket) {
    Packets in;
    ReadPackets(test::Fixture("bsf_aac_1s.aac",
                              "-f lavfi -i sine=frequency=440:sample_rate=44100 -t 1 -c:a aac"),
                2, in);
    ASSERT_EQ(in.packets.size(), 2u);
    ASSERT_EQ(in.packets[0]->data[0], 0xFF);  // ADTS sync word

    BitstreamFilterChain chain;
    ASSERT_TRUE(chain.Add("aac_adtstoasc"));
    ASSERT_TRUE(chain.Init(in.parameters, in.timeBase, 1, "copy")) << chain.LastError();
    std::vector<PacketPtr> out;
    ASSERT_TRUE(chain.Filter(Clone(in.packets[0]), out)) << chain.LastError();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0]->size, in.packets[0]->size - 7);
    EXPECT_NE(out[0]->data[0], 0xFF);

    // A packet with a sync word but no room for a header: written as it came.
    PacketPtr bad(ff::av_packet_alloc());
    ASSERT_EQ(ff::av_new_packet(bad.get(), 3), 0);
    bad->data[0] = 0xFF;
    bad->data[1] = 0xF1;
    bad->data[2] = 0x50;
    bad->pts = 1234;
    out.clear();
    EXPECT_FALSE(chain.Filter(std::move(bad), out));
    EXPECT_EQ(chain.LastError(),
              "aac_adtstoasc failed for stream 1, codec copy: Invalid data found when processing "
              "input");
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0]->size, 3);
    EXPECT_EQ(out[0]->data[0], 0xFF);
    EXPECT_EQ(out[0]->pts, 1234);

    out.clear();
    EXPECT_TRUE(chain.Filter(Clone(in.packets[1]), out)) << chain.LastError();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0]->size, in.packets[1]->size - 7);
}

TEST_F(BitstreamFiltersTest, NamesAndRefusals) {
    BitstreamFilterChain chain;
    EXPECT_TRUE(chain.Add(""));
    EXPECT_TRUE(chain.Add("=noise"));
    EXPECT_TRUE(chain.Empty());
    EXPECT_TRUE(chain.Add("noise=100"));  // options after "=" are not used
    EXPECT_EQ(chain.Names(), std::vector<std::string>{"noise"});
    EXPECT_FALSE(chain.Add(" nosuchfilter=1 "));
    EXPECT_EQ(chain.LastError(), "Unknown bitstream filter nosuchfilter=1");
    EXPECT_FALSE(chain.AddList("dump_extra,h265_nothing"));
    EXPECT_EQ(chain.LastError(), "Unknown bitstream filter h265_nothing");

    // A filter that does not take the stream's codec refuses it at Init.
    BitstreamFilterChain h264;
    ASSERT_TRUE(h264.Add("h264_mp4toannexb"));
    AVCodecParameters* audio = ff::avcodec_parameters_alloc();
    audio->codec_type = AVMEDIA_TYPE_AUDIO;
    audio->codec_id = AV_CODEC_ID_AAC;
    EXPECT_FALSE(h264.Init(audio, {1, 44100}, 2, "aac"));
    ff::avcodec_parameters_free(&audio);
    EXPECT_EQ(
        h264.LastError().rfind(
            "Error initializing bitstream filter h264_mp4toannexb for stream 2, codec aac: ", 0),
        0u)
        << h264.LastError();
    std::vector<PacketPtr> out;
    PacketPtr p(ff::av_packet_alloc());
    EXPECT_FALSE(h264.Filter(std::move(p), out));  // never initialised: passed through
    EXPECT_EQ(out.size(), 1u);

    // An empty chain passes packets through.
    BitstreamFilterChain none;
    AVCodecParameters* video = ff::avcodec_parameters_alloc();
    video->codec_type = AVMEDIA_TYPE_VIDEO;
    video->codec_id = AV_CODEC_ID_MPEG4;
    ASSERT_TRUE(none.Init(video, {1, 25}, 0, "mpeg4"));
    ff::avcodec_parameters_free(&video);
    EXPECT_EQ(none.OutputParameters()->codec_id, AV_CODEC_ID_MPEG4);
    EXPECT_EQ(none.OutputTimeBase().den, 25);
    out.clear();
    EXPECT_TRUE(none.Filter(PacketPtr(ff::av_packet_alloc()), out));
    EXPECT_EQ(out.size(), 1u);
}

}  // namespace
}  // namespace zorvex
