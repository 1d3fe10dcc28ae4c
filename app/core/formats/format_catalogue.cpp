// The catalogue's data: the named choice lists, one row per format, the few
// per-format extras (extension tags, forced containers, disc targets) and the
// encoder-change rules. Lookups build their indexes once, on first use.
#include "app/core/formats/format_catalogue.h"

#include <map>
#include <set>

namespace zorvex::app {
namespace {

// Named lists, items in display order.
const std::vector<ChoiceList>& NamedLists() {
    static const std::vector<ChoiceList> lists = {
        {"E1", {"PAL_VCD视频压缩器", "NTSC_VCD视频压缩器"}},
        {"E2", {"PAL_SVCD视频压缩器", "NTSC_SVCD视频压缩器"}},
        {"E3", {"VOB视频压缩器"}},
        {"E4", {"PAL_DVD视频压缩器", "NTSC_DVD视频压缩器"}},
        {"E5",
         {"Divx 5 视频压缩器", "MPEG4视频压缩器", "XviD 视频压缩器1", "XviD 视频压缩器2",
          "H264/AVC高清视频压缩器"}},
        {"E6",
         {"MPEG4视频压缩器", "XviD 视频压缩器1", "XviD 视频压缩器2", "Divx 5 视频压缩器",
          "H264/AVC高清视频压缩器"}},
        {"E7",
         {"MPEG4视频压缩器", "Divx 5 视频压缩器", "XviD 视频压缩器1", "XviD 视频压缩器2",
          "H264/AVC高清视频压缩器"}},
        {"E8",
         {"H264/AVC高清视频压缩器", "Divx 5 视频压缩器", "MPEG4 视频压缩器", "XviD 视频压缩器1",
          "XviD 视频压缩器2", "Divx 视频压缩器"}},
        {"E9", {"QuickTime视频压缩器"}},
        {"E10", {"FLV格式视频压缩器"}},
        {"E11", {"FLASH格式视频压缩器"}},
        {"E12", {"MPEG视频压缩器"}},
        {"E13",
         {"Divx 5 视频压缩器", "MPEG4 视频压缩器", "XviD 视频压缩器1", "XviD 视频压缩器2",
          "Divx 视频压缩器", "H264/AVC高清视频压缩器"}},
        {"E14",
         {"H264/AVC高清视频压缩器", "Divx 5 视频压缩器", "MPEG4 视频压缩器", "XviD 视频压缩器1",
          "XviD 视频压缩器2", "Divx 视频压缩器", "Mjpeg 视频压缩器"}},
        {"E15",
         {"Divx 5 视频压缩器", "MPEG4 视频压缩器", "XviD 视频压缩器1", "XviD 视频压缩器2",
          "Divx 视频压缩器", "Mjpeg 视频压缩器", "H264/AVC高清视频压缩器"}},
        {"E16",
         {"MPEG4视频压缩器", "XviD 视频压缩器1", "XviD 视频压缩器2", "H264/AVC高清视频压缩器",
          "Divx 5 视频压缩器"}},
        {"E17", {"RM视频压缩器1", "RM视频压缩器2"}},
        {"E18", {"WMV视频压缩器"}},
        {"E19", {"ASF视频压缩器"}},
        {"E20", {"Mjpeg 视频压缩器"}},
        {"E21", {"该格式无视频"}},
        {"B1",
         {"128 kbps(超低质量)", "288 kbps(低质量)", "528 kbps(中等质量)", "816 kbps(高质量)",
          "1200 kbps(很高质量)", "1600 kbps(极高质量)", "1800 kbps(极高质量)",
          "2000 kbps(极高质量)"}},
        {"B2",
         {"128 kbps(超低质量)", "288 kbps(低质量)", "528 kbps(中等质量)", "816 kbps(高质量)",
          "1200 kbps(很高质量)", "1600 kbps(极高质量)", "1800 kbps(极高质量)",
          "2000 kbps(极高质量)", "2500 kbps(极高质量)", "3000 kbps(极高质量)"}},
        {"B3",
         {"192 kbps (超低质量)", "384 kbps (低质量)", "528 kbps (中等质量)", "600 kbps (中等质量)",
          "768 kbps (高质量)", "816 kbps (高质量)", "1000 kbps (很高质量)", "1200 kbps (很高质量)",
          "1500 kbps (很高质量)", "1800 kbps(极高质量)", "2000 kbps(极高质量)",
          "2500 kbps(极高质量)", "3000 kbps(极高质量)"}},
        {"B4",
         {"768 kbps (高质量)", "816 kbps (高质量)", "1000 kbps (很高质量)", "1200 kbps (很高质量)",
          "1500 kbps (很高质量)", "1800 kbps(极高质量)", "2000 kbps(极高质量)",
          "2500 kbps(极高质量)", "3000 kbps(极高质量)", "3500 kbps(极高质量)"}},
        {"B5",
         {"192 kbps (超低质量)", "384 kbps (低质量)", "528 kbps (中等质量)", "600 kbps (中等质量)",
          "768 kbps (高质量)", "816 kbps (高质量)", "1000 kbps (很高质量)", "1200 kbps (很高质量)",
          "1500 kbps (很高质量)", "1800 kbps(极高质量)", "2000 kbps(极高质量)",
          "2500 kbps(极高质量)", "3000 kbps(极高质量)", "3500 kbps(极高质量)"}},
        {"B6",
         {"128 kbps(超低质量)", "288 kbps(低质量)", "528 kbps(中等质量)", "816 kbps(高质量)",
          "1000 kbps(高质量)", "1200 kbps(很高质量)", "1600 kbps(极高质量)", "1800 kbps(极高质量)",
          "2000 kbps(极高质量)", "2500 kbps(极高质量)", "3000 kbps(极高质量)"}},
        {"B7",
         {"128 kbps(超低质量)", "288 kbps(低质量)", "528 kbps(中等质量)", "816 kbps(高质量)",
          "1000 kbps(高质量)", "1200 kbps(很高质量)", "1600 kbps(极高质量)", "1800 kbps(极高质量)",
          "2000 kbps(极高质量)", "2500 kbps(极高质量)", "3000 kbps(极高质量)",
          "3500 kbps(极高质量)", "4000 kbps(极高质量)"}},
        {"B8",
         {"216 kbps(超低质量)", "384 kbps(低质量)", "512 kbps(中等质量)", "768 kbps(高质量)",
          "1500 kbps(很高质量)"}},
        {"B9",
         {"216 kbps(超低质量)", "384 kbps(低质量)", "512 kbps(中等质量)", "768 kbps(高质量)",
          "1000 kbps(很高质量)", "1200 kbps(很高质量)", "1400 kbps(很高质量)",
          "1500 kbps(很高质量)", "1600 kbps(极高质量)", "1800 kbps(极高质量)",
          "2000 kbps(极高质量)", "2500 kbps(极高质量)"}},
        {"B10",
         {"192 kbps (超低质量)", "384 kbps (低质量)", "600 kbps (中等质量)", "768 kbps (高质量)",
          "1000 kbps (很高质量)", "1200 kbps (很高质量)", "1500 kbps (很高质量)",
          "1800 kbps(极高质量)", "2000 kbps(极高质量)"}},
        {"B11",
         {"192 kbps (超低质量)", "384 kbps (低质量)", "528 kbps (中等质量)", "600 kbps (中等质量)",
          "768 kbps (高质量)", "816 kbps (高质量)", "1000 kbps (很高质量)", "1200 kbps (很高质量)",
          "1500 kbps (很高质量)", "1800 kbps(极高质量)", "2000 kbps(极高质量)"}},
        {"B12",
         {"128 kbps(超低质量)", "288 kbps(低质量)", "528 kbps(低质量)", "816 kbps(低质量)",
          "1200 kbps(一般质量)", "1600 kbps(一般质量)", "1800 kbps(一般质量)",
          "2000 kbps(中等质量)", "3000 kbps(高质量)", "4000 kbps(高质量)", "5000 kbps(极高质量)",
          "6000 kbps(极高质量)", "7000 kbps(极高质量)", "8000 kbps(极高质量)",
          "9000 kbps(极高质量)"}},
        {"B13", {"无"}},
        {"R1",
         {"保持原分辨率", "176*144", "240*176", "320*240", "352*240", "352*288", "384*288",
          "480*480", "480*576", "640*368", "640*480", "704*480", "704*576", "720*480", "720*576",
          "1280*720"}},
        {"R2", {"保持原分辨率", "176*144",   "240*176",   "320*240",   "352*240",
                "352*288",      "384*288",   "480*480",   "480*576",   "640*368",
                "640*480",      "704*480",   "704*576",   "720*480",   "720*576",
                "1024*768",     "1280*720",  "1280*1024", "1600*1024", "1600*1200",
                "1920*1080",    "1920*1200", "1920*1600", "2048*1536", "2560*1600"}},
        {"R3",
         {"保持原分辨率", "640*480", "704*480", "704*576", "720*480", "720*576", "1024*768",
          "1280*720", "1280*1024", "1600*1024", "1600*1200", "1920*1080", "1920*1200", "1920*1600",
          "2048*1536", "2560*1600"}},
        {"R4",
         {"保持原分辨率", "1024*768", "1280*720", "1280*1024", "1600*1024", "1600*1200",
          "1920*1080", "1920*1200", "1920*1600", "2048*1536", "2560*1600"}},
        {"R5",
         {"保持原分辨率", "1024*768", "1280*720", "1280*1024", "1600*1024", "1600*1200",
          "1920*1080", "1920*1200", "1920*1600", "2048*1536", "2560*1600", "3656*2664",
          "4096*3112"}},
        {"R6",
         {"320*240 (PSP所有固件版本适用)", "368*208 (PSP 2.0或更高固件版本适用)",
          "480*272  (PSP 3.03或更高固件版本适用)", "720*480  (PSP 3.4或更高固件版本适用)"}},
        {"R7",
         {"320*240 (PSP所有固件版本适用)", "368*208 (PSP 2.0或更高固件版本适用)",
          "480*272  (PSP 3.03或更高固件版本适用)", "640*480  (PSP 3.03或更高固件版本适用)",
          "720*480  (标清SD格式)", "1280*720  (高清晰HD格式)", "1920*1080  (高清晰HD格式)"}},
        {"R8", {"128*96", "176*144", "160*120", "320*240", "352*288", "368*208", "640*480"}},
        {"R9", {"无"}},
        {"F1",
         {"保持原帧速率", "10.00", "13.00", "15.00", "18.00", "20.00", "23.00", "23.97", "24.00",
          "25.00", "29.97", "30.00"}},
        {"F2", {"10", "12", "15", "20", "23.98", "24", "25", "29.97", "30"}},
        {"F3", {"15.00", "23.98", "25", "29.97", "30.00"}},
        {"F4", {"15.00", "23.98", "29.97"}},
        {"F5", {"20.00", "23.97", "23.98", "24.00", "25.00", "29.97", "30.00"}},
        {"F6",
         {"保持原帧速率", "10.00", "13.00", "15.00", "18.00", "20.00", "23.00", "23.97", "24.00",
          "25.00", "30.00"}},
        {"F7", {"无"}},
        {"A1", {"MP3音频编码器", "Flac音频编码器", "AAC音频编码器", "AC3音频编码器"}},
        {"A2",
         {"VOB音频编码器", "MP3音频编码器", "Flac音频编码器", "AAC音频编码器", "AC3音频编码器"}},
        {"A3", {"AAC音频编码器", "MP3音频编码器", "Flac音频编码器", "AC3音频编码器"}},
        {"A4", {"AAC音频编码器"}},
        {"A5", {"AAC音频编码器", "MP3音频编码器"}},
        {"A6",
         {"MP2音频编码器", "MP3音频编码器", "Flac音频编码器", "AAC音频编码器", "AC3音频编码器"}},
        {"A7", {"自动音频编码器"}},
        {"A8", {"WMV音频编码器"}},
        {"A9", {"ASF音频编码器1", "ASF音频编码器2"}},
        {"A10", {"MP3音频编码器"}},
        {"A11", {"WMA音频编码器"}},
        {"A12", {"WAVE音频编码器"}},
        {"A13", {"AC3音频编码器"}},
        {"A14", {"OGG音频编码器"}},
        {"A15", {"MP2音频编码器"}},
        {"A16", {"Flac音频编码器"}},
        {"A17", {"RM音频编码器"}},
        {"A18", {"AMR音频编码器"}},
        {"AB1",
         {"16", "24", "32", "40", "48", "56", "64", "80", "96", "112", "128", "144", "160", "192",
          "224", "256", "320"}},
        {"AB2", {"64", "96", "128", "144", "160", "192", "224", "256", "320"}},
        {"AB3", {"64", "96", "128"}},
        {"AB4", {"自动音频比特率"}},
        {"AB5", {"4.75", "5.15", "5.9", "6.7", "7.4", "7.95", "10.2", "12.2"}},
        {"S1", {"11025", "22050", "44100", "48000"}},
        {"S2", {"11025", "22050", "32000", "44100", "48000"}},
        {"S3", {"11025", "16000", "22050", "32000", "44100", "48000"}},
        {"S4", {"24000", "32000", "44100", "48000"}},
        {"S5", {"24000"}},
        {"S6", {"11025", "22050", "44100"}},
        {"S7", {"44100", "48000"}},
        {"S8", {"自动音频采样率"}},
        {"S9", {"8000"}},
        {"M1", {"普通视频4:3模式", "宽屏视频16:9模式"}},
        {"M2", {"无"}},
        {"V1", {"无声音",       "音量降低90%",   "音量降低80%", "音量降低70%", "音量降低60%",
                "音量降低50%",  "音量降低40%",   "音量降低30%", "音量降低20%", "音量降低10%",
                "音量保持不变", "音量增加10%",   "音量增加20%", "音量增加30%", "音量增加40%",
                "音量增加50%",  "音量增加60%",   "音量增加70%", "音量增加80%", "音量增加90%",
                "音量增加1倍",  "音量增加1.5倍", "音量增加2倍", "音量增加3倍", "音量增加4倍",
                "音量增加5倍",  "音量增加6倍",   "音量增加7倍"}},
        {"C1", {"立体声", "单声道"}},
        {"C2", {"单声道"}},
        // Frame sizes offered by formats 100 and 101 after an encoder change.
        {"R10", {"128*96", "176*144", "352*288", "704*576"}},
        {"R11",
         {"112*96", "128*96", "160*112", "160*120", "176*144", "192*144", "208*176", "220*176",
          "320*208", "320*224", "320*240"}},
    };
    return lists;
}

struct Cell {
    const char* list;
    const char* item;
};

struct Row {
    int id;
    const char* caption;
    const char* extension;
    Cell video[4];  // encoder, bit rate, size, frame rate
    Cell audio[4];  // encoder, bit rate, sample rate, channels
    Cell scaling;
    FormatIcon icon;
};

constexpr Cell kStereo{"C1", "立体声"};
constexpr Cell kNormal{"M1", "普通视频4:3模式"};
constexpr Cell kWide{"M1", "宽屏视频16:9模式"};
constexpr Cell kNoScaling{"M2", "无"};
constexpr Cell kSameVolume{"V1", "音量保持不变"};
// The disabled video lists of the audio formats.
#define NO_VIDEO                                                \
    {                                                           \
        {"E21", "该格式无视频"}, {"B13", "无"}, {"R9", "无"}, { \
            "F7", "无"                                         \
        }                                                       \
    }

// Every format: id, caption, extension, then list and preselected item of each
// choice. The volume list is V1 with "音量保持不变" for all of them.
const Row kRows[] = {
    // Tab "VCD、MP4及常用格式"
    {500,
     "VCD视频格式PAL",
     ".mpg",
     {{"E1", "PAL_VCD视频压缩器"},
      {"B1", "528 kbps(中等质量)"},
      {"R1", "320*240"},
      {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S1", "48000"}, kStereo},
     kNormal,
     {FormatGlyph::Disc, "VCD", "PAL", 0xC8962A}},
    {501,
     "VCD视频格式NTSC",
     ".mpg",
     {{"E1", "NTSC_VCD视频压缩器"},
      {"B1", "528 kbps(中等质量)"},
      {"R1", "320*240"},
      {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S1", "48000"}, kStereo},
     kNormal,
     {FormatGlyph::Disc, "VCD", "NTSC", 0xC8962A}},
    {502,
     "SVCD视频格式PAL",
     ".mpg",
     {{"E2", "PAL_SVCD视频压缩器"},
      {"B1", "528 kbps(中等质量)"},
      {"R1", "480*480"},
      {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S1", "48000"}, kStereo},
     kNormal,
     {FormatGlyph::Disc, "SVCD", "PAL", 0xD9772B}},
    {503,
     "SVCD视频格式NTSC",
     ".mpg",
     {{"E2", "NTSC_SVCD视频压缩器"},
      {"B1", "528 kbps(中等质量)"},
      {"R1", "480*480"},
      {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S1", "48000"}, kStereo},
     kNormal,
     {FormatGlyph::Disc, "SVCD", "NTSC", 0xD9772B}},
    {504,
     "HD高清VOB视频",
     ".vob",
     {{"E3", "VOB视频压缩器"}, {"B2", "1600 kbps(极高质量)"}, {"R2", "1280*1024"}, {"F1", "29.97"}},
     {{"A2", "VOB音频编码器"}, {"AB1", "128"}, {"S2", "44100"}, kStereo},
     kNormal,
     {FormatGlyph::Disc, "VOB", "HD", 0x6A3FA0}},
    {505,
     "高清DVD视频格式",
     ".mpg",
     {{"E4", "PAL_DVD视频压缩器"},
      {"B1", "1200 kbps(很高质量)"},
      {"R1", "720*480"},
      {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S1", "44100"}, kStereo},
     kNormal,
     {FormatGlyph::Disc, "DVD", "HD", 0x3B5BA9}},
    {506,
     "标准MP4视频格式",
     ".mp4",
     {{"E5", "H264/AVC高清视频压缩器"},
      {"B3", "1200 kbps (很高质量)"},
      {"R2", "1024*768"},
      {"F2", "25"}},
     {{"A3", "AAC音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kNormal,
     {FormatGlyph::Film, "MP4", "", 0x2F80D1}},
    {507,
     "高清MP4格式-720P",
     ".mp4",
     {{"E5", "H264/AVC高清视频压缩器"},
      {"B3", "1500 kbps (很高质量)"},
      {"R2", "1280*720"},
      {"F2", "29.97"}},
     {{"A3", "AAC音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kNormal,
     {FormatGlyph::Film, "MP4", "720P", 0x2F80D1}},
    {508,
     "全高清MP4格式-1080P",
     ".mp4",
     {{"E5", "H264/AVC高清视频压缩器"},
      {"B3", "2000 kbps(极高质量)"},
      {"R2", "1920*1080"},
      {"F2", "30"}},
     {{"A3", "AAC音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kNormal,
     {FormatGlyph::Film, "MP4", "1080P", 0x2F80D1}},
    {509,
     "高清iPhone MP4视频",
     ".mp4",
     {{"E6", "MPEG4视频压缩器"},
      {"B4", "1800 kbps(极高质量)"},
      {"R2", "1920*1080"},
      {"F2", "29.97"}},
     {{"A4", "AAC音频编码器"}, {"AB2", "128"}, {"S4", "48000"}, kStereo},
     kNormal,
     {FormatGlyph::Phone, "iPhone", "HD", 0x6B6F76}},
    {510,
     "高清iPad MP4视频",
     ".mp4",
     {{"E7", "H264/AVC高清视频压缩器"},
      {"B4", "1800 kbps(极高质量)"},
      {"R2", "1920*1080"},
      {"F3", "30.00"}},
     {{"A4", "AAC音频编码器"}, {"AB2", "128"}, {"S5", "24000"}, kStereo},
     kNormal,
     {FormatGlyph::Tablet, "iPad", "HD", 0x6B6F76}},
    {511,
     "智能手机标准MP4视频",
     ".mp4",
     {{"E5", "MPEG4视频压缩器"}, {"B3", "1000 kbps (很高质量)"}, {"R2", "704*480"}, {"F2", "25"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Phone, "MP4", "", 0x2F80D1}},
    {512,
     "智能电视高清MP4视频",
     ".mp4",
     {{"E5", "MPEG4视频压缩器"},
      {"B3", "2000 kbps(极高质量)"},
      {"R3", "保持原分辨率"},
      {"F2", "30"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Television, "MP4", "HD", 0x2F80D1}},
    {513,
     "MP4 H264编码视频",
     ".mp4",
     {{"E5", "H264/AVC高清视频压缩器"},
      {"B5", "1800 kbps(极高质量)"},
      {"R2", "1920*1080"},
      {"F2", "30"}},
     {{"A3", "AAC音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Film, "H.264", "MP4", 0x1E9E8F}},
    {514,
     "MPEG-4视频高清晰视频",
     ".mp4",
     {{"E5", "MPEG4视频压缩器"},
      {"B3", "2000 kbps(极高质量)"},
      {"R2", "保持原分辨率"},
      {"F2", "30"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Film, "MPEG-4", "HD", 0x2F80D1}},
    {515,
     "MKV视频格式",
     ".mkv",
     {{"E6", "H264/AVC高清视频压缩器"},
      {"B2", "1600 kbps(极高质量)"},
      {"R4", "1920*1080"},
      {"F1", "保持原帧速率"}},
     {{"A3", "AAC音频编码器"}, {"AB1", "128"}, {"S6", "22050"}, kStereo},
     kWide,
     {FormatGlyph::Film, "MKV", "", 0x3E9B4F}},
    {516,
     "标准AVI视频",
     ".avi",
     {{"E8", "XviD 视频压缩器1"},
      {"B6", "1800 kbps(极高质量)"},
      {"R2", "1280*1024"},
      {"F1", "30.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Film, "AVI", "", 0xE07B2A}},
    {517,
     "HD高清晰AVI标准视频",
     ".avi",
     {{"E8", "Divx 5 视频压缩器"},
      {"B6", "1600 kbps(极高质量)"},
      {"R2", "1920*1080"},
      {"F1", "29.97"}},
     {{"A3", "AAC音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Film, "AVI", "HD", 0xE07B2A}},
    {518,
     "MOV视频格式",
     ".mov",
     {{"E9", "QuickTime视频压缩器"},
      {"B6", "1000 kbps(高质量)"},
      {"R2", "保持原分辨率"},
      {"F1", "保持原帧速率"}},
     {{"A5", "AAC音频编码器"}, {"AB1", "128"}, {"S1", "22050"}, kStereo},
     kWide,
     {FormatGlyph::Film, "MOV", "", 0x7F8794}},
    {519,
     "FLV视频格式",
     ".flv",
     {{"E10", "FLV格式视频压缩器"},
      {"B1", "528 kbps(中等质量)"},
      {"R1", "320*240"},
      {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S6", "22050"}, kStereo},
     kNormal,
     {FormatGlyph::Web, "FLV", "", 0xD1453B}},
    {520,
     "SWF视频格式",
     ".swf",
     {{"E11", "FLASH格式视频压缩器"},
      {"B1", "528 kbps(中等质量)"},
      {"R1", "320*240"},
      {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S6", "22050"}, kStereo},
     kNormal,
     {FormatGlyph::Web, "SWF", "", 0xB83A6E}},
    {521,
     "MPEG视频格式",
     ".mpg",
     {{"E12", "MPEG视频压缩器"},
      {"B3", "1200 kbps (很高质量)"},
      {"R2", "保持原分辨率"},
      {"F1", "25.00"}},
     {{"A6", "MP2音频编码器"}, {"AB1", "128"}, {"S2", "44100"}, kStereo},
     kNormal,
     {FormatGlyph::Film, "MPEG", "", 0x7B4FB0}},
    // Tab "智能设备常用视频格式"
    {100,
     "智能手机视频格式",
     ".avi",
     {{"E13", "Divx 5 视频压缩器"},
      {"B6", "1000 kbps(高质量)"},
      {"R2", "保持原分辨率"},
      {"F1", "25.00"}},
     {{"A3", "AAC音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Phone, "DivX", "AVI", 0xE07B2A}},
    {101,
     "H.264编码手机视频格式",
     ".avi",
     {{"E8", "H264/AVC高清视频压缩器"},
      {"B6", "1600 kbps(极高质量)"},
      {"R2", "保持原分辨率"},
      {"F1", "保持原帧速率"}},
     {{"A3", "AAC音频编码器"}, {"AB1", "192"}, {"S3", "48000"}, kStereo},
     kWide,
     {FormatGlyph::Phone, "H.264", "AVI", 0x1E9E8F}},
    {102,
     "安卓MP4手机视频格式",
     ".mp4",
     {{"E5", "MPEG4视频压缩器"}, {"B3", "1000 kbps (很高质量)"}, {"R2", "704*480"}, {"F2", "25"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Phone, "MP4", "Android", 0x2F80D1}},
    {103,
     "手机AVI视频格式",
     ".avi",
     {{"E13", "MPEG4 视频压缩器"},
      {"B6", "1200 kbps(很高质量)"},
      {"R2", "保持原分辨率"},
      {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Phone, "AVI", "", 0xE07B2A}},
    {104,
     "智能手机常用视频格式",
     ".mp4",
     {{"E5", "MPEG4视频压缩器"}, {"B3", "1200 kbps (很高质量)"}, {"R2", "1024*768"}, {"F2", "25"}},
     {{"A1", "AAC音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Phone, "MP4", "MPEG-4", 0x2F80D1}},
    {105,
     "HD高清手机视频格式",
     ".mp4",
     {{"E5", "MPEG4视频压缩器"},
      {"B4", "1800 kbps(极高质量)"},
      {"R2", "1920*1080"},
      {"F2", "29.97"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Phone, "MP4", "HD", 0x2F80D1}},
    {106,
     "手机MOV视频格式",
     ".mov",
     {{"E9", "QuickTime视频压缩器"},
      {"B6", "1000 kbps(高质量)"},
      {"R2", "保持原分辨率"},
      {"F1", "保持原帧速率"}},
     {{"A5", "AAC音频编码器"}, {"AB1", "128"}, {"S1", "22050"}, kStereo},
     kWide,
     {FormatGlyph::Phone, "MOV", "", 0x7F8794}},
    {107,
     "手机MKV视频格式",
     ".mkv",
     {{"E6", "MPEG4视频压缩器"},
      {"B2", "1200 kbps(很高质量)"},
      {"R2", "保持原分辨率"},
      {"F1", "保持原帧速率"}},
     {{"A1", "AAC音频编码器"}, {"AB1", "128"}, {"S6", "22050"}, kStereo},
     kWide,
     {FormatGlyph::Phone, "MKV", "", 0x3E9B4F}},
    {108,
     "平板电脑H.264视频格式",
     ".avi",
     {{"E8", "H264/AVC高清视频压缩器"},
      {"B6", "1600 kbps(极高质量)"},
      {"R2", "保持原分辨率"},
      {"F1", "保持原帧速率"}},
     {{"A1", "AAC音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Tablet, "H.264", "AVI", 0x1E9E8F}},
    {109,
     "平板电脑MPEG-4视频格式",
     ".mp4",
     {{"E5", "MPEG4视频压缩器"},
      {"B3", "1200 kbps (很高质量)"},
      {"R2", "保持原分辨率"},
      {"F2", "25"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Tablet, "MPEG-4", "MP4", 0x2F80D1}},
    {110,
     "平板AVI视频格式",
     ".avi",
     {{"E8", "XviD 视频压缩器1"},
      {"B6", "1800 kbps(极高质量)"},
      {"R2", "1280*1024"},
      {"F1", "30.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Tablet, "AVI", "", 0xE07B2A}},
    {111,
     "平板电脑常用MP4视频",
     ".mp4",
     {{"E5", "H264/AVC高清视频压缩器"},
      {"B3", "1200 kbps (很高质量)"},
      {"R2", "1024*768"},
      {"F2", "25"}},
     {{"A3", "AAC音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kNormal,
     {FormatGlyph::Tablet, "MP4", "", 0x2F80D1}},
    {112,
     "其他设备MP4视频格式",
     ".mp4",
     {{"E5", "MPEG4视频压缩器"}, {"B3", "1200 kbps (很高质量)"}, {"R2", "1024*768"}, {"F2", "25"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kNormal,
     {FormatGlyph::Handheld, "MP4", "", 0x2F80D1}},
    {113,
     "高清电视H.264视频格式",
     ".mp4",
     {{"E5", "H264/AVC高清视频压缩器"},
      {"B5", "1800 kbps(极高质量)"},
      {"R2", "1920*1080"},
      {"F2", "30"}},
     {{"A3", "AAC音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Television, "H.264", "HD", 0x1E9E8F}},
    {114,
     "智能电视AVI视频格式",
     ".avi",
     {{"E8", "Divx 5 视频压缩器"},
      {"B6", "1600 kbps(极高质量)"},
      {"R2", "1920*1080"},
      {"F1", "29.97"}},
     {{"A3", "AAC音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Television, "AVI", "", 0xE07B2A}},
    {115,
     "4K高清智能电视视频格式",
     ".avi",
     {{"E8", "MPEG4 视频压缩器"},
      {"B7", "1600 kbps(极高质量)"},
      {"R5", "4096*3112"},
      {"F1", "29.97"}},
     {{"A3", "AAC音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Television, "4K", "AVI", 0xE07B2A}},
    {116,
     "智能电视MP4视频格式",
     ".mp4",
     {{"E5", "MPEG4视频压缩器"},
      {"B3", "1500 kbps (很高质量)"},
      {"R3", "保持原分辨率"},
      {"F2", "25"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::Television, "MP4", "", 0x2F80D1}},
    {117,
     "FHD全高清视频格式",
     ".mkv",
     {{"E6", "H264/AVC高清视频压缩器"},
      {"B2", "1600 kbps(极高质量)"},
      {"R4", "1920*1080"},
      {"F1", "保持原帧速率"}},
     {{"A3", "AAC音频编码器"}, {"AB1", "128"}, {"S6", "22050"}, kStereo},
     kWide,
     {FormatGlyph::Television, "FHD", "MKV", 0x3E9B4F}},
    {118,
     "网络机顶盒MP4视频格式",
     ".mp4",
     {{"E5", "XviD 视频压缩器1"},
      {"B3", "1200 kbps (很高质量)"},
      {"R2", "1024*768"},
      {"F2", "29.97"}},
     {{"A1", "AAC音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::SetTopBox, "MP4", "", 0x2F80D1}},
    {119,
     "网络机顶盒AVI视频格式",
     ".avi",
     {{"E14", "XviD 视频压缩器2"},
      {"B6", "1600 kbps(极高质量)"},
      {"R2", "1280*1024"},
      {"F1", "29.97"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kWide,
     {FormatGlyph::SetTopBox, "AVI", "", 0xE07B2A}},
    // Tab "更多电脑常用视频格式"
    {1,
     "电脑上使用的AVI/MPEG视频",
     ".avi",
     {{"E15", "Divx 5 视频压缩器"},
      {"B1", "528 kbps(中等质量)"},
      {"R1", "320*240"},
      {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kNormal,
     {FormatGlyph::Film, "AVI", "PC", 0xE07B2A}},
    {2,
     "MP4机上使用的AVI/MPEG视频",
     ".avi",
     {{"E15", "Divx 5 视频压缩器"},
      {"B1", "528 kbps(中等质量)"},
      {"R1", "320*240"},
      {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kNormal,
     {FormatGlyph::Handheld, "AVI", "MPEG-4", 0xE07B2A}},
    {3,
     "支持MPEG4的DVD影碟机使用的AVI/MPEG视频",
     ".avi",
     {{"E15", "Divx 5 视频压缩器"},
      {"B1", "528 kbps(中等质量)"},
      {"R1", "320*240"},
      {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kNormal,
     {FormatGlyph::Disc, "AVI", "DivX", 0xE07B2A}},
    {4,
     "Sony(索尼) PSP MP4视频",
     ".mp4",
     {{"E7", "MPEG4视频压缩器"},
      {"B8", "512 kbps(中等质量)"},
      {"R6", "320*240 (PSP所有固件版本适用)"},
      {"F4", "29.97"}},
     {{"A4", "AAC音频编码器"}, {"AB3", "128"}, {"S5", "24000"}, kStereo},
     kNormal,
     {FormatGlyph::Handheld, "PSP", "MP4", 0x444A55}},
    {5,
     "Sony(索尼) PS3 MP4视频",
     ".mp4",
     {{"E16", "MPEG4视频压缩器"},
      {"B9", "768 kbps(高质量)"},
      {"R7", "720*480  (标清SD格式)"},
      {"F5", "29.97"}},
     {{"A4", "AAC音频编码器"}, {"AB3", "128"}, {"S4", "48000"}, kStereo},
     kNormal,
     {FormatGlyph::Television, "PS3", "MP4", 0x444A55}},
    {6,
     "Apple(苹果) ipod video MP4视频",
     ".mp4",
     {{"E6", "MPEG4视频压缩器"}, {"B10", "600 kbps (中等质量)"}, {"R8", "320*240"}, {"F2", "25"}},
     {{"A4", "AAC音频编码器"}, {"AB3", "128"}, {"S4", "48000"}, kStereo},
     kNormal,
     {FormatGlyph::Handheld, "iPod", "Video", 0x6B6F76}},
    {7,
     "Apple(苹果) iPod Touch/Classic/Nano MP4视频",
     ".mp4",
     {{"E6", "MPEG4视频压缩器"}, {"B10", "600 kbps (中等质量)"}, {"R8", "320*240"}, {"F2", "25"}},
     {{"A4", "AAC音频编码器"}, {"AB3", "128"}, {"S4", "48000"}, kStereo},
     kNormal,
     {FormatGlyph::Handheld, "iPod", "Touch", 0x6B6F76}},
    {8,
     "Apple(苹果) iPhone MP4视频",
     ".mp4",
     {{"E6", "MPEG4视频压缩器"}, {"B10", "600 kbps (中等质量)"}, {"R8", "320*240"}, {"F2", "25"}},
     {{"A4", "AAC音频编码器"}, {"AB3", "128"}, {"S4", "48000"}, kStereo},
     kNormal,
     {FormatGlyph::Phone, "iPhone", "", 0x6B6F76}},
    {9,
     "Apple(苹果) TV MP4视频",
     ".mp4",
     {{"E6", "MPEG4视频压缩器"}, {"B10", "600 kbps (中等质量)"}, {"R8", "320*240"}, {"F2", "25"}},
     {{"A4", "AAC音频编码器"}, {"AB3", "128"}, {"S4", "48000"}, kStereo},
     kNormal,
     {FormatGlyph::Television, "TV", "Apple", 0x6B6F76}},
    {10,
     "SONY(索尼)M70/U50系列普通MPEG4视频",
     ".mp4",
     {{"E6", "MPEG4视频压缩器"}, {"B11", "600 kbps (中等质量)"}, {"R8", "320*240"}, {"F2", "25"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kNormal,
     {FormatGlyph::Handheld, "SONY", "MPEG-4", 0x444A55}},
    {11,
     "SONY(索尼)A800/M70/U50系列高清MPEG4视频",
     ".mp4",
     {{"E6", "H264/AVC高清视频压缩器"},
      {"B10", "600 kbps (中等质量)"},
      {"R8", "320*240"},
      {"F2", "25"}},
     {{"A1", "MP3音频编码器"}, {"AB2", "128"}, {"S7", "48000"}, kStereo},
     kNormal,
     {FormatGlyph::Handheld, "SONY", "HD", 0x444A55}},
    {12,
     "电脑上使用的MP4视频",
     ".mp4",
     {{"E6", "MPEG4视频压缩器"}, {"B11", "600 kbps (中等质量)"}, {"R8", "320*240"}, {"F2", "25"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kNormal,
     {FormatGlyph::Film, "MP4", "PC", 0x2F80D1}},
    {13,
     "SWF视频格式(Flash视频文件)",
     ".swf",
     {{"E11", "FLASH格式视频压缩器"},
      {"B1", "528 kbps(中等质量)"},
      {"R1", "320*240"},
      {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S6", "22050"}, kStereo},
     kNormal,
     {FormatGlyph::Web, "SWF", "Flash", 0xB83A6E}},
    {14,
     "FLV视频格式(视频网站专用的FLV文件)(如土豆网)",
     ".flv",
     {{"E10", "FLV格式视频压缩器"},
      {"B1", "528 kbps(中等质量)"},
      {"R1", "320*240"},
      {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S6", "22050"}, kStereo},
     kNormal,
     {FormatGlyph::Web, "FLV", "Web", 0xD1453B}},
    {15,
     "RM/RMVB视频格式",
     ".rm",
     {{"E17", "RM视频压缩器1"},
      {"B1", "528 kbps(中等质量)"},
      {"R1", "保持原分辨率"},
      {"F1", "保持原帧速率"}},
     {{"A7", "自动音频编码器"}, {"AB4", "自动音频比特率"}, {"S8", "自动音频采样率"}, kStereo},
     kNormal,
     {FormatGlyph::Film, "RM", "RMVB", 0x5C7A29}},
    {16,
     "MKV网络视频格式",
     ".mkv",
     {{"E6", "MPEG4视频压缩器"}, {"B1", "528 kbps(中等质量)"}, {"R1", "320*240"}, {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S6", "22050"}, kStereo},
     kNormal,
     {FormatGlyph::Film, "MKV", "Web", 0x3E9B4F}},
    {17,
     "MOV视频格式",
     ".mov",
     {{"E9", "QuickTime视频压缩器"},
      {"B1", "528 kbps(中等质量)"},
      {"R1", "320*240"},
      {"F1", "25.00"}},
     {{"A3", "AAC音频编码器"}, {"AB1", "128"}, {"S1", "22050"}, kStereo},
     kNormal,
     {FormatGlyph::Film, "MOV", "QT", 0x7F8794}},
    {18,
     "MPEG/MPG视频格式",
     ".mpg",
     {{"E12", "MPEG视频压缩器"}, {"B1", "528 kbps(中等质量)"}, {"R1", "320*240"}, {"F6", "25.00"}},
     {{"A6", "MP2音频编码器"}, {"AB1", "128"}, {"S2", "44100"}, kStereo},
     kNormal,
     {FormatGlyph::Film, "MPEG", "MPG", 0x7B4FB0}},
    {19,
     "DVD影碟视频格式",
     ".mpg",
     {{"E4", "PAL_DVD视频压缩器"},
      {"B1", "528 kbps(中等质量)"},
      {"R1", "720*480"},
      {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S1", "44100"}, kStereo},
     kNormal,
     {FormatGlyph::Disc, "DVD", "", 0x3B5BA9}},
    {20,
     "SVCD影碟视频格式",
     ".mpg",
     {{"E2", "PAL_SVCD视频压缩器"},
      {"B1", "528 kbps(中等质量)"},
      {"R1", "480*480"},
      {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S1", "48000"}, kStereo},
     kNormal,
     {FormatGlyph::Disc, "SVCD", "", 0xD9772B}},
    {21,
     "VCD影碟视频格式",
     ".mpg",
     {{"E1", "PAL_VCD视频压缩器"},
      {"B1", "528 kbps(中等质量)"},
      {"R1", "320*240"},
      {"F1", "25.00"}},
     {{"A1", "MP3音频编码器"}, {"AB1", "128"}, {"S1", "48000"}, kStereo},
     kNormal,
     {FormatGlyph::Disc, "VCD", "", 0xC8962A}},
    {22,
     "WMV微软视频格式",
     ".wmv",
     {{"E18", "WMV视频压缩器"}, {"B1", "528 kbps(中等质量)"}, {"R1", "320*240"}, {"F1", "25.00"}},
     {{"A8", "WMV音频编码器"}, {"AB1", "128"}, {"S1", "48000"}, kStereo},
     kNormal,
     {FormatGlyph::Film, "WMV", "", 0x2A6FA0}},
    {23,
     "ASF视频格式",
     ".asf",
     {{"E19", "ASF视频压缩器"}, {"B1", "528 kbps(中等质量)"}, {"R1", "320*240"}, {"F1", "25.00"}},
     {{"A9", "ASF音频编码器1"}, {"AB1", "128"}, {"S1", "48000"}, kStereo},
     kNormal,
     {FormatGlyph::Film, "ASF", "", 0x3E5F8A}},
    {24,
     "Motion Jpeg(MJpeg)视频格式",
     ".avi",
     {{"E20", "Mjpeg 视频压缩器"},
      {"B12", "3000 kbps(高质量)"},
      {"R1", "320*240"},
      {"F1", "保持原帧速率"}},
     {{"A10", "MP3音频编码器"}, {"AB1", "128"}, {"S3", "44100"}, kStereo},
     kNormal,
     {FormatGlyph::Film, "MJPEG", "", 0x9C6B3E}},
    // Tab "更多音频格式" (audio only)
    {200,
     "MP3音频格式",
     ".mp3",
     NO_VIDEO,
     {{"A10", "MP3音频编码器"}, {"AB1", "128"}, {"S1", "48000"}, {"C1", "立体声"}},
     kNoScaling,
     {FormatGlyph::Music, "MP3", "", 0xE0672A}},
    {201,
     "WMA音频格式",
     ".wma",
     NO_VIDEO,
     {{"A11", "WMA音频编码器"}, {"AB1", "128"}, {"S1", "48000"}, {"C1", "立体声"}},
     kNoScaling,
     {FormatGlyph::Music, "WMA", "", 0x2A6FA0}},
    {202,
     "CD/WAV音频格式",
     ".wav",
     NO_VIDEO,
     {{"A12", "WAVE音频编码器"}, {"AB1", "128"}, {"S1", "48000"}, {"C1", "立体声"}},
     kNoScaling,
     {FormatGlyph::Music, "WAV", "CD", 0x4F6B86}},
    {203,
     "AAC音频格式",
     ".m4a",
     NO_VIDEO,
     {{"A4", "AAC音频编码器"}, {"AB1", "128"}, {"S1", "48000"}, {"C1", "立体声"}},
     kNoScaling,
     {FormatGlyph::Music, "AAC", "", 0x2F80D1}},
    {204,
     "AC3音频格式",
     ".ac3",
     NO_VIDEO,
     {{"A13", "AC3音频编码器"}, {"AB1", "128"}, {"S1", "48000"}, {"C1", "立体声"}},
     kNoScaling,
     {FormatGlyph::Music, "AC3", "", 0x3B5BA9}},
    {205,
     "OGG音频格式",
     ".ogg",
     NO_VIDEO,
     {{"A14", "OGG音频编码器"}, {"AB1", "128"}, {"S1", "48000"}, {"C1", "立体声"}},
     kNoScaling,
     {FormatGlyph::Music, "OGG", "", 0x3E9B4F}},
    {206,
     "MP2音频格式",
     ".mp2",
     NO_VIDEO,
     {{"A15", "MP2音频编码器"}, {"AB1", "128"}, {"S2", "44100"}, {"C1", "立体声"}},
     kNoScaling,
     {FormatGlyph::Music, "MP2", "", 0x7B4FB0}},
    {207,
     "FLAC音频格式",
     ".flac",
     NO_VIDEO,
     {{"A16", "Flac音频编码器"}, {"AB1", "128"}, {"S1", "48000"}, {"C1", "立体声"}},
     kNoScaling,
     {FormatGlyph::Music, "FLAC", "", 0x1E9E8F}},
    {208,
     "RM音频格式",
     ".rm",
     NO_VIDEO,
     {{"A17", "RM音频编码器"}, {"AB1", "128"}, {"S1", "48000"}, {"C1", "立体声"}},
     kNoScaling,
     {FormatGlyph::Music, "RM", "", 0x5C7A29}},
    {209,
     "AMR（手机）音频格式",
     ".amr",
     NO_VIDEO,
     {{"A18", "AMR音频编码器"}, {"AB5", "7.4"}, {"S9", "8000"}, {"C2", "单声道"}},
     kNoScaling,
     {FormatGlyph::Music, "AMR", "", 0xC8962A}},
};
#undef NO_VIDEO

// Formats whose extension tag differs from their extension (their files still
// end in ".mp4").
const std::map<int, std::string_view> kExtTags = {
    {4, ".psp.mp4"},  {5, ".psp.mp4"},  {510, ".psp.mp4"}, {6, ".ipod.mp4"},
    {7, ".ipod.mp4"}, {8, ".ipod.mp4"}, {9, ".ipod.mp4"},  {509, ".ipod.mp4"},
};
// Formats that force their container.
const std::map<int, std::string_view> kContainers = {{17, "mov"}, {106, "mov"}, {518, "mov"}};
// The disc formats.
const std::map<int, std::string_view> kDiscTargets = {
    {19, "dvd"},   {505, "dvd"}, {20, "svcd"}, {502, "svcd"},
    {503, "svcd"}, {21, "vcd"},  {500, "vcd"}, {501, "vcd"},
};

struct TabRow {
    std::string_view caption;
    int idBase;
};
// In the order shown.
const TabRow kTabs[] = {
    {"VCD、MP4及常用格式", 500},
    {"智能设备常用视频格式", 100},
    {"更多电脑常用视频格式", 1},
    {"更多音频格式", 200},
};

struct ChangeRule {
    std::set<int> formats;
    std::set<std::string_view> encoders;  // the new encoder's caption
    ChoiceKind target;
    const char* list;
    const char* select;
};
// Picking another video encoder replaces a list for these formats; the first
// rule that matches applies.
const ChangeRule kChangeRules[] = {
    {{1, 2, 3}, {"Mjpeg 视频压缩器"}, ChoiceKind::VideoBitRate, "B12", "3000 kbps(高质量)"},
    {{1, 2, 3},
     {"Divx 5 视频压缩器", "MPEG4 视频压缩器", "XviD 视频压缩器1", "XviD 视频压缩器2",
      "Divx 视频压缩器", "H264/AVC高清视频压缩器"},
     ChoiceKind::VideoBitRate,
     "B1",
     "528 kbps(中等质量)"},
    {{100, 101}, {"Divx 视频压缩器"}, ChoiceKind::FrameSize, "R10", "176*144"},
    {{100, 101},
     {"XviD 视频压缩器1", "XviD 视频压缩器2", "Divx 5 视频压缩器"},
     ChoiceKind::FrameSize,
     "R11",
     "176*144"},
};

struct Catalogue {
    std::vector<FormatEntry> formats;
    std::map<int, std::size_t> byId;
    std::vector<CatalogueTab> tabs;
    std::vector<EncoderChange> changes;  // parallel to kChangeRules
    std::vector<std::string> problems;
};

std::string_view Lookup(const std::map<int, std::string_view>& table, int id,
                        std::string_view otherwise) {
    auto it = table.find(id);
    return it == table.end() ? otherwise : it->second;
}

FormatChoice Resolve(const Cell& cell, int id, std::vector<std::string>& problems) {
    FormatChoice choice;
    choice.list = FindChoiceList(cell.list);
    if (!choice.list) {
        problems.push_back("format " + std::to_string(id) + ": no list " + cell.list);
        return choice;
    }
    choice.defaultIndex = choice.list->IndexOf(cell.item);
    if (choice.defaultIndex < 0) {
        problems.push_back("format " + std::to_string(id) + ": list " + cell.list + " lacks " +
                           cell.item);
    }
    return choice;
}

const Catalogue& TheCatalogue() {
    static const Catalogue catalogue = [] {
        Catalogue c;
        for (const TabRow& tab : kTabs) {
            c.tabs.push_back({static_cast<int>(c.tabs.size()), tab.caption, tab.idBase, {}});
        }
        for (const Row& row : kRows) {
            FormatEntry e;
            e.id = row.id;
            e.caption = row.caption;
            e.extension = row.extension;
            e.extTag = Lookup(kExtTags, row.id, e.extension);
            e.container = Lookup(kContainers, row.id, {});
            e.discTarget = Lookup(kDiscTargets, row.id, {});
            e.page = -1;
            // A tab holds the ids from its base up; the largest base not above
            // the id names the tab.
            int bestBase = -1;
            for (const CatalogueTab& tab : c.tabs) {
                if (tab.idBase <= row.id && tab.idBase > bestBase) {
                    bestBase = tab.idBase;
                    e.page = tab.page;
                }
            }
            e.indexInPage = row.id - bestBase;
            e.audioOnly = e.page == 3;
            const Cell cells[kChoiceCount] = {
                row.video[0], row.video[1], row.video[2], row.video[3], row.audio[0],
                row.audio[1], row.audio[2], row.audio[3], row.scaling,  kSameVolume};
            for (int i = 0; i < kChoiceCount; ++i)
                e.choices[i] = Resolve(cells[i], row.id, c.problems);
            e.icon = row.icon;
            if (c.byId.count(e.id)) c.problems.push_back("duplicate id " + std::to_string(e.id));
            c.byId[e.id] = c.formats.size();
            c.formats.push_back(e);
        }
        for (const FormatEntry& e : c.formats) {
            CatalogueTab& tab = c.tabs[e.page];
            if (e.indexInPage != static_cast<int>(tab.entries.size())) {
                c.problems.push_back("format " + std::to_string(e.id) + " out of order");
            }
            tab.entries.push_back(&e);
        }
        for (const ChangeRule& rule : kChangeRules) {
            EncoderChange change{rule.target, FindChoiceList(rule.list), -1};
            if (change.list) change.selectIndex = change.list->IndexOf(rule.select);
            if (change.selectIndex < 0) {
                c.problems.push_back(std::string("change rule: ") + rule.list + " lacks " +
                                     rule.select);
            }
            c.changes.push_back(change);
        }
        return c;
    }();
    return catalogue;
}

}  // namespace

int ChoiceList::IndexOf(std::string_view caption) const {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i] == caption) return static_cast<int>(i);
    }
    return -1;
}

const std::vector<FormatEntry>& Formats() {
    return TheCatalogue().formats;
}

const FormatEntry* FindFormat(int id) {
    const Catalogue& c = TheCatalogue();
    auto it = c.byId.find(id);
    return it == c.byId.end() ? nullptr : &c.formats[it->second];
}

const std::vector<CatalogueTab>& CatalogueTabs() {
    return TheCatalogue().tabs;
}

const ChoiceList* FindChoiceList(std::string_view name) {
    for (const ChoiceList& list : NamedLists()) {
        if (list.name == name) return &list;
    }
    return nullptr;
}

std::string_view ChoiceLabel(ChoiceKind kind) {
    static constexpr std::string_view labels[kChoiceCount] = {
        "视频编码器：", "视频比特率：", "视频分辨率：", "视频帧率：",     "音频编码器：",
        "音频比特率：", "音频采样率：", "声道设置：",   "视频缩放模式：", "音量调节：",
    };
    return labels[Index(kind)];
}

const EncoderChange* FindEncoderChange(int formatId, std::string_view encoderCaption) {
    const Catalogue& c = TheCatalogue();
    for (std::size_t i = 0; i < std::size(kChangeRules); ++i) {
        const ChangeRule& rule = kChangeRules[i];
        if (rule.formats.count(formatId) && rule.encoders.count(encoderCaption) &&
            c.changes[i].selectIndex >= 0) {
            return &c.changes[i];
        }
    }
    return nullptr;
}

std::vector<std::string> CatalogueProblems() {
    return TheCatalogue().problems;
}

}  // namespace zorvex::app
