// One run of a task: the working records that the transcode setup builds, the
// loop and the encoding stages use, and the run control releases. Internal to
// the engine.
//
// Files of the run, one per stage:
//   transcode_setup.cpp   stream mapping, copy and encode setup, codecs, headers
//   transcode_loop.cpp    input selection, timestamps, decoding, progress, end of run
//   video_frames.cpp      hooks, the filter graph and previews of decoded pictures
//   encode_output.cpp     video sync, audio conversion, encoders, bitstream filters, muxing
//   output_files.cpp      the output files' byte streams, kept or discarded at the end
//   run_control.cpp       start, pause, stop and the end of a task
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/engine/audio_converter.h"
#include "media/engine/bitstream_filters.h"
#include "media/engine/engine.h"
#include "media/engine/picture_geometry.h"
#include "media/engine/subtitle_encoder.h"
#include "media/engine/video_filter_graph.h"
#include "media/engine/video_stats.h"
#include "media/engine/video_sync.h"
#include "media/ffptr.h"
#include "media/util.h"

namespace zorvex {

// Opens the output's byte stream: a locked temporary file beside its
// destination, or the device or pipe itself (output_files.cpp). False when the
// run was stopped while a pipe waited for its reader; failures throw
// FFmpegException.
bool OpenOutputByteStream(TCustomFFmpeg& engine, TOutputFile& output);

// The run's events and the pause state, shared by the engine and its threads.
struct TCustomFFmpeg::RunControl {
    std::mutex Mutex;
    std::condition_variable Changed;
    bool RunActive = false;        // from Start until the run has ended
    bool TerminateActive = false;  // a termination thread is delivering
    bool Started = false;          // the worker thread was launched
    std::atomic<bool> Paused{false};
    std::thread::id Worker;  // the thread running the task
};

struct OutputStreamState;

struct InputFileState {
    int FirstStream = 0;  // index of the file's first stream in the input stream table
    int StreamCount = 0;
    bool EndReached = false;
    bool NoPacket = false;  // the last read asked to try again
    // The end of the latest packet read, microseconds from the file's start
    // (-1 before the first): how far the file was really read.
    std::int64_t ReachedUs = -1;
};

struct InputStreamState {
    int FileIndex = 0;
    int StreamIndex = 0;
    AVStream* Stream = nullptr;
    bool Discard = true;  // no output stream is mapped to it
    bool DecodingNeeded = false;
    CodecContextPtr Decoder;  // open while DecoderOpen
    bool DecoderOpen = false;
    bool DecoderDrained = false;       // the decoder was sent its end
    std::int64_t RateStart = 0;        // "re": when reading began
    std::int64_t NextTs = NoPtsValue;  // microseconds, with the file's offset
    std::int64_t CurrentTs = 0;        // microseconds: the packet or picture being handled
    // The decoding clock of the packets alone (pictures come out reordered).
    std::int64_t PacketDts = NoPtsValue, NextPacketDts = NoPtsValue;
    bool AtStart = true;
    bool PastRecordingTime = false;
    bool Flushed = false;  // join mode: drained at the end of its file
    bool MultipleFramesLogged = false;
    std::string DecodeError;                  // the decoder's own words for its first failure
    std::vector<OutputStreamState*> Outputs;  // the output streams it feeds
};

// What an output stream carries through the run. In join mode the output
// entries of every group designate the same streams; they share this record,
// so that encoding simply continues from one input to the next.
struct OutputStreamRuntime {
    TOutputFile* File = nullptr;
    TOutputStream* Out = nullptr;
    AVStream* Stream = nullptr;
    AVCodecContext* Codec = nullptr;  // Out->Codec: the encoder when encoding
    AVMediaType Type = AVMEDIA_TYPE_UNKNOWN;
    int FileIndex = 0;    // the first output entry holding it
    int StreamIndex = 0;  // index in its file
    int TableIndex = 0;   // position of its first entry in the output stream table
    bool EncodingNeeded = false;
    bool EncoderOpen = false;
    bool StillPicture = false;      // from a cover picture: not a measure of the output's time
    bool Ended = false;             // encoder drained at the end of the run
    std::int64_t FrameNumber = 0;   // frames written (encoded pictures, audio frames, packets)
    std::int64_t PacketsMuxed = 0;  // packets handed to the muxer
    std::array<std::uint64_t, 3> LastError{};   // squared errors of the last coded picture
    std::array<std::uint64_t, 3> TotalError{};  // and of all of them ("psnr")
    int CodedFrames = 0;                        // video packets the encoder gave
    double Position = 0;                        // seconds of output written
    float LastQuality = -1;                     // quantiser of the last coded video frame
    bool WroteKeyFrame = false;                 // copies wait for a key frame
    std::int64_t LastDts = NoPtsValue;          // in the stream's time base, as muxed
    AVRational PacketTimeBase{1, 1000000};      // of the packets entering the bitstream filters

    BitstreamFilterChain Bsf;
    std::unique_ptr<VideoFilterGraph> Filters;
    std::unique_ptr<VideoSync> Sync;
    FramePtr LastPicture;  // the picture written last, for the slots before the next one
    std::unique_ptr<AudioConverter> Audio;
    std::unique_ptr<SubtitleEncoder> Subtitles;

    // Two-pass encoding.
    std::string PassLogName;
    std::FILE* PassLog = nullptr;  // first pass: our statistics file
    AvMemPtr<char> StatsIn;        // second pass: the statistics read back
};

struct OutputStreamState {
    int FileIndex = 0;     // output entry
    int StreamIndex = 0;   // stream of that entry
    int SourceIndex = -1;  // in the input stream table
    int SyncIndex = -1;
    bool Active = true;  // join mode: the group of the input being read
    OutputStreamRuntime* Run = nullptr;
};

// The transcode of one task; lives from the start of the run until the run
// control releases it.
class Transcoder {
public:
    explicit Transcoder(TCustomFFmpeg& engine);
    ~Transcoder();
    Transcoder(const Transcoder&) = delete;
    Transcoder& operator=(const Transcoder&) = delete;

