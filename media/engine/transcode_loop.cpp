// The transcode loop: choose the input to read, read a packet, fix up its
// timestamps, decode it or copy it, report progress at the interval, and at
// the end drain decoders and encoders, write the trailers and the final report.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "media/engine/input_integrity.h"
#include "media/engine/transcoder.h"
#include "media/log.h"
#include "media/text.h"

namespace zorvex {

using text::Fmt;

namespace {

constexpr AVRational kMicroseconds{1, 1000000};

}  // namespace

std::int64_t Transcoder::SyncPosition(const OutputStreamState& os, std::int64_t ownTs) const {
    const std::int64_t clock = os.SyncIndex == os.SourceIndex || os.SyncIndex < 0
                                   ? ownTs
                                   : ist_[static_cast<size_t>(os.SyncIndex)].CurrentTs;
    return clock - s_.StartTime;
}

void Transcoder::MainLoop() {
    timerStart_ = lastReport_ = ff::av_gettime_relative();
    for (InputFileState& f : files_) f.NoPacket = false;
    PacketPtr packet(ff::av_packet_alloc());
    if (!packet) throw FFmpegException("av_mallocz fail");

    while (!e_.StopRequested) {
        e_.WaitWhilePaused();
        if (e_.StopRequested) break;

        const int file = ChooseInputFile();
        if (file < 0) {
            if (e_.JoinMode || noPacketCount_ == 0) break;
            for (InputFileState& f : files_) f.NoPacket = false;
            noPacketCount_ = 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (s_.LimitFilesize != 0) {
            AVIOContext* pb = outputs_[0]->Context->pb;
            if (pb != nullptr && ff::avio_seek(pb, 0, SEEK_CUR) > s_.LimitFilesize) break;
        }

        TInputFile& input = e_.InputFiles[static_cast<size_t>(file)];
        AVFormatContext* ic = input.Context.get();
        const int ret = ff::av_read_frame(ic, packet.get());
        if (ret == AVERROR(EAGAIN)) {
            files_[static_cast<size_t>(file)].NoPacket = true;
            ++noPacketCount_;
            continue;
        }
        if (ret < 0) {
            // The end of the file ends its reading; any other answer is a read
            // error. Either way a file that was not whole fails the run once
            // what was converted is kept, rather than pass for a finished one.
            const int error =
                ret != AVERROR_EOF ? ret
                : (ic->pb != nullptr && ic->pb->error < 0 && ic->pb->error != AVERROR_EOF)
                    ? ic->pb->error
                    : 0;
            NoteInputEnd(file, error);
            files_[static_cast<size_t>(file)].EndReached = true;
            if (s_.Shortest && !e_.JoinMode) break;
            if (e_.JoinMode) {
                JoinStep(file);
                if (file + 1 >= static_cast<int>(files_.size())) break;
            }
            continue;
        }
        noPacketCount_ = 0;
        for (InputFileState& f : files_) f.NoPacket = false;
        NoteReadPosition(file, packet.get());
        if (s_.PktDump) {
            const int index = packet->stream_index;
            if (index >= 0 && index < static_cast<int>(ic->nb_streams)) {
                ff::av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, packet.get(), s_.HexDump ? 1 : 0,
                                     ic->streams[index]);
            }
        }
        HandlePacket(file, packet.get());
        ff::av_packet_unref(packet.get());

        if (ff::av_gettime_relative() - lastReport_ > e_.ProgressInterval) {
            ReportProgress(false, file);
            // Counted from the end of this report, so that the next one can never
            // reach the handler sooner than the interval after this one did.
            lastReport_ = ff::av_gettime_relative();
        }
    }
}

void Transcoder::NoteReadPosition(int file, const AVPacket* packet) {
    const AVFormatContext* ic = e_.InputFiles[static_cast<size_t>(file)].Context.get();
    if (packet->stream_index < 0 || packet->stream_index >= static_cast<int>(ic->nb_streams))
        return;
    const std::int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (ts == AV_NOPTS_VALUE) return;
    const AVStream* st = ic->streams[packet->stream_index];
    const std::int64_t end = ff::av_rescale_q(ts + std::max<std::int64_t>(packet->duration, 0),
                                              st->time_base, kMicroseconds) -
                             (ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0);
    InputFileState& f = files_[static_cast<size_t>(file)];
    f.ReachedUs = std::max(f.ReachedUs, end);
}

std::int64_t Transcoder::StatedLengthUs(int file) const {
    const AVFormatContext* ic = e_.InputFiles[static_cast<size_t>(file)].Context.get();
    // An AVI file's header counts its pictures, but without its index (which
    // a cut-off file has lost) the demuxer measures the streams by what it
    // finds: the count is what the file states.
    if (std::strcmp(ic->iformat->name, "avi") == 0) {
        std::int64_t counted = -1;
        for (unsigned i = 0; i < ic->nb_streams; ++i) {
            const AVStream* st = ic->streams[i];
            const AVRational rate = st->avg_frame_rate;
            if (st->discard == AVDISCARD_ALL || st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO ||
                st->nb_frames <= 0 || rate.num <= 0 || rate.den <= 0) {
                continue;
            }
            counted =
                std::max(counted, ff::av_rescale(st->nb_frames, 1000000LL * rate.den, rate.num));
        }
        if (counted > 0) return counted;
    }
    // Only a length the container states; one estimated from the bit rate is a guess.
    if (ic->duration_estimation_method != AVFMT_DURATION_FROM_STREAM) return -1;
    bool someLeftOut = false;
    std::int64_t streams = -1;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVStream* st = ic->streams[i];
        if (st->discard == AVDISCARD_ALL) {
            someLeftOut = true;
            continue;
        }
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
            streams =
                std::max(streams, ff::av_rescale_q(st->duration, st->time_base, kMicroseconds));
        }
    }
    // Streams left out are not read, so the file's own length may be theirs.
    if (!someLeftOut && ic->duration != AV_NOPTS_VALUE && ic->duration > 0) return ic->duration;
    return streams;
}

