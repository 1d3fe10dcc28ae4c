// Helpers of the engine's run tests: running a task, describing its output with
// ffprobe and decoding pictures of it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "media/engine/engine.h"
#include "media/ffapi.h"
#include "media/ffptr.h"
#include "media/loader.h"
#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace zorvex::test {

using OptionList = std::vector<std::pair<std::string, std::string>>;

struct RunOutcome {
    bool started = false;  // the configuration was accepted
    std::string configError;
    bool finished = false;
    bool failed = false;
    std::string message;
    int notices = 0;
};

// Configures engine like the converter component (input options, the input,
// output options, the output) and runs the task on the calling thread.
inline RunOutcome RunTask(TCustomFFmpeg& engine, const std::string& input,
                          const std::string& output, const OptionList& outputOptions = {},
                          const OptionList& inputOptions = {}) {
    RunOutcome r;
    try {
        for (const auto& [n, v] : inputOptions) engine.ParseOption(n, v);
        if (!engine.AddInputFile(input)) {
            r.configError = engine.LastError();
            return r;
        }
        for (const auto& [n, v] : outputOptions) engine.ParseOption(n, v);
        if (engine.AddOutputFile(output, false) < 0) {
            r.configError = engine.LastError();
            return r;
        }
    } catch (const std::exception& x) {
        r.configError = x.what();
        return r;
    }
    r.started = true;
    auto previous = engine.TerminateCallback;
    engine.TerminateCallback = [&r, previous](TCustomFFmpeg* e) {
        ++r.notices;
        if (previous) previous(e);
    };
    engine.Start(false);
    engine.TerminateCallback = previous;
    r.finished = engine.Finished;
    r.failed = engine.Failed;
    r.message = engine.FailureMessage;
    return r;
}

// One stream as ffprobe describes it (packets counted).
struct ProbedStream {
    std::string type, codec;
    double duration = -1;
    int packets = -1;
    int width = 0, height = 0, sampleRate = 0, channels = 0;
};

struct ProbedFile {
    bool ok = false;
    std::string error;
    double duration = -1;
    std::vector<ProbedStream> streams;
    const ProbedStream* Find(const std::string& type) const {
        for (const auto& s : streams) {
            if (s.type == type) return &s;
        }
        return nullptr;
    }
};

inline double ToNumber(const std::string& v) {
    if (v.empty() || v == "N/A") return -1;
    return std::stod(v);
}

inline ProbedFile Probe(const std::string& path) {
    ProbedFile f;
    const ProcessResult r = RunProcess(
        "/usr/bin/ffprobe",
        {"-v", "error", "-count_packets", "-show_entries",
         "stream=codec_type,codec_name,duration,nb_read_packets,width,height,sample_rate,"
         "channels:format=duration",
         "-of", "compact=p=1:nk=0", path});
    f.ok = r.exitCode == 0;
    f.error = r.err;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string field, section;
        std::getline(fields, section, '|');
        ProbedStream s;
        while (std::getline(fields, field, '|')) {
            const size_t eq = field.find('=');
            if (eq == std::string::npos) continue;
            const std::string k = field.substr(0, eq), v = field.substr(eq + 1);
            if (section == "format" && k == "duration") f.duration = ToNumber(v);
            if (k == "codec_type") s.type = v;
            if (k == "codec_name") s.codec = v;
            if (k == "duration") s.duration = ToNumber(v);
            if (k == "nb_read_packets") s.packets = static_cast<int>(ToNumber(v));
            if (k == "width") s.width = static_cast<int>(ToNumber(v));
            if (k == "height") s.height = static_cast<int>(ToNumber(v));
            if (k == "sample_rate") s.sampleRate = static_cast<int>(ToNumber(v));
            if (k == "channels") s.channels = static_cast<int>(ToNumber(v));
        }
        if (section == "stream") f.streams.push_back(s);
    }
    return f;
}

