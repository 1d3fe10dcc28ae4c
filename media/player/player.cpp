// The player component: its operations, the play thread that handles display
// events, the event thread that delivers positions and states, and position
// reporting.
#include "media/player/player.h"

#include <cmath>
#include <cstdio>

#include "media/ffapi.h"
#include "media/loader.h"
#include "media/log.h"
#include "media/main_thread.h"
#include "media/player/playback.h"
#include "media/sdl_audio.h"
#include "media/sdlapi.h"

namespace zorvex {
namespace {

using std::chrono::milliseconds;

// The player whose event handler runs on this thread, so that a handler that
// closes or reopens its player does not wait for its own delivery.
thread_local const TCustomPlayer* tlsDeliveringPlayer = nullptr;

const char kFlushText[] = "FLUSH";

}  // namespace

std::int64_t SeekTarget(std::int64_t position, std::int64_t duration, std::int64_t startTime) {
    std::int64_t target = position < 0 ? 0 : position;
    if (duration >= 0 && target > duration) target = duration;  // unknown (-1): not limited
    return target + startTime;
}

TCustomPlayer::TCustomPlayer() : flushPacket_(std::make_unique<AVPacket>()) {
    flushPacket_->data = reinterpret_cast<std::uint8_t*>(const_cast<char*>(kFlushText));
    flushPacket_->size = 0;
    ResetPlayer();
}

TCustomPlayer::~TCustomPlayer() {
    Close(true);
    // Freed from one of its own handlers: the delivery running it hands the
    // player nothing more, and its thread ends by itself.
    {
        std::lock_guard lock(channelMutex_);
        for (const auto& channel : retiredChannels_) channel->Orphaned = true;
    }
    JoinRetiredEventThreads(true);
}

bool TCustomPlayer::LibrariesLoaded() const {
    return Loader().LibrarySetLoaded(PlayerLibrarySet);
}

bool TCustomPlayer::LoadLibraries(const std::string& folder) {
    Loader().SetLibraryFolder(folder);
    if (Loader().LoadLibrarySet(PlayerLibrarySet)) return true;
    SetLastError(Loader().LastError());
    return false;
}

std::string TCustomPlayer::LastError() const {
    std::lock_guard lock(errorMutex_);
    return lastError_;
}

void TCustomPlayer::SetLastError(const std::string& text) {
    std::lock_guard lock(errorMutex_);
    lastError_ = text;
}

void TCustomPlayer::ReportError(const std::string& text, bool store) {
    Logger().Log(this, llError, text);
    if (store) SetLastError(text);
}

std::shared_ptr<TPlayback> TCustomPlayer::Playback() const {
    std::lock_guard lock(playbackMutex_);
    return playback_;
}

bool TCustomPlayer::Playing() const {
    return Playback() != nullptr;
}

bool TCustomPlayer::Paused() const {
    const std::shared_ptr<TPlayback> playback = Playback();
    return playback && playback->paused;
}

void TCustomPlayer::ResetPlayer() {
    {
        std::lock_guard lock(reportMutex_);
        currentPosition_ = NoPtsValue;
        lastReportedPosition_ = NoPtsValue;
    }
    seekDone_.Set();
    seeking_ = false;
}

void TCustomPlayer::SetAspectRatio(float value) {
    aspectRatio_ = value;
    if (Playing()) PostPlayEvent(peDisplayChange);
}

void TCustomPlayer::SetAudioVolume(TAudioVolume value) {
    audioVolume_ = value < 0 ? 0 : value > 128 ? 128 : value;
}

void TCustomPlayer::SetAudioMonitor(TAudioMonitor monitor) {
    std::lock_guard lock(monitorMutex_);
    audioMonitor_ = std::move(monitor);
}

void TCustomPlayer::MonitorAudio(const std::uint8_t* data, int length) {
    std::lock_guard lock(monitorMutex_);
    if (audioMonitor_) audioMonitor_(data, length);
}

bool TCustomPlayer::StartSound() {
    if (sdlStarted_) return true;
    // An explicit SDL_AUDIODRIVER in the environment always wins over the hint.
    const char* driver = audioDriver_ == adDirectSound ? "pulseaudio"
                         : audioDriver_ == adWaveOut   ? "alsa"
                                                       : nullptr;
    SetSdlAudioDriver(driver);
    if (!StartSdlAudio()) {
        char text[512];
        std::snprintf(text, sizeof text, "Could not initialize SDL with ScreenHandle(%u): %s",
                      static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(surface_)),
                      sdl::SDL_GetError());
        ReportError(text, true);
        return false;
    }
    sdlStarted_ = true;
    const char* current = sdl::SDL_GetCurrentAudioDriver();
    Logger().LogFmt(this, llDebug, "using audio driver: %s\n", current != nullptr ? current : "");
    return true;
}

