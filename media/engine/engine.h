// The transcoding engine: one TCustomFFmpeg object carries everything one
// conversion task needs. The converter component configures it (option text,
// presets, disc targets, direct setters, input and output files) on its own
// thread; the run stages then read the settings and the tables below on the
// task's thread.
//
// Files of the engine, one per stage:
//   engine.cpp          creation, reset, release
//   option_store.cpp    the generic option store (names the option table lacks)
//   options.cpp         the option table and its handlers, the direct setters
//   option_values.cpp   the option table's value parsers
//   presets.cpp         built-in and file presets
//   targets.cpp         disc targets (vcd, svcd, dvd, dv, dv50)
//   file_setup.cpp      input files and output files
//   output_streams.cpp  the video, audio and subtitle streams of an output
//   frame_hooks.cpp     the custom hook and frame hook plug-ins ("vhook")
//   transcoder.h        the run: setup, loop, pictures, encoding, output files
//   run_control.cpp     start on a worker thread or synchronously, pause, stop
//
// Running a task: configure it, set ProgressInterval and the callbacks, then
// Start(true, priority) and Resume the returned worker (or Start(false) to
// convert on the calling thread). The progress, hook and preview callbacks and
// the termination callback are made on the thread that runs the task (the
// termination of a task stopped before it ran on a thread of its own); the
// termination callback comes exactly once per task, after which Finished,
// Failed and FailureMessage hold the outcome. Pause, Resume, Stop, RequestStop
// and SetPreviewFlags may be called from any thread; waits made on the main
// thread keep serving RunInMainThread calls. Do not destroy or Reset an engine
// from inside its own callbacks. Outputs are written beside their destination
// and moved into place when the run finishes; a failed run leaves the
// destination as it was, and a stopped run keeps what it wrote under the
// destination's name only when no file was there (else beside it, under a
// "(New_k)" name listed in KeptPartialFiles). Devices and pipes are written
// directly.
#pragma once

#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "media/bitmap.h"
#include "media/converter_options.h"
#include "media/engine/frame_hooks.h"
#include "media/engine/preview.h"
#include "media/exception.h"
#include "media/ffptr.h"
#include "media/output_paths.h"

namespace zorvex {

// Streams per file in the per-file tables (time-stamp scales, stream ids).
constexpr int MaxStreams = 20;
// Capacity limits of an engine's file tables.
constexpr int MinMaxFiles = 1;
constexpr int MaxMaxFiles = 512;
// An unlimited time or frame count.
constexpr std::int64_t UnlimitedTime = INT64_MAX;
constexpr int UnlimitedFrames = INT_MAX;
// Output file names may hold at most this many bytes (the terminator included).
constexpr std::size_t MaxOutputNameBytes = 1024;
// Input file names may hold at most this many bytes (the terminator included).
constexpr std::size_t MaxInputNameBytes = 2048;
// A fixed quantiser q is handed to FFmpeg as q * QualityScale (FF_QP2LAMBDA).
constexpr float QualityScale = 118.0f;

// A custom quantiser matrix.
using TQuantMatrix = std::array<std::uint16_t, 64>;

// One explicit stream mapping: input file and stream, and the stream that clocks it.
struct TStreamMap {
    int FileIndex = 0;
    int StreamIndex = 0;
    int SyncFileIndex = 0;
    int SyncStreamIndex = 0;
};

// Copy the global metadata of input file InputFile into output file OutputFile.
struct TMetaDataMap {
    int OutputFile = 0;
    int InputFile = 0;
};

// Index of MaxFrames entries and CodecOptions entries: FFmpeg's media type order.
enum TStreamKind : int { skVideo = 0, skAudio = 1, skData = 2, skSubtitle = 3, skAttachment = 4 };

// What the options asked of an output stream's picture and sound. Whatever is
// not asked for is taken, when the run starts, from the input stream that is
// mapped to the output stream (not from the last input stream of its kind).
struct TStreamRequest {
    int Width = 0, Height = 0;                    // "s"; 0 = the source's
    AVRational FrameRate{0, 0};                   // "r"; 0/0 = the source's
    double DisplayAspect = 0;                     // "aspect"; 0 = the source's shape
    AVPixelFormat PixelFormat = AV_PIX_FMT_NONE;  // "pix_fmt"; NONE = 8-bit 4:2:0
    int SampleRate = 0;                           // "ar"; 0 = the source's
    int Channels = 0;                             // "ac"; 0 = the source's
    // The display shapes a disc target admits; without an asked aspect the
    // one nearest to the source's is taken. Empty: any.
    std::vector<double> DisplayAspects;
};

// Every setting of the engine with its default. Most are pending values for
// the next input file, output file or output stream; the operation that
// consumes one resets it (see AddInputFile, AddOutputFile, new_*_stream).
struct TEngineSettings {
    std::string FormatName;  // forced container of the next input or output
    bool PgmyuvCompat = false;
    int FrameWidth = 0;
    int FrameHeight = 0;
    float FrameAspectRatio = 0.0f;  // display aspect (width / height); 0 = none
    int FramePixFmt = -1;           // AVPixelFormat; -1 = none
    int AudioSampleFmt = -1;        // AVSampleFormat; -1 = none
    int CropTop = 0, CropBottom = 0, CropLeft = 0, CropRight = 0;
    // Frame limits for video, audio, data and subtitle streams.
    std::array<int, 4> MaxFrames{UnlimitedFrames, UnlimitedFrames, UnlimitedFrames,
                                 UnlimitedFrames};
    AVRational FrameRate{0, 0};  // 0/0 = none
    float VideoQscale = 0.0f;    // 0 = rate control
    std::optional<TQuantMatrix> IntraMatrix, InterMatrix;
    std::optional<std::string> RcOverride;  // parsed when a video stream is created
    bool VideoDisable = false;
    int VideoDiscard = 0;        // AVDiscard for video streams of the next input
    std::string VideoCodecName;  // decoder (input side) or encoder (output side); empty = none
    bool VideoStreamCopy = false;
    std::uint32_t VideoCodecTag = 0;
    std::string VideoLanguage;
    bool SameQuality = false;
    bool Deinterlace = false;
    int TopFieldFirst = -1;
    int MeThreshold = 0;
    int IntraDcPrecision = 8;
    bool LoopInput = false;
    int LoopOutput = -1;  // -1 = no loop
    bool QpHist = false;
    std::string VideoFilters;
    bool IntraOnly = false;

