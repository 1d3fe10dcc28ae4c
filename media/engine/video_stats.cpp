#include "media/engine/video_stats.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "media/ffapi.h"

namespace zorvex {
namespace {

std::uint32_t ReadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

void ReadPacketQualityStats(const AVPacket* packet, int width, int height, bool psnr,
                            VideoStatsFrame& frame) {
    size_t size = 0;
    const std::uint8_t* data =
        ff::av_packet_get_side_data(packet, AV_PKT_DATA_QUALITY_STATS, &size);
    if (data == nullptr || size < 5) return;
    // Layout: quality (le32), picture type (byte), error count (byte), 2 bytes
    // reserved, then the squared errors (le64) per plane.
    frame.Quality = static_cast<float>(static_cast<std::int32_t>(ReadLe32(data))) / FF_QP2LAMBDA;
    frame.PictureType = ff::av_get_picture_type_char(static_cast<AVPictureType>(data[4]));
    if (psnr && size >= 16 && data[5] > 0 && width > 0 && height > 0) {
        const std::uint64_t error = static_cast<std::uint64_t>(ReadLe32(data + 8)) |
                                    static_cast<std::uint64_t>(ReadLe32(data + 12)) << 32;
        const double normalized =
            static_cast<double>(error) / (static_cast<double>(width) * height * 255.0 * 255.0);
        frame.Psnr = normalized > 0 ? -10.0 * std::log10(normalized) : 99.99;
        frame.HasPsnr = true;
    }
}

std::string VideoStatsLine(const VideoStatsFrame& f) {
    char buffer[512];
    int n = std::snprintf(buffer, sizeof buffer, "frame= %5d q= %2.1f ", f.FrameNumber,
                          static_cast<double>(f.Quality));
    if (f.HasPsnr) n += std::snprintf(buffer + n, sizeof buffer - n, "PSNR= %6.2f ", f.Psnr);
    n += std::snprintf(buffer + n, sizeof buffer - n, "f_size= %6d ", f.FrameBytes);
    const double timeBase = f.TimeBase.den > 0 ? av_q2d(f.TimeBase) : 0.0;
    double time = static_cast<double>(f.SyncTimestamp) * timeBase;
    if (time < 0.01) time = 0.01;
    const double bitRate = timeBase > 0 ? f.FrameBytes * 8.0 / timeBase / 1000.0 : 0.0;
    const double averageBitRate = static_cast<double>(f.VideoSize) * 8.0 / time / 1000.0;
    n += std::snprintf(buffer + n, sizeof buffer - n,
                       "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                       static_cast<double>(f.VideoSize) / 1024.0, time, bitRate, averageBitRate);
    std::snprintf(buffer + n, sizeof buffer - n, "type= %c\n", f.PictureType);
    return buffer;
}

std::string VideoStatsCacheFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && cache[0] == '/') return std::string(cache) + "/zorvex";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.cache/zorvex";
}

bool VideoStatsFile::Write(const VideoStatsFrame& frame) {
    if (!file_) {
        file_.reset(std::fopen(fileName_.c_str(), "w"));
        if (!file_ && !fallback_.empty()) {
            std::error_code ignored;  // a folder that cannot be made fails the open below
            std::filesystem::create_directories(std::filesystem::path(fallback_).parent_path(),
                                                ignored);
            file_.reset(std::fopen(fallback_.c_str(), "w"));
            if (file_) fileName_ = fallback_;
        }
        if (!file_) {
            lastError_ = "fopen fail: " + (fallback_.empty() ? fileName_ : fallback_);
            return false;
        }
    }
    const std::string line = VideoStatsLine(frame);
    if (std::fwrite(line.data(), 1, line.size(), file_.get()) != line.size()) {
        lastError_ = fileName_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace zorvex
