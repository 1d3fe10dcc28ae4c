// Opening and closing a playback, the read thread that fills the packet queues
// (with its limits, seeking and end of input), decoder opening and closing, and
// the refresh thread that paces the display.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "media/loader.h"
#include "media/log.h"
#include "media/main_thread.h"
#include "media/player/playback.h"
#include "media/player/player.h"

namespace zorvex {
namespace {

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string Printf(const char* format, const std::string& a) {
    const int n = std::snprintf(nullptr, 0, format, a.c_str());
    std::string out(static_cast<size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, format, a.c_str());
    return out;
}

// After this many read errors in a row (100 ms apart) the input counts as ended.
constexpr int kReadErrorRetries = 10;

// The longest a seek with wait blocks its caller.
constexpr std::chrono::milliseconds kSeekWaitLimit{5000};

}  // namespace

TPlayback::TPlayback(TCustomPlayer& player, std::string name, bool startPaused)
    : owner(player), fileName(std::move(name)), startPaused_(startPaused) {
    if (startPaused) {
        paused = true;
        stepCounter = 1;
    }
    frameTimer_ = Now();
}

TPlayback::~TPlayback() {
    // Normally StreamClose has run; this only covers a playback that failed early.
    abortRequest = true;
    for (std::thread* t : {&readThread_, &refreshThread_, &videoThread_, &subtitleThread_}) {
        if (t->joinable()) t->join();
    }
    for (TSubpictureEntry& entry : subpictures_) FreeSubpicture(entry);
    ff::av_channel_layout_uninit(&converterLayout_);
}

int TPlayback::InterruptCallback(void* opaque) {
    return static_cast<TPlayback*>(opaque)->abortRequest.load() ? 1 : 0;
}

std::shared_ptr<TPlayback> TPlayback::StreamOpen(TCustomPlayer& player, const std::string& fileName,
                                                 bool startPaused) {
    std::shared_ptr<TPlayback> playback;
    try {
        playback = std::make_shared<TPlayback>(player, fileName, startPaused);
    } catch (const std::bad_alloc&) {
        player.ReportError("av_mallocz() failed.", true);
        return nullptr;
    }
    try {
        playback->readThread_ = std::thread(&TPlayback::ReadThread, playback.get());
    } catch (const std::system_error&) {
        player.ReportError("SDL_CreateThread() failed.", true);
        return nullptr;
    }
    WaitServingMainThread([&] { return playback->openStatus.load() != 0; });
    if (playback->openStatus.load() == 1) {
        if (!playback->HasVideo() && !player.disableDisplay_) playback->audioDisplayMode = 1;
        try {
            playback->refreshThread_ = std::thread(&TPlayback::RefreshThread, playback.get());
        } catch (const std::system_error&) {
            player.ReportError("SDL_CreateThread() failed.", true);
            playback->StreamClose();
            return nullptr;
        }
        return playback;
    }
    WaitServingMainThread([&] { return playback->openStatus.load() != -1; });
    playback->readThread_.join();
    player.ResetPlayer();
    return nullptr;
}

void TPlayback::StreamClose() {
    abortRequest = true;
    if (readThread_.joinable()) readThread_.join();
    if (refreshThread_.joinable()) refreshThread_.join();
    std::lock_guard lock(pictureMutex_);
    for (TPictureEntry& entry : pictures_) {
        entry.Picture.reset();
        entry.Allocated = false;
    }
}

void TPlayback::ReadThread() {
    if (OpenInput()) {
        openStatus = 1;
        ReadLoop();
        while (!abortRequest) SleepMs(100);
    }
    ReadThreadEnd();
}

bool TPlayback::OpenInput() {
    formatContext = ff::avformat_alloc_context();
    if (formatContext == nullptr) {
        owner.SetLastError(FFmpegErrorText(fileName, AVERROR(ENOMEM)));
        return false;
    }
    formatContext->interrupt_callback.callback = &TPlayback::InterruptCallback;
    formatContext->interrupt_callback.opaque = this;
    Dictionary options;
    SetLocalProtocolWhitelist(options.Out());
    if (owner.frameWidth_ > 0 && owner.frameHeight_ > 0) {  // for raw inputs
        options.Set(
            "video_size",
            (std::to_string(owner.frameWidth_) + "x" + std::to_string(owner.frameHeight_)).c_str());
    }
    int ret = ff::avformat_open_input(&formatContext, ToFFmpegFileName(fileName).c_str(), nullptr,
                                      options.Out());
    if (ret < 0) {  // the context was freed by the failed open
        formatContext = nullptr;
        owner.SetLastError(FFmpegErrorText(fileName, ret));
        return false;
    }
    {
        std::lock_guard lock(CodecLock());
        ret = ff::avformat_find_stream_info(formatContext, nullptr);
    }
    if (ret < 0) {
        owner.SetLastError(Printf("%s: could not find codec parameters", fileName));
        return false;
    }
    if (formatContext->pb != nullptr) formatContext->pb->eof_reached = 0;

    const char* demuxer = formatContext->iformat->name;
    image2 = std::strcmp(demuxer, "image2") == 0;
    capture = std::strcmp(demuxer, "video4linux2,v4l2") == 0 || std::strcmp(demuxer, "vfwcap") == 0;
    startTime = formatContext->start_time != AV_NOPTS_VALUE ? formatContext->start_time : 0;
    duration = formatContext->duration != AV_NOPTS_VALUE ? formatContext->duration : -1;

    for (unsigned i = 0; i < formatContext->nb_streams; ++i) {
        formatContext->streams[i]->discard = AVDISCARD_ALL;
    }
    auto best = [&](AVMediaType type, bool wanted) {
        return wanted ? ff::av_find_best_stream(formatContext, type, -1, -1, nullptr, 0) : -1;
    };
    const int audio = best(AVMEDIA_TYPE_AUDIO, !owner.disableAudio_);
    const int video = best(AVMEDIA_TYPE_VIDEO, !owner.disableVideo_);
    const int subtitle = best(AVMEDIA_TYPE_SUBTITLE, !owner.disableVideo_);
    if (audio >= 0) StreamComponentOpen(audio);
    if (video >= 0) StreamComponentOpen(video);
    if (subtitle >= 0) StreamComponentOpen(subtitle);
    if (!HasAudio() && !HasVideo()) {
        owner.SetLastError(Printf("%s: could not open codecs, no stream to play.", fileName));
        return false;
    }
    return true;
}

void TPlayback::ReadThreadEnd() {
    if (openStatus.load() != 1) openStatus = -1;
    if (HasAudio()) StreamComponentClose(audioStreamIndex);
    if (HasVideo()) StreamComponentClose(videoStreamIndex);
    if (HasSubtitles()) StreamComponentClose(subtitleStreamIndex);
    if (formatContext != nullptr) ff::avformat_close_input(&formatContext);
    if (openStatus.load() == -1) openStatus = -2;
}

bool TPlayback::QueuesFull() const {
    const int audioSize = audioQueue_ ? audioQueue_->Size() : 0;
    const int videoSize = videoQueue_ ? videoQueue_->Size() : 0;
    const int subtitleSize = subtitleQueue_ ? subtitleQueue_->Size() : 0;
    if (audioSize + videoSize + subtitleSize > MaxQueueBytes) return true;
    const bool wantAudio = HasAudio() && audioSize <= MinAudioQueueBytes;
    const bool wantVideo = HasVideo() && videoQueue_->Count() <= MinPackets;
    const bool wantSubtitles = HasSubtitles() && subtitleQueue_->Count() <= MinPackets;
    return !(wantAudio || wantVideo || wantSubtitles);
}

void TPlayback::HandleSeekRequest(bool& endMark) {
    const std::int64_t target = seekPosition_;
    const std::int64_t range = seekRange_;
    const int flags = seekFlags_;
    const std::int64_t minimum = range > 0 ? target - range + 2 : INT64_MIN;
    const std::int64_t maximum = range < 0 ? target - range - 2 : INT64_MAX;
    int ret = ff::avformat_seek_file(formatContext, -1, minimum, target, maximum, flags);
    if (ret < 0) ret = ff::av_seek_frame(formatContext, -1, target, flags);
    if (ret < 0) ret = ff::av_seek_frame(formatContext, -1, target, flags ^ AVSEEK_FLAG_BACKWARD);
    if (ret < 0) {
        owner.ReportError(Printf("%s: error while seeking", fileName), false);
        {
            std::lock_guard lock(seekMutex_);
            dropUntilFlush_ = true;  // the next picture ends it
        }
        if (HasVideo()) owner.pictureAfterSeek_.Set();
    } else {
        // Before the flush packet is queued: an idle video thread may take it at
        // once, and must then find drop mode on and flush-seen off.
        BeginSeekFlush();
        for (TPacketQueue* queue : {audioQueue_.get(), videoQueue_.get(), subtitleQueue_.get()}) {
            if (queue == nullptr) continue;
            queue->Flush();
            queue->PutFlush();
        }
    }
    endOfFile = false;
    drained = false;
    seekRequest_ = false;
    owner.seekDone_.Set();
    if (!HasVideo()) {
        owner.seeking_ = false;
        owner.RearmEndReport(*this);  // without pictures, the seek starts a new end
    }
    endMark = false;
}

void TPlayback::BeginSeekFlush() {
    std::lock_guard lock(seekMutex_);
    ++seekSerial_;
    flushSeen_ = false;
    dropUntilFlush_ = true;
    if (HasVideo()) owner.pictureAfterSeek_.Reset();
}

void TPlayback::EndDropOnFlush() {
    std::lock_guard lock(seekMutex_);
    if (dropUntilFlush_ && flushSeen_) {
        dropUntilFlush_ = false;
        seekWhilePaused_ = false;
    }
}

int TPlayback::PictureSerial() {
    std::lock_guard lock(seekMutex_);
    return flushSeen_ ? seekSerial_ : -1;
}

void TPlayback::PictureAfterSeekShown(int serial) {
    std::lock_guard lock(seekMutex_);
    if (serial == seekSerial_) owner.pictureAfterSeek_.Set();
}

void TPlayback::ReadLoop() {
    bool endMark = false;  // the input has ended (or failed) since the last seek
    int readErrors = 0;
    PacketPtr packet(ff::av_packet_alloc());
    if (!packet) return;
    while (!abortRequest) {
        const bool nowPaused = paused;
        if (nowPaused != lastPaused_) {
            lastPaused_ = nowPaused;
            if (nowPaused) {
                readPauseResult_ = ff::av_read_pause(formatContext);
            } else {
                ff::av_read_play(formatContext);
            }
        }
        if (seekRequest_) HandleSeekRequest(endMark);
        if (QueuesFull()) {
            SleepMs(10);
            continue;
        }
        if (endMark) {
            if (HasVideo()) {  // an empty packet makes the video decoder give out what it holds
                PacketPtr empty(ff::av_packet_alloc());
                if (empty) {
                    empty->stream_index = videoStreamIndex;
                    videoQueue_->Put(empty.get());
                }
            }
            SleepMs(10);
            const int total = (audioQueue_ ? audioQueue_->Size() : 0) +
                              (videoQueue_ ? videoQueue_->Size() : 0) +
                              (subtitleQueue_ ? subtitleQueue_->Size() : 0);
            if (total == 0) drained = true;
            continue;
        }
        reading = true;
        const int ret = ff::av_read_frame(formatContext, packet.get());
        reading = false;
        if (abortRequest) break;
        if (ret == AVERROR(EAGAIN)) {
            SleepMs(10);
            continue;
        }
        if (ret < 0) {
            if (!image2 && !endOfFile) {
                endOfFile = true;
                if (ret == AVERROR_EOF) {
                    Logger().LogFmt(&owner, llInfo, "reach end of file: %s", fileName.c_str());
                } else {
                    const int n = std::snprintf(nullptr, 0, "error #%d while reading file: %s", ret,
                                                fileName.c_str());
                    std::string text(static_cast<size_t>(n), '\0');
                    std::snprintf(text.data(), text.size() + 1, "error #%d while reading file: %s",
                                  ret, fileName.c_str());
                    owner.ReportError(text, false);
                }
            }
            // A read error that persists ends the input as its end would, so
            // the queued packets are played and the end is reported; a seek
            // tries again.
            const bool ioError = formatContext->pb != nullptr && formatContext->pb->error != 0;
            if (ret == AVERROR_EOF || ioError || ++readErrors >= kReadErrorRetries) {
                endMark = true;
                readErrors = 0;
            } else {
                SleepMs(100);
            }
            continue;
        }
        readErrors = 0;
        if (packet->stream_index == audioStreamIndex) {
            audioQueue_->Put(packet.get());
        } else if (packet->stream_index == videoStreamIndex) {
            videoQueue_->Put(packet.get());
        } else if (packet->stream_index == subtitleStreamIndex) {
            subtitleQueue_->Put(packet.get());
        }
        ff::av_packet_unref(packet.get());
    }
}

int TPlayback::StreamComponentOpen(int streamIndex) {
    if (streamIndex < 0 || streamIndex >= static_cast<int>(formatContext->nb_streams)) return -1;
    AVStream* stream = formatContext->streams[streamIndex];
    const AVCodec* codec = ff::avcodec_find_decoder(stream->codecpar->codec_id);
    CodecContextPtr context(ff::avcodec_alloc_context3(codec));
    if (!context || ff::avcodec_parameters_to_context(context.get(), stream->codecpar) < 0) {
        owner.ReportError("avcodec_open() failed.", false);
        return -1;
    }
    context->pkt_timebase = stream->time_base;
    context->workaround_bugs = 1;
    context->lowres = 0;
    context->idct_algo = 0;
    context->skip_frame = AVDISCARD_DEFAULT;
    context->skip_idct = AVDISCARD_DEFAULT;
    context->skip_loop_filter = AVDISCARD_DEFAULT;
    context->error_concealment = 3;
    {
        std::lock_guard lock(CodecLock());
        if (codec == nullptr || ff::avcodec_open2(context.get(), codec, nullptr) < 0) {
            context.reset();
            owner.ReportError("avcodec_open() failed.", false);
            return -1;
        }
    }
    const AVMediaType type = context->codec_type;
    if (type == AVMEDIA_TYPE_AUDIO && !OpenAudioDevice(context.get())) {
        std::lock_guard lock(CodecLock());
        context.reset();
        return -1;
    }
    stream->discard = AVDISCARD_DEFAULT;
    try {
        switch (type) {
            case AVMEDIA_TYPE_VIDEO:
                videoStream_ = stream;
                videoCodec_ = std::move(context);
                videoQueue_ = std::make_unique<TPacketQueue>(owner.flushPacket_.get());
                videoStreamIndex = streamIndex;
                videoThread_ = std::thread(&TPlayback::VideoThread, this);
                break;
            case AVMEDIA_TYPE_AUDIO:
                audioStream_ = stream;
                audioCodec_ = std::move(context);
                audioStartTime_ = stream->start_time != AV_NOPTS_VALUE
                                      ? ff::av_rescale_q(stream->start_time, stream->time_base,
                                                         AVRational{1, 1000000})
                                      : -1;
                audioBufferSize_ = 0;
                audioBufferIndex_ = 0;
                audioQueue_ = std::make_unique<TPacketQueue>(owner.flushPacket_.get());
                audioStreamIndex = streamIndex;
                sdl::SDL_PauseAudioDevice(audioDevice_, 0);
                break;
            case AVMEDIA_TYPE_SUBTITLE:
                subtitleStream_ = stream;
                subtitleCodec_ = std::move(context);
                subtitleQueue_ = std::make_unique<TPacketQueue>(owner.flushPacket_.get());
                subtitleStreamIndex = streamIndex;
                subtitleThread_ = std::thread(&TPlayback::SubtitleThread, this);
                break;
            default:
                break;
        }
    } catch (const std::system_error&) {
        owner.ReportError("SDL_CreateThread() failed.", false);
        StreamComponentClose(streamIndex);
        return -1;
    }
    return 0;
}

bool TPlayback::OpenAudioDevice(AVCodecContext* codec) {
    SDL_AudioSpec wanted{}, obtained{};
    wanted.freq = codec->sample_rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = static_cast<Uint8>(codec->ch_layout.nb_channels == 1 ? 1 : 2);
    wanted.silence = 0;
    wanted.samples = 1024;
    wanted.callback = &TPlayback::AudioCallbackEntry;
    wanted.userdata = this;
    // SDL converts to whatever the device takes, so the format is the one we ask for.
    audioDevice_ =
        wanted.freq > 0 ? sdl::SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0) : 0;
    if (audioDevice_ == 0) {
        owner.ReportError(std::string("SDL_OpenAudio() failed: ") + sdl::SDL_GetError(), false);
        return false;
    }
    audioRate_ = wanted.freq;
    audioChannels_ = wanted.channels;
    return true;
}