    int AudioSampleRate = 44100;
    std::uint64_t ChannelLayout = 0;  // channel mask taken from the input; 0 = none
    float AudioQscale = -99999.0f;    // -99999 = unset
    bool AudioDisable = false;
    int AudioChannels = 2;
    std::string AudioCodecName;
    bool AudioStreamCopy = false;
    std::uint32_t AudioCodecTag = 0;
    std::string AudioLanguage;
    int AudioVolume = 256;  // 256 = unchanged

    bool SubtitleDisable = false;
    std::string SubtitleCodecName;
    bool SubtitleStreamCopy = false;
    std::uint32_t SubtitleCodecTag = 0;
    std::string SubtitleLanguage;

    float MuxPreload = 0.5f;                     // seconds
    float MuxMaxDelay = 0.7f;                    // seconds
    std::int64_t RecordingTime = UnlimitedTime;  // microseconds
    std::int64_t StartTime = 0;                  // microseconds
    std::int64_t RecTimestamp = 0;               // seconds since 1970 UTC; 0 = none
    std::int64_t InputTimeOffset = 0;            // microseconds
    std::vector<std::pair<std::string, std::string>> Metadata;
    bool PktDump = false;
    bool HexDump = false;
    bool DoPsnr = false;
    int DoPass = 0;  // 0 = single pass, else 1 or 2
    std::string PassLogPrefix;
    int VideoSyncMethod = -1;
    int AudioSyncMethod = 0;
    float AudioDriftThreshold = 0.1f;
    bool CopyTs = false;
    bool Shortest = false;
    int VideoGlobalHeader = 0;   // bit 0 global header, bit 1 local header
    std::string VstatsFilename;  // empty = no statistics file
    // "vstats" without a name: VstatsFilename is a bare file name, written
    // beside the first output (or in the cache folder when that cannot take it).
    bool VstatsBesideOutput = false;
    int ProgramId = 0;  // 0 = all programs
    int CopyInitialNonKeyframes = 0;
    bool RateEmu = false;
    int VideoChannel = 0;
    std::string VideoStandard;
    bool ExitOnError = false;
    int Verbose = 1;
    // Codec and filter threads of the task: 0 = automatic (AutoThreadCount
    // when its starter set one, else every usable core). Encoder output
    // depends only on this count, never on timing.
    int ThreadCount = 0;
    bool InputSync = false;
    std::int64_t LimitFilesize = 0;  // bytes; 0 = none
    bool ForceFps = false;
    float DtsDeltaThreshold = 10.0f;  // seconds
    int SwsFlags = 4;                 // SWS_BICUBIC
    std::array<int, MaxStreams> StreamIdMap{};
    std::vector<TStreamMap> StreamMaps;
    std::vector<TMetaDataMap> MetaDataMaps;
    // Bitstream filter names for the next stream of each kind, in chain order.
    std::vector<std::string> VideoBsf, AudioBsf, SubtitleBsf;
    std::int64_t ExpectedDuration = -1;  // microseconds; -1 = unknown
    // What the options asked for since the last input took over its values;
    // new output streams take it.
    TStreamRequest Requested;

