// The per-frame video statistics file ("vstats", "vstats_file"): one line per
// encoded video frame.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/rational.h>
}

struct AVPacket;

namespace zorvex {

// What one line reports about an encoded video frame.
struct VideoStatsFrame {
    int FrameNumber = 0;
    float Quality = 0;               // quantiser (the encoder's lambda quality / FF_QP2LAMBDA)
    bool HasPsnr = false;            // "psnr" is on
    double Psnr = 0;                 // luma PSNR of the frame, dB
    int FrameBytes = 0;              // size of the encoded frame
    std::int64_t VideoSize = 0;      // bytes of encoded video so far, this frame included
    std::int64_t SyncTimestamp = 0;  // the stream's position in encoder time-base units
    AVRational TimeBase{1, 25};      // encoder time base
    char PictureType = '?';          // 'I', 'P', 'B', ...
};

// Fills Quality, PictureType and, with psnr, Psnr of a frame from the quality
// statistics an encoder attaches to its packets (AV_PKT_DATA_QUALITY_STATS);
// width and height are the encoded picture size. Leaves them unchanged when the
// packet carries none.
void ReadPacketQualityStats(const AVPacket* packet, int width, int height, bool psnr,
                            VideoStatsFrame& frame);

// The line written for a frame, "frame= %5d q= %2.1f " ... "type= %c\n".
std::string VideoStatsLine(const VideoStatsFrame& frame);

// The folder "vstats" falls back to when the output's folder cannot take its
// file: $XDG_CACHE_HOME/zorvex, by default ~/.cache/zorvex.
std::string VideoStatsCacheFolder();

// The statistics file of one engine; used by the task's thread only. The file
// is created ("w") on the first line and stays open until the object goes.
class VideoStatsFile {
public:
    // fallback: where to create the file when fileName cannot be created (its
    // folder is made as needed); empty for none.
    explicit VideoStatsFile(std::string fileName, std::string fallback = {})
        : fileName_(std::move(fileName)), fallback_(std::move(fallback)) {}

    // False with LastError "fopen fail: " + the name last tried when the file
    // cannot be created, or a write error text when the line cannot be written.
    bool Write(const VideoStatsFrame& frame);
    void Close() { file_.reset(); }

    // The file written to (the fallback once it was taken).
    const std::string& FileName() const { return fileName_; }
    const std::string& LastError() const { return lastError_; }

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::string fileName_;
    std::string fallback_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::string lastError_;
};

}  // namespace zorvex
