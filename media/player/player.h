// The player component: plays one media file at a time into a display surface
// that the application supplies, with sound through SDL2. It opens, pauses,
// resumes and seeks, hands out the picture on screen, lets the application draw
// on every picture before it is shown (hook), and reports the file's size when
// it opens and its position and state afterwards.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/base_component.h"
#include "media/bitmap.h"
#include "media/ffptr.h"
#include "media/player/display_surface.h"
#include "media/player/player_events.h"
#include "media/player/signal.h"
#include "media/probe.h"
#include "media/util.h"

struct AVFrame;
struct AVPacket;

namespace zorvex {

class TPlayback;

// Sound drivers. adDefault leaves SDL's choice (and the SDL_AUDIODRIVER
// environment variable) alone; the others name "pulseaudio" and "alsa".
enum TAudioDriver { adDefault, adDirectSound, adWaveOut };
// Kept for the component's interface; pictures are drawn by the application.
enum TVideoDriver { vdDefault, vdDirectDraw, vdGDI };
using TAudioVolume = int;  // 0 .. 128

class TCustomPlayer;
using TFileOpenEvent =
    std::function<void(TCustomPlayer* sender, std::int64_t duration, int frameWidth,
                       int frameHeight, int& screenWidth, int& screenHeight)>;
using THookEvent = std::function<void(TCustomPlayer* sender, TBitmap& bitmap, std::int64_t pts)>;
using TPositionEvent = std::function<void(TCustomPlayer* sender, std::int64_t pts)>;
using TPlayStateEvent = std::function<void(TCustomPlayer* sender, TPlayState state)>;
// Sees every buffer the sound callback hands to the device.
using TAudioMonitor = std::function<void(const std::uint8_t* data, int length)>;

// The stream position a seek to `position` (microseconds from the start)
// aims at: limited to the duration when that is known (not -1), and moved by
// the file's start time.
std::int64_t SeekTarget(std::int64_t position, std::int64_t duration, std::int64_t startTime);

class TCustomPlayer : public TFFBaseComponent, private TDisplaySurfaceListener {
public:
    TCustomPlayer();
    ~TCustomPlayer() override;

    static constexpr const char* Version() { return "2.3"; }

    bool LibrariesLoaded() const;
    // Loads the player library set (the converter's libraries and SDL2) from the
    // folder, else through the system's search; false with LastError set.
    bool LoadLibraries(const std::string& folder);

    // Plays the file into the surface (none: nothing is shown, pictures are
    // still decoded and timed). With startPaused the first two pictures are
    // shown and the state becomes psPause. False with LastError set.
    bool Open(const std::string& fileName, TDisplaySurface* surface, bool startPaused);
    // Stops the current playback; with wait, returns when every thread of it has
    // ended (serving main-thread calls meanwhile).
    void Close(bool wait);
    void Pause();
    void Resume();
    void TogglePause();
    // Position in microseconds from the start of the file, or a byte offset with
    // flag 2 (AVSEEK_FLAG_BYTE). The low four bits of flags go to FFmpeg.
    void Seek(std::uint8_t flags, bool wait, std::int64_t position);
    // A copy of the picture on screen at its own size, and its time in
    // microseconds from the start; 0 x 0 and -1 without a picture.
    TBitmap CurrentFrame(std::int64_t& time);

    TPlayState State() const { return state_.load(); }
    std::string LastError() const;
    TDisplaySurface* ScreenHandle() const { return surface_; }
    const std::string& FileName() const { return fileName_; }
    bool Playing() const;  // a playback exists
    // A playback exists and is paused (a file opened paused is, before its
    // state has become psPause).
    bool Paused() const;
    TAVProbe& AVProbe() { return probe_; }

    // Properties.
    float AspectRatio() const { return aspectRatio_.load(); }
    void SetAspectRatio(float value);
    TAudioDriver AudioDriver() const { return audioDriver_; }
    void SetAudioDriver(TAudioDriver value) { audioDriver_ = value; }
    TAudioVolume AudioVolume() const { return audioVolume_.load(); }
    void SetAudioVolume(TAudioVolume value);
    bool DisableAudio() const { return disableAudio_; }
    void SetDisableAudio(bool value) { disableAudio_ = value; }
    bool DisableVideo() const { return disableVideo_; }
    void SetDisableVideo(bool value) { disableVideo_ = value; }
    bool DisableDisplay() const { return disableDisplay_; }
    void SetDisableDisplay(bool value) { disableDisplay_ = value; }
    bool Mute() const { return mute_.load(); }
    void SetMute(bool value) { mute_ = value; }
    int FrameWidth() const { return frameWidth_; }
    void SetFrameWidth(int value) { frameWidth_ = value; }
    int FrameHeight() const { return frameHeight_; }
    void SetFrameHeight(int value) { frameHeight_ = value; }
    bool Hook() const { return hook_.load(); }
    void SetHook(bool value) { hook_ = value; }
    int ScreenWidth() const { return screenWidth_.load(); }
    void SetScreenWidth(int value) { screenWidth_ = value; }
    int ScreenHeight() const { return screenHeight_.load(); }
    void SetScreenHeight(int value) { screenHeight_ = value; }
    bool TriggerEventInMainThread() const { return triggerEventInMainThread_; }
    void SetTriggerEventInMainThread(bool value) { triggerEventInMainThread_ = value; }
    TVideoDriver VideoDriver() const { return videoDriver_; }
    void SetVideoDriver(TVideoDriver value) { videoDriver_ = value; }
    void SetAudioMonitor(TAudioMonitor monitor);