void TCustomPlayer::StopSound() {
    if (sdlStarted_.exchange(false)) StopSdlAudio();
}

bool TCustomPlayer::Open(const std::string& fileName, TDisplaySurface* surface, bool startPaused) {
    if (!LibrariesLoaded()) {
        ReportError("libav or libsdl not loaded.", true);
        return false;
    }
    Close(true);
    SetLastError("");
    surface_ = surface;
    if (!StartSound()) return false;
    if (disableDisplay_) disableVideo_ = true;
    {
        std::lock_guard lock(playEventMutex_);
        playEvents_.clear();
    }
    ResetPlayer();
    pictureAfterSeek_.Set();

    std::shared_ptr<TPlayback> playback = TPlayback::StreamOpen(*this, fileName, startPaused);
    if (!playback) {
        StopSound();
        return false;
    }
    {
        std::lock_guard lock(playbackMutex_);
        playback_ = playback;
    }
    fileName_ = fileName;
    probe_.AttachContext(playback->formatContext);

    std::int64_t duration = playback->image2 ? 0 : playback->duration;
    int frameWidth = -1, frameHeight = -1;
    if (playback->HasVideo()) {
        const AVCodecParameters* video =
            playback->formatContext->streams[playback->videoStreamIndex]->codecpar;
        frameWidth = video->width;
        frameHeight = video->height;
    }
    int screenWidth = screenWidth_, screenHeight = screenHeight_;
    if (OnFileOpen) {
        Deliver([&] {
            OnFileOpen(this, duration, frameWidth, frameHeight, screenWidth, screenHeight);
        });
    }
    if (surface != nullptr && (screenWidth == 0 || screenHeight == 0)) {
        surface->ClientSize(screenWidth, screenHeight);
    }
    screenWidth_ = screenWidth;
    screenHeight_ = screenHeight;
    if (surface != nullptr) surface->SetListener(this);

    auto channel = std::make_shared<TEventChannel>();
    channel->Thread = std::thread(&TCustomPlayer::EventThread, this, channel);
    {
        std::lock_guard lock(channelMutex_);
        eventChannel_ = channel;
    }
    playThreadFinished_.Reset();
    playThread_ = std::thread(&TCustomPlayer::PlayThread, this);
    return true;
}

void TCustomPlayer::Close(bool wait) {
    if (Playing()) PostPlayEvent(peQuit);
    if (!wait) return;
    int attempts = 0;
    while (playThread_.joinable() && !playThreadFinished_.IsSet()) {
        if (WaitServingMainThread([&] { return playThreadFinished_.IsSet(); }, milliseconds(100)))
            break;
        if (!Playing()) break;
        if (TryPlayerLock(milliseconds(100))) {
            ++attempts;
            const std::shared_ptr<TPlayback> current = Playback();
            const bool reading = current && current->reading;
            if (attempts < 21 && (attempts < 11 || !reading)) {
                PostPlayEvent(peQuit);
                playerLock_.unlock();
                continue;
            }
            ClosePlayback();  // the play thread does not answer: close by force
            playerLock_.unlock();
            break;
        }
    }
    JoinThreads();
    StopSound();
}

bool TCustomPlayer::TryPlayerLock(milliseconds timeout) {
    // Polled rather than a timed lock: the play thread holds it only briefly.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!playerLock_.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(milliseconds(2));
    }
    return true;
}

