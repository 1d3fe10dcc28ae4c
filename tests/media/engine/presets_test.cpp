// Presets: every built-in libx264 preset really configures the encoder, and
// preset names and files are found and refused as they should be.
#include "media/engine/presets.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>

#include "media/ffapi.h"
#include "tests/media/engine/engine_fixture.h"

namespace zorvex::test {
namespace {

// Opens the prepared encoder of the output's video stream, encodes one small
// frame and returns libx264's own account of its settings (written into the
// stream as "options: key=value ...") with the level of the sequence header.
std::map<std::string, std::string> X264Settings(TOutputStream& stream) {
    std::map<std::string, std::string> settings;
    AVCodecContext* c = stream.Codec.get();
    c->width = 64;
    c->height = 64;
    if (ff::avcodec_open2(c, stream.Encoder, nullptr) < 0) return settings;
    FramePtr frame(ff::av_frame_alloc());
    frame->width = 64;
    frame->height = 64;
    frame->format = c->pix_fmt;
    ff::av_frame_get_buffer(frame.get(), 0);
    for (int p = 0; p < 3; ++p)
        std::memset(frame->data[p], 128, static_cast<size_t>(frame->linesize[p]) * (p ? 32 : 64));
    frame->pts = 0;
    ff::avcodec_send_frame(c, frame.get());
    ff::avcodec_send_frame(c, nullptr);
    std::string bytes(reinterpret_cast<const char*>(c->extradata),
                      static_cast<size_t>(c->extradata_size));
    PacketPtr packet(ff::av_packet_alloc());
    while (ff::avcodec_receive_packet(c, packet.get()) == 0) {
        bytes.append(reinterpret_cast<const char*>(packet->data),
                     static_cast<size_t>(packet->size));
        ff::av_packet_unref(packet.get());
    }
    const size_t at = bytes.find("options: ");
    if (at != std::string::npos) {
        std::istringstream words(bytes.substr(at + 9, bytes.find('\0', at) - at - 9));
        std::string word;
        while (words >> word) {
            const size_t eq = word.find('=');
            if (eq != std::string::npos) settings[word.substr(0, eq)] = word.substr(eq + 1);
        }
    }
    const size_t sps = bytes.find(std::string("\0\0\1\x67", 4));
    if (sps != std::string::npos && sps + 7 <= bytes.size()) {
        settings["level_idc"] = std::to_string(static_cast<unsigned char>(bytes[sps + 6]));
    }
    return settings;
}

class PresetTest : public EngineTest {
protected:
    // The output's single video stream with the presets applied.
    TOutputStream* VideoStream(const std::vector<std::string>& presets) {
        Option("vcodec", "libx264");
        for (const std::string& p : presets) Option("vpre", p);
        const int outputs = engine.AddOutputFile(dir_.File("out.h264"), false);
        EXPECT_EQ(outputs, 1) << engine.LastError();
        if (outputs != 1) return nullptr;
        return &engine.OutputFiles[0]->Streams.at(0);
    }
    TempDir dir_;
};

// Settings libx264 reports for each built-in preset. x264 adjusts a few itself:
// 4x4 intra blocks are always allowed (analyse=0x1:..., where the second mask
// holds the intra bits too), and the search range stays 16 for dia and hex.
const std::map<std::string, std::string>& ExpectedX264() {
    static const std::map<std::string, std::string> expected = {
        {"baseline", "cabac=0 bframes=0 8x8dct=0 weightp=0"},
        {"default",
         "cabac=1 ref=3 subme=7 me=hex me_range=16 bframes=3 b_pyramid=0 b_adapt=1 mixed_ref=1 "
         "weightb=1 8x8dct=1 fast_pskip=1 trellis=1 direct=1 weightp=2 analyse=0x3:0x113"},
        {"fast",
         "cabac=1 ref=2 subme=6 me=hex bframes=3 b_pyramid=2 mixed_ref=1 weightb=1 8x8dct=1 "
         "trellis=1 weightp=2"},
        {"fast_firstpass",
         "ref=1 subme=2 me=dia bframes=3 b_pyramid=2 mixed_ref=0 weightb=1 8x8dct=0 trellis=0 "
         "analyse=0x1:0"},
        {"faster", "ref=2 subme=4 me=hex mixed_ref=0 weightb=1 8x8dct=1 weightp=1"},
        {"faster_firstpass", "ref=1 subme=2 me=dia 8x8dct=0 weightp=1 analyse=0x1:0"},
        {"fastfirstpass",
         "ref=1 subme=2 me=dia b_pyramid=0 weightb=0 8x8dct=0 direct=3 analyse=0x1:0"},
        {"hq", "ref=4 subme=8 me=umh b_adapt=2 b_pyramid=0 mixed_ref=1 direct=3"},
        {"ipod320",
         "cabac=0 bframes=0 8x8dct=0 weightp=0 vbv_maxrate=768 vbv_bufsize=3000 level_idc=13"},
        {"ipod640",
         "cabac=0 ref=1 bframes=0 8x8dct=0 weightp=0 vbv_maxrate=10000 vbv_bufsize=10000 "
         "level_idc=30"},
        {"lossless_fast", "cabac=0 subme=3 me=hex rc=cqp qp=0 analyse=0x1:0x11"},
        {"lossless_max", "cabac=1 ref=16 subme=8 me=esa rc=cqp qp=0 mixed_ref=1 8x8dct=1"},
        {"lossless_medium", "cabac=1 subme=5 me=hex rc=cqp qp=0 analyse=0x1:0x31"},
        {"lossless_slow", "cabac=1 ref=2 subme=6 me=umh rc=cqp qp=0 8x8dct=1"},
        {"lossless_slower", "cabac=1 ref=4 subme=8 me=umh rc=cqp qp=0"},
        {"lossless_ultrafast", "cabac=0 subme=0 me=dia rc=cqp qp=0 analyse=0x1:0"},
        {"main", "8x8dct=0"},
        {"max", "ref=16 subme=10 me=tesa me_range=24 b_adapt=2 fast_pskip=0 trellis=2 direct=3"},
        {"medium",
         "cabac=1 ref=3 subme=7 me=hex me_range=16 bframes=3 b_pyramid=2 b_adapt=1 mixed_ref=1 "
         "weightb=1 8x8dct=1 fast_pskip=1 trellis=1 direct=1 weightp=2 keyint=250 keyint_min=25 "
         "scenecut=40 qpmin=10 qpmax=51 qpstep=4 qcomp=0.60 ip_ratio=1.41 chroma_me=1 "
         "deblock=1:0:0 mbtree=1"},
        {"medium_firstpass", "ref=1 subme=2 me=dia analyse=0x1:0 8x8dct=0 trellis=0"},
        {"normal", "ref=2 subme=6 me=hex b_pyramid=0 mixed_ref=0 direct=3 trellis=0"},
        {"placebo",
         "ref=16 subme=10 me=tesa me_range=24 bframes=16 b_adapt=2 fast_pskip=0 trellis=2"},
        {"placebo_firstpass", "ref=16 subme=10 me=tesa bframes=16 trellis=2"},
        {"slow", "ref=5 subme=8 me=umh b_adapt=2 direct=3 trellis=1"},
        {"slow_firstpass", "ref=1 subme=2 me=dia b_adapt=2 direct=3 trellis=0 analyse=0x1:0"},
        {"slower", "ref=8 subme=9 me=umh trellis=2 analyse=0x3:0x133"},
        {"slower_firstpass", "ref=1 subme=2 me=dia trellis=0"},
        {"slowfirstpass", "ref=1 subme=6 me=hex b_pyramid=0 direct=3 trellis=0"},
        {"superfast",
         "ref=1 subme=1 me=dia mixed_ref=0 8x8dct=1 mbtree=0 weightp=0 analyse=0x3:0x3"},
        {"superfast_firstpass", "ref=1 subme=1 me=dia 8x8dct=0 mbtree=0 weightp=0 analyse=0x1:0"},
        {"ultrafast",
         "cabac=0 ref=1 subme=0 me=dia bframes=0 deblock=0:0:0 scenecut=0 8x8dct=0 mbtree=0 "
         "weightp=0 analyse=0x1:0"},
        {"ultrafast_firstpass",
         "cabac=0 ref=1 subme=0 me=dia bframes=0 deblock=0:0:0 scenecut=0 mbtree=0"},
        {"veryfast", "ref=1 subme=2 me=hex mixed_ref=0 8x8dct=1 mbtree=0 weightp=0"},
        {"veryfast_firstpass", "ref=1 subme=2 me=dia 8x8dct=0 mbtree=0 weightp=0"},
        {"veryslow", "ref=16 subme=10 me=umh me_range=24 bframes=8 b_adapt=2 trellis=2"},
        {"veryslow_firstpass", "ref=1 subme=2 me=dia bframes=8 trellis=0"},
    };
    return expected;
}

class BuiltInPresetTest : public PresetTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(BuiltInPresetTest, ReachesTheEncoder) {
    const std::string name = GetParam();
    TOutputStream* stream = VideoStream({name});
    ASSERT_NE(stream, nullptr);
    ASSERT_NE(stream->Encoder, nullptr);
    ASSERT_STREQ(stream->Encoder->name, "libx264");
    const auto settings = X264Settings(*stream);
    ASSERT_FALSE(settings.empty()) << "libx264 did not open";