void TPlayback::StreamComponentClose(int streamIndex) {
    if (streamIndex < 0 || formatContext == nullptr ||
        streamIndex >= static_cast<int>(formatContext->nb_streams)) {
        return;
    }
    if (streamIndex == videoStreamIndex) {
        videoQueue_->Abort();
        {
            std::lock_guard lock(pictureMutex_);
            pictureChanged_.notify_all();
        }
        if (videoThread_.joinable()) videoThread_.join();
    } else if (streamIndex == audioStreamIndex) {
        audioQueue_->Abort();
        if (audioDevice_ != 0) sdl::SDL_CloseAudioDevice(audioDevice_);  // waits for the callback
        audioDevice_ = 0;
        audioConverter_.reset();
    } else if (streamIndex == subtitleStreamIndex) {
        subtitleQueue_->Abort();
        {
            std::lock_guard lock(subpictureMutex_);
            subtitleStreamChanged_ = true;
            subpictureChanged_.notify_all();
        }
        if (subtitleThread_.joinable()) subtitleThread_.join();
    } else {
        return;
    }
    formatContext->streams[streamIndex]->discard = AVDISCARD_ALL;
    std::lock_guard lock(CodecLock());
    if (streamIndex == videoStreamIndex) {
        videoStreamIndex = -1;
        videoCodec_.reset();
        videoStream_ = nullptr;
        videoQueue_.reset();
    } else if (streamIndex == audioStreamIndex) {
        audioStreamIndex = -1;
        audioCodec_.reset();
        audioStream_ = nullptr;
        audioStartTime_ = -1;
        audioQueue_.reset();
    } else {
        subtitleStreamIndex = -1;
        subtitleCodec_.reset();
        subtitleStream_ = nullptr;
        subtitleQueue_.reset();
    }
}