    // Old libx264 "flags2" and "partitions" bits, kept so that relative values
    // ("+dct8x8", "-parti4x4") translate to today's options as they acted then.
    std::uint32_t LegacyFlags2 = 16 | 32;  // fastpskip and mbtree were on by default
    std::uint32_t LegacyPartitions = 0;
};

// An input closed under CodecLock (InputContextPtr).
using LockedInputContextPtr = InputContextPtr;

// Frees an output context (and its byte stream when one was opened).
struct OutputContextDeleter {
    void operator()(AVFormatContext* context) const;
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;

struct TInputFile {
    LockedInputContextPtr Context;
    std::string FileName;       // as the caller gave it
    std::int64_t TsOffset = 0;  // microseconds, added to every timestamp read
    // The offset when timestamps are copied ("copyts"), which may also be asked
    // for after the input was added.
    std::int64_t CopyTsOffset = 0;
    // A regular file's size and modification time (nanoseconds) when it was
    // opened, -1 for anything else: a file that changes while it is read is
    // not converted whole.
    std::int64_t SizeAtOpen = -1;
    std::int64_t ModifiedAtOpen = 0;
};

// One stream of an output file as file setup leaves it for the run: the
// AVStream, and the codec context the encoder is to be opened with (for a
// copied stream, a context holding only the type, aspect, tag and flags).
struct TOutputStream {
    AVStream* Stream = nullptr;  // owned by the output context
    CodecContextPtr Codec;
    // The encoder the stream will be opened with: chosen by name, or the default
    // encoder of the codec id; nullptr when the libraries have none.
    const AVCodec* Encoder = nullptr;
    bool EncoderByName = false;  // Encoder was named by the options
    bool StreamCopy = false;
    std::vector<std::string> Bsf;  // bitstream filter names, in chain order
    float Quality = 0.0f;          // fixed quantiser quality (118 * qscale) or 0
    TStreamRequest Requested;
};

struct TOutputFile {
    OutputContextPtr Context;            // no byte stream is opened by file setup
    std::string FileName;                // the destination as the caller gave it
    bool UsesFilters = false;            // "vf" was set when the file was added
    std::vector<TOutputStream> Streams;  // index = stream index
    // The run writes beside the destination under this name and renames it into
    // place when the run finishes; empty when nothing was created. TempLock
    // holds a lock on it meanwhile, so other runs leave it alone.
    std::string TempFileName;
    UniqueFd TempLock;
    // The file the finished run replaces: FileName, or the file a link of
    // that name points to.
    std::string WritePath;
    bool DestinationExisted = false;  // WritePath held a file when the run began
    // The file the run may replace: the one that was at the destination when
    // the run began (NoteExistingOutputs). Any other file found there at the
    // end is left as it was and the output is put beside it.
    FileIdentity Replaceable;
    bool ReplaceableNoted = false;
};

// A generic option that some option context accepted: its canonical name, the
// value as given, and the contexts that took it (bit k = CodecOptions entry k,
// bit FormatOptionsIndex and bit ScalerOptionsIndex).
struct TSetOption {
    std::string Name;
    std::string Value;
    std::uint8_t Contexts = 0;
};
constexpr int FormatOptionsIndex = 5;
constexpr int ScalerOptionsIndex = 6;

// An option private to an encoder (libx264's "partitions") or a muxer (the MPEG
// muxers' "muxrate"); it reaches every encoder of that media type, or every
// muxer, whose class knows the name.
struct TPrivateOption {
    AVMediaType Type = AVMEDIA_TYPE_UNKNOWN;  // AVMEDIA_TYPE_UNKNOWN for muxer options
    std::string Name;
    std::string Value;
};

// Preview flag bits.
constexpr std::uint8_t PreviewWindowFlag = 1;
constexpr std::uint8_t PreviewBitmapFlag = 2;

class TCustomFFmpeg;
class Transcoder;

// The worker thread of a threaded run. It is created suspended by Start and
// owned by its engine; the caller starts it with Resume.
class TConvertThread {
public:
    ~TConvertThread();
    TConvertThread(const TConvertThread&) = delete;
    TConvertThread& operator=(const TConvertThread&) = delete;

