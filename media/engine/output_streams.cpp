// The streams of an output: each new video, audio and subtitle stream gets an
// encoder context filled from the settings (size, aspect, rates, formats the
// encoder accepts, rate-control overrides) and its place in the output file.
#include <bit>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "media/engine/engine.h"
#include "media/ffapi.h"
#include "media/log.h"
#include "media/text.h"

namespace zorvex {

using text::Fmt;

namespace {

// The sample aspect ratio that gives the display aspect FrameAspectRatio.
AVRational SampleAspect(const TEngineSettings& s) {
    const double ratio =
        s.FrameWidth * s.FrameHeight != 0
            ? static_cast<double>(s.FrameAspectRatio * static_cast<float>(s.FrameHeight) /
                                  static_cast<float>(s.FrameWidth))
            : static_cast<double>(s.FrameAspectRatio * 3.0f / 4.0f);
    return ff::av_d2q(ratio, 255);
}

}  // namespace

void TCustomFFmpeg::AddCodecStreamCommon(TOutputFile& output, TOutputStream& stream,
                                         AVMediaType type) {
    TEngineSettings& s = Settings;
    AVCodecContext* ctx = stream.Codec.get();
    ctx->codec_type = type;
    ctx->thread_count = s.ThreadCount;
    AVStream* st = ff::avformat_new_stream(output.Context.get(), nullptr);
    if (st == nullptr) throw FFmpegException("Could not alloc stream");
    st->id = st->index < MaxStreams ? s.StreamIdMap[static_cast<size_t>(st->index)] : 0;
    if (ctx->time_base.num > 0 && ctx->time_base.den > 0) st->time_base = ctx->time_base;  // a hint
    st->sample_aspect_ratio = ctx->sample_aspect_ratio;
    ff::avcodec_parameters_from_context(st->codecpar, ctx);
    stream.Stream = st;
}

void TCustomFFmpeg::new_video_stream(TOutputFile& output) {
    TEngineSettings& s = Settings;
    AVFormatContext* oc = output.Context.get();
    TOutputStream os;
    // Everything that can fail on bad settings is done before the stream is
    // added, so that a failure leaves the output as it was.
    if (s.VideoStreamCopy) {
        os.StreamCopy = true;
        os.Codec.reset(ff::avcodec_alloc_context3(nullptr));
        if (!os.Codec) throw FFmpegException("Could not alloc stream");
        os.Codec->sample_aspect_ratio = SampleAspect(s);
    } else {
        AVRational rate =
            s.FrameRate.num != 0 && s.FrameRate.den != 0 ? s.FrameRate : AVRational{25, 1};
        AVCodecID id = AV_CODEC_ID_NONE;
        if (!s.VideoCodecName.empty()) {
            if (!FindCodec(s.VideoCodecName, AVMEDIA_TYPE_VIDEO, true,
                           CodecOptions[skVideo] ? CodecOptions[skVideo]->strict_std_compliance : 0,
                           id, &os.Encoder)) {
                s.VideoCodecName.clear();
                throw FFmpegException(LastError());
            }
            os.EncoderByName = true;
        } else {
            id = ff::av_guess_codec(oc->oformat, nullptr, oc->url, nullptr, AVMEDIA_TYPE_VIDEO);
            os.Encoder = ff::avcodec_find_encoder(id);
        }
        os.Codec.reset(ff::avcodec_alloc_context3(os.Encoder));
        if (!os.Codec) throw FFmpegException("Could not alloc stream");
        AVCodecContext* c = os.Codec.get();
        c->codec_type = AVMEDIA_TYPE_VIDEO;
        c->codec_id = id;
        ApplyGenericOptions(c, skVideo, AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
        ApplyPrivateCodecOptions(c, os.Encoder);
        if (os.Encoder != nullptr && os.Encoder->supported_framerates != nullptr && !s.ForceFps) {
            rate = os.Encoder->supported_framerates[ff::av_find_nearest_q_idx(
                rate, os.Encoder->supported_framerates)];
        }
        c->time_base = AVRational{rate.den, rate.num};
        c->framerate = rate;
        c->width = s.FrameWidth;
        c->height = s.FrameHeight;
        c->sample_aspect_ratio = SampleAspect(s);
        c->pix_fmt = static_cast<AVPixelFormat>(s.FramePixFmt);
        ChoosePixelFormat(c, os.Encoder);
        if (s.IntraOnly) c->gop_size = 0;
        if (s.VideoQscale != 0 || s.SameQuality) {
            c->flags |= AV_CODEC_FLAG_QSCALE;
            os.Quality = QualityScale * s.VideoQscale;
            c->global_quality = static_cast<int>(os.Quality);
        }
        auto copyMatrix = [](const std::optional<TQuantMatrix>& m, std::uint16_t*& target) {
            if (!m) return;
            ff::av_freep(&target);
            target = static_cast<std::uint16_t*>(ff::av_malloc(sizeof(TQuantMatrix)));
            if (target != nullptr) std::memcpy(target, m->data(), sizeof(TQuantMatrix));
        };
        copyMatrix(s.IntraMatrix, c->intra_matrix);
        copyMatrix(s.InterMatrix, c->inter_matrix);
        if (s.RcOverride) {
            try {
                ParseRcOverride(c);
            } catch (...) {
                s.VideoCodecName.clear();
                throw;
            }
        }
        if (c->rc_initial_buffer_occupancy == 0)
            c->rc_initial_buffer_occupancy = c->rc_buffer_size * 3 / 4;
        c->intra_dc_precision = s.IntraDcPrecision - 8;
        if (s.DoPsnr) c->flags |= AV_CODEC_FLAG_PSNR;
        if (s.DoPass == 1) c->flags |= AV_CODEC_FLAG_PASS1;
        if (s.DoPass == 2) c->flags |= AV_CODEC_FLAG_PASS2;
    }
    AVCodecContext* c = os.Codec.get();
    if (s.VideoCodecTag != 0) c->codec_tag = s.VideoCodecTag;
    if ((s.VideoGlobalHeader & 1) != 0 ||
        (s.VideoGlobalHeader == 0 && (oc->oformat->flags & AVFMT_GLOBALHEADER) != 0)) {
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if ((s.VideoGlobalHeader & 2) != 0) c->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    AddCodecStreamCommon(output, os, AVMEDIA_TYPE_VIDEO);
    os.Bsf = std::move(s.VideoBsf);
    s.VideoBsf.clear();
    if (!s.VideoLanguage.empty()) {
        ff::av_dict_set(&os.Stream->metadata, "language", s.VideoLanguage.c_str(), 0);
        s.VideoLanguage.clear();
    }
    output.Streams.push_back(std::move(os));
    s.VideoDisable = false;
    s.VideoCodecName.clear();
    s.VideoStreamCopy = false;
    s.FramePixFmt = -1;
}

void TCustomFFmpeg::new_audio_stream(TOutputFile& output) {
    TEngineSettings& s = Settings;
    AVFormatContext* oc = output.Context.get();
    TOutputStream os;
    AVChannelLayout layout{};
    if (s.ChannelLayout != 0 && std::popcount(s.ChannelLayout) == s.AudioChannels) {
        ff::av_channel_layout_from_mask(&layout, s.ChannelLayout);
    } else {
        ff::av_channel_layout_default(&layout, s.AudioChannels);
    }
    struct LayoutRelease {
        AVChannelLayout& l;
        ~LayoutRelease() { ff::av_channel_layout_uninit(&l); }
    } layoutRelease{layout};

    if (s.AudioStreamCopy) {
        os.StreamCopy = true;
        os.Codec.reset(ff::avcodec_alloc_context3(nullptr));
        if (!os.Codec) throw FFmpegException("Could not alloc stream");
        ff::av_channel_layout_copy(&os.Codec->ch_layout, &layout);
        os.Codec->sample_rate = s.AudioSampleRate;
    } else {
        AVCodecID id = AV_CODEC_ID_NONE;
        if (!s.AudioCodecName.empty()) {
            if (!FindCodec(s.AudioCodecName, AVMEDIA_TYPE_AUDIO, true,
                           CodecOptions[skAudio] ? CodecOptions[skAudio]->strict_std_compliance : 0,
                           id, &os.Encoder)) {
                s.AudioCodecName.clear();
                s.AudioLanguage.clear();
                throw FFmpegException(LastError());
            }
            os.EncoderByName = true;
        } else {
            id = ff::av_guess_codec(oc->oformat, nullptr, oc->url, nullptr, AVMEDIA_TYPE_AUDIO);
            os.Encoder = ff::avcodec_find_encoder(id);
        }
        os.Codec.reset(ff::avcodec_alloc_context3(os.Encoder));
        if (!os.Codec) throw FFmpegException("Could not alloc stream");
        AVCodecContext* c = os.Codec.get();
        c->codec_type = AVMEDIA_TYPE_AUDIO;
        ApplyGenericOptions(c, skAudio, AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
        ApplyPrivateCodecOptions(c, os.Encoder);
        c->codec_id = id;
        if (s.AudioQscale > -99999.0f) {
            c->flags |= AV_CODEC_FLAG_QSCALE;
            os.Quality = QualityScale * s.AudioQscale;
            c->global_quality = static_cast<int>(os.Quality);
        }
        ff::av_channel_layout_uninit(&c->ch_layout);
        ff::av_channel_layout_copy(&c->ch_layout, &layout);
        c->sample_fmt = static_cast<AVSampleFormat>(s.AudioSampleFmt);
        c->sample_rate = s.AudioSampleRate;
        ChooseSampleFormat(c, os.Encoder);
        ChooseSampleRate(c, os.Encoder);
    }
    AVCodecContext* c = os.Codec.get();
    if (s.AudioCodecTag != 0) c->codec_tag = s.AudioCodecTag;
    if ((oc->oformat->flags & AVFMT_GLOBALHEADER) != 0) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    c->time_base = AVRational{
        1, c->sample_rate > 0 ? c->sample_rate : (s.AudioSampleRate > 0 ? s.AudioSampleRate : 1)};
    AddCodecStreamCommon(output, os, AVMEDIA_TYPE_AUDIO);
    os.Bsf = std::move(s.AudioBsf);
    s.AudioBsf.clear();
    if (!s.AudioLanguage.empty()) {
        ff::av_dict_set(&os.Stream->metadata, "language", s.AudioLanguage.c_str(), 0);
        s.AudioLanguage.clear();
    }
    output.Streams.push_back(std::move(os));
    s.AudioDisable = false;
    s.AudioCodecName.clear();
    s.AudioStreamCopy = false;
}

void TCustomFFmpeg::new_subtitle_stream(TOutputFile& output) {
    TEngineSettings& s = Settings;
    AVFormatContext* oc = output.Context.get();
    TOutputStream os;
    if (s.SubtitleStreamCopy) {
        os.StreamCopy = true;
        os.Codec.reset(ff::avcodec_alloc_context3(nullptr));
    } else {
        AVCodecID id = AV_CODEC_ID_NONE;
        if (!FindCodec(
                s.SubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, true,
                CodecOptions[skSubtitle] ? CodecOptions[skSubtitle]->strict_std_compliance : 0, id,
                &os.Encoder)) {
            s.SubtitleCodecName.clear();
            throw FFmpegException(LastError());
        }
        os.EncoderByName = os.Encoder != nullptr;
        if (os.Encoder == nullptr) {
            // No name: the container's own subtitle encoder.
            id = ff::av_guess_codec(oc->oformat, nullptr, oc->url, nullptr, AVMEDIA_TYPE_SUBTITLE);
            os.Encoder = ff::avcodec_find_encoder(id);
        }
        os.Codec.reset(ff::avcodec_alloc_context3(os.Encoder));
        if (os.Codec) {
            ApplyGenericOptions(os.Codec.get(), skSubtitle,
                                AV_OPT_FLAG_SUBTITLE_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
            ApplyPrivateCodecOptions(os.Codec.get(), os.Encoder);
            os.Codec->codec_id = id;
        }
    }
    if (!os.Codec) throw FFmpegException("Could not alloc stream");
    if (s.SubtitleCodecTag != 0) os.Codec->codec_tag = s.SubtitleCodecTag;
    AddCodecStreamCommon(output, os, AVMEDIA_TYPE_SUBTITLE);
    os.Bsf = std::move(s.SubtitleBsf);
    s.SubtitleBsf.clear();
    if (!s.SubtitleLanguage.empty()) {
        ff::av_dict_set(&os.Stream->metadata, "language", s.SubtitleLanguage.c_str(), 0);
        s.SubtitleLanguage.clear();
    }
    output.Streams.push_back(std::move(os));
    s.SubtitleDisable = false;
    s.SubtitleCodecName.clear();
    s.SubtitleStreamCopy = false;
}

void TCustomFFmpeg::ParseRcOverride(AVCodecContext* context) {
    const std::string& text = *Settings.RcOverride;
    std::vector<RcOverride> entries;
    const char* p = text.c_str();
    for (;;) {
        char* end = nullptr;
        const long start = std::strtol(p, &end, 10);
        if (*end != ',') throw FFmpegException("error parsing rc_override");
        p = end + 1;
        const long last = std::strtol(p, &end, 10);
        if (*end != ',') throw FFmpegException("error parsing rc_override");
        p = end + 1;
        const long q = std::strtol(p, &end, 10);
        RcOverride entry{};
        entry.start_frame = static_cast<int>(start);
        entry.end_frame = static_cast<int>(last);
        if (q > 0) {
            entry.qscale = static_cast<int>(q);
            entry.quality_factor = 1.0f;
        } else {
            entry.qscale = 0;
            entry.quality_factor = static_cast<float>(-q) / 100.0f;
        }
        entries.push_back(entry);
        p = std::strchr(p, '/');
        if (p == nullptr) break;
        ++p;
    }
    auto* list = static_cast<RcOverride*>(ff::av_malloc(entries.size() * sizeof(RcOverride)));
    if (list == nullptr) throw FFmpegException("error parsing rc_override");
    std::memcpy(list, entries.data(), entries.size() * sizeof(RcOverride));
    ff::av_freep(&context->rc_override);
    context->rc_override = list;
    context->rc_override_count = static_cast<int>(entries.size());
}

void TCustomFFmpeg::ChoosePixelFormat(AVCodecContext* context, const AVCodec* encoder) {
    if (encoder == nullptr || encoder->pix_fmts == nullptr) return;
    const AVPixelFormat* p = encoder->pix_fmts;
    if (context->codec_id == AV_CODEC_ID_MJPEG && context->strict_std_compliance < 0 &&
        (context->pix_fmt == AV_PIX_FMT_YUV420P || context->pix_fmt == AV_PIX_FMT_YUV422P)) {
        return;
    }
    // Today's JPEG encoders also list the limited-range formats, which they take
    // only below official strictness; otherwise the full-range ones are meant.
    const bool fullRangeOnly =
        (context->codec_id == AV_CODEC_ID_MJPEG || context->codec_id == AV_CODEC_ID_LJPEG) &&
        context->strict_std_compliance > FF_COMPLIANCE_UNOFFICIAL;
    auto fullRange = [](AVPixelFormat f) {
        return f == AV_PIX_FMT_YUVJ420P || f == AV_PIX_FMT_YUVJ422P || f == AV_PIX_FMT_YUVJ444P ||
               f == AV_PIX_FMT_YUVJ440P || f == AV_PIX_FMT_YUVJ411P;
    };
    for (; *p != AV_PIX_FMT_NONE; ++p) {
        if (*p == context->pix_fmt && (!fullRangeOnly || fullRange(*p))) return;
    }
    context->pix_fmt = encoder->pix_fmts[0];
}

void TCustomFFmpeg::ChooseSampleFormat(AVCodecContext* context, const AVCodec* encoder) {
    if (encoder == nullptr || encoder->sample_fmts == nullptr) return;
    for (const AVSampleFormat* p = encoder->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p) {
        if (*p == context->sample_fmt) return;
    }
    context->sample_fmt = encoder->sample_fmts[0];
}

void TCustomFFmpeg::ChooseSampleRate(AVCodecContext* context, const AVCodec* encoder) {
    if (encoder == nullptr || encoder->supported_samplerates == nullptr) return;
    int best = 0;
    long long bestDiff = LLONG_MAX;
    for (const int* p = encoder->supported_samplerates; *p != 0; ++p) {
        const long long diff = std::llabs(static_cast<long long>(*p) - context->sample_rate);
        if (diff < bestDiff) {
            bestDiff = diff;
            best = *p;
        }
    }
    if (best != context->sample_rate) {
        Logger().Log(this, llWarning,
                     Fmt("Requested sampling rate unsupported using closest supported (%d)", best));
        context->sample_rate = best;
    }
}

}  // namespace zorvex
