#include "media/engine/encoder_rules.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace zorvex {
namespace {

// The picture sizes of H.263 (sub-QCIF to 16CIF); only H.263+ takes others.
const std::vector<std::pair<int, int>> kH263Sizes = {
    {128, 96}, {176, 144}, {352, 288}, {704, 576}, {1408, 1152}};

// The standard frame rates of MPEG-1 and MPEG-2 video.
constexpr AVRational kMpegRates[] = {{24000, 1001}, {24, 1}, {25, 1},       {30000, 1001},
                                     {30, 1},       {50, 1}, {60000, 1001}, {60, 1}};

// Encoders that list no layouts but take only a few channels.
int MaxChannelsOf(AVCodecID codec) {
    switch (codec) {
        case AV_CODEC_ID_AMR_NB:
        case AV_CODEC_ID_AMR_WB:
            return 1;
        case AV_CODEC_ID_WMAV1:
        case AV_CODEC_ID_WMAV2:
        case AV_CODEC_ID_ADPCM_IMA_WAV:
        case AV_CODEC_ID_ADPCM_MS:
        case AV_CODEC_ID_ADPCM_SWF:
            return 2;
        case AV_CODEC_ID_AAC:
        case AV_CODEC_ID_VORBIS:
        case AV_CODEC_ID_FLAC:
        case AV_CODEC_ID_OPUS:
            return 8;
        default:
            return INT_MAX;
    }
}

int RoundToMultiple(int value, int multiple) {
    if (multiple <= 1) return std::max(value, 1);
    const int rounded = (value + multiple / 2) / multiple * multiple;
    return std::max(rounded, multiple);
}

double Distance(AVRational a, AVRational b) {
    return std::abs(av_q2d(a) - av_q2d(b));
}

bool Lists(const AVPixelFormat* list, AVPixelFormat format) {
    for (const AVPixelFormat* p = list; p != nullptr && *p != AV_PIX_FMT_NONE; ++p) {
        if (*p == format) return true;
    }
    return false;
}

// The pixel shapes (height over width) MPEG-1 video can state.
constexpr double kMpeg1PixelShapes[] = {1.0,    0.6735, 0.7031, 0.7615, 0.8055, 0.8437, 0.8935,
                                        0.9157, 0.9815, 1.0255, 1.0695, 1.0950, 1.1575, 1.2015};
// The display shapes MPEG-2 video can state besides square pixels.
constexpr double kMpeg2DisplayShapes[] = {4.0 / 3.0, 16.0 / 9.0, 2.21};
constexpr double kAspectTolerance = 0.005;

bool Near(double a, double b) {
    return std::abs(a / b - 1.0) < kAspectTolerance;
}

}  // namespace

AspectSupport AspectSupportOf(AVCodecID codec, const char* muxerName) {
    const std::string muxer = muxerName != nullptr ? muxerName : "";
    if (muxer == "rm" || muxer == "flv" || muxer == "swf" || codec == AV_CODEC_ID_RV10 ||
        codec == AV_CODEC_ID_RV20 || codec == AV_CODEC_ID_FLV1) {
        return AspectSupport::SquareOnly;
    }
    if (codec == AV_CODEC_ID_MPEG1VIDEO) return AspectSupport::Mpeg1Table;
    if (codec == AV_CODEC_ID_MPEG2VIDEO) return AspectSupport::Mpeg2Display;
    return AspectSupport::Any;
}

bool KeepsSampleAspect(AspectSupport support, AVRational sar, int width, int height) {
    const double ratio = sar.num > 0 && sar.den > 0 ? av_q2d(sar) : 1.0;
    if (Near(ratio, 1.0)) return true;
    switch (support) {
        case AspectSupport::SquareOnly:
            return false;
        case AspectSupport::Mpeg1Table:
            for (double shape : kMpeg1PixelShapes) {
                if (Near(ratio, 1.0 / shape)) return true;
            }
            return false;
        case AspectSupport::Mpeg2Display:
            for (double shape : kMpeg2DisplayShapes) {
                if (height > 0 && Near(ratio * width / height, shape)) return true;
            }
            return false;
        case AspectSupport::Any:
            return true;
    }
    return true;
}

FrameSizeRule FrameSizeRuleOf(AVCodecID codec, AVPixelFormat format) {
    FrameSizeRule rule;
    if (const AVPixFmtDescriptor* d = ff::av_pix_fmt_desc_get(format)) {
        rule.WidthMultiple = 1 << d->log2_chroma_w;
        rule.HeightMultiple = 1 << d->log2_chroma_h;
    }
    switch (codec) {
        case AV_CODEC_ID_RV10:
            rule.WidthMultiple = rule.HeightMultiple = 16;
            rule.MaxMacroblocks = 4095;
            break;
        case AV_CODEC_ID_RV20:
            rule.WidthMultiple = std::max(rule.WidthMultiple, 4);
            rule.HeightMultiple = std::max(rule.HeightMultiple, 4);
            rule.MaxMacroblocks = 4095;
            break;
        case AV_CODEC_ID_H263:
            rule.FixedSizes = kH263Sizes;
            break;
        default:
            break;
    }
    return rule;
}

