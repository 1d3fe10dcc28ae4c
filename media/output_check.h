// Whether an output can be written at all, asked of the libraries themselves
// rather than of a table: the output's encoders are opened with its sound
// settings and a header is written into an I/O context that throws its bytes
// away. The answers are cached per combination.
#pragma once

#include <string>

#include "media/converter_options.h"

struct AVFormatContext;

namespace zorvex {

struct OutputCheck {
    enum Verdict {
        Fits,               // written as it is
        NeedsExperimental,  // written only with strict experimental compliance (FLAC in MP4)
        ContainerRefuses,   // the container does not take the stream's codec
        EncoderRefuses,     // the encoder does not open with these settings
        Unknown,            // libraries not loaded, or a name they do not know
    };
    Verdict verdict = Unknown;
    bool audio = false;            // the stream at fault: sound (true) or picture
    std::string encoder;           // its encoder, "libvorbis"
    std::string muxer;             // the container, "mpeg"
    std::string muxerDescription;  // its long name, "MPEG-1 Systems / MPEG program stream"
    int sampleRate = 0;            // EncoderRefuses: the settings it was opened with
    int channels = 0;
    int bitRate = 0;              // bit/s; 0 when none was asked for
    bool bitRateAtFault = false;  // EncoderRefuses: it opens at its own bit rate
    std::string reason;           // the libraries' own words, when they gave any
};

// The check of an output record as the converter receives it: its file name
// or forced container, its disc target, its encoders (empty: the container's
// or the target's defaults), sample rate, channels and bit rates. The picture
// stream is left out when DisableVideo is set. Thread-safe.
OutputCheck CheckOutput(const TOutputOptions& record);

// For the engine before it writes a header: true when the streams of oc, whose
// parameters are set, can be written only with strict experimental compliance.
bool HeaderNeedsExperimental(const AVFormatContext* oc);

}  // namespace zorvex