    TCustomFFmpeg& Engine() const { return engine_; }
    TThreadPriority Priority() const { return priority_; }
    // Starts the worker the first time; afterwards resumes it when paused.
    void Resume();
    // Not started yet, or paused.
    bool Suspended() const;

private:
    friend class TCustomFFmpeg;
    TConvertThread(TCustomFFmpeg& engine, TThreadPriority priority);
    void Launch();

    TCustomFFmpeg& engine_;
    TThreadPriority priority_;
    std::thread thread_;
};

// Handlers of the converter component, called on the task's thread.
using TEngineProgressCallback = std::function<void(
    TCustomFFmpeg* engine, int fileIndex, int frameNumber, int fps, float quality, float bitRate,
    std::int64_t currentSize, std::int64_t currentDuration, std::int64_t totalDuration)>;
using TEngineTerminateCallback = std::function<void(TCustomFFmpeg* engine)>;
using TEngineHookCallback =
    std::function<void(TCustomFFmpeg* engine, TBitmap& bitmap, int frameNumber, std::int64_t pts,
                       bool& update, bool& stopHook)>;
using TEnginePreviewCallback = std::function<void(TCustomFFmpeg* engine, const TBitmap& bitmap,
                                                  int frameNumber, std::int64_t pts)>;

// The encoder used in place of one the loaded libraries lack: "libfaac" (the
// AAC encoder of old builds) becomes "aac". Other names, and names the
// libraries have, come back unchanged; without loaded libraries only names that
// no library of this generation has are replaced.
std::string AvailableEncoderName(const std::string& name);

class TCustomFFmpeg {
public:
    // maxFiles: capacity of the input and output file tables, 1 to 512; anything
    // else is a programming error and throws Exception.
    explicit TCustomFFmpeg(int maxFiles = 20);
    virtual ~TCustomFFmpeg();
    TCustomFFmpeg(const TCustomFFmpeg&) = delete;
    TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

    // Releases everything held, returns every setting to its default and
    // allocates fresh generic option contexts. Does nothing while the converter
    // libraries are not loaded.
    void Reset();
    // Releases the generic option contexts, the input and output files and the
    // configuration resources (matrices, names, hooks).
    void ReleaseAll();

    // --- configuration (options.cpp, option_store.cpp) ---
    // Applies one option of the option table; failures throw FFmpegException.
    // Like every configuration operation that reaches FFmpeg, it throws
    // Exception while the converter libraries are not loaded.
    void ParseOption(const std::string& name, const std::string& value);
    // The generic mechanism: applies name=value to whichever FFmpeg option
    // context knows the name. False when none took it; a value refused by the
    // option that knows the name is reported as an option warning.
    bool SetGenericOption(const std::string& name, const std::string& value);
    // Warnings about the options given since the last Reset, in order (a name
    // nothing knows, a refused value, a doubtful one); each was also logged at
    // llWarning. Read on the configuring thread.
    const std::vector<std::string>& OptionWarnings() const { return optionWarnings_; }
    // Replays the generic options taken by the source context (CodecOptions
    // entry 0..4, FormatOptionsIndex, ScalerOptionsIndex) onto target, for those
    // whose option flags contain all of flags.
    void ApplyGenericOptions(void* target, int source, int flags);
    // For the run: the generic options a decoder of that type takes.
    void ApplyDecoderOptions(AVCodecContext* decoder);
    // The private options recorded for this encoder's media type that its class
    // knows, set on its private data (before it is opened).
    void ApplyPrivateCodecOptions(AVCodecContext* context, const AVCodec* encoder);
    void ApplyPrivateFormatOptions(AVFormatContext* context);

    void SetGenericIntOption(const std::string& name, std::int64_t n);
    void SetAudioSampleRate(int n);
    void SetAudioChannels(int n);
    void SetAudioVolume(int n);
    void SetAudioSyncMethod(int n);
    void SetVideoSyncMethod(int n);
    void SetMuxMaxDelay(float seconds);
    void SetMuxPreload(float seconds);
    void SetStartTime(std::int64_t t);
    void SetRecordingTime(std::int64_t t);
    void SetProgramId(int n);
    void AddMetadata(const std::string& key, const std::string& value);
    void SetVerbose(int n);