void Transcoder::NoteInputEnd(int file, int error) {
    if (!e_.IncompleteSource.empty()) return;  // the first reason is the one given
    const TInputFile& input = e_.InputFiles[static_cast<size_t>(file)];
    std::string reason;
    if (error < 0) {
        const std::string text = FFmpegErrorText(input.FileName, error);
        reason = text.substr(std::min(text.size(), input.FileName.size() + 2));
    } else {
        InputEndFacts facts;
        struct stat now {};
        if (input.SizeAtOpen >= 0 && ::stat(input.FileName.c_str(), &now) == 0 &&
            S_ISREG(now.st_mode)) {
            facts.sizeAtOpen = input.SizeAtOpen;
            facts.modifiedAtOpen = input.ModifiedAtOpen;
            facts.sizeAtEnd = now.st_size;
            facts.modifiedAtEnd = ModifiedNanoseconds(now);
        }
        facts.statedUs = StatedLengthUs(file);
        facts.reachedUs = files_[static_cast<size_t>(file)].ReachedUs;
        reason = IncompleteInputReason(facts);
    }
    if (reason.empty()) return;
    e_.IncompleteSource = IncompleteSourceText(input.FileName, reason);
    Logger().Log(&e_, llWarning, e_.IncompleteSource);
}

int Transcoder::ChooseInputFile() {
    if (e_.JoinMode) {
        const int first = joinIndex_ * groupSize_;
        for (int k = first; k < first + groupSize_ && k < static_cast<int>(ost_.size()); ++k) {
            const OutputStreamRuntime& rt = *ost_[static_cast<size_t>(k)].Run;
            const int kind = rt.Type >= 0 && rt.Type < 4 ? rt.Type : 2;
            if (rt.FrameNumber >= s_.MaxFrames[static_cast<size_t>(kind)]) return -1;
        }
        return joinIndex_;
    }
    double smallestInput = 1e100, smallestOutput = 1e100;
    int chosen = -1;
    for (const OutputStreamState& os : ost_) {
        const InputStreamState& source = ist_[static_cast<size_t>(os.SourceIndex)];
        const InputFileState& file = files_[static_cast<size_t>(source.FileIndex)];
        if (source.PastRecordingTime || file.NoPacket) continue;
        const OutputStreamRuntime& rt = *os.Run;
        const double opts = rt.Position;
        const double ipts = static_cast<double>(source.CurrentTs);
        if (!file.EndReached) {
            if (ipts < smallestInput) {
                smallestInput = ipts;
                if (s_.InputSync) chosen = source.FileIndex;
            }
            if (opts < smallestOutput) {
                smallestOutput = opts;
                if (!s_.InputSync) chosen = source.FileIndex;
            }
        }
        const int kind = rt.Type >= 0 && rt.Type < 4 ? rt.Type : 2;
        if (rt.FrameNumber >= s_.MaxFrames[static_cast<size_t>(kind)]) return -1;
    }
    return chosen;
}

