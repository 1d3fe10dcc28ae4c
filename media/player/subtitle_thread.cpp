// The subtitle thread: decodes bitmap subtitles into the subpicture queue.
#include <chrono>

#include "media/player/playback.h"
#include "media/player/player.h"
#include "media/player/subtitle_blend.h"

namespace zorvex {

void TPlayback::FreeSubpicture(TSubpictureEntry& entry) {
    ff::avsubtitle_free(&entry.Subtitle);
    entry.Subtitle = AVSubtitle{};
}

void TPlayback::SubtitleThread() {
    for (;;) {
        while (paused && !subtitleQueue_->Aborted() && !seekWhilePaused_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        AVPacket* packet = nullptr;
        if (subtitleQueue_->Get(packet, true) < 0) return;
        if (subtitleQueue_->IsFlush(packet)) {
            ff::avcodec_flush_buffers(subtitleCodec_.get());
            continue;
        }
        PacketPtr owned(packet);
        {
            std::unique_lock lock(subpictureMutex_);
            subpictureChanged_.wait(lock, [&] {
                return subpictureCount_ < SubpictureQueueSize || subtitleQueue_->Aborted();
            });
            if (subtitleQueue_->Aborted()) return;
        }
        TSubpictureEntry& entry = subpictures_[subpictureWriteIndex_];
        const double pts =
            owned->pts != AV_NOPTS_VALUE ? owned->pts * av_q2d(subtitleStream_->time_base) : 0.0;
        int gotSubtitle = 0;
        const int ret = ff::avcodec_decode_subtitle2(subtitleCodec_.get(), &entry.Subtitle,
                                                     &gotSubtitle, owned.get());
        if (ret < 0 || !gotSubtitle) continue;
        if (entry.Subtitle.format != 0) {  // only bitmap subtitles are shown
            FreeSubpicture(entry);
            continue;
        }
        entry.Time = pts;
        for (unsigned i = 0; i < entry.Subtitle.num_rects; ++i) {
            ConvertRectPalette(*entry.Subtitle.rects[i]);
        }
        subpictureWriteIndex_ = (subpictureWriteIndex_ + 1) % SubpictureQueueSize;
        std::lock_guard lock(subpictureMutex_);
        ++subpictureCount_;
    }
}

}  // namespace zorvex