void TCustomPlayer::JoinThreads() {
    if (playThread_.joinable()) {
        WaitServingMainThread([&] { return playThreadFinished_.IsSet(); });
        playThread_.join();
    }
    std::shared_ptr<TEventChannel> channel;
    {
        std::lock_guard lock(channelMutex_);
        channel = std::move(eventChannel_);
    }
    if (channel) {
        channel->Terminated = true;
        channel->Queue.Post({TPlayerEventKind::EndOfDelivery, psStop, 0});
        if (tlsDeliveringPlayer == this) {
            // Called from one of this player's own handlers: that delivery
            // finishes once the handler returns.
            std::lock_guard lock(channelMutex_);
            retiredChannels_.push_back(std::move(channel));
        } else {
            WaitServingMainThread([&] { return channel->Finished.load(); });
            channel->Thread.join();
        }
    }
    JoinRetiredEventThreads(false);
}

void TCustomPlayer::JoinRetiredEventThreads(bool all) {
    std::vector<std::shared_ptr<TEventChannel>> channels;
    {
        std::lock_guard lock(channelMutex_);
        channels.swap(retiredChannels_);
    }
    for (auto& channel : channels) {
        const bool own = channel->Thread.get_id() == std::this_thread::get_id();
        if (own && all) {
            channel->Thread.detach();  // this player is being freed from it
            continue;
        }
        if (all) WaitServingMainThread([&] { return channel->Finished.load(); });
        if (channel->Finished && channel->Thread.joinable() &&
            channel->Thread.get_id() != std::this_thread::get_id()) {
            channel->Thread.join();
        } else {
            std::lock_guard lock(channelMutex_);
            retiredChannels_.push_back(std::move(channel));
        }
    }
}

void TCustomPlayer::Pause() {
    const std::shared_ptr<TPlayback> playback = Playback();
    if (playback && !playback->paused) {
        playback->TogglePause();
        SetState(psPause);
    }
}

void TCustomPlayer::Resume() {
    const std::shared_ptr<TPlayback> playback = Playback();
    if (playback && playback->paused) {
        playback->TogglePause();
        SetState(psResume);
    }
}

void TCustomPlayer::TogglePause() {
    const std::shared_ptr<TPlayback> playback = Playback();
    if (!playback) return;
    playback->TogglePause();
    SetState(playback->paused ? psPause : psResume);
}

void TCustomPlayer::Seek(std::uint8_t flags, bool wait, std::int64_t position) {
    const std::shared_ptr<TPlayback> playback = Playback();
    if (!playback) return;
    if ((flags & AVSEEK_FLAG_BYTE) != 0) {
        playback->StreamSeek(position, 0, flags, wait);
        return;
    }
    playback->StreamSeek(SeekTarget(position, playback->duration, playback->startTime),
                         position <= 0 ? 1 : 0, flags, wait);
}

TBitmap TCustomPlayer::CurrentFrame(std::int64_t& time) {
    time = -1;
    const std::shared_ptr<TPlayback> playback = Playback();
    if (!playback || !playback->HasVideo()) return TBitmap();
    double pictureTime = 0;
    FramePtr picture = playback->ShownPicture(pictureTime);
    if (!picture) return TBitmap();
    std::lock_guard lock(snapshotMutex_);
    picture = SquarePixels(std::move(picture));
    if (!picture) return TBitmap();
    if (!snapshotConversion_.PictureToBitmap(picture->data, picture->linesize,
                                             static_cast<AVPixelFormat>(picture->format),
                                             picture->height, picture->width)) {
        return TBitmap();
    }
    time = std::llround(pictureTime * 1000000.0) - playback->startTime;
    return snapshotConversion_.Bitmap();
}

