#include "media/gif_writer.h"

#include <cstdio>
#include <cstring>

#include "media/ffapi.h"
#include "media/ffptr.h"
#include "media/loader.h"
#include "media/util.h"

namespace zorvex {
namespace {

struct InOutDeleter {
    void operator()(AVFilterInOut* p) const { ff::avfilter_inout_free(&p); }
};
using InOutPtr = std::unique_ptr<AVFilterInOut, InOutDeleter>;

struct OutputContextDeleter {
    void operator()(AVFormatContext* c) const {
        if (c->pb != nullptr) ff::avio_closep(&c->pb);
        ff::avformat_free_context(c);
    }
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;

// An encoder context that is closed under the codec lock on every path.
struct LockedCodec {
    CodecContextPtr context;
    ~LockedCodec() {
        std::lock_guard lock(CodecLock());
        context.reset();
    }
};

constexpr AVRational kTimeBase{1, 25};

// BGR24 -> PAL8 with a palette made for this picture (palettegen/paletteuse).
bool Palettise(const TBitmap& bitmap, AVFrame* out, std::string& error) {
    FilterGraphPtr graph(ff::avfilter_graph_alloc());
    if (!graph) return error = "out of memory", false;
    char args[128];
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=1/1",
                  bitmap.Width, bitmap.Height, AV_PIX_FMT_BGR24, kTimeBase.num, kTimeBase.den);
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
    if (ff::avfilter_graph_create_filter(&source, ff::avfilter_get_by_name("buffer"), "in", args,
                                         nullptr, graph.get()) < 0 ||
        ff::avfilter_graph_create_filter(&sink, ff::avfilter_get_by_name("buffersink"), "out",
                                         nullptr, nullptr, graph.get()) < 0) {
        return error = "cannot create the palette filters", false;
    }
    const AVPixelFormat formats[] = {AV_PIX_FMT_PAL8};
    ff::av_opt_set_bin(sink, "pix_fmts", reinterpret_cast<const std::uint8_t*>(formats),
                       sizeof formats, AV_OPT_SEARCH_CHILDREN);
    InOutPtr outputs(ff::avfilter_inout_alloc()), inputs(ff::avfilter_inout_alloc());
    if (!outputs || !inputs) return error = "out of memory", false;
    outputs->name = ff::av_strdup("in");
    outputs->filter_ctx = source;
    inputs->name = ff::av_strdup("out");
    inputs->filter_ctx = sink;
    AVFilterInOut* in = inputs.release();
    AVFilterInOut* outList = outputs.release();
    const int parsed = ff::avfilter_graph_parse_ptr(
        graph.get(), "[in]split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse[out]",
        &in, &outList, nullptr);
    inputs.reset(in);
    outputs.reset(outList);
    if (parsed < 0 || ff::avfilter_graph_config(graph.get(), nullptr) < 0) {
        return error = "cannot set up the palette filters", false;
    }

    FramePtr picture(ff::av_frame_alloc());
    if (!picture) return error = "out of memory", false;
    picture->format = AV_PIX_FMT_BGR24;
    picture->width = bitmap.Width;
    picture->height = bitmap.Height;
    picture->pts = 0;
    if (ff::av_frame_get_buffer(picture.get(), 0) < 0) return error = "out of memory", false;
    for (int y = 0; y < bitmap.Height; ++y) {
        std::memcpy(picture->data[0] + static_cast<ptrdiff_t>(picture->linesize[0]) * y,
                    bitmap.ScanLine(y), static_cast<size_t>(bitmap.Width) * 3);
    }
    if (ff::av_buffersrc_add_frame(source, picture.get()) < 0 ||
        ff::av_buffersrc_add_frame(source, nullptr) < 0 ||  // the palette is made at the end
        ff::av_buffersink_get_frame(sink, out) < 0) {
        return error = "cannot reduce the picture to a palette", false;
    }
    return true;
}

}  // namespace

bool WriteGifPicture(const TBitmap& bitmap, const std::string& path, std::string& error) {
    if (bitmap.Empty()) return error = "empty picture", false;
    FramePtr palettised(ff::av_frame_alloc());
    if (!palettised || !Palettise(bitmap, palettised.get(), error)) return false;

    const AVCodec* encoder = ff::avcodec_find_encoder(AV_CODEC_ID_GIF);
    LockedCodec locked{CodecContextPtr(ff::avcodec_alloc_context3(encoder))};
    AVCodecContext* codec = locked.context.get();
    if (encoder == nullptr || codec == nullptr) return error = "no GIF encoder", false;
    codec->width = bitmap.Width;
    codec->height = bitmap.Height;
    codec->pix_fmt = AV_PIX_FMT_PAL8;
    codec->time_base = kTimeBase;
    int ret;
    {
        std::lock_guard lock(CodecLock());
        ret = ff::avcodec_open2(codec, encoder, nullptr);
    }
    if (ret < 0) return error = FFmpegErrorText("gif", ret), false;

    const std::string name = ToFFmpegFileName(path);
    AVFormatContext* raw = nullptr;
    ret = ff::avformat_alloc_output_context2(&raw, nullptr, "gif", name.c_str());
    OutputContextPtr output(raw);
    if (ret < 0) return error = FFmpegErrorText(path, ret), false;
    AVStream* stream = ff::avformat_new_stream(output.get(), nullptr);
    if (stream == nullptr) return error = "out of memory", false;
    stream->time_base = kTimeBase;
    ff::avcodec_parameters_from_context(stream->codecpar, codec);
    Dictionary options;
    SetLocalProtocolWhitelist(options.Out());
    ret = ff::avio_open2(&output->pb, name.c_str(), AVIO_FLAG_WRITE, nullptr, options.Out());
    if (ret < 0) return error = FFmpegErrorText(path, ret), false;
    if ((ret = ff::avformat_write_header(output.get(), nullptr)) < 0) {
        return error = FFmpegErrorText(path, ret), false;
    }

    palettised->pts = 0;
    PacketPtr packet(ff::av_packet_alloc());
    if (!packet) return error = "out of memory", false;
    ret = ff::avcodec_send_frame(codec, palettised.get());
    if (ret >= 0) ret = ff::avcodec_send_frame(codec, nullptr);
    while (ret >= 0) {
        ret = ff::avcodec_receive_packet(codec, packet.get());
        if (ret < 0) break;
        ff::av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        ret = ff::av_write_frame(output.get(), packet.get());
        ff::av_packet_unref(packet.get());
    }
    if (ret != AVERROR_EOF) return error = FFmpegErrorText(path, ret), false;
    if ((ret = ff::av_write_trailer(output.get())) < 0)
        return error = FFmpegErrorText(path, ret), false;
    if ((ret = ff::avio_closep(&output->pb)) < 0) return error = FFmpegErrorText(path, ret), false;
    return true;
}

}  // namespace zorvex
