// Owning wrappers for FFmpeg objects: each releases its object through the
// entry-point table on every path, including errors.
#pragma once

#include <memory>

#include "media/ffapi.h"
#include "media/loader.h"

namespace zorvex {

struct FrameDeleter {
    void operator()(AVFrame* f) const { ff::av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { ff::av_packet_free(&p); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { ff::avcodec_free_context(&c); }
};
// Closing an input frees its stream-analysis decoders: under CodecLock.
struct InputContextDeleter {
    void operator()(AVFormatContext* c) const { CloseInputLocked(&c); }
};
struct SwsDeleter {
    void operator()(SwsContext* c) const { ff::sws_freeContext(c); }
};
struct SwrDeleter {
    void operator()(SwrContext* c) const { ff::swr_free(&c); }
};
struct FilterGraphDeleter {
    void operator()(AVFilterGraph* g) const { ff::avfilter_graph_free(&g); }
};
struct BsfDeleter {
    void operator()(AVBSFContext* b) const { ff::av_bsf_free(&b); }
};
struct AudioFifoDeleter {
    void operator()(AVAudioFifo* f) const { ff::av_audio_fifo_free(f); }
};
struct AvFreeDeleter {
    void operator()(void* p) const { ff::av_free(p); }
};

using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;
using BsfPtr = std::unique_ptr<AVBSFContext, BsfDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;
template <typename T>
using AvMemPtr = std::unique_ptr<T, AvFreeDeleter>;

// An AVDictionary that frees itself.
class Dictionary {
public:
    Dictionary() = default;
    ~Dictionary() { ff::av_dict_free(&dict_); }
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;
    Dictionary(Dictionary&& o) noexcept : dict_(o.dict_) { o.dict_ = nullptr; }
    Dictionary& operator=(Dictionary&& o) noexcept {
        std::swap(dict_, o.dict_);
        return *this;
    }
    AVDictionary** Out() { return &dict_; }
    AVDictionary* get() const { return dict_; }
    void Set(const char* key, const char* value) { ff::av_dict_set(&dict_, key, value, 0); }

private:
    AVDictionary* dict_ = nullptr;
};

}  // namespace zorvex
