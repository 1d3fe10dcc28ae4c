// Frame encoding and packet output: video pictures are dropped or repeated to
// hold the output frame rate, audio samples are converted and cut into encoder
// frames, subtitles are encoded with their display times, and every packet,
// encoded or copied, leaves through the stream's bitstream filters into the
// interleaving muxer.
#include <algorithm>
#include <cstdio>

#include "media/engine/transcoder.h"
#include "media/log.h"

namespace zorvex {

void Transcoder::EncodeVideoFrame(OutputStreamRuntime& rt, AVFrame* picture,
                                  std::int64_t syncPosition) {
    AVCodecContext* c = rt.Codec;
    const double target = VideoSync::TargetPosition(syncPosition, c->time_base);
    const std::int64_t left = s_.MaxFrames[skVideo] - rt.FrameNumber;
    int previousCopies = 0;
    const int n = rt.Sync->FramesToWrite(target, left, &previousCopies);
    if (n <= 0) return;
    if (!rt.LastPicture) previousCopies = 0;

    picture->pict_type = AV_PICTURE_TYPE_NONE;  // the encoder decides
    picture->quality = static_cast<int>(rt.Out->Quality);
    const AVCodecContext* generic = e_.CodecOptions[skVideo].get();
    if (generic != nullptr &&
        (generic->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME)) != 0 &&
        s_.TopFieldFirst != -1) {
        picture->top_field_first = s_.TopFieldFirst;
    }
    for (int i = 0; i < n; ++i) {
        if (i > 0 && e_.StopRequested) break;
        AVFrame* shown = i < previousCopies ? rt.LastPicture.get() : picture;
        shown->pts = rt.Sync->SyncTimestamp();
        SendFrame(rt, shown);
        rt.Sync->FrameWritten();
        ++rt.FrameNumber;
        if (e_.Preview.Wanted()) ProducePreview(rt, shown);
    }
    // Kept (a reference, not a copy) for the slots before the next picture.
    if (!rt.Sync->FillsGaps()) return;
    if (!rt.LastPicture) rt.LastPicture.reset(ff::av_frame_alloc());
    if (rt.LastPicture) {
        ff::av_frame_unref(rt.LastPicture.get());
        if (ff::av_frame_ref(rt.LastPicture.get(), picture) < 0) rt.LastPicture.reset();
    }
}

void Transcoder::do_audio_out(OutputStreamState& os, AVFrame* samples, std::int64_t syncPosition) {
    OutputStreamRuntime& rt = *os.Run;
    if (!rt.Audio->Push(samples, syncPosition)) throw FFmpegException(rt.Audio->LastError());
    PullAudio(rt);
}

void Transcoder::PullAudio(OutputStreamRuntime& rt) {
    for (;;) {
        const int pulled = rt.Audio->Pull(audioFrame_.get());
        if (pulled < 0) throw FFmpegException(rt.Audio->LastError());
        if (pulled == 0) return;
        if (rt.FrameNumber < s_.MaxFrames[skAudio]) {
            SendFrame(rt, audioFrame_.get());
            ++rt.FrameNumber;
        }
        ff::av_frame_unref(audioFrame_.get());
    }
}

void Transcoder::EncodeSubtitle(OutputStreamRuntime& rt, const AVSubtitle& subtitle,
                                std::int64_t packetPts) {
    std::vector<PacketPtr> packets;
    const std::int64_t pts = packetPts == NoPtsValue ? NoPtsValue : packetPts - s_.StartTime;
    if (!rt.Subtitles->Encode(rt.Codec, subtitle, pts, rt.PacketTimeBase, packets)) {
        if (pts == NoPtsValue && !s_.ExitOnError) {
            Logger().Log(&e_, llError, rt.Subtitles->LastError());
            return;
        }
        throw FFmpegException(rt.Subtitles->LastError());
    }
    for (PacketPtr& packet : packets) {
        ++rt.FrameNumber;
        WritePacket(rt, std::move(packet));
    }
}

