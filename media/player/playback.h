// The playback state of one open file and the engine that plays it: the read
// thread with its packet queues, seeking and end of file (read_thread.cpp), the
// clocks and pause (clocks.cpp), the video thread, picture queue and display
// (video_output.cpp), the subtitle thread (subtitle_thread.cpp), the sound
// callback (audio_output.cpp) and the wave display (wave_display.cpp).
// Internal to the player component.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/ffapi.h"
#include "media/ffptr.h"
#include "media/player/display_surface.h"
#include "media/player/packet_queue.h"
#include "media/sdlapi.h"

namespace zorvex {

class TCustomPlayer;

// Events handled by the player's play thread.
enum TPlayEventKind {
    peResize = 16,  // the surface has a new size
    peAllocatePicture = 24,
    peRefresh = 25,
    peQuit = 26,
    peDisplayChange = 27,  // the aspect ratio changed: set up the display again and redraw
};

struct TPictureEntry {
    double Time = 0;         // presentation time, seconds
    double TargetClock = 0;  // wall-clock time at which to show it
    std::int64_t Position = -1;
    FramePtr Picture;  // the filtered YUV 4:2:0 picture
    int Width = 0;     // the picture's size, each rounded down to even
    int Height = 0;
    bool Allocated = false;
    int SeekSerial = -1;  // the seek it was decoded after; -1: decoded before a flush
};

struct TSubpictureEntry {
    double Time = 0;
    AVSubtitle Subtitle{};
};

// The pictures at their even display size, the way the queue keeps them.
inline int EvenSize(int n) {
    return n & ~1;
}

class TPlayback {
public:
    static constexpr int PictureQueueSize = 2;
    static constexpr int SubpictureQueueSize = 4;
    static constexpr int SampleRingSize = 0x20000;
    static constexpr int MaxQueueBytes = 15 * 1024 * 1024;
    static constexpr int MinAudioQueueBytes = 327680;
    static constexpr int MinPackets = 5;

    TPlayback(TCustomPlayer& owner, std::string fileName, bool startPaused);
    ~TPlayback();
    TPlayback(const TPlayback&) = delete;
    TPlayback& operator=(const TPlayback&) = delete;

    // Opens the file on a new read thread and waits until it plays or failed;
    // none on failure, with the reason in the player's LastError.
    static std::shared_ptr<TPlayback> StreamOpen(TCustomPlayer& owner, const std::string& fileName,
                                                 bool startPaused);
    // Stops every thread of the playback and frees its pictures.
    void StreamClose();
    void StreamSeek(std::int64_t position, std::int64_t range, int flags, bool wait);
    void TogglePause();

    double AudioClock() const;
    double VideoClock() const;
    double VideoClockLocked() const;  // with clockMutex_ held
    double MasterClock() const;
    static double Now();  // wall-clock seconds

    // Play-thread operations.
    int VideoOpen(bool force);
    void VideoDisplay();
    void VideoRefresh(bool advance);
    void AllocatePicture();
    void Resize(int width, int height);

    // The picture now on screen (a new reference) and its time; none before the
    // first picture was shown.
    FramePtr ShownPicture(double& time) const;

    bool HasVideo() const { return videoStreamIndex >= 0; }
    bool HasAudio() const { return audioStreamIndex >= 0; }
    bool HasSubtitles() const { return subtitleStreamIndex >= 0; }

    // --- shared with the player component ---
    TCustomPlayer& owner;
    const std::string fileName;
    bool image2 = false;             // the demuxer is image2
    bool capture = false;            // a capture device
    std::int64_t startTime = 0;      // microseconds
    std::int64_t duration = -1;      // microseconds, -1 when unknown
    std::atomic<int> openStatus{0};  // 0 pending, 1 running, -1 failed, -2 failed and finished
    std::atomic<bool> abortRequest{false};
    std::atomic<bool> paused{false};
    std::atomic<bool> endOfFile{false};
    std::atomic<bool> drained{false};
    std::atomic<bool> endReported{false};
    std::atomic<bool> reading{false};  // the read thread is inside av_read_frame
    std::atomic<bool> refreshPending{false};
    std::atomic<int> stepCounter{0};
    std::atomic<int> audioDisplayMode{0};  // 0 none, 1 waves
    AVFormatContext* formatContext = nullptr;
    std::atomic<int> audioStreamIndex{-1};
    std::atomic<int> videoStreamIndex{-1};
    std::atomic<int> subtitleStreamIndex{-1};

private:
    friend class TCustomPlayer;

    // read_thread.cpp
    void ReadThread();
    bool OpenInput();
    void ReadLoop();
    void ReadThreadEnd();
    void HandleSeekRequest(bool& endMark);
    bool QueuesFull() const;
    int StreamComponentOpen(int streamIndex);
    void StreamComponentClose(int streamIndex);
    bool OpenAudioDevice(AVCodecContext* codec);
    void RefreshThread();
    static int InterruptCallback(void* opaque);

    // video_output.cpp
    void VideoThread();
    int GetVideoFrame(AVFrame* frame);
    bool ConfigureVideoFilters(const AVFrame* frame);
    int OutputPicture(AVFrame* picture, bool timed, double time, std::int64_t position);
    int QueuePicture(AVFrame* picture, double time, std::int64_t position);
    double TargetClock(double time);
    void PictureDisplay();
    void DropHead();
    void ExpireSubpictures(double currentPts);
    void Present();
    TRect DisplayArea() const { return {0, 0, displayImage_.Width, displayImage_.Height}; }

    // subtitle_thread.cpp
    void SubtitleThread();
    void FreeSubpicture(TSubpictureEntry& entry);

