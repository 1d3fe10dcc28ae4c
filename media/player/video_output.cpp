// Pictures: the video thread decodes and filters them into the picture queue,
// the target-delay rule times them, and the play thread shows them fitted to
// the display area (with bitmap subtitles blended in) or drops late ones.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "media/log.h"
#include "media/player/display_geometry.h"
#include "media/player/playback.h"
#include "media/player/player.h"
#include "media/player/subtitle_blend.h"

namespace zorvex {
namespace {

bool SameRational(AVRational a, AVRational b) {
    return a.num == b.num && a.den == b.den;
}

// The clockwise turn (0, 90, 180 or 270) that the stream's display matrix asks
// for, to the nearest quarter turn; 0 without one.
int DisplayRotation(const AVStream* stream) {
    size_t size = 0;
    const std::uint8_t* matrix =
        ff::av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (matrix == nullptr || size < 9 * sizeof(std::int32_t)) return 0;
    const double counterclockwise =
        ff::av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
    if (std::isnan(counterclockwise)) return 0;
    const long quarters = std::lround(-counterclockwise / 90.0);
    return static_cast<int>(((quarters % 4) + 4) % 4) * 90;
}

// The filters that turn a picture upright, as (name, arguments).
std::vector<std::pair<const char*, const char*>> UprightFilters(int rotation) {
    switch (rotation) {
        case 90:
            return {{"transpose", "clock"}};
        case 180:
            return {{"hflip", nullptr}, {"vflip", nullptr}};
        case 270:
            return {{"transpose", "cclock"}};
        default:
            return {};
    }
}

}  // namespace

void TPlayback::VideoThread() {
    decodedFrame_.reset(ff::av_frame_alloc());
    FramePtr filtered(ff::av_frame_alloc());
    if (!decodedFrame_ || !filtered) return;
    bool failed = false;
    while (!failed) {
        while (paused && !videoQueue_->Aborted() && !seekWhilePaused_ && stepCounter == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const int got = GetVideoFrame(decodedFrame_.get());
        if (got < 0) break;
        if (got == 0) continue;
        // The container's sample aspect wins when the codec's is missing or
        // differs (an anamorphic picture whose aspect only the container knows).
        decodedFrame_->sample_aspect_ratio =
            ff::av_guess_sample_aspect_ratio(formatContext, videoStream_, decodedFrame_.get());
        if (!ConfigureVideoFilters(decodedFrame_.get())) break;
        if (ff::av_buffersrc_add_frame(filterSource_, decodedFrame_.get()) < 0) break;
        for (;;) {
            const int ret = ff::av_buffersink_get_frame(filterSink_, filtered.get());
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
            if (ret < 0) {
                failed = true;
                break;
            }
            EndDropOnFlush();
            const AVRational timeBase = ff::av_buffersink_get_time_base(filterSink_);
            const bool timed = filtered->pts != AV_NOPTS_VALUE;
            const double time = timed ? filtered->pts * av_q2d(timeBase) : 0.0;
            const int queued = OutputPicture(filtered.get(), timed, time, filtered->pkt_pos);
            ff::av_frame_unref(filtered.get());
            if (queued < 0) {
                failed = true;
                break;
            }
            owner.RearmEndReport(*this);
            if (owner.seeking_ && !seekRequest_) owner.seeking_ = false;
            const int step = stepCounter;
            if (step != 0) {
                if (step > 1) {
                    stepCounter = 0;
                    // A Resume that came before the second picture has the say.
                    if (paused) owner.SetState(psPause);
                } else {
                    stepCounter = step + 1;
                }
            }
        }
    }
    filterGraph_.reset();
    decodedFrame_.reset();
}

int TPlayback::GetVideoFrame(AVFrame* frame) {
    AVCodecContext* codec = videoCodec_.get();
    for (;;) {
        if (videoDecoderHasFrames_) {
            const int ret = ff::avcodec_receive_frame(codec, frame);
            if (ret >= 0) {
                frame->pts = frame->best_effort_timestamp;
                skipCounter_ += 1.0f;
                const float ratio = skipRatio_;
                if (skipCounter_ >= ratio) {
                    skipCounter_ -= std::max(ratio, 1.0f);
                    return 1;
                }
                ff::av_frame_unref(frame);  // skipped to catch up
                continue;
            }
            videoDecoderHasFrames_ = false;  // wants input, drained, or failed on this packet
        }
        AVPacket* packet = nullptr;
        if (videoQueue_->Get(packet, true) < 0) return -1;
        if (videoQueue_->IsFlush(packet)) {
            ff::avcodec_flush_buffers(codec);
            videoDrainSent_ = false;
            {
                std::unique_lock lock(pictureMutex_);
                for (TPictureEntry& entry : pictures_) entry.TargetClock = 0;
                pictureChanged_.wait(lock,
                                     [&] { return pictureCount_ == 0 || videoQueue_->Aborted(); });
            }
            {
                std::lock_guard lock(clockMutex_);
                videoCurrentPosition_ = -1;
                frameLastPts_ = static_cast<double>(AV_NOPTS_VALUE);
                frameLastDelay_ = 0;
                frameTimer_ = Now();
            }
            skipRatio_ = 1.0f;
            skipCounter_ = 0.0f;
            {
                std::lock_guard lock(seekMutex_);
                flushSeen_ = true;
            }
            return 0;
        }
        if (packet->data == nullptr && packet->size == 0) {  // the input has ended
            ff::av_packet_free(&packet);
            if (!videoDrainSent_) {
                ff::avcodec_send_packet(codec, nullptr);
                videoDrainSent_ = true;
                videoDecoderHasFrames_ = true;
            }
            if (!endReported) owner.ReportPosition(*this);
            if (videoDecoderHasFrames_) continue;
            // The decoder has given out all it had: when no picture after the
            // last seek is waiting to be shown, none will come.
            {
                std::lock_guard pictureLock(pictureMutex_);
                std::lock_guard seekLock(seekMutex_);
                if (flushSeen_ && pictureCount_ == 0) owner.pictureAfterSeek_.Set();
            }
            return 0;
        }
        const int ret = ff::avcodec_send_packet(codec, packet);
        ff::av_packet_free(&packet);
        if (ret < 0 && ret != AVERROR(EAGAIN)) {
            Logger().LogFmt(&owner, llDebug, "video decoding error %d", ret);
        }
        videoDecoderHasFrames_ = true;
    }
}

bool TPlayback::ConfigureVideoFilters(const AVFrame* frame) {
    if (filterGraph_ && frame->width == filterWidth_ && frame->height == filterHeight_ &&
        frame->format == filterFormat_ && SameRational(frame->sample_aspect_ratio, filterSar_)) {
        return true;
    }
    filterGraph_.reset(ff::avfilter_graph_alloc());
    filterSource_ = filterSink_ = nullptr;
    if (!filterGraph_) return false;
    filterGraph_->scale_sws_opts = ff::av_strdup("flags=bicubic");
    filterGraph_->nb_threads = 1;

    const AVRational timeBase = videoStream_->time_base;
    AVRational sar = frame->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0) sar = AVRational{0, 1};
    char args[256];
    std::snprintf(args, sizeof args,
                  "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", frame->width,
                  frame->height, frame->format, timeBase.num, timeBase.den, sar.num, sar.den);
    if (ff::avfilter_graph_create_filter(&filterSource_, ff::avfilter_get_by_name("buffer"), "src",
                                         args, nullptr, filterGraph_.get()) < 0 ||
        ff::avfilter_graph_create_filter(&filterSink_, ff::avfilter_get_by_name("buffersink"),
                                         "out", nullptr, nullptr, filterGraph_.get()) < 0) {
        filterGraph_.reset();
        return false;
    }
    // Pictures of a phone held upright are stored on their side with a display
    // matrix that turns them; they are shown (and handed out) turned.
    AVFilterContext* last = filterSource_;
    int index = 0;
    for (const auto& [name, filterArgs] : UprightFilters(DisplayRotation(videoStream_))) {
        AVFilterContext* turn = nullptr;
        const std::string instance = "upright" + std::to_string(index++);
        if (ff::avfilter_graph_create_filter(&turn, ff::avfilter_get_by_name(name),
                                             instance.c_str(), filterArgs, nullptr,
                                             filterGraph_.get()) < 0 ||
            ff::avfilter_link(last, 0, turn, 0) < 0) {
            filterGraph_.reset();
            return false;
        }
        last = turn;
    }
    const AVPixelFormat formats[] = {AV_PIX_FMT_YUV420P};
    if (ff::av_opt_set_bin(filterSink_, "pix_fmts", reinterpret_cast<const std::uint8_t*>(formats),
                           sizeof formats, AV_OPT_SEARCH_CHILDREN) < 0 ||
        ff::avfilter_link(last, 0, filterSink_, 0) < 0 ||
        ff::avfilter_graph_config(filterGraph_.get(), nullptr) < 0) {
        filterGraph_.reset();
        return false;
    }
    filterWidth_ = frame->width;
    filterHeight_ = frame->height;
    filterFormat_ = frame->format;
    filterSar_ = frame->sample_aspect_ratio;
    return true;
}

int TPlayback::OutputPicture(AVFrame* picture, bool timed, double time, std::int64_t position) {
    // Only a picture without a time takes the video clock's: a real time of 0
    // (the first picture, again after a rewind) is kept.
    if (timed) {
        videoClock_ = time;
    } else {
        time = videoClock_;
    }
    const AVRational rate = ff::av_guess_frame_rate(formatContext, videoStream_, nullptr);
    const double frameDelay = rate.num > 0 && rate.den > 0 ? av_q2d(av_inv_q(rate)) : 0.04;
    videoClock_ = videoClock_ + frameDelay + picture->repeat_pict * frameDelay * 0.5;
    return QueuePicture(picture, time, position);
}

int TPlayback::QueuePicture(AVFrame* picture, double time, std::int64_t position) {
    {
        std::unique_lock lock(pictureMutex_);
        if (pictureCount_ >= PictureQueueSize && !refreshPending) {
            skipRatio_ = std::max(0.95f, skipRatio_ * 0.95f);
        }
        pictureChanged_.wait(
            lock, [&] { return pictureCount_ < PictureQueueSize || videoQueue_->Aborted(); });
        if (videoQueue_->Aborted()) return -1;
    }
    const int index = pictureWriteIndex_;
    TPictureEntry& entry = pictures_[index];
    const int width = EvenSize(picture->width), height = EvenSize(picture->height);
    bool allocate;
    {
        std::lock_guard lock(pictureMutex_);
        allocate = !entry.Allocated || entry.Width != width || entry.Height != height;
        if (allocate) {
            entry.Allocated = false;
            allocIndex_ = index;
            allocWidth_ = width;
            allocHeight_ = height;
        }
    }
    if (allocate) {  // the play thread sets the entry (and the display) up
        owner.PostPlayEvent(peAllocatePicture);
        std::unique_lock lock(pictureMutex_);
        pictureChanged_.wait(lock, [&] { return entry.Allocated || videoQueue_->Aborted(); });
        if (videoQueue_->Aborted()) return -1;
    }

    FramePtr kept(ff::av_frame_alloc());
    if (!kept || ff::av_frame_ref(kept.get(), picture) < 0) return -1;
    if (owner.hook_ && owner.OnHook && ff::av_frame_make_writable(kept.get()) >= 0) {
        owner.HookPicture(kept.get(), time, startTime);
    }
    entry.Picture = std::move(kept);
    entry.Time = time;
    entry.Position = position;
    pictureWriteIndex_ = (index + 1) % PictureQueueSize;
    {
        std::lock_guard lock(pictureMutex_);
        entry.TargetClock = TargetClock(time);
        entry.SeekSerial = PictureSerial();
        ++pictureCount_;
    }
    return 0;
}

double TPlayback::TargetClock(double time) {
    std::lock_guard lock(clockMutex_);
    double delay = time - frameLastPts_;
    if (delay <= 0 || delay >= 10.0) {
        delay = frameLastDelay_;
    } else {
        frameLastDelay_ = delay;
    }
    frameLastPts_ = time;
    if (HasAudio()) {
        const double diff = VideoClockLocked() - AudioClock();
        if (std::fabs(diff) < 10.0) {
            const double threshold = std::max(0.01, delay);
            if (diff <= -threshold) {
                delay = 0;
            } else if (diff >= threshold) {
                delay = 2 * delay;
            }
        }
    }
    frameTimer_ += delay;
    return frameTimer_;
}

void TPlayback::AllocatePicture() {
    VideoOpen(false);
    std::lock_guard lock(pictureMutex_);
    TPictureEntry& entry = pictures_[allocIndex_];
    entry.Picture.reset();
    entry.Width = allocWidth_;
    entry.Height = allocHeight_;
    entry.Allocated = true;
    pictureChanged_.notify_all();
}

void TPlayback::DropHead() {  // with pictureMutex_ held
    pictureReadIndex_ = (pictureReadIndex_ + 1) % PictureQueueSize;
    --pictureCount_;
    pictureChanged_.notify_all();
}

void TPlayback::ExpireSubpictures(double currentPts) {
    std::lock_guard lock(subpictureMutex_);
    if (subtitleStreamChanged_) {
        while (subpictureCount_ > 0) {
            FreeSubpicture(subpictures_[subpictureReadIndex_]);
            subpictureReadIndex_ = (subpictureReadIndex_ + 1) % SubpictureQueueSize;
            --subpictureCount_;
        }
        subtitleStreamChanged_ = false;
        subpictureChanged_.notify_all();
        return;
    }
    if (subpictureCount_ == 0) return;
    TSubpictureEntry& head = subpictures_[subpictureReadIndex_];
    const TSubpictureEntry* next =
        subpictureCount_ > 1 ? &subpictures_[(subpictureReadIndex_ + 1) % SubpictureQueueSize]
                             : nullptr;
    if (currentPts > head.Time + head.Subtitle.end_display_time / 1000.0 ||
        (next != nullptr && currentPts > next->Time + next->Subtitle.start_display_time / 1000.0)) {
        FreeSubpicture(head);
        subpictureReadIndex_ = (subpictureReadIndex_ + 1) % SubpictureQueueSize;
        --subpictureCount_;
        subpictureChanged_.notify_all();
    }
}

void TPlayback::VideoRefresh(bool advance) {
    if (HasVideo()) {
        bool dropped = false;
        for (;;) {
            const bool dropMode = dropUntilFlush_;
            std::unique_lock lock(pictureMutex_);
            if (pictureCount_ == 0) {
                lock.unlock();
                if (!advance) VideoDisplay();
                break;
            }
            TPictureEntry& head = pictures_[pictureReadIndex_];
            const double now = Now();
            if (now < head.TargetClock) return;
            {
                std::lock_guard clock(clockMutex_);
                videoCurrentPts_ = head.Time;
                videoCurrentPtsDrift_ = head.Time - now;
                videoCurrentPosition_ = head.Position;
                pictureShown_ = true;
            }
            const double nextTarget =
                pictureCount_ > 1
                    ? pictures_[(pictureReadIndex_ + 1) % PictureQueueSize].TargetClock
                    : head.TargetClock + videoClock_ - head.Time;
            if ((now > nextTarget && !capture) || dropMode) {
                skipRatio_ = skipRatio_ * 1.05f;
                if (pictureCount_ > 1 || now > nextTarget + 0.5 || dropMode) {
                    DropHead();
                    dropped = true;
                    continue;
                }
            }
            if (HasSubtitles()) ExpireSubpictures(head.Time);
            {
                std::lock_guard shown(shownMutex_);
                shownPicture_.reset(ff::av_frame_clone(head.Picture.get()));
                shownTime_ = head.Time;
                shownWidth_ = head.Width;
                shownHeight_ = head.Height;
            }
            const int serial = head.SeekSerial;
            lock.unlock();
            VideoDisplay();
            PictureAfterSeekShown(serial);
            if (advance) {
                std::lock_guard relock(pictureMutex_);
                DropHead();
            }
            break;
        }
        if (!dropped) owner.ReportPosition(*this);
    } else if (HasAudio()) {
        VideoDisplay();
        owner.ReportPosition(*this);
    }
}

FramePtr TPlayback::ShownPicture(double& time) const {
    std::lock_guard lock(shownMutex_);
    time = shownTime_;
    return FramePtr(shownPicture_ ? ff::av_frame_clone(shownPicture_.get()) : nullptr);
}

int TPlayback::VideoOpen(bool force) {
    int width = owner.screenWidth_, height = owner.screenHeight_;
    if (width <= 0 || height <= 0) {
        std::lock_guard lock(pictureMutex_);
        width = allocWidth_ > 0 ? allocWidth_ : 640;
        height = allocHeight_ > 0 ? allocHeight_ : 480;
    }
    if (!force && displayReady_ && displayImage_.Width == width && displayImage_.Height == height) {
        return 0;
    }
    if (width > 16384 || height > 16384) {
        owner.ReportError("SDL: could not set video mode.", false);
        return -1;
    }
    displayImage_.SetSize(width, height);
    displayReady_ = true;
    return 0;
}

void TPlayback::VideoDisplay() {
    if (VideoOpen(false) < 0) return;
    if (HasAudio() && audioDisplayMode != 0) {
        WaveDisplay();
    } else if (HasVideo()) {
        PictureDisplay();
    }
}

void TPlayback::Present() {
    if (owner.surface_ != nullptr) owner.surface_->Present(displayImage_);
}

void TPlayback::PictureDisplay() {
    const TRect area = DisplayArea();
    FramePtr picture;
    double time = 0;
    int width = 0, height = 0;
    {
        std::lock_guard lock(shownMutex_);
        if (shownPicture_) {
            picture.reset(ff::av_frame_clone(shownPicture_.get()));
            time = shownTime_;
            width = shownWidth_;
            height = shownHeight_;
        }
    }
    displayImage_.Fill(area, TDisplayImage::Black);
    if (!picture || width <= 0 || height <= 0 || area.Width <= 0 || area.Height <= 0) {
        Present();
        return;
    }

    // Subtitles are blended into a copy: the picture itself stays as decoded.
    if (HasSubtitles()) {
        std::lock_guard lock(subpictureMutex_);
        if (subpictureCount_ > 0) {
            const TSubpictureEntry& sub = subpictures_[subpictureReadIndex_];
            if (time >= sub.Time + sub.Subtitle.start_display_time / 1000.0) {
                FramePtr copy(ff::av_frame_alloc());
                if (copy) {
                    copy->format = picture->format;
                    copy->width = picture->width;
                    copy->height = picture->height;
                }
                if (copy && ff::av_frame_get_buffer(copy.get(), 0) >= 0 &&
                    ff::av_frame_copy(copy.get(), picture.get()) >= 0 &&
                    ff::av_frame_copy_props(copy.get(), picture.get()) >= 0) {
                    TYuvPicture yuv{{copy->data[0], copy->data[1], copy->data[2]},
                                    {copy->linesize[0], copy->linesize[1], copy->linesize[2]},
                                    width,
                                    height};
                    for (unsigned i = 0; i < sub.Subtitle.num_rects; ++i) {
                        BlendSubtitleRect(yuv, *sub.Subtitle.rects[i]);
                    }
                    picture = std::move(copy);
                }
            }
        }
    }

    const double aspect =
        PictureAspect(owner.aspectRatio_, width, height, picture->sample_aspect_ratio.num,
                      picture->sample_aspect_ratio.den, area);
    const TRect rect = PictureRectangle(area, aspect);
    if (rect.Width > 0 && rect.Height > 0) {
        displayScaler_.reset(ff::sws_getCachedContext(
            displayScaler_.release(), width, height, static_cast<AVPixelFormat>(picture->format),
            rect.Width, rect.Height, AV_PIX_FMT_RGB32, SWS_BICUBIC, nullptr, nullptr, nullptr));
        const int lineSize = (rect.Width * 4 + 63) & ~63;
        const size_t needed = static_cast<size_t>(lineSize) * rect.Height;
        if (scaledBufferSize_ < needed) {
            scaledBuffer_.reset(static_cast<std::uint8_t*>(ff::av_malloc(needed)));
            scaledBufferSize_ = scaledBuffer_ ? needed : 0;
        }
        if (displayScaler_ && scaledBuffer_) {
            std::uint8_t* dst[4] = {scaledBuffer_.get(), nullptr, nullptr, nullptr};
            const int dstLinesize[4] = {lineSize, 0, 0, 0};
            ff::sws_scale(displayScaler_.get(), picture->data, picture->linesize, 0, height, dst,
                          dstLinesize);
            for (int y = 0; y < rect.Height; ++y) {
                std::memcpy(displayImage_.Row(rect.Y + y) + rect.X,
                            scaledBuffer_.get() + static_cast<size_t>(lineSize) * y,
                            static_cast<size_t>(rect.Width) * 4);
            }
        }
    }
    Present();
}

void TPlayback::Resize(int width, int height) {
    owner.screenWidth_ = width;
    owner.screenHeight_ = height;
    VideoOpen(false);
    if (paused) {
        VideoRefresh(false);
    } else {
        VideoDisplay();
    }
}

}  // namespace zorvex