    std::istringstream expected(ExpectedX264().at(name));
    std::string pair;
    while (expected >> pair) {
        const std::string key = pair.substr(0, pair.find('='));
        const auto found = settings.find(key);
        ASSERT_NE(found, settings.end()) << key;
        EXPECT_EQ(key + "=" + found->second, pair);
    }
}

std::vector<std::string> ShortNames() {
    std::vector<std::string> names;
    for (const auto& [name, text] : BuiltInPresets())
        names.push_back(name.substr(8));  // after "libx264-"
    return names;
}

INSTANTIATE_TEST_SUITE_P(AllPresets, BuiltInPresetTest, ::testing::ValuesIn(ShortNames()),
                         [](const auto& info) { return info.param; });

TEST_F(PresetTest, TableHoldsTheNamesInOrder) {
    const auto& table = BuiltInPresets();
    ASSERT_EQ(table.size(), ExpectedX264().size());
    for (size_t i = 1; i < table.size(); ++i) EXPECT_LT(table[i - 1].first, table[i].first);
    for (const auto& [name, text] : table)
        EXPECT_TRUE(ExpectedX264().count(name.substr(8))) << name;
    // The lossless presets without "refs" and "wpredp" lines.
    for (const auto& [name, text] : table) {
        if (name == "libx264-lossless_ultrafast") {
            EXPECT_EQ(std::count(text.begin(), text.end(), '\n') + 1, 19);
        }
        if (name == "libx264-medium") {
            EXPECT_EQ(std::count(text.begin(), text.end(), '\n') + 1, 22);
        }
    }
}

TEST_F(PresetTest, PresetsCombineAsTheyAlwaysDid) {
    // "main" after "medium" turns 8x8 transforms off and keeps the rest of "medium".
    TOutputStream* stream = VideoStream({"medium", "main"});
    ASSERT_NE(stream, nullptr);
    const auto settings = X264Settings(*stream);
    EXPECT_EQ(settings.at("8x8dct"), "0");
    EXPECT_EQ(settings.at("b_pyramid"), "2");
    EXPECT_EQ(settings.at("mixed_ref"), "1");
    EXPECT_EQ(settings.at("ref"), "3");
}

TEST_F(PresetTest, NamesAndFiles) {
    Option("vcodec", "libx264");
    Option("vpre", "LIBX264-MEDIUM");
    Option("vpre", "medium");
    EXPECT_EQ(engine.Settings.VideoCodecName, "libx264");

    engine.Reset();
    EXPECT_EQ(OptionError("vpre", "medium"), "Preset \"medium\" not found");
    EXPECT_EQ(OptionError("fpre", "libx264-medium"), "Preset \"libx264-medium\" not found");
    Option("vpre", "");  // an empty name does nothing

    const std::string good = dir_.File("good.ffpreset");
    WriteFile(good, "  g=120\r\n\r\nvcodec=mpeg4\rqmin=3\n");
    Option("fpre", good);
    EXPECT_EQ(engine.CodecOptions[skVideo]->gop_size, 120);
    EXPECT_EQ(engine.CodecOptions[skVideo]->qmin, 3);
    EXPECT_EQ(engine.Settings.VideoCodecName, "mpeg4");

    const std::string noEquals = dir_.File("bad1.ffpreset");
    WriteFile(noEquals, "g=12\nqmax\n");
    EXPECT_EQ(OptionError("fpre", noEquals), noEquals + ": Invalid syntax: \"qmax\"");
    const std::string noValue = dir_.File("bad2.ffpreset");
    WriteFile(noValue, "qmax=\n");
    EXPECT_EQ(OptionError("fpre", noValue), noValue + ": Invalid syntax: \"qmax=\"");
    const std::string unknown = dir_.File("bad3.ffpreset");
    WriteFile(unknown, "no_such_key=1\n");
    EXPECT_EQ(
        OptionError("fpre", unknown),
        unknown +
            ": Invalid option or argument: \"no_such_key=1\", parsed as \"no_such_key\" = \"1\"");
    // The same name given as an option is silently ignored.
    Option("no_such_key", "1");

    // A preset named after the codec: "vpre=<file>" with a codec set tries
    // "<codec>-<name>" first and then reads the file.
    Option("vcodec", "mpeg4");
    Option("vpre", good);
    EXPECT_EQ(OptionError("vpre", dir_.File("missing")),
              "Preset \"" + dir_.File("missing") + "\" not found");
}

// A preset named by path is read only from a readable regular file, and a file
// that is no preset is quoted only up to where its first line went wrong.
TEST_F(PresetTest, PathsReadOnlyRegularFilesAndQuoteNoFurtherThanTheError) {
    for (const std::string& path : {dir_.Path(), std::string("/dev/zero"), dir_.File("none")}) {
        EXPECT_EQ(OptionError("apre", path), "Preset \"" + path + "\" not found");
    }
    struct Case {
        const char* content;
        const char* quoted;
    } cases[] = {
        {"root:x:0:0:root:/root:/bin/bash\nsecret=1\n", "root:"},
        {"b = 800000\n", "b "},
        {"=hunter2\n", "="},
        {"g=12\nline without equals\n", "line "},
        {"qmax\n", "qmax"},
        {"qmax=\n", "qmax="},
    };
    const std::string file = dir_.File("passwd");
    for (const Case& c : cases) {
        WriteFile(file, c.content);
        EXPECT_EQ(OptionError("apre", file),
                  file + ": Invalid syntax: \"" + std::string(c.quoted) + "\"")
            << c.content;
    }
}

}  // namespace
}  // namespace zorvex::test