void Transcoder::SendFrame(OutputStreamRuntime& rt, const AVFrame* frame) {
    for (int attempt = 0;; ++attempt) {
        FFmpegErrorCapture reason;
        const int ret = ff::avcodec_send_frame(rt.Codec, frame);
        if (ret == AVERROR(EAGAIN) && attempt == 0) {
            ReceivePackets(rt);  // room for the frame
            continue;
        }
        if (ret < 0 && !(frame == nullptr && ret == AVERROR_EOF)) {
            Logger().Log(&e_, llError, FFmpegErrorText(rt.Out->Encoder->name, ret));
            throw FFmpegException(reason.Append(
                rt.Type == AVMEDIA_TYPE_AUDIO ? "Audio encoding failed" : "Video encoding failed"));
        }
        break;
    }
    if (frame != nullptr && frame->pts != AV_NOPTS_VALUE) {
        // How far the output has come: what the encoder was given, which its
        // delay does not hold back.
        const std::int64_t length =
            rt.Type == AVMEDIA_TYPE_AUDIO
                ? ff::av_rescale_q(frame->nb_samples, AVRational{1, rt.Codec->sample_rate},
                                   rt.Codec->time_base)
                : 1;
        const double end = static_cast<double>(frame->pts + length) * av_q2d(rt.Codec->time_base);
        if (end > rt.Position) rt.Position = end;
    }
    ReceivePackets(rt);
}

