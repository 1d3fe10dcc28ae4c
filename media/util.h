// Shared helpers of the media set: file names for FFmpeg, error, time, size and
// date texts, file sizes, the program's folder and the picture-to-bitmap
// conversion.
#pragma once

#include <cstdint>
#include <string>

#include "media/bitmap.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

struct SwsContext;
struct AVDictionary;

namespace zorvex {

constexpr std::int64_t NoPtsValue = INT64_MIN;  // FFmpeg's no-timestamp value

// The name FFmpeg is given for a local path. Paths are UTF-8 already; a path that
// FFmpeg would read as "protocol:rest" (pipe:1, http://x, C:x) is prefixed with
// "file:" so that it always opens as a local file.
std::string ToFFmpegFileName(const std::string& path);
// The path back from a name FFmpeg holds.
std::string FromFFmpegFileName(const std::string& name);
// Protocols a local open may use; set it on every open so nested opens
// (playlists, references) can reach nothing but local files.
constexpr const char* LocalProtocolWhitelist = "file";
void SetLocalProtocolWhitelist(AVDictionary** options);

// name + ": " + the text for an FFmpeg error code.
std::string FFmpegErrorText(const std::string& fileName, int code);
// "The file is damaged or incomplete: " + the file's name.
std::string DamagedFileText(const std::string& fileName);
// Why an input file could not be opened or read: DamagedFileText where FFmpeg's
// answer means a damaged or cut-off file (not yet implemented, I/O error, end
// of file), else FFmpegErrorText.
std::string InputErrorText(const std::string& fileName, int code);
// "%.2d:%.2d:%.2d.%.3d", or "N/A" for NoPtsValue.
std::string DurationText(std::int64_t microseconds);
// "%d Byte", "%.2f KB", "%.2f MB" or "%.2f GB".
std::string SizeText(std::int64_t bytes);
// Seconds since 1970 UTC -> local date-time in days since 1899-12-30, with the
// zone's offset (daylight saving included) for that moment.
double UnixTimeToDateTime(std::int64_t seconds);
// The current local date-time in days since 1899-12-30.
double NowDateTime();
// Local date-time in days since 1899-12-30 -> seconds since 1970 UTC.
std::int64_t DateTimeToUnixTime(double dateTime);
// Formats a date-time with the pattern letters yyyy, mm, dd, hh, nn, ss, zzz;
// other characters are copied.
std::string DateTimeText(const std::string& pattern, double dateTime);
// The size of a regular file in bytes; -1 when there is no such file.
std::int64_t FileSizeOf(const std::string& path);
// The folder of the running program (without a final "/"): the libraries,
// skins and settings are looked for beside it. "." when it cannot be told.
std::string ProgramFolder();

// State of one picture-to-bitmap conversion; owned by one user, used by one
// thread at a time.
class PictureConversion {
public:
    PictureConversion() = default;
    ~PictureConversion();
    PictureConversion(const PictureConversion&) = delete;
    PictureConversion& operator=(const PictureConversion&) = delete;

    void Reset();
    TBitmap& Bitmap() { return bitmap_; }

    // Converts a decoded picture of the given format and size into Bitmap().
    // False when no scaler can be made for the format.
    bool PictureToBitmap(const std::uint8_t* const data[4], const int linesize[4],
                         AVPixelFormat format, int height, int width);
    // Writes Bitmap() back into a picture of the given format and size.
    bool BitmapToPicture(std::uint8_t* const data[4], const int linesize[4], AVPixelFormat format,
                         int height, int width);

private:
    bool PrepareBuffer(int width, int height);

    TBitmap bitmap_;
    std::uint8_t* buffer_ = nullptr;  // av_malloc'ed, grows, never shrinks
    int bufferSize_ = 0;
    std::uint8_t* bufferData_[4] = {};
    int bufferLinesize_[4] = {};
    SwsContext* toBitmap_ = nullptr;
    SwsContext* fromBitmap_ = nullptr;
};

}  // namespace zorvex