void Transcoder::HandlePacket(int file, AVPacket* packet) {
    const InputFileState& f = files_[static_cast<size_t>(file)];
    if (packet->stream_index < 0 || packet->stream_index >= f.StreamCount) return;
    InputStreamState& ist = ist_[static_cast<size_t>(f.FirstStream + packet->stream_index)];
    if (ist.Discard) return;
    TInputFile& input = e_.InputFiles[static_cast<size_t>(file)];
    const AVRational tb = ist.Stream->time_base;

    // The file's offset first (it moves the start to zero), then the scale the
    // stream was given ("itsscale").
    const std::int64_t offset = ff::av_rescale_q(input.TsOffset, kMicroseconds, tb);
    if (packet->dts != AV_NOPTS_VALUE) packet->dts += offset;
    if (packet->pts != AV_NOPTS_VALUE) packet->pts += offset;
    const double scale = e_.InputTsScaleOf(file, packet->stream_index);
    if (scale != 0) {
        if (packet->dts != AV_NOPTS_VALUE)
            packet->dts = std::llround(static_cast<double>(packet->dts) * scale);
        if (packet->pts != AV_NOPTS_VALUE)
            packet->pts = std::llround(static_cast<double>(packet->pts) * scale);
    }

    // Formats that allow time-stamp jumps (MPEG-TS, for one) would otherwise
    // stall or skip the output at each jump: the offset absorbs the jump.
    AVFormatContext* ic = input.Context.get();
    if (packet->dts != AV_NOPTS_VALUE && ist.NextPacketDts != NoPtsValue &&
        (ic->iformat->flags & AVFMT_TS_DISCONT) != 0 && !s_.CopyTs) {
        const std::int64_t dts = ff::av_rescale_q(packet->dts, tb, kMicroseconds);
        const std::int64_t delta = dts - ist.NextPacketDts;
        if (std::llabs(delta) > static_cast<std::int64_t>(s_.DtsDeltaThreshold * 1000000.0) ||
            dts + 1 < ist.PacketDts) {
            input.TsOffset -= delta;
            if (s_.Verbose > 2) {
                Logger().LogFmt(&e_, llVerbose, "timestamp discontinuity %lld, new offset= %lld",
                                static_cast<long long>(delta),
                                static_cast<long long>(input.TsOffset));
            }
            const std::int64_t shift = ff::av_rescale_q(delta, kMicroseconds, tb);
            packet->dts -= shift;
            if (packet->pts != AV_NOPTS_VALUE) packet->pts -= shift;
        }
    }

    // A stream ends at the recording time when its decoding order passes the
    // limit; pictures decoded up to there may still show before the limit, and
    // those after it are not delivered.
    bool copyAllowed = true;
    if (s_.RecordingTime != UnlimitedTime) {
        const std::int64_t limit = s_.RecordingTime + s_.StartTime;
        const std::int64_t order = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        if (order != AV_NOPTS_VALUE && ff::av_compare_ts(order, tb, limit, kMicroseconds) >= 0) {
            ist.PastRecordingTime = true;
            return;
        }
        copyAllowed = packet->pts == AV_NOPTS_VALUE ||
                      ff::av_compare_ts(packet->pts, tb, limit, kMicroseconds) < 0;
    }

    // A broken packet costs its frames, not the task, unless "xerror" is set.
    if (ProcessPacket(ist, packet, copyAllowed) < 0) {
        const std::string message =
            Fmt("Error while decoding stream #%d.%d (%s)", ist.FileIndex, ist.StreamIndex,
                TypeName(ist.Stream->codecpar->codec_type));
        if (s_.ExitOnError) throw FFmpegException(message);
        if (s_.Verbose >= 0) Logger().Log(&e_, llVerbose, message);
    }
}

