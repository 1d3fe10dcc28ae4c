#include "media/engine/bitstream_filters.h"

#include <cstdio>

#include "media/util.h"

namespace zorvex {
namespace {

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    const size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

}  // namespace

bool BitstreamFilterChain::Add(const std::string& value) {
    const std::string trimmed = Trim(value);
    if (trimmed.empty() || trimmed[0] == '=') return true;
    const std::string name = Trim(trimmed.substr(0, trimmed.find('=')));
    const AVBitStreamFilter* filter = ff::av_bsf_get_by_name(name.c_str());
    if (filter == nullptr) {
        lastError_ = "Unknown bitstream filter " + trimmed;
        return false;
    }
    filters_.push_back(Stage{filter, nullptr});
    initialized_ = false;
    return true;
}

bool BitstreamFilterChain::AddList(const std::string& names) {
    size_t start = 0;
    while (start <= names.size()) {
        size_t comma = names.find(',', start);
        if (comma == std::string::npos) comma = names.size();
        if (!Add(names.substr(start, comma - start))) return false;
        start = comma + 1;
    }
    return true;
}

std::vector<std::string> BitstreamFilterChain::Names() const {
    std::vector<std::string> names;
    for (const Stage& s : filters_) names.emplace_back(s.filter->name);
    return names;
}

bool BitstreamFilterChain::Init(const AVCodecParameters* parameters, AVRational timeBase,
                                int streamIndex, const std::string& codecName) {
    initialized_ = false;
    streamIndex_ = streamIndex;
    codecName_ = codecName;
    inputTimeBase_ = timeBase;
    inputParameters_.reset(ff::avcodec_parameters_alloc());
    if (!inputParameters_ || ff::avcodec_parameters_copy(inputParameters_.get(), parameters) < 0) {
        lastError_ = "Out of memory for bitstream filters";
        return false;
    }
    const AVCodecParameters* in = inputParameters_.get();
    AVRational tb = timeBase;
    for (Stage& s : filters_) {
        AVBSFContext* ctx = nullptr;
        int ret = ff::av_bsf_alloc(s.filter, &ctx);
        s.context.reset(ctx);
        if (ret >= 0) ret = ff::avcodec_parameters_copy(ctx->par_in, in);
        if (ret >= 0) {
            ctx->time_base_in = tb;
            ret = ff::av_bsf_init(ctx);
        }
        if (ret < 0) {
            char prefix[512];
            std::snprintf(prefix, sizeof prefix,
                          "Error initializing bitstream filter %s for stream %d, codec %s",
                          s.filter->name, streamIndex_, codecName_.c_str());
            lastError_ = FFmpegErrorText(prefix, ret);
            for (Stage& other : filters_) other.context.reset();
            return false;
        }
        in = ctx->par_out;
        tb = ctx->time_base_out;
    }
    initialized_ = true;
    return true;
}

const AVCodecParameters* BitstreamFilterChain::OutputParameters() const {
    if (!filters_.empty() && filters_.back().context) return filters_.back().context->par_out;
    return inputParameters_.get();
}

AVRational BitstreamFilterChain::OutputTimeBase() const {
    if (!filters_.empty() && filters_.back().context) return filters_.back().context->time_base_out;
    return inputTimeBase_;
}

int BitstreamFilterChain::Run(size_t stage, PacketPtr packet, std::vector<PacketPtr>& out) {
    if (stage == filters_.size()) {
        out.push_back(std::move(packet));
        return 0;
    }
    const int ret = ff::av_bsf_send_packet(filters_[stage].context.get(), packet.get());
    if (ret < 0) {
        failedStage_ = stage;
        return ret;
    }
    return Drain(stage, out);
}

int BitstreamFilterChain::Drain(size_t stage, std::vector<PacketPtr>& out) {
    for (;;) {
        PacketPtr p(ff::av_packet_alloc());
        if (!p) return AVERROR(ENOMEM);
        const int ret = ff::av_bsf_receive_packet(filters_[stage].context.get(), p.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return 0;
        if (ret < 0) {
            failedStage_ = stage;
            return ret;
        }
        const int next = Run(stage + 1, std::move(p), out);
        if (next < 0) return next;
    }
}

bool BitstreamFilterChain::Filter(PacketPtr packet, std::vector<PacketPtr>& out) {
    if (filters_.empty()) {
        out.push_back(std::move(packet));
        return true;
    }
    if (!initialized_) {
        lastError_ = "Bitstream filters used before they were initialized";
        out.push_back(std::move(packet));
        return false;
    }
    // The filters take the packet's data; a reference is kept so that a packet
    // a filter rejects can still be written as it came.
    PacketPtr original(ff::av_packet_clone(packet.get()));
    const size_t before = out.size();
    const int ret = Run(0, std::move(packet), out);
    if (ret >= 0) return true;

    const Stage& failed = filters_[failedStage_];
    char prefix[512];
    std::snprintf(prefix, sizeof prefix, "%s failed for stream %d, codec %s", failed.filter->name,
                  streamIndex_, codecName_.c_str());
    lastError_ = FFmpegErrorText(prefix, ret);
    ff::av_bsf_flush(failed.context.get());
    out.resize(before);
    if (original) out.push_back(std::move(original));
    return false;
}

bool BitstreamFilterChain::Flush(std::vector<PacketPtr>& out) {
    if (!initialized_) return true;
    for (size_t i = 0; i < filters_.size(); ++i) {
        int ret = ff::av_bsf_send_packet(filters_[i].context.get(), nullptr);
        if (ret >= 0)
            ret = Drain(i, out);
        else
            failedStage_ = i;
        if (ret < 0) {
            char prefix[512];
            std::snprintf(prefix, sizeof prefix, "%s failed for stream %d, codec %s",
                          filters_[failedStage_].filter->name, streamIndex_, codecName_.c_str());
            lastError_ = FFmpegErrorText(prefix, ret);
            return false;
        }
    }
    return true;
}

}  // namespace zorvex