    // audio_output.cpp
    static void AudioCallbackEntry(void* opaque, std::uint8_t* stream, int length);
    void AudioCallback(std::uint8_t* stream, int length);
    int DecodeAudio();
    int ConvertAudioFrame(const AVFrame* frame);

    // wave_display.cpp
    void WaveDisplay();

    bool startPaused_;

    // Control, written by the caller's thread and read by the read thread.
    std::atomic<bool> seekRequest_{false};
    std::int64_t seekPosition_ = 0;
    std::int64_t seekRange_ = 0;
    int seekFlags_ = 0;
    std::atomic<bool> seekWhilePaused_{false};
    // What a seek changes for the video thread and the refresh. The read thread
    // changes them under seekMutex_ before it queues the flush packet, and the
    // video thread tests and changes them under it, so a picture decoded before
    // the flush can neither end drop mode nor pass for the picture after the seek.
    std::mutex seekMutex_;  // only the player's signals are locked under it
    std::atomic<bool> dropUntilFlush_{false};
    std::atomic<bool> flushSeen_{false};
    int seekSerial_ = 0;  // counts successful seeks
    void BeginSeekFlush();
    void EndDropOnFlush();
    int PictureSerial();
    void PictureAfterSeekShown(int serial);
    std::atomic<int> readPauseResult_{0};
    bool lastPaused_ = false;  // read thread only

    std::thread readThread_;
    std::thread refreshThread_;
    std::thread videoThread_;
    std::thread subtitleThread_;

    // Streams and their queues.
    AVStream* audioStream_ = nullptr;
    AVStream* videoStream_ = nullptr;
    AVStream* subtitleStream_ = nullptr;
    CodecContextPtr audioCodec_;
    CodecContextPtr videoCodec_;
    CodecContextPtr subtitleCodec_;
    std::unique_ptr<TPacketQueue> audioQueue_;
    std::unique_ptr<TPacketQueue> videoQueue_;
    std::unique_ptr<TPacketQueue> subtitleQueue_;

    // Video clocks, under clockMutex_.
    mutable std::mutex clockMutex_;
    double videoCurrentPts_ = 0;
    double videoCurrentPtsDrift_ = 0;
    bool pictureShown_ = false;  // the clock above has been set by a shown picture
    std::int64_t videoCurrentPosition_ = -1;
    double frameTimer_ = 0;
    double frameLastPts_ = 0;
    double frameLastDelay_ = 0;
    std::atomic<double> videoClock_{0};  // time of the next picture, set by the video thread

    // Picture queue.
    std::mutex pictureMutex_;
    std::condition_variable pictureChanged_;
    std::array<TPictureEntry, PictureQueueSize> pictures_;
    int pictureReadIndex_ = 0;
    int pictureWriteIndex_ = 0;
    int pictureCount_ = 0;
    int allocIndex_ = 0;  // the entry the next allocation is for, and its size
    int allocWidth_ = 0;
    int allocHeight_ = 0;

    // The picture on screen.
    mutable std::mutex shownMutex_;
    FramePtr shownPicture_;
    double shownTime_ = 0;
    int shownWidth_ = 0;  // the displayed part: even width and height
    int shownHeight_ = 0;

    // Video decoding, video thread only.
    FramePtr decodedFrame_;
    FilterGraphPtr filterGraph_;
    AVFilterContext* filterSource_ = nullptr;
    AVFilterContext* filterSink_ = nullptr;
    int filterWidth_ = 0, filterHeight_ = 0, filterFormat_ = -1;
    AVRational filterSar_{0, 1};
    bool videoDecoderHasFrames_ = false;
    bool videoDrainSent_ = false;
    std::atomic<float> skipRatio_{1.0f};  // also grown by the refresh for late pictures
    float skipCounter_ = 0.0f;

    // Subpicture queue.
    std::mutex subpictureMutex_;
    std::condition_variable subpictureChanged_;
    std::array<TSubpictureEntry, SubpictureQueueSize> subpictures_;
    int subpictureReadIndex_ = 0;
    int subpictureWriteIndex_ = 0;
    int subpictureCount_ = 0;
    bool subtitleStreamChanged_ = false;

    // Audio output. The buffers belong to the sound callback; the clock and the
    // bytes not yet handed to the device are read by other threads.
    SDL_AudioDeviceID audioDevice_ = 0;
    int audioRate_ = 0;      // device sample rate
    int audioChannels_ = 0;  // 1 or 2, signed 16-bit interleaved
    std::int64_t audioStartTime_ = -1;
    std::vector<std::uint8_t> audioDecodeBuffer_;  // grows to fit the frames
    const std::uint8_t* audioBuffer_ = nullptr;
    int audioBufferSize_ = 0;
    int audioBufferIndex_ = 0;
    FramePtr audioFrame_;
    SwrPtr audioConverter_;
    int converterFormat_ = -1, converterRate_ = 0;
    AVChannelLayout converterLayout_{};
    bool audioDecoderHasFrames_ = false;
    bool audioDrainSent_ = false;
    mutable std::mutex audioClockMutex_;
    double audioClock_ = 0;
    int audioBytesPending_ = 0;

    // Display, play thread only (the wave display's ring is shared with the
    // sound callback under sampleMutex_).
    TDisplayImage displayImage_;
    bool displayReady_ = false;
    SwsPtr displayScaler_;
    AvMemPtr<std::uint8_t> scaledBuffer_;
    size_t scaledBufferSize_ = 0;
    std::mutex sampleMutex_;
    std::vector<std::int16_t> sampleRing_ = std::vector<std::int16_t>(SampleRingSize);
    int sampleRingIndex_ = 0;
    int lastWaveStart_ = 0;
};

}  // namespace zorvex