    // --- presets and targets (presets.cpp, targets.cpp) ---
    void ApplyPreset(const std::string& kind, const std::string& name);
    void ApplyTarget(const std::string& type, const std::string& norm,
                     const std::string& defaultNorm);

    // --- files (file_setup.cpp, output_streams.cpp) ---
    // False with the reason in LastError(); a few failures throw FFmpegException.
    bool AddInputFile(const std::string& fileName);
    // The new number of output files, or -1 with the reason in LastError().
    int AddOutputFile(const std::string& fileName, bool join);
    // Another destination for an output before the run, with the extension
    // it was added with; false with the reason in LastError().
    bool RenameOutputFile(int index, const std::string& fileName);
    // Notes the files now at the outputs' destinations as the ones the run may
    // replace: a batch calls it when it starts, for every task; a run started
    // alone notes them when it opens its outputs.
    void NoteExistingOutputs();
    // Add one stream to an output; failures throw FFmpegException.
    void new_video_stream(TOutputFile& output);
    void new_audio_stream(TOutputFile& output);
    void new_subtitle_stream(TOutputFile& output);
    // Resolves a codec name; an empty name gives AV_CODEC_ID_NONE. False with the
    // reason in LastError().
    bool FindCodec(const std::string& name, AVMediaType type, bool encoder, int strictness,
                   AVCodecID& id, const AVCodec** codec = nullptr);
    struct TInputKinds {
        bool Video = false, Audio = false, Subtitle = false;
        bool TextSubtitle = false, BitmapSubtitle = false;
    };
    TInputKinds check_audio_video_sub_inputs(bool firstOnly) const;
    static void ChoosePixelFormat(AVCodecContext* context, const AVCodec* encoder);
    static void ChooseSampleFormat(AVCodecContext* context, const AVCodec* encoder);
    void ChooseSampleRate(AVCodecContext* context, const AVCodec* encoder);

    const std::string& LastError() const { return lastError_; }
    int MaxFiles() const { return maxFiles_; }
    int InputFileCount() const { return static_cast<int>(InputFiles.size()); }
    int OutputFileCount() const { return static_cast<int>(OutputFiles.size()); }
    AVFormatContext* InputFormatContext(int index) const;
    // The time-stamp scale of an input stream; 0 = unscaled.
    double InputTsScaleOf(int file, int stream) const;
    bool LibrariesLoaded() const;

    // --- run control (run_control.cpp) ---
    // Starts the configured task once. Threaded: returns the worker, not yet
    // running (call Resume on it, or Resume or Stop on the engine). Not threaded:
    // converts on the calling thread and returns nullptr when the task has ended.
    // Returns nullptr at once when the task is running or has terminated; a task
    // without outputs or inputs terminates at once with the failure.
    TConvertThread* Start(bool threaded, TThreadPriority priority = tpNormal);
    // Cooperative pause of the worker: it stops at the top of its next loop pass
    // (holding no lock) and uses no processor time until resumed or stopped.
    void Pause();
    void Resume();
    bool Paused() const;
    // Asks the run to stop (the output written so far stays valid); with wait,
    // returns when the run has ended, serving queued main-thread calls while it
    // waits on the main thread.
    void RequestStop(bool wait);
    // RequestStop when running; a task that never ran reports its termination
    // from a thread of its own (waited for with wait).
    void Stop(bool wait);
    // Preview bits (PreviewWindowFlag, PreviewBitmapFlag), from any thread.
    void SetPreviewFlags(std::uint8_t flags);
    // The worker of a threaded run until it has terminated.
    TConvertThread* ConvertThread() const { return convertThread_; }
    std::int64_t ExpectedDuration() const { return Settings.ExpectedDuration; }

    // --- the data model ---
    TEngineSettings Settings;

    std::vector<TInputFile> InputFiles;
    // Per input file (MaxFiles rows) and stream: set by "itsscale" before the file is added.
    std::vector<std::array<double, MaxStreams>> InputTsScale;
    // Decoder chosen by name per input stream, in file and stream order, or nullptr.
    std::vector<const AVCodec*> InputCodecs;
    // Output file entries; in join mode every entry designates the same file.
    std::vector<std::shared_ptr<TOutputFile>> OutputFiles;
    bool JoinMode = false;

    // The generic option contexts: one codec context per media type, a format
    // context and a scaler context.
    std::array<CodecContextPtr, 5> CodecOptions;
    AVFormatContext* FormatOptions = nullptr;  // released by ReleaseGenericContexts
    SwsContext* ScalerOptions = nullptr;
    std::vector<TSetOption> SetOptionNames;
    std::vector<TPrivateOption> PrivateOptions;