std::int64_t Transcoder::PacketDuration(const InputStreamState& ist, const AVPacket* packet) const {
    const AVCodecParameters* par = ist.Stream->codecpar;
    if (packet->duration > 0) {
        return ff::av_rescale_q(packet->duration, ist.Stream->time_base, kMicroseconds);
    }
    if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->frame_size > 0 && par->sample_rate > 0) {
        return static_cast<std::int64_t>(par->frame_size) * 1000000 / par->sample_rate;
    }
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        const AVRational rate = ist.Stream->avg_frame_rate.num != 0 ? ist.Stream->avg_frame_rate
                                                                    : ist.Stream->r_frame_rate;
        if (rate.num > 0 && rate.den > 0) return ff::av_rescale(1000000, rate.den, rate.num);
    }
    return 0;
}

int Transcoder::ProcessPacket(InputStreamState& ist, AVPacket* packet, bool copyAllowed) {
    const AVRational tb = ist.Stream->time_base;
    if (ist.NextTs == NoPtsValue) ist.NextTs = ist.CurrentTs;
    if (packet != nullptr && packet->dts != AV_NOPTS_VALUE) {
        ist.NextTs = ist.CurrentTs = ff::av_rescale_q(packet->dts, tb, kMicroseconds);
    }
    const std::int64_t packetTs = ist.NextTs;
    if (packet != nullptr) {
        ist.PacketDts = packetTs;
        ist.NextPacketDts = packetTs + PacketDuration(ist, packet);
    }

    int result = 0;
    if (ist.DecodingNeeded) {
        result = DecodePacket(ist, packet);
    } else if (packet != nullptr) {
        ist.CurrentTs = ist.NextTs;
        ist.NextTs += PacketDuration(ist, packet);
    }

    if (packet != nullptr && copyAllowed) {
        for (OutputStreamState* os : ist.Outputs) {
            if (os->Active && !os->Run->EncodingNeeded) CopyPacket(ist, *os, packet, packetTs);
        }
    }
    return result;
}