void Transcoder::ReceivePackets(OutputStreamRuntime& rt) {
    AVCodecContext* c = rt.Codec;
    for (;;) {
        FFmpegErrorCapture reason;
        const int ret = ff::avcodec_receive_packet(c, encoded_.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return;
        if (ret < 0) {
            Logger().Log(&e_, llError, FFmpegErrorText(rt.Out->Encoder->name, ret));
            throw FFmpegException(reason.Append(
                rt.Type == AVMEDIA_TYPE_AUDIO ? "Audio encoding failed" : "Video encoding failed"));
        }
        if (rt.Type == AVMEDIA_TYPE_VIDEO) {
            ++rt.CodedFrames;
            videoSize_ += encoded_->size;
            VideoStatsFrame stats;
            stats.Quality = -1;
            ReadPacketQualityStats(encoded_.get(), c->width, c->height, false, stats);
            if (stats.Quality >= 0) rt.LastQuality = stats.Quality;
            if (s_.DoPsnr) {
                // Quality statistics: quality, picture type, error count, two
                // reserved bytes, then one 64-bit squared error per plane.
                size_t size = 0;
                const std::uint8_t* data =
                    ff::av_packet_get_side_data(encoded_.get(), AV_PKT_DATA_QUALITY_STATS, &size);
                for (size_t i = 0; data != nullptr && i < 3 && i < data[5] && 16 + 8 * i <= size;
                     ++i) {
                    std::uint64_t error = 0;
                    for (int b = 7; b >= 0; --b) error = error << 8 | data[8 + 8 * i + b];
                    rt.LastError[i] = error;
                    rt.TotalError[i] += error;
                }
            }
            if (encoded_->duration == 0 && c->framerate.num > 0 && c->framerate.den > 0) {
                encoded_->duration = ff::av_rescale_q(1, av_inv_q(c->framerate), c->time_base);
            }
            if (rt.PassLog != nullptr && c->stats_out != nullptr) {
                std::fputs(c->stats_out, rt.PassLog);
            }
            if (!s_.VstatsFilename.empty()) WriteVideoStats(rt, encoded_.get());
        } else if (rt.Type == AVMEDIA_TYPE_AUDIO) {
            audioSize_ += encoded_->size;
        }
        PacketPtr packet(ff::av_packet_alloc());
        if (!packet) throw FFmpegException("av_mallocz fail");
        ff::av_packet_move_ref(packet.get(), encoded_.get());
        WritePacket(rt, std::move(packet));
    }
}

void Transcoder::FlushEncoder(OutputStreamRuntime& rt) {
    if (rt.Ended) return;
    rt.Ended = true;
    if (rt.EncodingNeeded && rt.EncoderOpen) {
        if (rt.Type == AVMEDIA_TYPE_VIDEO) {
            DrainFilters(rt);
        } else if (rt.Type == AVMEDIA_TYPE_AUDIO) {
            if (!rt.Audio->Flush()) throw FFmpegException(rt.Audio->LastError());
            PullAudio(rt);
        }
        if (rt.Type != AVMEDIA_TYPE_SUBTITLE) SendFrame(rt, nullptr);
    }
    std::vector<PacketPtr> rest;
    if (!rt.Bsf.Flush(rest)) {
        if (s_.ExitOnError) throw FFmpegException(rt.Bsf.LastError());
        Logger().Log(&e_, llError, rt.Bsf.LastError());
    }
    for (PacketPtr& packet : rest) MuxPacket(rt, packet.get());
}

void Transcoder::WritePacket(OutputStreamRuntime& rt, PacketPtr packet) {
    packet->stream_index = rt.Stream->index;
    if (rt.Bsf.Empty()) {
        MuxPacket(rt, packet.get());
        return;
    }
    std::vector<PacketPtr> filtered;
    if (!rt.Bsf.Filter(std::move(packet), filtered)) {
        if (s_.ExitOnError) throw FFmpegException(rt.Bsf.LastError());
        Logger().Log(&e_, llError, rt.Bsf.LastError());  // written unfiltered
    }
    for (PacketPtr& p : filtered) MuxPacket(rt, p.get());
}

void Transcoder::MuxPacket(OutputStreamRuntime& rt, AVPacket* packet) {
    AVStream* st = rt.Stream;
    const AVRational from = rt.Bsf.Initialized() ? rt.Bsf.OutputTimeBase() : rt.PacketTimeBase;
    ff::av_packet_rescale_ts(packet, from, st->time_base);
    packet->stream_index = st->index;
    // Muxers take only increasing decoding timestamps; a stream whose input
    // repeats one (a cut, a damaged file) is moved on by one tick.
    if (packet->dts != AV_NOPTS_VALUE && rt.LastDts != NoPtsValue && packet->dts <= rt.LastDts) {
        packet->dts = rt.LastDts + 1;
        if (packet->pts != AV_NOPTS_VALUE && packet->pts < packet->dts) packet->pts = packet->dts;
    }
    if (packet->dts != AV_NOPTS_VALUE) rt.LastDts = packet->dts;
    const std::int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (!rt.EncodingNeeded && at != AV_NOPTS_VALUE) {
        const double end = static_cast<double>(at + packet->duration) * av_q2d(st->time_base);
        if (end > rt.Position) rt.Position = end;
    }
    FFmpegErrorCapture reason;
    const int ret = ff::av_interleaved_write_frame(rt.File->Context.get(), packet);
    if (ret < 0) {
        throw FFmpegException(reason.Append(FFmpegErrorText("av_interleaved_write_frame()", ret)));
    }
    ++rt.PacketsMuxed;
}

void Transcoder::WriteVideoStats(OutputStreamRuntime& rt, const AVPacket* packet) {
    if (rt.Type != AVMEDIA_TYPE_VIDEO) return;
    const AVCodecContext* c = rt.Codec;
    VideoStatsFrame frame;
    frame.FrameNumber = rt.CodedFrames;
    frame.Quality = rt.LastQuality;
    ReadPacketQualityStats(packet, c->width, c->height, s_.DoPsnr, frame);
    frame.FrameBytes = packet->size;
    frame.VideoSize = videoSize_;
    // The position after this frame; the encoder's delay does not move it.
    frame.SyncTimestamp = packet->pts != AV_NOPTS_VALUE
                              ? packet->pts + std::max<std::int64_t>(packet->duration, 1)
                              : rt.CodedFrames;
    frame.TimeBase = c->time_base;
    if (!vstats_) {
        if (s_.VstatsBesideOutput) {
            // Beside the output, where the user looks for it; a folder that
            // cannot take it (the output went to a read-only share) leaves the
            // cache folder.
            const std::string& output = rt.File->FileName;
            const size_t slash = output.rfind('/');
            const std::string folder = slash == std::string::npos ? "." : output.substr(0, slash);
            vstats_ =
                std::make_unique<VideoStatsFile>(folder + "/" + s_.VstatsFilename,
                                                 VideoStatsCacheFolder() + "/" + s_.VstatsFilename);
        } else {
            vstats_ = std::make_unique<VideoStatsFile>(s_.VstatsFilename);
        }
    }
    if (!vstats_->Write(frame)) throw FFmpegException(vstats_->LastError());
}

}  // namespace zorvex
