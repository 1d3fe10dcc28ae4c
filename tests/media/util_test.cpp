#include "media/util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "media/ffapi.h"
#include "tests/support/fixtures.h"

namespace zorvex {
namespace {

TEST(FileNames, LocalPathsStayLocal) {
    struct Case {
        const char* path;
        const char* ffmpegName;
    } cases[] = {
        {"/tmp/plain.avi", "/tmp/plain.avi"},
        {"/tmp/中文 空格.avi", "/tmp/中文 空格.avi"},
        {"relative/clip.mp4", "relative/clip.mp4"},
        {"pipe:1", "file:pipe:1"},  // a local file named like a protocol
        {"http://example.com/a.mp4", "file:http://example.com/a.mp4"},
        {"/tmp/a:b.mp4", "/tmp/a:b.mp4"},  // a colon after the first slash is harmless
        {"file:x.avi", "file:file:x.avi"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToFFmpegFileName(c.path), c.ffmpegName) << c.path;
        EXPECT_EQ(FromFFmpegFileName(ToFFmpegFileName(c.path)), c.path) << c.path;
    }
}

TEST(Texts, DurationText) {
    EXPECT_EQ(DurationText(3723004000LL), "01:02:03.004");
    EXPECT_EQ(DurationText(360000000000LL), "100:00:00.000");
    EXPECT_EQ(DurationText(5000000), "00:00:05.000");
    EXPECT_EQ(DurationText(0), "00:00:00.000");
    EXPECT_EQ(DurationText(NoPtsValue), "N/A");
}

TEST(Texts, SizeText) {
    EXPECT_EQ(SizeText(0), "0 Byte");
    EXPECT_EQ(SizeText(1024), "1024 Byte");
    EXPECT_EQ(SizeText(1025), "1.00 KB");
    EXPECT_EQ(SizeText(1048576), "1024.00 KB");
    EXPECT_EQ(SizeText(1048577), "1.00 MB");
    EXPECT_EQ(SizeText(1073741824), "1024.00 MB");
    EXPECT_EQ(SizeText(1073741825), "1.00 GB");
}

TEST(Texts, ErrorTextNamesFileAndCause) {
    struct Case {
        int code;
        const char* text;
    } cases[] = {
        {AVERROR(ENOENT), "a.avi: No such file or directory"},
        {AVERROR(EIO), "a.avi: I/O error"},
        {AVERROR(ENOMEM), "a.avi: Not enough memory"},
        {AVERROR_INVALIDDATA, "a.avi: Invalid data found when processing input"},
        {AVERROR(EINVAL), "a.avi: Invalid data found when processing input"},
        {AVERROR_EOF, "a.avi: End of file"},
        {AVERROR(EDOM), "a.avi: Number syntax expected in filename"},
        {AVERROR_DEMUXER_NOT_FOUND, "a.avi: Unknown format"},
        {AVERROR_PROTOCOL_NOT_FOUND, "a.avi: Unsupported network protocol"},
        {AVERROR_PATCHWELCOME, "a.avi: Not yet implemented in FFmpeg"},
        {AVERROR(EACCES), "a.avi: Permission denied"},
        {AVERROR(ENOSPC), "a.avi: No space left on device"},
        {-123456789, "a.avi: Error number -123456789 occurred"},
    };
    for (const Case& c : cases) EXPECT_EQ(FFmpegErrorText("a.avi", c.code), c.text);

    // An input's failures: FFmpeg's answers that mean a damaged or cut-off file
    // become one plain text; the others keep their own.
    const std::string damaged = "The file is damaged or incomplete: a.avi";
    for (int code : {AVERROR(EIO), AVERROR_EOF, AVERROR_PATCHWELCOME})
        EXPECT_EQ(InputErrorText("a.avi", code), damaged) << code;
    for (int code : {AVERROR(ENOENT), AVERROR_INVALIDDATA, AVERROR(EACCES)})
        EXPECT_EQ(InputErrorText("a.avi", code), FFmpegErrorText("a.avi", code)) << code;
}

// Every error code the libraries return reads as words, FFmpeg's own codes too.
TEST(Texts, EveryFFmpegErrorCodeReads) {
    test::LoadConverterLibrariesOrFail();
    const int codes[] = {
        AVERROR_BSF_NOT_FOUND,
        AVERROR_BUG,
        AVERROR_BUG2,
        AVERROR_BUFFER_TOO_SMALL,
        AVERROR_DECODER_NOT_FOUND,
        AVERROR_DEMUXER_NOT_FOUND,
        AVERROR_ENCODER_NOT_FOUND,
        AVERROR_EOF,
        AVERROR_EXIT,
        AVERROR_EXTERNAL,
        AVERROR_FILTER_NOT_FOUND,
        AVERROR_INVALIDDATA,
        AVERROR_MUXER_NOT_FOUND,
        AVERROR_OPTION_NOT_FOUND,
        AVERROR_PATCHWELCOME,
        AVERROR_PROTOCOL_NOT_FOUND,
        AVERROR_STREAM_NOT_FOUND,
        AVERROR_UNKNOWN,
        AVERROR_EXPERIMENTAL,
        AVERROR_INPUT_CHANGED,
        AVERROR_OUTPUT_CHANGED,
        AVERROR_HTTP_BAD_REQUEST,
        AVERROR_HTTP_UNAUTHORIZED,
        AVERROR_HTTP_FORBIDDEN,
        AVERROR_HTTP_NOT_FOUND,
        AVERROR_HTTP_OTHER_4XX,
        AVERROR_HTTP_SERVER_ERROR,
    };
    for (int code : codes) {
        const std::string text = FFmpegErrorText("a.mp4", code);
        EXPECT_EQ(text.find("Error number"), std::string::npos) << code << ": " << text;
    }
    EXPECT_EQ(FFmpegErrorText("a.mp4", AVERROR_EXPERIMENTAL), "a.mp4: Experimental feature");
}

TEST(Texts, DateTimeRoundTripAndPattern) {
    ::setenv("TZ", "Asia/Shanghai", 1);  // UTC+8, no daylight saving
    ::tzset();
    // 2009-02-13 23:31:30 UTC is 2009-02-14 07:31:30 in UTC+8.
    const double dt = UnixTimeToDateTime(1234567890);
    EXPECT_EQ(DateTimeText("yyyy-mm-dd hh:nn:ss", dt), "2009-02-14 07:31:30");
    EXPECT_EQ(DateTimeToUnixTime(dt), 1234567890);

    ::setenv("TZ", "Europe/Berlin", 1);  // daylight saving applies in July
    ::tzset();
    EXPECT_EQ(DateTimeText("yyyy-mm-dd hh:nn:ss", UnixTimeToDateTime(1720000000)),
              "2024-07-03 11:46:40");
    EXPECT_EQ(DateTimeToUnixTime(UnixTimeToDateTime(1720000000)), 1720000000);
}

TEST(Files, FileSizeOf) {
    test::TempDir dir;
    test::WriteFile(dir.File("five.bin"), "12345");
    EXPECT_EQ(FileSizeOf(dir.File("five.bin")), 5);
    EXPECT_EQ(FileSizeOf(dir.File("missing.bin")), -1);
    EXPECT_EQ(FileSizeOf(dir.Path()), -1);  // a folder is not a file
}

TEST(Pictures, PictureToBitmapConvertsAndWritesBack) {
    test::LoadConverterLibrariesOrFail();
    constexpr int w = 6, h = 4;  // odd row size: rows are padded in the bitmap
    AVFrame* frame = ff::av_frame_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = w;
    frame->height = h;
    ASSERT_EQ(ff::av_frame_get_buffer(frame, 0), 0);
    // Mid grey: Y=128, U=V=128 gives R=G=B close to 128.
    for (int p = 0; p < 3; ++p) {
        for (int y = 0; y < (p == 0 ? h : h / 2); ++y) {
            std::memset(frame->data[p] + y * frame->linesize[p], 128, p == 0 ? w : w / 2);
        }
    }
    PictureConversion conversion;
    ASSERT_TRUE(conversion.PictureToBitmap(frame->data, frame->linesize, AV_PIX_FMT_YUV420P, h, w));
    const TBitmap& bmp = conversion.Bitmap();
    EXPECT_EQ(bmp.Width, w);
    EXPECT_EQ(bmp.Height, h);
    EXPECT_EQ(bmp.Stride, 20);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w * 3; ++x) EXPECT_NEAR(bmp.ScanLine(y)[x], 130, 4);
    }
    // Paint the bitmap white and write it back: luma becomes full range white.
    for (int y = 0; y < h; ++y) std::memset(conversion.Bitmap().ScanLine(y), 255, w * 3);
    ASSERT_TRUE(conversion.BitmapToPicture(frame->data, frame->linesize, AV_PIX_FMT_YUV420P, h, w));
    EXPECT_GE(frame->data[0][0], 230);
    ff::av_frame_free(&frame);
}

}  // namespace
}  // namespace zorvex
