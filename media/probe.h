// The media probe: container, stream and metadata information of a file,
// read with FFmpeg's demuxers without decoding anything.
#pragma once

#include <cstdint>
#include <string>

#include "media/base_component.h"

struct AVFormatContext;

namespace zorvex {

struct TFileStreamInfo {
    std::int64_t StartTime = -1;  // microseconds
    std::int64_t Duration = -1;   // microseconds
    int BitRate = -1;
    std::int64_t Timestamp = -1;  // creation time, seconds since 1970 UTC; 0 when none
    int Year = -1;
    int Track = -1;
    std::string Title, Author, Copyright, Comment, Album, Genre;
};

struct TAudioStreamInfo {
    std::string Language;
    std::string CodecName;
    std::int64_t StreamStartTime = -1;  // in the stream's time base
    std::int64_t StartTime = -1;        // microseconds
    std::int64_t StreamDuration = -1;
    std::int64_t Duration = -1;
    int BitRate = -1;
    int Channels = -1;
    int SampleRate = -1;
    int SampleFormat = -1;
};

struct TVideoStreamInfo {
    std::string Language;
    std::string CodecName;
    std::int64_t StreamStartTime = -1;
    std::int64_t StartTime = -1;
    std::int64_t StreamDuration = -1;
    std::int64_t Duration = -1;
    int BitRate = -1;
    int Height = -1;
    int Width = -1;
    float DisplayAspectRatio = -1.0f;
    int PixelFormat = -1;
    int FrameRateNum = -1;
    int FrameRateDen = -1;
};

class TCustomAVProbe : public TFFBaseComponent {
public:
    TCustomAVProbe() = default;
    ~TCustomAVProbe() override;

    // Opens the file (UTF-8 path) and reads its stream information; formatName
    // forces a demuxer when not empty. Throws Exception when a needed library is
    // not loaded; every other failure is reported by result and LastError.
    bool LoadFile(const std::string& fileName, const std::string& formatName = {});
    // Takes an already opened demuxer context without owning it.
    virtual void AttachContext(AVFormatContext* context);
    virtual void CloseFile();

    void GetFileStreamInfo(TFileStreamInfo& info);
    void GetAudioStreamInfo(int streamIndex, TAudioStreamInfo& info);
    void GetVideoStreamInfo(int streamIndex, TVideoStreamInfo& info);
    // The multi-line description (lines joined with CR LF); empty without a file.
    std::string GetFileInfoText();

    std::string FileName() const;
    std::string FormatName() const;
    std::string FormatLongName() const;

    const std::string& LastError() const { return lastError_; }
    const std::string& FormatHint() const { return formatHint_; }
    std::int64_t FileSize() const { return fileSize_; }
    int StreamCount() const { return streamCount_; }
    int ProgramCount() const { return programCount_; }
    int AudioStreamCount() const { return audioStreamCount_; }
    int VideoStreamCount() const { return videoStreamCount_; }
    int SubtitleStreamCount() const { return subtitleStreamCount_; }
    int FirstAudioStream() const { return firstAudioStream_; }
    int FirstVideoStream() const { return firstVideoStream_; }
    int FirstSubtitleStream() const { return firstSubtitleStream_; }

protected:
    virtual void RefreshInfo();

private:
    void CheckLibraries() const;
    void Report(const std::string& message, bool log, int level);
    std::string StreamLine(int index);
    std::string MetadataBlock(const void* metadata, const std::string& prefix);

    AVFormatContext* context_ = nullptr;
    bool ownsContext_ = false;
    std::string lastError_;
    std::string formatHint_;
    std::int64_t fileSize_ = -1;
    int streamCount_ = -1;
    int programCount_ = -1;
    int audioStreamCount_ = -1;
    int videoStreamCount_ = -1;
    int subtitleStreamCount_ = -1;
    int firstAudioStream_ = -1;
    int firstVideoStream_ = -1;
    int firstSubtitleStream_ = -1;
};

class TAVProbe : public TCustomAVProbe {};

}  // namespace zorvex
