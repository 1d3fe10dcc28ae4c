#include "media/engine/subtitle_encoder.h"

#include <algorithm>

#include "media/util.h"

namespace zorvex {

bool SubtitleEncoder::Encode(AVCodecContext* encoder, const AVSubtitle& subtitle,
                             std::int64_t packetPts, AVRational streamTimeBase,
                             std::vector<PacketPtr>& out) {
    if (packetPts == NoPtsValue) {
        lastError_ = "Subtitle packets must have a pts";
        return false;
    }
    if (encoder == nullptr) {
        lastError_ = "Subtitle encoding failed";
        return false;
    }
    if (buffer_.empty()) buffer_.resize(BufferSize);

    // The encoder may not change the caller's subtitle: work on a shallow copy
    // whose rectangles stay the caller's.
    AVSubtitle sub = subtitle;
    const AVRational microseconds{1, 1000000};
    const AVRational milliseconds{1, 1000};
    const bool dvb = encoder->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
    // The display window becomes relative to the subtitle's own time.
    const std::int64_t pts =
        packetPts + ff::av_rescale_q(sub.start_display_time, milliseconds, microseconds);
    sub.end_display_time -= sub.start_display_time;
    sub.start_display_time = 0;
    sub.pts = pts;

    const int passes = dvb ? 2 : 1;
    for (int i = 0; i < passes; ++i) {
        // DVB subtitles are drawn by the first packet and cleared by the second.
        if (i == 1) sub.num_rects = 0;
        const int size = ff::avcodec_encode_subtitle(encoder, buffer_.data(), BufferSize, &sub);
        if (size < 0) {
            lastError_ = "Subtitle encoding failed";
            return false;
        }
        PacketPtr packet(ff::av_packet_alloc());
        if (!packet || ff::av_new_packet(packet.get(), size) < 0) {
            lastError_ = "Subtitle encoding failed";
            return false;
        }
        std::copy_n(buffer_.data(), size, packet->data);
        packet->pts = ff::av_rescale_q(sub.pts, microseconds, streamTimeBase);
        const std::int64_t duration =
            ff::av_rescale_q(sub.end_display_time, milliseconds, streamTimeBase);
        if (dvb) {
            // The clearing packet is timed at the end of the display window.
            if (i == 1) packet->pts += duration;
        } else {
            packet->duration = duration;
        }
        packet->dts = packet->pts;
        out.push_back(std::move(packet));
    }
    return true;
}

}  // namespace zorvex
