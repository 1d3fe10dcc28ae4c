// The engine object's life: creation, reset and release of everything a run
// holds, and the per-input lookups the later stages share.
#include "media/engine/engine.h"

#include <mutex>

#include "media/cpu_cores.h"
#include "media/engine/transcoder.h"
#include "media/ffapi.h"
#include "media/loader.h"
#include "media/text.h"

namespace zorvex {

using text::Fmt;

void OutputContextDeleter::operator()(AVFormatContext* context) const {
    if (context == nullptr) return;
    if (context->pb != nullptr && context->oformat != nullptr &&
        (context->oformat->flags & AVFMT_NOFILE) == 0) {
        ff::avio_closep(&context->pb);
    }
    ff::avformat_free_context(context);
}

TCustomFFmpeg::TCustomFFmpeg(int maxFiles) : maxFiles_(maxFiles) {
    if (maxFiles < MinMaxFiles || maxFiles > MaxMaxFiles) {
        throw Exception(Fmt("MaxFiles must be between %d and %d", MinMaxFiles, MaxMaxFiles));
    }
    InputTsScale.assign(static_cast<size_t>(maxFiles_), {});
    control_ = std::make_shared<RunControl>();
}

TCustomFFmpeg::~TCustomFFmpeg() {
    EndThreads();
    ReleaseAll();
}

bool TCustomFFmpeg::LibrariesLoaded() const {
    return Loader().LibrarySetLoaded(ConverterLibrarySet);
}

void TCustomFFmpeg::RequireLibraries() const {
    if (!LibrariesLoaded()) throw Exception("The converter libraries are not loaded.");
}

void TCustomFFmpeg::Reset() {
    if (!LibrariesLoaded()) return;
    EndThreads();
    ReleaseAll();
    Settings = TEngineSettings{};
    JoinMode = false;
    Running = false;
    StopRequested = false;
    Finished = false;
    Terminated = false;
    Failed = false;
    FailureMessage.clear();
    KeptPartialFiles.clear();
    IncompleteSource.clear();
    MovedOutputFiles.clear();
    AutoThreadCount = 0;
    InputTsScale.assign(static_cast<size_t>(maxFiles_), {});
    SetOptionNames.clear();
    PrivateOptions.clear();
    substitutionLogged_ = false;
    optionWarnings_.clear();
    EnsureGenericContexts();
}

int TCustomFFmpeg::CodecThreads() const {
    if (Settings.ThreadCount > 0) return Settings.ThreadCount;
    return AutoThreadCount > 0 ? AutoThreadCount : AutoCodecThreads(1);
}

void TCustomFFmpeg::ReleaseAll() {
    // FFmpeg objects can only be freed through the loaded libraries.
    if (!LibrariesLoaded()) return;
    run_.reset();
    ReleaseGenericContexts();
    DiscardTemporaryOutputs();
    OutputFiles.clear();  // join entries share one file, released once
    InputFiles.clear();
    InputCodecs.clear();
    TEngineSettings& s = Settings;
    s.IntraMatrix.reset();
    s.InterMatrix.reset();
    s.VstatsFilename.clear();
    s.VideoCodecName.clear();
    s.AudioCodecName.clear();
    s.SubtitleCodecName.clear();
    s.VideoStandard.clear();
    s.RcOverride.reset();
    s.VideoLanguage.clear();
    s.AudioLanguage.clear();
    s.SubtitleLanguage.clear();
    s.SubtitleCodecTag = 0;
    s.VideoBsf.clear();
    s.AudioBsf.clear();
    s.SubtitleBsf.clear();
    Hooks.Release();
    Preview.Reset();
}

void TCustomFFmpeg::EnsureGenericContexts() {
    if (CodecOptions[0] || !LibrariesLoaded()) return;
    for (int k = 0; k < 5; ++k) {
        CodecOptions[k].reset(ff::avcodec_alloc_context3(nullptr));
        if (CodecOptions[k]) CodecOptions[k]->codec_type = static_cast<AVMediaType>(k);
    }
    FormatOptions = ff::avformat_alloc_context();
    ScalerOptions = ff::sws_getContext(16, 16, static_cast<AVPixelFormat>(0), 16, 16,
                                       static_cast<AVPixelFormat>(0), Settings.SwsFlags, nullptr,
                                       nullptr, nullptr);
    bool complete = FormatOptions != nullptr && ScalerOptions != nullptr;
    for (auto& c : CodecOptions) complete = complete && c != nullptr;
    if (!complete) {
        ReleaseGenericContexts();
        throw FFmpegException("avcodec_alloc_context failed");
    }
}

void TCustomFFmpeg::ReleaseGenericContexts() {
    for (auto& c : CodecOptions) c.reset();
    if (FormatOptions != nullptr) ff::avformat_free_context(FormatOptions);
    FormatOptions = nullptr;
    if (ScalerOptions != nullptr) ff::sws_freeContext(ScalerOptions);
    ScalerOptions = nullptr;
}

AVFormatContext* TCustomFFmpeg::InputFormatContext(int index) const {
    if (index < 0 || index >= InputFileCount()) return nullptr;
    return InputFiles[static_cast<size_t>(index)].Context.get();
}

double TCustomFFmpeg::InputTsScaleOf(int file, int stream) const {
    if (file < 0 || file >= static_cast<int>(InputTsScale.size()) || stream < 0 ||
        stream >= MaxStreams) {
        return 0.0;
    }
    return InputTsScale[static_cast<size_t>(file)][static_cast<size_t>(stream)];
}

}  // namespace zorvex
