// The bitstream filter chain of one output stream ("absf", "vbsf", "sbsf"):
// every packet written to the stream, encoded or copied, passes the filters in
// order before it is interleaved into the output file.
#pragma once

#include <string>
#include <vector>

#include "media/ffptr.h"

namespace zorvex {

// Used by the task's thread only.
class BitstreamFilterChain {
public:
    BitstreamFilterChain() = default;
    BitstreamFilterChain(const BitstreamFilterChain&) = delete;
    BitstreamFilterChain& operator=(const BitstreamFilterChain&) = delete;
    BitstreamFilterChain(BitstreamFilterChain&&) = default;
    BitstreamFilterChain& operator=(BitstreamFilterChain&&) = default;

    // Appends one filter by option value: the name is the text before the first
    // "=" (what follows is not used). An empty value or one beginning with "="
    // is ignored. False with LastError "Unknown bitstream filter %s" (the trimmed
    // value) when no such filter exists. Only before Init.
    bool Add(const std::string& value);
    // Appends every filter of a comma-separated list ("h264_mp4toannexb,dump_extra");
    // stops at the first unknown one.
    bool AddList(const std::string& names);

    bool Empty() const { return filters_.empty(); }
    std::vector<std::string> Names() const;

    // Opens the chain for the stream's parameters and time base (after the
    // encoder is open or the copy parameters are set, before the output header
    // is written). streamIndex and codecName ("copy" for copied streams) only
    // go into messages. False with LastError when a filter refuses the stream.
    bool Init(const AVCodecParameters* parameters, AVRational timeBase, int streamIndex,
              const std::string& codecName);
    bool Initialized() const { return initialized_; }
    // Parameters and time base after the last filter (the input's for an empty
    // chain); the output stream takes them before its header is written, since
    // some filters change the extradata.
    const AVCodecParameters* OutputParameters() const;
    AVRational OutputTimeBase() const;

    // Passes one packet (in the stream's time base; the chain takes it) through
    // the filters and appends what comes out to out (none, one or several
    // packets). When a filter fails, out receives the packet unfiltered and the
    // result is false with LastError "%s failed for stream %d, codec %s: " and
    // the error text; the chain stays usable for the next packet.
    bool Filter(PacketPtr packet, std::vector<PacketPtr>& out);
    // End of the stream: drains what the filters still hold into out.
    bool Flush(std::vector<PacketPtr>& out);

    const std::string& LastError() const { return lastError_; }

private:
    struct Stage {
        const AVBitStreamFilter* filter = nullptr;
        BsfPtr context;
    };
    int Run(size_t stage, PacketPtr packet, std::vector<PacketPtr>& out);
    int Drain(size_t stage, std::vector<PacketPtr>& out);

    struct ParametersDeleter {
        void operator()(AVCodecParameters* p) const { ff::avcodec_parameters_free(&p); }
    };

    std::vector<Stage> filters_;
    bool initialized_ = false;
    AVRational inputTimeBase_{0, 1};
    std::unique_ptr<AVCodecParameters, ParametersDeleter> inputParameters_;
    int streamIndex_ = 0;
    std::string codecName_;
    size_t failedStage_ = 0;
    std::string lastError_;
};

}  // namespace zorvex