    // The custom hook and the "vhook" plug-ins of this task.
    FrameHooks Hooks;

    // Run control (the run stages drive these).
    std::atomic<bool> Running{false};
    std::atomic<bool> StopRequested{false};
    std::atomic<bool> Finished{false};
    std::atomic<bool> Terminated{false};
    std::atomic<bool> Failed{false};
    std::string FailureMessage;
    // The partial outputs of a stopped run that were kept beside a file they
    // would have replaced; set before the termination callback.
    std::vector<std::string> KeptPartialFiles;
    // Why an input was not whole when its reading ended (cut off, changed
    // while read, a demuxer error): the run ends as a stopped one does, its
    // output kept, and then fails with this text.
    std::string IncompleteSource;
    // The finished outputs that were put beside a file which appeared at their
    // name during the run, under their "(New_k)" names; set before the
    // termination callback.
    std::vector<std::string> MovedOutputFiles;
    std::int64_t ProgressInterval = 500000;  // microseconds
    std::int64_t PreviewInterval = 100000;   // microseconds
    // The codec threads of an automatic ThreadCount, given by whoever starts
    // the task (the converter shares the cores among the tasks running at
    // that moment); 0: every usable core.
    int AutoThreadCount = 0;
    // The codec and filter threads of the run: ThreadCount, else
    // AutoThreadCount, else every usable core (at most MaxAutoCodecThreads).
    int CodecThreads() const;
    std::uint8_t PreviewFlags = 0;  // PreviewWindowFlag | PreviewBitmapFlag
    TEngineProgressCallback ProgressCallback;
    TEngineTerminateCallback TerminateCallback;
    TEngineHookCallback HookCallback;
    TEnginePreviewCallback PreviewCallback;
    // Previews of encoded pictures; the component installs its window factory.
    PreviewProducer Preview;

protected:
    void SetLastError(std::string text) { lastError_ = std::move(text); }
    // Allocates the generic option contexts when they are missing and the
    // libraries are loaded.
    void EnsureGenericContexts();
    // Configuration needs the libraries; without them it throws Exception.
    void RequireLibraries() const;
    void ReleaseGenericContexts();

    // The run on the task's thread: every step guarded, then the termination
    // notice.
    void ExecuteRun();
    void NotifyTerminate();
    // The worker's pause point at the top of each loop pass.
    void WaitWhilePaused();

protected:
    // Destruction and reset: stops and waits for the worker and the
    // termination thread, then joins them. A derived task calls it in its own
    // destructor, so that a worker still running reports a whole object.
    void EndThreads();

private:
    friend struct OptionHandlers;
    friend class Transcoder;
    friend class TConvertThread;
    struct RunControl;
    void RecordFailure(const std::string& message);
    void FinishOutputFiles();
    void DiscardTemporaryOutputs();
    void WaitForRun();
    enum class TGenericOutcome { Set, Unknown, Refused };
    TGenericOutcome TrySetGenericOption(const std::string& name, const std::string& value);
    TGenericOutcome SetGenericOptionCore(const std::string& name, const std::string& value);
    // Whether any generic context, the old names, or an encoder's or muxer's own
    // class knows the name.
    bool KnowsGenericOption(const std::string& name);
    // Logs a warning about an option and keeps it for OptionWarnings.
    void WarnOption(const std::string& message);
    bool SetPrivateOption(const std::string& name, const std::string& value, bool& rejected);
    bool ApplyLegacyOption(const std::string& name, const std::string& value, bool& handled);
    bool ForceInputDecoders(AVFormatContext* pending);
    std::vector<const AVCodec*> TakeOverInputStreams(AVFormatContext* context);
    void ParseRcOverride(AVCodecContext* context);
    void AddCodecStreamCommon(TOutputFile& output, TOutputStream& stream, AVMediaType type);
    void SetCodecChoice(std::string& codecName, bool& streamCopy, const std::string& value);

    int maxFiles_;
    std::string lastError_;
    bool substitutionLogged_ = false;
    std::vector<std::string> optionWarnings_;

    std::unique_ptr<Transcoder> run_;
    std::shared_ptr<RunControl> control_;
    std::unique_ptr<TConvertThread> worker_;
    std::atomic<TConvertThread*> convertThread_{nullptr};
    std::thread terminateThread_;
};

}  // namespace zorvex