int Transcoder::DecodePacket(InputStreamState& ist, AVPacket* packet) {
    AVCodecContext* d = ist.Decoder.get();
    if (d == nullptr) return 0;
    const AVRational tb = ist.Stream->time_base;

    if (d->codec_type == AVMEDIA_TYPE_SUBTITLE) {
        if (packet == nullptr) return 0;
        AVSubtitle subtitle{};
        int got = 0;
        if (ff::avcodec_decode_subtitle2(d, &subtitle, &got, packet) < 0) return -1;
        if (got != 0) {
            const std::int64_t pts = packet->pts != AV_NOPTS_VALUE
                                         ? ff::av_rescale_q(packet->pts, tb, kMicroseconds)
                                         : NoPtsValue;
            try {
                HandleSubtitle(ist, subtitle, pts);
            } catch (...) {
                ff::avsubtitle_free(&subtitle);
                throw;
            }
            ff::avsubtitle_free(&subtitle);
        }
        return 0;
    }

    if (packet == nullptr) {
        if (ist.DecoderDrained) return 0;
        ist.DecoderDrained = true;
    }
    int result = 0;
    bool pending = true;  // the packet is not taken yet
    int frames = 0;
    // Decoders mostly report damage only in the log; the first words are kept
    // for a run that ends with nothing converted.
    FFmpegErrorCapture reason;
    struct KeepReason {
        InputStreamState& ist;
        const FFmpegErrorCapture& reason;
        ~KeepReason() {
            if (ist.DecodeError.empty()) ist.DecodeError = reason.Text();
        }
    } keepReason{ist, reason};
    for (int idle = 0; idle < 2;) {
        if (pending) {
            const int sent = ff::avcodec_send_packet(d, packet);
            if (sent != AVERROR(EAGAIN)) {
                pending = false;
                if (sent < 0 && sent != AVERROR_EOF) result = -1;
            }
        }
        const int got = ff::avcodec_receive_frame(d, decoded_.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) {
            if (!pending) break;
            ++idle;  // both sides waiting: never expected, but never loop on it
            continue;
        }
        if (got < 0) {
            result = -1;
            break;
        }
        ++frames;
        if (frames == 2 && packet != nullptr &&
            (s_.Verbose > 1 || (s_.Verbose > 0 && !ist.MultipleFramesLogged))) {
            ist.MultipleFramesLogged = true;
            Logger().LogFmt(&e_, llError, "Multiple frames in a packet from stream %d",
                            packet->stream_index);
        }
        HandleDecodedFrame(ist, decoded_.get());
        ff::av_frame_unref(decoded_.get());
    }
    return result;
}

void Transcoder::HandleDecodedFrame(InputStreamState& ist, AVFrame* frame) {
    const AVRational tb = ist.Stream->time_base;
    const AVCodecContext* d = ist.Decoder.get();
    const bool video = d->codec_type == AVMEDIA_TYPE_VIDEO;
    const std::int64_t ts = frame->best_effort_timestamp;
    if (ts != AV_NOPTS_VALUE) {
        ist.CurrentTs = ff::av_rescale_q(ts, tb, kMicroseconds);
    } else if (ist.NextTs != NoPtsValue) {
        ist.CurrentTs = ist.NextTs;
    }
    std::int64_t duration = 0;
    if (video) {
        if (frame->pkt_duration > 0) {
            duration = ff::av_rescale_q(frame->pkt_duration, tb, kMicroseconds);
        } else {
            const AVRational rate =
                d->framerate.num > 0 ? d->framerate : ist.Stream->avg_frame_rate;
            if (rate.num > 0 && rate.den > 0) {
                duration =
                    ff::av_rescale(1000000, rate.den * (2 + frame->repeat_pict), 2LL * rate.num);
            }
        }
    } else if (frame->sample_rate > 0) {
        duration = ff::av_rescale(frame->nb_samples, 1000000, frame->sample_rate);
    }
    ist.NextTs = ist.CurrentTs + duration;

    if (video) PreprocessVideoFrame(ist, frame);

    if (s_.RateEmu) {
        const std::int64_t lead = ist.CurrentTs - (ff::av_gettime_relative() - ist.RateStart);
        if (lead > 1000) std::this_thread::sleep_for(std::chrono::milliseconds(lead / 1000));
    }

    // Only what lies between the start time and the end of the recording time
    // reaches the encoders; audio frames are cut to the sample.
    const std::int64_t start = s_.StartTime;
    const std::int64_t limit =
        s_.RecordingTime == UnlimitedTime ? INT64_MAX : s_.StartTime + s_.RecordingTime;
    if (ist.CurrentTs >= limit) return;
    if (video) {
        if (ist.CurrentTs < start) return;
        frame->pts = ist.CurrentTs;  // the filter graphs take microseconds
    } else {
        const std::int64_t end = ist.CurrentTs + duration;
        if (end <= start) return;
        if (end > limit && frame->sample_rate > 0) {
            const std::int64_t keep =
                ff::av_rescale(limit - ist.CurrentTs, frame->sample_rate, 1000000);
            if (keep <= 0) return;
            if (keep < frame->nb_samples) frame->nb_samples = static_cast<int>(keep);
        }
    }
    for (OutputStreamState* os : ist.Outputs) {
        if (!os->Active || !os->Run->EncodingNeeded) continue;
        if (video) {
            FilterVideoFrame(*os, frame);
        } else {
            do_audio_out(*os, frame, SyncPosition(*os, ist.CurrentTs));
        }
    }
}

