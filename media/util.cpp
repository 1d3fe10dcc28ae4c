#include "media/util.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "media/ffapi.h"
#include "media/text.h"

namespace zorvex {
namespace {

constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 in days since 1899-12-30
constexpr const char* kSchemeChars =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.";

}  // namespace

std::string ToFFmpegFileName(const std::string& path) {
    const size_t scheme = std::strspn(path.c_str(), kSchemeChars);
    if (scheme > 0 && scheme < path.size() && path[scheme] == ':') return "file:" + path;
    return path;
}

std::string FromFFmpegFileName(const std::string& name) {
    if (name.rfind("file:", 0) == 0) return name.substr(5);
    return name;
}

void SetLocalProtocolWhitelist(AVDictionary** options) {
    ff::av_dict_set(options, "protocol_whitelist", LocalProtocolWhitelist, 0);
}

std::string DamagedFileText(const std::string& fileName) {
    return "The file is damaged or incomplete: " + fileName;
}

std::string InputErrorText(const std::string& fileName, int code) {
    if (code == AVERROR_PATCHWELCOME || code == AVERROR(EIO) || code == AVERROR_EOF) {
        return DamagedFileText(fileName);
    }
    return FFmpegErrorText(fileName, code);
}

std::string FFmpegErrorText(const std::string& fileName, int code) {
    std::string text;
    switch (code) {
        case AVERROR(ENOENT):
            text = "No such file or directory";
            break;
        case AVERROR(EIO):
            text = "I/O error";
            break;
        case AVERROR(ENOMEM):
            text = "Not enough memory";
            break;
        case AVERROR(EINVAL):
        case AVERROR_INVALIDDATA:
            text = "Invalid data found when processing input";
            break;
        case AVERROR_EOF:
            text = "End of file";
            break;
        case AVERROR(EDOM):
            text = "Number syntax expected in filename";
            break;
        case AVERROR(EILSEQ):
        case AVERROR_DEMUXER_NOT_FOUND:
        case AVERROR_MUXER_NOT_FOUND:
            text = "Unknown format";
            break;
        case AVERROR_PROTOCOL_NOT_FOUND:
            text = "Unsupported network protocol";
            break;
        case AVERROR_PATCHWELCOME:
            text = "Not yet implemented in FFmpeg";
            break;
        default:
            // Other system errors (permission, disk full, ...) keep the system's
            // own words so that the cause is clear.
            if (code < 0 && code > -4096) {
                text = std::strerror(-code);
            } else {
                // FFmpeg's own codes (experimental, encoder not found, ...) in
                // its own words.
                char words[AV_ERROR_MAX_STRING_SIZE] = "";
                if (ff::av_strerror != nullptr && ff::av_strerror(code, words, sizeof words) == 0) {
                    text = words;
                } else {
                    text = text::Fmt("Error number %d occurred", code);
                }
            }
    }
    return fileName + ": " + text;
}

std::string DurationText(std::int64_t t) {
    if (t == NoPtsValue) return "N/A";
    const long long hours = t / 3600000000LL;
    const long long minutes = (t / 60000000LL) % 60;
    const long long seconds = (t / 1000000LL) % 60;
    const long long millis = (t % 1000000LL) * 1000 / 1000000;
    return text::Fmt("%.2lld:%.2lld:%.2lld.%.3lld", hours, minutes, seconds, millis);
}

std::string SizeText(std::int64_t n) {
    if (n <= 1024) return text::Fmt("%lld Byte", static_cast<long long>(n));
    if (n <= 1048576) return text::Fmt("%.2f KB", static_cast<double>(n) / 1024.0);
    if (n <= 1073741824) return text::Fmt("%.2f MB", static_cast<double>(n) / 1048576.0);
    return text::Fmt("%.2f GB", static_cast<double>(n) / 1073741824.0);
}

double UnixTimeToDateTime(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    return kUnixEpochDays + static_cast<double>(seconds + local.tm_gmtoff) / 86400.0;
}

double NowDateTime() {
    return UnixTimeToDateTime(static_cast<std::int64_t>(std::time(nullptr)));
}

std::int64_t DateTimeToUnixTime(double dateTime) {
    const auto localSeconds =
        static_cast<std::time_t>(std::llround((dateTime - kUnixEpochDays) * 86400.0));
    std::tm broken{};
    gmtime_r(&localSeconds, &broken);  // the wall-clock fields of the local time
    broken.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&broken));
}