    // Events: assign them while no file is open.
    TFileOpenEvent OnFileOpen;
    THookEvent OnHook;
    TPositionEvent OnPosition;
    TPlayStateEvent OnState;

private:
    friend class TPlayback;

    struct TPlayEvent {
        int Kind = 0;
        int Width = 0;
        int Height = 0;
    };

    std::shared_ptr<TPlayback> Playback() const;
    void ResetPlayer();
    void ReportError(const std::string& text, bool store);
    void SetLastError(const std::string& text);
    void SetState(TPlayState state);
    void ReportPosition(TPlayback& playback);
    void RearmEndReport(TPlayback& playback);
    void HookPicture(AVFrame* picture, double time, std::int64_t startTime);
    void MonitorAudio(const std::uint8_t* data, int length);
    void PostPlayEvent(int kind, int width = 0, int height = 0);
    void SurfaceResized(int width, int height) override;
    bool StartSound();
    void StopSound();

    void PlayThread();
    bool HandlePlayEvent(const TPlayEvent& event);  // false: leave the loop
    void ClosePlayback();                           // with the player lock held
    void JoinThreads();

    // Properties.
    std::atomic<float> aspectRatio_{0.0f};
    TAudioDriver audioDriver_ = adDefault;
    TVideoDriver videoDriver_ = vdDefault;
    std::atomic<int> audioVolume_{128};
    bool disableAudio_ = false;
    bool disableVideo_ = false;
    bool disableDisplay_ = false;
    std::atomic<bool> mute_{false};
    int frameWidth_ = 0;
    int frameHeight_ = 0;
    std::atomic<bool> hook_{false};
    std::atomic<int> screenWidth_{0};
    std::atomic<int> screenHeight_{0};
    bool triggerEventInMainThread_ = true;

    std::atomic<TPlayState> state_{psStop};
    mutable std::mutex errorMutex_;
    std::string lastError_;
    TDisplaySurface* surface_ = nullptr;
    std::string fileName_;
    TAVProbe probe_;

    // The playback; replaced only by Open and the close paths.
    mutable std::mutex playbackMutex_;
    std::shared_ptr<TPlayback> playback_;
    // Held by the play thread while it handles one event, and by a forced close.
    std::mutex playerLock_;
    bool TryPlayerLock(std::chrono::milliseconds timeout);

    // Shared with the engine.
    std::unique_ptr<AVPacket> flushPacket_;  // a marker, never given to FFmpeg
    TManualResetEvent seekDone_{true};
    TManualResetEvent pictureAfterSeek_{true};
    std::atomic<bool> seeking_{false};
    std::atomic<std::int64_t> callbackTime_{0};  // microseconds of the last sound callback
    std::atomic<bool> sdlStarted_{false};

    // Position reporting.
    std::mutex reportMutex_;
    std::int64_t currentPosition_ = NoPtsValue;
    std::int64_t lastReportedPosition_ = NoPtsValue;

    // Pictures handed out: the hook's (video thread) and CurrentFrame's.
    PictureConversion hookConversion_;
    std::mutex snapshotMutex_;
    PictureConversion snapshotConversion_;
    SwsPtr snapshotScaler_;
    // The picture at its display shape (square pixels); none when out of memory.
    FramePtr SquarePixels(FramePtr picture);
    std::mutex monitorMutex_;
    TAudioMonitor audioMonitor_;

    // Play thread and its event queue.
    std::thread playThread_;
    std::mutex playEventMutex_;
    std::condition_variable playEventQueued_;
    std::deque<TPlayEvent> playEvents_;
    TManualResetEvent playThreadFinished_{true};

    // Event thread: one per playback, each with a queue of its own. A thread
    // whose handler is still running when the next playback starts (a handler
    // that reopened the player) is joined later.
    struct TEventChannel {
        TPlayerEventQueue Queue;
        std::atomic<bool> Terminated{false};
        std::atomic<bool> Orphaned{false};  // the player was freed by a handler
        std::atomic<bool> Finished{false};
        std::thread Thread;
    };
    void EventThread(std::shared_ptr<TEventChannel> channel);
    // Runs call (which owns what it uses) as a handler, in the main thread when
    // events go there; channel: the event thread's, when it delivers.
    void Deliver(std::function<void()> call,
                 const std::shared_ptr<TEventChannel>& channel = nullptr);
    void JoinRetiredEventThreads(bool all);
    std::mutex channelMutex_;
    std::shared_ptr<TEventChannel> eventChannel_;
    std::vector<std::shared_ptr<TEventChannel>> retiredChannels_;
};

class TDIZuvore : public TCustomPlayer {};

}  // namespace zorvex