FramePtr TCustomPlayer::SquarePixels(FramePtr picture) {
    // An anamorphic picture is widened (or narrowed) to its display shape, so
    // that a snapshot looks the way the picture is shown.
    const AVRational sar = picture->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0 || sar.num == sar.den) return picture;
    const int width = static_cast<int>(std::lround(picture->width * av_q2d(sar)));
    const int height = picture->height;
    if (width <= 0 || width > 16384) return picture;
    FramePtr square(ff::av_frame_alloc());
    if (!square) return nullptr;
    square->format = picture->format;
    square->width = width;
    square->height = height;
    const auto format = static_cast<AVPixelFormat>(picture->format);
    snapshotScaler_.reset(ff::sws_getCachedContext(snapshotScaler_.release(), picture->width,
                                                   picture->height, format, width, height, format,
                                                   SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!snapshotScaler_ || ff::av_frame_get_buffer(square.get(), 0) < 0) return nullptr;
    ff::sws_scale(snapshotScaler_.get(), picture->data, picture->linesize, 0, picture->height,
                  square->data, square->linesize);
    square->sample_aspect_ratio = AVRational{1, 1};
    return square;
}

void TCustomPlayer::HookPicture(AVFrame* picture, double time, std::int64_t startTime) {
    const auto format = static_cast<AVPixelFormat>(picture->format);
    if (!hookConversion_.PictureToBitmap(picture->data, picture->linesize, format, picture->height,
                                         picture->width)) {
        Logger().Log(this, llError, "Cannot initialize the toRGB conversion context");
        return;
    }
    try {
        OnHook(this, hookConversion_.Bitmap(), std::llround(time * 1000000.0) - startTime);
    } catch (const std::exception& e) {
        Logger().Log(this, llError, std::string("Error occurs OnHook: ") + e.what());
        return;
    }
    if (!hookConversion_.BitmapToPicture(picture->data, picture->linesize, format, picture->height,
                                         picture->width)) {
        Logger().Log(this, llError, "Cannot initialize the fromRGB conversion context");
    }
}

void TCustomPlayer::SetState(TPlayState state) {
    state_ = state;
    std::shared_ptr<TEventChannel> channel;
    {
        std::lock_guard lock(channelMutex_);
        channel = eventChannel_;
    }
    if (!channel) return;
    if (OnState) {
        channel->Queue.Post({TPlayerEventKind::State, state, 0});
    } else if (state == psStop) {
        channel->Queue.Post({TPlayerEventKind::EndOfDelivery, state, 0});
    }
}

void TCustomPlayer::ReportPosition(TPlayback& playback) {
    if (playback.image2) return;
    std::lock_guard lock(reportMutex_);
    const double clock = playback.HasVideo() ? playback.VideoClock() : playback.AudioClock();
    std::int64_t position = std::llround(clock * 1000000.0) - playback.startTime;
    if (playback.duration > 0 && position >= playback.duration) position = playback.duration;
    if (position < 0) position = 0;
    currentPosition_ = position;
    if (OnPosition && (lastReportedPosition_ == NoPtsValue ||
                       std::llabs(position - lastReportedPosition_) > 10000)) {
        lastReportedPosition_ = position;
        std::lock_guard channelLock(channelMutex_);
        if (eventChannel_)
            eventChannel_->Queue.Post({TPlayerEventKind::Position, psPlay, position});
    }
    // Once per end: a new picture, or for sound alone a seek, starts a new one.
    if (!playback.capture && !playback.endReported && playback.drained) {
        SetState(psEnd);
        playback.endReported = true;
    }
}

void TCustomPlayer::RearmEndReport(TPlayback& playback) {
    // Under the report lock, so a report that saw the old end cannot mark the
    // new one as reported.
    std::lock_guard lock(reportMutex_);
    playback.endReported = false;
}

void TCustomPlayer::PostPlayEvent(int kind, int width, int height) {
    {
        std::lock_guard lock(playEventMutex_);
        if (kind == peResize && !playEvents_.empty() && playEvents_.back().Kind == peResize) {
            playEvents_.back() = {kind, width, height};
        } else {
            playEvents_.push_back({kind, width, height});
        }
    }
    playEventQueued_.notify_one();
}