void Transcoder::HandleSubtitle(InputStreamState& ist, AVSubtitle& subtitle,
                                std::int64_t packetPts) {
    if (packetPts != NoPtsValue) {
        ist.CurrentTs = packetPts;
        if (packetPts < s_.StartTime) return;
        if (s_.RecordingTime != UnlimitedTime && packetPts >= s_.StartTime + s_.RecordingTime) {
            return;
        }
    }
    for (OutputStreamState* os : ist.Outputs) {
        if (os->Active && os->Run->EncodingNeeded && os->Run->Type == AVMEDIA_TYPE_SUBTITLE) {
            EncodeSubtitle(*os->Run, subtitle, packetPts);
        }
    }
}

void Transcoder::CopyPacket(InputStreamState& ist, OutputStreamState& os, const AVPacket* packet,
                            std::int64_t packetTs) {
    OutputStreamRuntime& rt = *os.Run;
    if (s_.StartTime != 0 && packetTs < s_.StartTime) return;
    const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
    if (!rt.WroteKeyFrame && !key && s_.CopyInitialNonKeyframes == 0) return;
    rt.WroteKeyFrame = true;
    if (rt.Type == AVMEDIA_TYPE_AUDIO) {
        audioSize_ += packet->size;
    } else if (rt.Type == AVMEDIA_TYPE_VIDEO) {
        videoSize_ += packet->size;
    }
    PacketPtr out(ff::av_packet_clone(packet));  // shares the payload
    if (!out) throw FFmpegException("av_mallocz fail");
    const AVRational tb = ist.Stream->time_base;
    const std::int64_t startOffset = ff::av_rescale_q(s_.StartTime, kMicroseconds, tb);
    if (out->pts != AV_NOPTS_VALUE) out->pts -= startOffset;
    out->dts = (packet->dts == AV_NOPTS_VALUE ? ff::av_rescale_q(packetTs, kMicroseconds, tb)
                                              : packet->dts) -
               startOffset;
    ff::av_packet_rescale_ts(out.get(), tb, rt.PacketTimeBase);
    ++rt.FrameNumber;
    WritePacket(rt, std::move(out));
}

void Transcoder::JoinStep(int file) {
    const InputFileState& f = files_[static_cast<size_t>(file)];
    std::int64_t end = 0;
    for (int i = f.FirstStream; i < f.FirstStream + f.StreamCount; ++i) {
        InputStreamState& ist = ist_[static_cast<size_t>(i)];
        if (ist.DecodingNeeded && !ist.Flushed) {
            ProcessPacket(ist, nullptr);
            ist.Flushed = true;
        }
        if (!ist.Discard && ist.NextTs != NoPtsValue) end = std::max(end, ist.NextTs);
    }
    if (file + 1 >= static_cast<int>(files_.size())) return;
    // The next input continues where this one ended on the output's timeline;
    // encoders, filters and frame counts simply go on.
    for (OutputStreamState& os : ost_) {
        if (os.FileIndex == file) os.Active = false;
        if (os.FileIndex == file + 1) os.Active = true;
    }
    e_.InputFiles[static_cast<size_t>(file + 1)].TsOffset += end;
    joinIndex_ = file + 1;
}