void TPlayback::StreamSeek(std::int64_t position, std::int64_t range, int flags, bool wait) {
    if (seekRequest_) return;  // one seek at a time
    owner.seeking_ = true;
    seekWhilePaused_ = paused.load();
    seekRange_ = range;
    seekPosition_ = position;
    seekFlags_ = flags & 0x0F;
    owner.seekDone_.Reset();
    seekRequest_ = true;
    if (!wait) return;
    const auto deadline = std::chrono::steady_clock::now() + kSeekWaitLimit;
    const auto left = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::max(deadline - std::chrono::steady_clock::now(),
                     std::chrono::steady_clock::duration::zero()));
    };
    if (!WaitServingMainThread([&] { return owner.seekDone_.IsSet() || abortRequest; }, left())) {
        return;
    }
    // The picture at the new position is on screen, or the video decoder has
    // given out everything without one.
    if (HasVideo()) {
        WaitServingMainThread([&] { return owner.pictureAfterSeek_.IsSet() || abortRequest; },
                              left());
    }
}

void TPlayback::RefreshThread() {
    while (!abortRequest) {
        if (!refreshPending.exchange(true)) owner.PostPlayEvent(peRefresh);
        SleepMs(HasAudio() && audioDisplayMode != 0 ? 20 : 5);
    }
}

}  // namespace zorvex
