// The converter component's option records (one per input, one per output of a
// task) and its event records. The records are plain data; Init*Options give
// every field its "not set" value.
#pragma once

#include <cstdint>
#include <string>

#include "media/bitmap.h"
#include "media/util.h"

namespace zorvex {

struct TInputOptions {
    std::string FileName;                 // empty: AddTask fills in its file-name argument
    std::string FileFormat;               // "f"; ignored when empty
    std::int64_t StartTime = NoPtsValue;  // microseconds; "ss" on the input side
    int ProgramID = -1;                   // ignored when negative
    std::string ExtOptions;               // extra option text (name=value lines)
};

// The output's stamp and tags.
struct TStreamInfo {
    double Timestamp = -1.0;  // date-time in days; 0 = now; < 0 not applied
    int Year = -1;
    int Track = -1;
    std::string Title, Author, Copyright, Comment, Album, Genre;
};

struct TOutputOptions {
    std::string FileName;  // empty: filled from the SetOutputFile argument
    std::string FileFormat;
    int PacketSize = -1;
    int MuxRate = -1;
    float MuxDelay = -1.0f;    // seconds
    float MuxPreload = -1.0f;  // seconds

    std::string AudioCodec;
    std::string AudioPreset;
    bool DisableAudio = false;
    int AudioVolume = -1;  // 256 = unchanged
    int AudioChannels = -1;
    int AudioSampleRate = -1;
    int AudioBitrate = -1;  // bit/s
    int AudioBitrateTolerance = -1;
    std::string AudioLanguage;
    int AudioSync = 0;
    std::string AudioTag;

    std::string VideoCodec;
    std::string VideoPreset;
    bool DisableVideo = false;
    std::string FrameRate;
    std::string FrameSize;
    std::string FrameAspectRatio;
    int CropTop = -1, CropBottom = -1, CropLeft = -1, CropRight = -1;
    int GOPSize = -1;
    int VideoBitrate = -1;  // bit/s
    int VideoMaxRate = -1;
    int VideoMinRate = -1;
    int VideoBitrateTolerance = -1;
    int VideoBufSize = -1;
    int VideoSync = -1;
    std::string VideoTag;
    std::string VideoFilters;
    std::string VideoLanguage;

    std::string SubtitleCodec;
    std::string SubtitlePreset;
    bool DisableSubtitle = false;
    std::string SubtitleLanguage;

    bool InputSync = false;
    bool CopyTimestamp = false;
    std::int64_t StartTime = NoPtsValue;  // microseconds; "ss" on the output side
    std::int64_t Duration = NoPtsValue;   // microseconds; "t"
    TStreamInfo StreamInfo;
    int TargetType = 0;         // 1 vcd, 2 svcd, 3 dvd, else none
    int TargetNorm = 0;         // 0 auto, 1 pal, 2 ntsc, else auto
    int TargetDefaultNorm = 1;  // 1 pal, else ntsc
    bool VideoHook = false;
    bool Join = false;
    std::string ExtOptions;
};

inline void InitInputOptions(TInputOptions& options) {
    options = TInputOptions();
}
inline void InitOutputOptions(TOutputOptions& options) {
    options = TOutputOptions();
}

struct TProgressInfo {
    int TaskIndex = 0;
    int FileIndex = 0;    // -1 in the task's final report
    int FrameNumber = 0;  // -1 without video output
    int FPS = 0;
    float Quality = 0;
    float BitRate = 0;  // kbit/s
    std::int64_t CurrentSize = 0;
    std::int64_t CurrentDuration = 0;
    std::int64_t TotalDuration = -1;
};
using PProgressInfo = TProgressInfo*;

struct TTerminateInfo {
    int TaskIndex = 0;  // -1: the end of the batch
    bool Finished = false;
    bool Exception = false;
    std::string ExceptionMsg;
    // A stopped task whose output would have replaced an existing file keeps
    // what it wrote beside that file: the name it was kept under, else empty.
    std::string KeptPartialFile;
};

struct THookInfo {
    int TaskIndex = 0;
    TBitmap* Bitmap = nullptr;  // owned by the engine
    int FrameNumber = 0;
    std::int64_t PTS = 0;
    bool Update = true;
    bool StopHook = false;
};
using PHookInfo = THookInfo*;

struct TPreviewInfo {
    int TaskIndex = 0;
    const TBitmap* Bitmap = nullptr;  // owned by the engine
    int FrameNumber = 0;
    std::int64_t PTS = 0;
};

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

}  // namespace zorvex