// The duration ffprobe finds by decoding: frame durations (video) or samples
// (audio) of the first stream of that type, in seconds.
inline double DecodedDuration(const std::string& path, const std::string& type) {
    const bool video = type == "video";
    const ProcessResult r = RunProcess(
        "/usr/bin/ffprobe",
        {"-v", "error", "-select_streams", video ? "v:0" : "a:0", "-show_entries",
         video ? "frame=pkt_duration_time" : "frame=nb_samples", "-of", "csv=p=0", path});
    double rate = 1;
    if (!video) {
        const ProbedFile f = Probe(path);
        if (f.Find("audio") == nullptr || f.Find("audio")->sampleRate <= 0) return -1;
        rate = f.Find("audio")->sampleRate;
    }
    double total = 0;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty()) total += ToNumber(line) / rate;
    }
    return total;
}

// Decoded pictures of the first video stream, converted to gray (luma).
inline std::vector<FramePtr> DecodePictures(const std::string& path, int limit = 1000) {
    std::vector<FramePtr> pictures;
    AVFormatContext* raw = nullptr;
    if (ff::avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return pictures;
    InputContextPtr ic(raw);
    {
        std::lock_guard lock(CodecLock());
        if (ff::avformat_find_stream_info(ic.get(), nullptr) < 0) return pictures;
    }
    const int index = ff::av_find_best_stream(ic.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) return pictures;
    const AVCodecParameters* par = ic->streams[index]->codecpar;
    const AVCodec* codec = ff::avcodec_find_decoder(par->codec_id);
    CodecContextPtr c(ff::avcodec_alloc_context3(codec));
    ff::avcodec_parameters_to_context(c.get(), par);
    {
        std::lock_guard lock(CodecLock());
        if (ff::avcodec_open2(c.get(), codec, nullptr) < 0) return pictures;
    }
    PacketPtr packet(ff::av_packet_alloc());
    FramePtr frame(ff::av_frame_alloc());
    auto receive = [&] {
        while (ff::avcodec_receive_frame(c.get(), frame.get()) >= 0) {
            if (static_cast<int>(pictures.size()) < limit) {
                pictures.emplace_back(ff::av_frame_clone(frame.get()));
            }
            ff::av_frame_unref(frame.get());
        }
    };
    while (ff::av_read_frame(ic.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) {
            ff::avcodec_send_packet(c.get(), packet.get());
            receive();
        }
        ff::av_packet_unref(packet.get());
        if (static_cast<int>(pictures.size()) >= limit) break;
    }
    ff::avcodec_send_packet(c.get(), nullptr);
    receive();
    std::lock_guard lock(CodecLock());
    c.reset();
    return pictures;
}

// Mean luma of a rectangle of a YUV picture.
inline double MeanLuma(const AVFrame* f, int x0, int y0, int w, int h) {
    double sum = 0;
    for (int y = y0; y < y0 + h; ++y) {
        for (int x = x0; x < x0 + w; ++x) sum += f->data[0][y * f->linesize[0] + x];
    }
    return sum / (w * h);
}

// The MD5 of every packet's payload of a stream ("v" or "a"), in order.
inline std::vector<std::string> PacketHashes(const std::string& path, const std::string& stream) {
    const ProcessResult r =
        RunProcess("/usr/bin/ffmpeg", {"-v", "error", "-nostdin", "-i", path, "-map", "0:" + stream,
                                       "-c", "copy", "-f", "framemd5", "-"});
    std::vector<std::string> hashes;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        hashes.push_back(line.substr(line.rfind(',') + 1));
    }
    return hashes;
}

// Small generated inputs of the run tests.
inline std::string ClipAvi() {
    return Fixture("run_clip.avi",
                   "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i "
                   "sine=frequency=440:sample_rate=44100:duration=2 -ac 2 -c:v mpeg4 -q:v 5 -c:a "
                   "libmp3lame -shortest");
}
inline std::string ToneWav() {
    return Fixture("run_tone.wav",
                   "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2,volume=0.25 -ac 2 "
                   "-c:a pcm_s16le");
}

}  // namespace zorvex::test