void TCustomPlayer::SurfaceResized(int width, int height) {
    PostPlayEvent(peResize, width, height);
}

void TCustomPlayer::PlayThread() {
    SetState(psPlay);
    try {
        for (;;) {
            TPlayEvent event;
            {
                std::unique_lock lock(playEventMutex_);
                playEventQueued_.wait(lock, [&] { return !playEvents_.empty(); });
                event = playEvents_.front();
                playEvents_.pop_front();
            }
            std::lock_guard lock(playerLock_);
            if (!Playing()) break;
            if (!HandlePlayEvent(event)) break;
        }
    } catch (const std::exception& e) {
        Logger().Log(this, llFatal, std::string("PlayThread Exception: ") + e.what());
        std::lock_guard lock(playerLock_);
        ClosePlayback();
    }
    StopSound();
    ReleaseSdlThreadData();
    playThreadFinished_.Set();
    SetState(psStop);
}

bool TCustomPlayer::HandlePlayEvent(const TPlayEvent& event) {
    const std::shared_ptr<TPlayback> playback = Playback();
    switch (event.Kind) {
        case peQuit:
            ClosePlayback();
            return false;
        case peResize:
            playback->Resize(event.Width, event.Height);
            break;
        case peAllocatePicture:
            playback->AllocatePicture();
            break;
        case peRefresh:
            playback->VideoRefresh(true);
            playback->refreshPending = false;
            break;
        case peDisplayChange:
            playback->VideoOpen(true);
            playback->VideoDisplay();
            break;
        default:
            break;
    }
    return true;
}

void TCustomPlayer::ClosePlayback() {
    std::shared_ptr<TPlayback> playback;
    {
        std::lock_guard lock(playbackMutex_);
        playback = playback_;
    }
    if (!playback) return;
    if (surface_ != nullptr) surface_->SetListener(nullptr);
    probe_.AttachContext(nullptr);
    playback->StreamClose();
    {
        std::lock_guard lock(playbackMutex_);
        playback_.reset();
    }
    ResetPlayer();
}

void TCustomPlayer::Deliver(std::function<void()> call,
                            const std::shared_ptr<TEventChannel>& channel) {
    auto guarded = [this, call = std::move(call)] {
        const TCustomPlayer* outer = tlsDeliveringPlayer;
        tlsDeliveringPlayer = this;
        try {
            call();
        } catch (const std::exception& e) {
            Logger().Log(this, llError,
                         std::string("Error occurs in an event handler: ") + e.what());
        }
        tlsDeliveringPlayer = outer;
    };
    if (!triggerEventInMainThread_) {
        guarded();
    } else if (channel) {
        // The event thread stops waiting when the player is freed from the
        // handler it waits for.
        RunInMainThreadUnless(std::move(guarded), [channel] { return channel->Orphaned.load(); });
    } else {
        RunInMainThread(guarded);
    }
}

void TCustomPlayer::EventThread(std::shared_ptr<TEventChannel> channel) {
    // The player may be freed by a handler (Orphaned): from then on only the
    // channel, which this thread shares, is touched.
    bool done = false;
    while (!done && !channel->Orphaned) {
        TPlayerEvent event;
        while (!done && !channel->Orphaned && channel->Queue.Take(event)) {
            switch (event.Kind) {
                case TPlayerEventKind::Position:
                    if (TPositionEvent handler = OnPosition) {
                        Deliver([this, handler, time = event.Time] { handler(this, time); },
                                channel);
                    }
                    break;
                case TPlayerEventKind::State:
                    if (TPlayStateEvent handler = OnState) {
                        Deliver([this, handler, state = event.State] { handler(this, state); },
                                channel);
                    }
                    done = event.State == psStop;
                    break;
                case TPlayerEventKind::EndOfDelivery:
                    done = true;
                    break;
            }
        }
        if (done || channel->Orphaned || channel->Terminated) break;
        channel->Queue.WaitNotEmpty(milliseconds(100));
    }
    ReleaseSdlThreadData();  // a handler may have opened a file from here
    channel->Finished = true;
}

}  // namespace zorvex