void Transcoder::EndOfRun() {
    for (InputStreamState& ist : ist_) {
        if (ist.DecodingNeeded && ist.DecoderOpen && !ist.Flushed) {
            ProcessPacket(ist, nullptr);
            ist.Flushed = true;
        }
    }
    for (const auto& r : runtimes_) FlushEncoder(*r);
    // A picture or sound stream that received nothing makes an output that
    // players cannot open (or one that silently lacks what the source had): the
    // source could not be decoded, or held nothing in the converted range.
    if (!e_.StopRequested) {
        for (const auto& r : runtimes_) {
            const OutputStreamRuntime& rt = *r;
            const int kind = rt.Type == AVMEDIA_TYPE_VIDEO ? skVideo : skAudio;
            if ((rt.Type != AVMEDIA_TYPE_VIDEO && rt.Type != AVMEDIA_TYPE_AUDIO) ||
                rt.PacketsMuxed > 0 || s_.MaxFrames[kind] <= 0) {
                continue;
            }
            const OutputStreamState& os = ost_[static_cast<size_t>(rt.TableIndex)];
            const InputStreamState& source = ist_[static_cast<size_t>(os.SourceIndex)];
            std::string message =
                Fmt("%s: nothing of input stream #%d.%d could be converted for output stream "
                    "#%d.%d (%s)",
                    e_.InputFiles[static_cast<size_t>(source.FileIndex)].FileName.c_str(),
                    source.FileIndex, source.StreamIndex, os.FileIndex, os.StreamIndex,
                    TypeName(rt.Type));
            if (!source.DecodeError.empty()) message += ": " + source.DecodeError;
            throw FFmpegException(message);
        }
    }
    for (size_t i = 0; i < outputs_.size(); ++i) {
        TOutputFile& output = *outputs_[i];
        AVFormatContext* oc = output.Context.get();
        int ret = ff::av_write_trailer(oc);
        if (ret >= 0 && oc->pb != nullptr) {
            ff::avio_flush(oc->pb);
            ret = oc->pb->error;
        }
        if (ret < 0) throw FFmpegException(FFmpegErrorText(output.FileName, ret));
    }
    ReportProgress(true, -1);
}

std::int64_t Transcoder::TotalSize() const {
    if (outputs_.empty()) return 0;
    AVIOContext* pb = outputs_[0]->Context->pb;
    if (pb == nullptr) return 0;
    // The size on disk lags behind what is buffered; the position is ahead of
    // it while a muxer rewrites a header.
    return std::max<std::int64_t>(ff::avio_size(pb), ff::avio_seek(pb, 0, SEEK_CUR));
}