std::pair<int, int> NearestFrameSize(const FrameSizeRule& rule, int width, int height) {
    if (!rule.FixedSizes.empty()) {
        // Nearest in area, then in shape, both on a logarithmic scale.
        auto cost = [&](const std::pair<int, int>& size) {
            const double area = std::log(static_cast<double>(size.first) * size.second /
                                         (static_cast<double>(width) * height));
            const double shape = std::log(static_cast<double>(size.first) * height /
                                          (static_cast<double>(size.second) * width));
            return std::abs(area) + std::abs(shape);
        };
        return *std::min_element(rule.FixedSizes.begin(), rule.FixedSizes.end(),
                                 [&](const auto& a, const auto& b) { return cost(a) < cost(b); });
    }
    int w = RoundToMultiple(width, rule.WidthMultiple);
    int h = RoundToMultiple(height, rule.HeightMultiple);
    auto macroblocks = [](int a, int b) {
        return static_cast<std::int64_t>((a + 15) / 16) * ((b + 15) / 16);
    };
    if (rule.MaxMacroblocks > 0 && macroblocks(w, h) > rule.MaxMacroblocks) {
        const double scale =
            std::sqrt(static_cast<double>(rule.MaxMacroblocks) / macroblocks(w, h));
        const int wm = std::max(rule.WidthMultiple, 1), hm = std::max(rule.HeightMultiple, 1);
        w = std::max(wm, static_cast<int>(w * scale) / wm * wm);
        h = std::max(hm, static_cast<int>(h * scale) / hm * hm);
        while (macroblocks(w, h) > rule.MaxMacroblocks && w > wm && h > hm) {
            if (w * height > h * width) {
                w -= wm;
            } else {
                h -= hm;
            }
        }
    }
    return {w, h};
}

AVRational NearestFrameRate(const AVCodec* encoder, AVRational rate, int strictness) {
    if (encoder == nullptr || rate.num <= 0 || rate.den <= 0) return rate;
    const bool mpeg =
        encoder->id == AV_CODEC_ID_MPEG1VIDEO || encoder->id == AV_CODEC_ID_MPEG2VIDEO;
    if (mpeg && strictness > FF_COMPLIANCE_UNOFFICIAL) {
        const AVRational* best = &kMpegRates[0];
        for (const AVRational& r : kMpegRates) {
            if (Distance(r, rate) < Distance(*best, rate)) best = &r;
        }
        return *best;
    }
    if (encoder->supported_framerates != nullptr) {
        return encoder
            ->supported_framerates[ff::av_find_nearest_q_idx(rate, encoder->supported_framerates)];
    }
    switch (encoder->id) {
        case AV_CODEC_ID_MPEG4:
        case AV_CODEC_ID_H263:
        case AV_CODEC_ID_H263P:
        case AV_CODEC_ID_FLV1:
        case AV_CODEC_ID_MSMPEG4V2:
        case AV_CODEC_ID_MSMPEG4V3:
        case AV_CODEC_ID_WMV1:
        case AV_CODEC_ID_WMV2:
        case AV_CODEC_ID_RV10:
        case AV_CODEC_ID_RV20:
            // The time base (1 / rate) is written with 16 bits.
            if (rate.num > 65535) {
                AVRational reduced{};
                ff::av_reduce(&reduced.num, &reduced.den, rate.num, rate.den, 65535);
                return reduced;
            }
            break;
        default:
            break;
    }
    return rate;
}

AVPixelFormat DefaultPixelFormat(const AVCodec* encoder, AVPixelFormat source, int strictness) {
    if (encoder == nullptr || encoder->pix_fmts == nullptr) return source;
    const bool jpeg = encoder->id == AV_CODEC_ID_MJPEG || encoder->id == AV_CODEC_ID_LJPEG;
    // Today's JPEG encoders also take the limited-range formats, but only below
    // official strictness.
    if (jpeg && strictness > FF_COMPLIANCE_UNOFFICIAL &&
        Lists(encoder->pix_fmts, AV_PIX_FMT_YUVJ420P))
        return AV_PIX_FMT_YUVJ420P;
    if (Lists(encoder->pix_fmts, AV_PIX_FMT_YUV420P)) return AV_PIX_FMT_YUV420P;
    if (source != AV_PIX_FMT_NONE) {
        return ff::avcodec_find_best_pix_fmt_of_list(encoder->pix_fmts, source, 0, nullptr);
    }
    return encoder->pix_fmts[0];
}

int FixedSampleRateOf(AVCodecID codec) {
    switch (codec) {
        case AV_CODEC_ID_AMR_NB:
            return 8000;
        case AV_CODEC_ID_AMR_WB:
            return 16000;
        default:
            return 0;
    }
}

ChannelLayout NearestChannelLayout(const AVCodec* encoder, const ChannelLayout& wanted) {
    if (encoder == nullptr) return wanted;
    const int count = wanted.Channels();
    if (encoder->ch_layouts == nullptr) {
        const int most = MaxChannelsOf(encoder->id);
        return count <= most ? wanted : ChannelLayout::WithChannels(most);
    }
    std::vector<ChannelLayout> taken;
    for (const AVChannelLayout* l = encoder->ch_layouts; l->nb_channels != 0; ++l) {
        taken.emplace_back(*l);
    }
    if (taken.empty()) return wanted;
    for (const ChannelLayout& l : taken) {
        if (l == wanted) return wanted;
    }
    int nearest = taken.front().Channels();
    for (const ChannelLayout& l : taken) {
        const int d = std::abs(l.Channels() - count), best = std::abs(nearest - count);
        if (d < best || (d == best && l.Channels() < nearest)) nearest = l.Channels();
    }
    const ChannelLayout standard = ChannelLayout::WithChannels(nearest);
    for (const ChannelLayout& l : taken) {
        if (l == standard) return standard;
    }
    for (const ChannelLayout& l : taken) {
        if (l.Channels() == nearest) return l;
    }
    return standard;
}

}  // namespace zorvex