std::string DateTimeText(const std::string& pattern, double dateTime) {
    const long long totalMs = std::llround((dateTime - kUnixEpochDays) * 86400000.0);
    const long long wholeSeconds = totalMs >= 0 ? totalMs / 1000 : (totalMs - 999) / 1000;
    const auto whole = static_cast<std::time_t>(wholeSeconds);
    const int millis = static_cast<int>(totalMs - wholeSeconds * 1000);
    std::tm f{};
    gmtime_r(&whole, &f);
    std::string out;
    for (size_t i = 0; i < pattern.size();) {
        auto take = [&](const char* token) {
            size_t n = std::strlen(token);
            if (pattern.compare(i, n, token) != 0) return false;
            i += n;
            return true;
        };
        if (take("yyyy"))
            out += text::Fmt("%04d", f.tm_year + 1900);
        else if (take("zzz"))
            out += text::Fmt("%03d", millis);
        else if (take("yy"))
            out += text::Fmt("%02d", (f.tm_year + 1900) % 100);
        else if (take("mm"))
            out += text::Fmt("%02d", f.tm_mon + 1);
        else if (take("dd"))
            out += text::Fmt("%02d", f.tm_mday);
        else if (take("hh"))
            out += text::Fmt("%02d", f.tm_hour);
        else if (take("nn"))
            out += text::Fmt("%02d", f.tm_min);
        else if (take("ss"))
            out += text::Fmt("%02d", f.tm_sec);
        else
            out += pattern[i++];
    }
    return out;
}

std::int64_t FileSizeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

std::string ProgramFolder() {
    std::string exe(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", exe.data(), exe.size() - 1);
    if (n <= 0) return ".";
    exe.resize(static_cast<size_t>(n));
    const auto slash = exe.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : exe.substr(0, slash);
}

PictureConversion::~PictureConversion() {
    Reset();
}

bool PictureConversion::PrepareBuffer(int width, int height) {
    const int size = ff::av_image_get_buffer_size(AV_PIX_FMT_BGR24, width, height, 32) + 64;
    if (size <= 64) return false;
    if (bufferSize_ < size) {  // grows, never shrinks
        ff::av_freep(&buffer_);
        buffer_ = static_cast<std::uint8_t*>(ff::av_malloc(static_cast<size_t>(size)));
        bufferSize_ = buffer_ != nullptr ? size : 0;
        if (buffer_ == nullptr) return false;
    }
    return ff::av_image_fill_arrays(bufferData_, bufferLinesize_, buffer_, AV_PIX_FMT_BGR24, width,
                                    height, 32) >= 0;
}

void PictureConversion::Reset() {
    bitmap_ = TBitmap();
    if (buffer_ != nullptr) ff::av_freep(&buffer_);
    bufferSize_ = 0;
    if (toBitmap_ != nullptr) ff::sws_freeContext(toBitmap_);
    if (fromBitmap_ != nullptr) ff::sws_freeContext(fromBitmap_);
    toBitmap_ = nullptr;
    fromBitmap_ = nullptr;
}

bool PictureConversion::PictureToBitmap(const std::uint8_t* const data[4], const int linesize[4],
                                        AVPixelFormat format, int height, int width) {
    // swscale does not check its formats itself: an unknown one would crash it.
    if (width <= 0 || height <= 0 || data[0] == nullptr || format <= AV_PIX_FMT_NONE ||
        ff::sws_isSupportedInput(format) == 0) {
        return false;
    }
    if (bitmap_.Width != width || bitmap_.Height != height) bitmap_.SetSize(width, height);
    if (format == AV_PIX_FMT_BGR24) {
        for (int y = 0; y < height; ++y) {
            std::memcpy(bitmap_.ScanLine(y), data[0] + static_cast<ptrdiff_t>(linesize[0]) * y,
                        static_cast<size_t>(width) * 3);
        }
        return true;
    }
    toBitmap_ = ff::sws_getCachedContext(toBitmap_, width, height, format, width, height,
                                         AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (toBitmap_ == nullptr || !PrepareBuffer(width, height)) return false;
    // The scaler writes whole SIMD blocks, so it gets a padded buffer of its own.
    ff::sws_scale(toBitmap_, data, linesize, 0, height, bufferData_, bufferLinesize_);
    for (int y = 0; y < height; ++y) {
        std::memcpy(bitmap_.ScanLine(y),
                    bufferData_[0] + static_cast<ptrdiff_t>(bufferLinesize_[0]) * y,
                    static_cast<size_t>(width) * 3);
    }
    return true;
}

bool PictureConversion::BitmapToPicture(std::uint8_t* const data[4], const int linesize[4],
                                        AVPixelFormat format, int height, int width) {
    if (bitmap_.Width != width || bitmap_.Height != height) return false;
    if (data[0] == nullptr || format <= AV_PIX_FMT_NONE || ff::sws_isSupportedOutput(format) == 0) {
        return false;
    }
    fromBitmap_ = ff::sws_getCachedContext(fromBitmap_, width, height, AV_PIX_FMT_BGR24, width,
                                           height, format, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (fromBitmap_ == nullptr || !PrepareBuffer(width, height)) return false;
    for (int y = 0; y < height; ++y) {
        std::memcpy(bufferData_[0] + static_cast<ptrdiff_t>(bufferLinesize_[0]) * y,
                    bitmap_.ScanLine(y), static_cast<size_t>(width) * 3);
    }
    ff::sws_scale(fromBitmap_, bufferData_, bufferLinesize_, 0, height, data, linesize);
    return true;
}

}  // namespace zorvex