void Transcoder::ReportProgress(bool last, int fileIndex) {
    const std::int64_t total = TotalSize();
    const double elapsed = static_cast<double>(ff::av_gettime_relative() - timerStart_) / 1000000.0;
    std::string line;
    int frameNumber = -1, fps = -1;
    float quality = -1.0f;
    bool firstVideo = true;
    double t = 1e10;
    for (const OutputStreamState& os : ost_) {
        const OutputStreamRuntime& rt = *os.Run;
        if (rt.Type == AVMEDIA_TYPE_VIDEO && os.Active) {
            const float q = rt.EncodingNeeded ? rt.LastQuality : -1.0f;
            if (firstVideo) {
                if (rt.FrameNumber < 1) return;
                firstVideo = false;
                frameNumber = static_cast<int>(rt.FrameNumber);
                fps = elapsed > 1
                          ? static_cast<int>(static_cast<double>(frameNumber) / elapsed + 0.5)
                          : 0;
                quality = q;
                line += Fmt("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, static_cast<double>(q));
                if (last) line += "L";
                if (s_.DoPsnr && rt.EncodingNeeded) {
                    const double pixels = static_cast<double>(rt.Codec->width) * rt.Codec->height *
                                          255.0 * 255.0 *
                                          (last ? static_cast<double>(rt.CodedFrames) : 1.0);
                    auto psnr = [](double d) { return d > 0 ? -10.0 * std::log10(d) : 99.99; };
                    double error = 0, scale = 0;
                    line += "PSNR=";
                    for (size_t j = 0; j < 3; ++j) {
                        const double e =
                            static_cast<double>(last ? rt.TotalError[j] : rt.LastError[j]);
                        const double p = j == 0 ? pixels : pixels / 4;
                        line += Fmt("%c:%2.2f ", "YUV"[j], psnr(p > 0 ? e / p : 0));
                        error += e;
                        scale += p;
                    }
                    line += Fmt("*:%2.2f ", psnr(scale > 0 ? error / scale : 0));
                }
                if (s_.QpHist) {
                    const int qp = static_cast<int>(std::lrint(q));
                    if (qp >= 0 && qp < static_cast<int>(qpHistogram_.size()))
                        ++qpHistogram_[static_cast<size_t>(qp)];
                    for (int j = 0; j < 32; ++j) {
                        line += Fmt("%X", static_cast<int>(std::lrint(std::log2(
                                              qpHistogram_[static_cast<size_t>(j)] + 1))));
                    }
                }
            } else {
                line += Fmt("q=%2.1f ", static_cast<double>(q));
            }
        }
        if (rt.Position > 0 && rt.Position < t && !rt.StillPicture) t = rt.Position;
    }
    if (t == 1e10) t = 0;  // nothing written yet
    if (t < 0.01) t = 0.01;
    // A stream that starts late must not turn the output time back.
    if (t < reportedTime_) t = reportedTime_;
    reportedTime_ = t;

    const bool callback = static_cast<bool>(e_.ProgressCallback);
    if (callback || s_.Verbose > 0 || last) {
        const double bitRate = static_cast<double>(total) * 8.0 / t / 1000.0;
        line += Fmt("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s",
                    static_cast<double>(total) / 1024.0, t, bitRate);
        const int dups = DupCount(), drops = DropCount();
        if (dups != 0 || drops != 0) line += Fmt(" dup=%d drop=%d", dups, drops);
        bool dirty = false;
        for (const auto& r : runtimes_) {
            if (r->Sync && r->Sync->ReportDirty()) dirty = true;
        }
        if (callback) {
            if (dirty && s_.Verbose >= 0) {
                Logger().Log(&e_, llVerbose, line);
                for (const auto& r : runtimes_) {
                    if (r->Sync) r->Sync->ClearReportDirty();
                }
            }
            e_.ProgressCallback(&e_, fileIndex, frameNumber, fps, quality,
                                static_cast<float>(bitRate), total,
                                static_cast<std::int64_t>(t * 1000000.0), s_.ExpectedDuration);
        } else if (s_.Verbose >= 0) {
            Logger().Log(&e_, llVerbose, line);
        }
    }
    if (last && s_.Verbose >= 0) {
        const double raw = static_cast<double>(videoSize_ + audioSize_ + extraSize_);
        const double overhead = raw > 0 ? 100.0 * (static_cast<double>(total) - raw) / raw : 0.0;
        Logger().LogFmt(
            &e_, llVerbose,
            "video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
            static_cast<double>(videoSize_) / 1024.0, static_cast<double>(audioSize_) / 1024.0,
            static_cast<double>(extraSize_) / 1024.0, overhead);
    }
}

int Transcoder::DupCount() const {
    int n = 0;
    for (const auto& r : runtimes_) {
        if (r->Sync) n += r->Sync->DupCount();
    }
    return n;
}

int Transcoder::DropCount() const {
    int n = 0;
    for (const auto& r : runtimes_) {
        if (r->Sync) n += r->Sync->DropCount();
    }
    return n;
}

}  // namespace zorvex
