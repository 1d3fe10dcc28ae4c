// Encoding of decoded subtitles with their display times.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/ffptr.h"
#include "media/util.h"

namespace zorvex {

// One per encoded subtitle output stream (or per engine); its encode buffer is
// its own, so tasks on different threads never share one. Used by the task's
// thread only.
class SubtitleEncoder {
public:
    static constexpr int BufferSize = 1048576;

    // Encodes one decoded subtitle with the opened encoder. packetPts is the
    // presentation time of the subtitle's packet in microseconds, already
    // relative to the output (NoPtsValue when the packet had none). The packets
    // produced (two for DVB subtitles: the picture, then the clearing one; one
    // otherwise) are appended to out with timestamps in streamTimeBase.
    // False with LastError "Subtitle packets must have a pts" (the caller decides
    // between failing and dropping it) or "Subtitle encoding failed".
    bool Encode(AVCodecContext* encoder, const AVSubtitle& subtitle, std::int64_t packetPts,
                AVRational streamTimeBase, std::vector<PacketPtr>& out);

    const std::string& LastError() const { return lastError_; }

private:
    std::vector<std::uint8_t> buffer_;  // allocated on first use, kept
    std::string lastError_;
};

}  // namespace zorvex