    // Setup, loop and end of the run. Failures throw FFmpegException.
    void RunTranscode();
    // Closes the codecs still open, under CodecLock.
    void CloseEncoders();
    void CloseDecoders();

    int DupCount() const;
    int DropCount() const;

private:
    // --- setup (transcode_setup.cpp) ---
    void BuildTables();
    void MapStreams();
    void SetupStreams();
    void SetupCopy(OutputStreamRuntime& rt, InputStreamState& ist);
    void SetupEncode(OutputStreamRuntime& rt, InputStreamState& ist);
    // The encoder's picture and sound parameters: what the options asked for,
    // else the mapped input stream's, made what the encoder takes.
    SourcePicture ChooseVideoParameters(OutputStreamRuntime& rt, const InputStreamState& ist);
    void ChooseAudioParameters(OutputStreamRuntime& rt, const InputStreamState& ist);
    void SetupTwoPass(OutputStreamRuntime& rt);
    void OpenEncoders();
    void OpenEncoder(OutputStreamRuntime& rt);
    void OpenDecoders();
    void OpenDecoder(InputStreamState& ist);
    // The decoder chosen by name for the stream, else the default one; nullptr
    // when the libraries have none.
    const AVCodec* DecoderFor(const InputStreamState& ist) const;
    [[noreturn]] void FailNoDecoder(const InputStreamState& ist);
    void InitInputTimestamps();
    void CopyMetadata();
    void CopyChapters();
    bool WriteHeaders();  // false: stopped before the outputs could be opened
    void WriteMappingReport();
    [[noreturn]] void FailAfterReport(const std::string& message);
    const char* TypeName(AVMediaType type) const;

    // --- loop (transcode_loop.cpp) ---
    void MainLoop();
    int ChooseInputFile();
    void JoinStep(int file);
    void NoteReadPosition(int file, const AVPacket* packet);
    void NoteInputEnd(int file, int error);
    std::int64_t StatedLengthUs(int file) const;
    void HandlePacket(int file, AVPacket* packet);
    int ProcessPacket(InputStreamState& ist, AVPacket* packet, bool copyAllowed = true);
    std::int64_t PacketDuration(const InputStreamState& ist, const AVPacket* packet) const;
    int DecodePacket(InputStreamState& ist, AVPacket* packet);
    void HandleDecodedFrame(InputStreamState& ist, AVFrame* frame);
    void HandleSubtitle(InputStreamState& ist, AVSubtitle& subtitle, std::int64_t packetPts);
    void CopyPacket(InputStreamState& ist, OutputStreamState& os, const AVPacket* packet,
                    std::int64_t packetTs);
    void EndOfRun();
    void ReportProgress(bool last, int fileIndex);
    std::int64_t TotalSize() const;
    std::int64_t SyncPosition(const OutputStreamState& os, std::int64_t ownTs) const;

    // --- pictures (video_frames.cpp) ---
    void PreprocessVideoFrame(InputStreamState& ist, AVFrame* frame);
    bool ConfigureFilters(OutputStreamRuntime& rt, InputStreamState& ist, int rotation);
    void FilterVideoFrame(OutputStreamState& os, AVFrame* frame);
    void DrainFilters(OutputStreamRuntime& rt);
    void ProducePreview(OutputStreamRuntime& rt, const AVFrame* picture);

    // --- encoding and output (encode_output.cpp) ---
    void EncodeVideoFrame(OutputStreamRuntime& rt, AVFrame* picture, std::int64_t syncPosition);
    void do_audio_out(OutputStreamState& os, AVFrame* samples, std::int64_t syncPosition);
    void PullAudio(OutputStreamRuntime& rt);
    void EncodeSubtitle(OutputStreamRuntime& rt, const AVSubtitle& subtitle,
                        std::int64_t packetPts);
    void SendFrame(OutputStreamRuntime& rt, const AVFrame* frame);
    void ReceivePackets(OutputStreamRuntime& rt);
    void FlushEncoder(OutputStreamRuntime& rt);
    void WritePacket(OutputStreamRuntime& rt, PacketPtr packet);
    void MuxPacket(OutputStreamRuntime& rt, AVPacket* packet);
    void WriteVideoStats(OutputStreamRuntime& rt, const AVPacket* packet);

    TCustomFFmpeg& e_;
    TEngineSettings& s_;
    const int codecThreads_;  // decoders, encoders and the filter graph

    std::vector<InputFileState> files_;
    std::vector<InputStreamState> ist_;
    std::vector<OutputStreamState> ost_;
    std::vector<std::unique_ptr<OutputStreamRuntime>> runtimes_;
    std::vector<TOutputFile*> outputs_;  // distinct output files, in entry order
    int groupSize_ = 0;                  // streams of the first output entry
    int joinIndex_ = 0;

    std::int64_t videoSize_ = 0, audioSize_ = 0, extraSize_ = 0;
    std::int64_t timerStart_ = 0, lastReport_ = 0;
    int noPacketCount_ = 0;
    double reportedTime_ = 0;  // the output time of the last report
    std::array<int, 52> qpHistogram_{};
    std::unique_ptr<VideoStatsFile> vstats_;
    bool headersWritten_ = false;

    // Reused work objects.
    FramePtr decoded_, filtered_, audioFrame_;
    PacketPtr encoded_;
};

}  // namespace zorvex
