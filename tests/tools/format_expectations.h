// What a catalogue format's output must look like to ffprobe, derived from the
// option records its defaults produce, the container's default codecs and the
// disc targets; and the same records as Debian ffmpeg arguments.
#pragma once

#include <string>
#include <vector>

#include "media/converter_options.h"

namespace zorvex::test {

// The source every conversion test uses.
struct SourceClip {
    int width = 320, height = 240;
    double fps = 25;
    int sampleRate = 44100, channels = 2;
};

struct ProbeFacts {
    std::string formatName;  // ffprobe format_name
    std::string videoCodec;  // empty: no video stream
    int width = 0, height = 0;
    double fps = 0;
    std::string audioCodec;  // empty: no audio stream
    int sampleRate = 0, channels = 0;
};

// The records of format id with its preselected choices, for a file added alone
// whose output goes to outputFile.
TOutputOptions DefaultOutputRecord(int formatId, const std::string& source,
                                   const std::string& outputFolder);

ProbeFacts ExpectedFacts(const TOutputOptions& record, const SourceClip& source);

// Debian ffmpeg arguments with the same meaning as the record (output side only).
std::vector<std::string> FfmpegArguments(const TOutputOptions& record);

// ffprobe's view of a file; formatName empty when ffprobe failed (err says why).
ProbeFacts Probe(const std::string& file, std::string* err = nullptr);

// "" when the facts match (frame rates within 1%), else what differs.
std::string Differences(const ProbeFacts& expected, const ProbeFacts& actual);

}  // namespace zorvex::test
