#include "media/probe.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "media/exception.h"
#include "media/ffapi.h"
#include "media/loader.h"
#include "media/log.h"
#include "media/text.h"
#include "media/util.h"

namespace zorvex {
namespace {

// ID3 frame names shown under their plain names in the description.
const std::map<std::string, std::string>& Id3Names() {
    static const std::map<std::string, std::string> names = {
        {"TALB", "album"},     {"TAL", "album"},      {"TCOM", "composer"},  {"TCON", "genre"},
        {"TCO", "genre"},      {"TCOP", "copyright"}, {"TDRL", "date"},      {"TENC", "encoder"},
        {"TEN", "encoder"},    {"TIT2", "title"},     {"TT2", "title"},      {"TLAN", "language"},
        {"TPE1", "artist"},    {"TP1", "artist"},     {"TPOS", "disc"},      {"TPUB", "publisher"},
        {"TRCK", "track"},     {"TRK", "track"},      {"TSOA", "albumsort"}, {"TSOP", "authorsort"},
        {"TSOT", "titlesort"}, {"TYER", "year"},
    };
    return names;
}

std::string Tag(const AVDictionary* metadata, const char* key) {
    const AVDictionaryEntry* e = ff::av_dict_get(metadata, key, nullptr, 0);
    return e != nullptr && e->value != nullptr ? e->value : "";
}

// Whole seconds and the remaining microseconds: "%d.%.6d", with the sign of
// the whole ("-0.007000" for -7000).
std::string SecondsText(std::int64_t us) {
    const char* sign = us < 0 ? "-" : "";
    return text::Fmt("%s%lld.%.6lld", sign, std::llabs(static_cast<long long>(us / 1000000)),
                     std::llabs(static_cast<long long>(us % 1000000)));
}

std::string RateText(double rate, const char* unit) {
    const long long v = std::llround(rate * 100);
    if (v % 100 != 0) return text::Fmt(", %3.2f %s", rate, unit);
    if (v % (100 * 1000) != 0) return text::Fmt(", %1.0f %s", rate, unit);
    return text::Fmt(", %1.0fk %s", rate / 1000, unit);
}

double RationalValue(AVRational r) {
    return r.den != 0 ? static_cast<double>(r.num) / r.den : 0;
}

// A zero denominator is repaired in place: the numerator, or 1 when that is zero too.
void RepairTimeBase(AVStream* st) {
    if (st->time_base.den == 0) {
        st->time_base.den = st->time_base.num != 0 ? st->time_base.num : 1;
    }
}

std::string CodecName(const AVCodecParameters* par) {
    if (const AVCodec* decoder = ff::avcodec_find_decoder(par->codec_id)) {
        const std::string longName = decoder->long_name != nullptr ? decoder->long_name : "";
        if (longName.find_first_not_of(" \t") != std::string::npos) {
            return text::Fmt("%s(%s)", decoder->name, longName.c_str());
        }
        return decoder->name;
    }
    if (par->codec_id == AV_CODEC_ID_MPEG2TS) return "mpeg2ts";
    if (par->codec_id != AV_CODEC_ID_NONE) {
        std::string own = ff::avcodec_get_name(par->codec_id);
        own.erase(0, own.find_first_not_of(' '));
        own.erase(own.find_last_not_of(' ') + 1);
        if (!own.empty() && own != "none") return own;
    }
    const unsigned tag = par->codec_tag;
    bool printable = true;
    for (int i = 0; i < 4; ++i) {
        const unsigned c = (tag >> (8 * i)) & 0xFF;
        printable = printable && c >= 32 && c <= 126;
    }
    if (printable) {
        return text::Fmt("%c%c%c%c / 0x%04X", tag & 0xFF, (tag >> 8) & 0xFF, (tag >> 16) & 0xFF,
                         (tag >> 24) & 0xFF, tag);
    }
    return text::Fmt("0x%04x", tag);
}

// Fills the fields the audio and video records share.
template <typename Info>
void FillCommon(AVStream* st, Info& info) {
    info.Language = Tag(st->metadata, "language");
    info.CodecName = CodecName(st->codecpar);
    RepairTimeBase(st);
    const AVRational us{1, AV_TIME_BASE};
    info.StreamStartTime = st->start_time != AV_NOPTS_VALUE ? st->start_time : -1;
    info.StartTime =
        st->start_time != AV_NOPTS_VALUE ? ff::av_rescale_q(st->start_time, st->time_base, us) : -1;
    info.StreamDuration = st->duration != AV_NOPTS_VALUE ? st->duration : -1;
    info.Duration =
        st->duration != AV_NOPTS_VALUE ? ff::av_rescale_q(st->duration, st->time_base, us) : -1;
    info.BitRate = static_cast<int>(st->codecpar->bit_rate);
}

}  // namespace

TCustomAVProbe::~TCustomAVProbe() {
    try {
        CloseFile();
    } catch (...) {
    }
}

void TCustomAVProbe::CheckLibraries() const {
    if (!Loader().LibraryLoaded(liAvcodec)) throw Exception("LibAVCodec not loaded.");
    if (!Loader().LibraryLoaded(liAvformat)) throw Exception("LibAVFormat not loaded.");
    if (!Loader().LibraryLoaded(liAvutil)) throw Exception("LibAVUtil not loaded.");
    if (!Loader().LibraryLoaded(liSwscale)) throw Exception("LibSwScale not loaded.");
}

void TCustomAVProbe::Report(const std::string& message, bool log, int level) {
    lastError_ = message;
    if (log) Logger().Log(this, static_cast<TLogLevel>(level), message);
}

bool TCustomAVProbe::LoadFile(const std::string& fileName, const std::string& formatName) {
    CheckLibraries();
    CloseFile();

    const AVInputFormat* format = nullptr;
    if (!formatName.empty()) {
        format = ff::av_find_input_format(formatName.c_str());
        if (format == nullptr) {
            Report(text::Fmt("Unknown input format: %s", formatName.c_str()), false, llError);
            return false;
        }
    }

    AVFormatContext* ctx = nullptr;
    AVDictionary* options = nullptr;
    SetLocalProtocolWhitelist(&options);
    const int ret =
        ff::avformat_open_input(&ctx, ToFFmpegFileName(fileName).c_str(), format, &options);
    ff::av_dict_free(&options);
    if (ret < 0) {
        Report(InputErrorText(fileName, ret), true, llError);
        return false;
    }

    if (FindStreamInfoLocked(ctx) < 0) {
        CloseInputLocked(&ctx);
        Report(text::Fmt("%s: could not find codec parameters", fileName.c_str()), false, llError);
        return false;
    }

    context_ = ctx;
    ownsContext_ = true;
    RefreshInfo();
    formatHint_ = formatName;
    return true;
}

void TCustomAVProbe::AttachContext(AVFormatContext* context) {
    CheckLibraries();
    CloseFile();
    context_ = context;
    ownsContext_ = false;
    RefreshInfo();
}

void TCustomAVProbe::CloseFile() {
    if (context_ != nullptr && ownsContext_) CloseInputLocked(&context_);
    context_ = nullptr;
    ownsContext_ = false;
    formatHint_.clear();
    RefreshInfo();
}

void TCustomAVProbe::RefreshInfo() {
    fileSize_ = -1;
    streamCount_ = programCount_ = -1;
    audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = -1;
    firstAudioStream_ = firstVideoStream_ = firstSubtitleStream_ = -1;
    if (context_ == nullptr) return;

    const std::int64_t containerSize = context_->pb != nullptr ? ff::avio_size(context_->pb) : -1;
    if (containerSize > 0) {
        fileSize_ = containerSize;
    } else {
        const std::string name = FileName();
        fileSize_ = FileSizeOf(name) >= 0 ? FileSizeOf(name) : containerSize;
    }
    streamCount_ = static_cast<int>(context_->nb_streams);
    programCount_ = static_cast<int>(context_->nb_programs);
    audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = 0;
    for (int i = 0; i < streamCount_; ++i) {
        switch (context_->streams[i]->codecpar->codec_type) {
            case AVMEDIA_TYPE_VIDEO:
                if (videoStreamCount_++ == 0) firstVideoStream_ = i;
                break;
            case AVMEDIA_TYPE_AUDIO:
                if (audioStreamCount_++ == 0) firstAudioStream_ = i;
                break;
            case AVMEDIA_TYPE_SUBTITLE:
                if (subtitleStreamCount_++ == 0) firstSubtitleStream_ = i;
                break;
            default:
                break;
        }
    }
}

std::string TCustomAVProbe::FileName() const {
    return context_ != nullptr && context_->url != nullptr ? FromFFmpegFileName(context_->url) : "";
}

std::string TCustomAVProbe::FormatName() const {
    return context_ != nullptr && context_->iformat != nullptr ? context_->iformat->name : "";
}

std::string TCustomAVProbe::FormatLongName() const {
    if (context_ == nullptr || context_->iformat == nullptr) return "";
    return context_->iformat->long_name != nullptr ? context_->iformat->long_name : "";
}

void TCustomAVProbe::GetFileStreamInfo(TFileStreamInfo& info) {
    info = TFileStreamInfo();
    if (context_ == nullptr) {
        Report("file not loaded.", true, llWarning);
        return;
    }
    info.StartTime = context_->start_time != AV_NOPTS_VALUE ? context_->start_time : -1;
    info.Duration = context_->duration != AV_NOPTS_VALUE ? context_->duration : -1;
    info.BitRate = static_cast<int>(context_->bit_rate);
    const AVDictionary* md = context_->metadata;
    info.Timestamp = 0;
    const std::string created = Tag(md, "creation_time");
    std::int64_t whenUs = 0;
    if (!created.empty() && ff::av_parse_time(&whenUs, created.c_str(), 0) >= 0) {
        info.Timestamp = whenUs / 1000000;
    }
    std::string year = Tag(md, "year");
    if (year.empty()) year = Tag(md, "date");
    info.Year = std::atoi(year.c_str());
    info.Track = std::atoi(Tag(md, "track").c_str());
    info.Title = Tag(md, "title");
    info.Author = Tag(md, "author");
    if (info.Author.empty()) info.Author = Tag(md, "artist");
    info.Copyright = Tag(md, "copyright");
    info.Comment = Tag(md, "comment");
    info.Album = Tag(md, "album");
    info.Genre = Tag(md, "genre");
}

void TCustomAVProbe::GetAudioStreamInfo(int i, TAudioStreamInfo& info) {
    info = TAudioStreamInfo();
    if (context_ == nullptr) {
        Report("file not loaded.", true, llWarning);
        return;
    }
    if (i < 0) {
        i = firstAudioStream_;
        if (i == -1) {
            Report("no audio stream.", true, llError);
            return;
        }
    }
    if (i >= streamCount_) {
        Report(text::Fmt("stream index #%d is invalid.", i), true, llError);
        return;
    }
    AVStream* st = context_->streams[i];
    if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
        Report(text::Fmt("stream #%d is not audio stream.", i), true, llError);
        return;
    }
    FillCommon(st, info);
    info.Channels = st->codecpar->ch_layout.nb_channels;
    info.SampleRate = st->codecpar->sample_rate;
    info.SampleFormat = st->codecpar->format;
}

void TCustomAVProbe::GetVideoStreamInfo(int i, TVideoStreamInfo& info) {
    info = TVideoStreamInfo();
    if (context_ == nullptr) {
        Report("file not loaded.", true, llWarning);
        return;
    }
    if (i < 0) {
        i = firstVideoStream_;
        if (i == -1) {
            Report("no video stream.", true, llError);
            return;
        }
    }
    if (i >= streamCount_) {
        Report(text::Fmt("stream index #%d is invalid.", i), true, llError);
        return;
    }
    AVStream* st = context_->streams[i];
    if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
        Report(text::Fmt("stream #%d is not video stream.", i), true, llError);
        return;
    }
    FillCommon(st, info);
    const AVCodecParameters* par = st->codecpar;
    info.Height = par->height;
    info.Width = par->width;
    const AVRational sar = par->sample_aspect_ratio;
    info.DisplayAspectRatio =
        sar.num != 0 && sar.den != 0 && par->height != 0
            ? static_cast<float>(RationalValue(sar) * par->width / par->height)
            : 0.0f;
    info.PixelFormat = par->format;
    info.FrameRateNum = st->r_frame_rate.num;
    info.FrameRateDen = st->r_frame_rate.den;
}

std::string TCustomAVProbe::MetadataBlock(const void* metadataPtr, const std::string& p) {
    const auto* metadata = static_cast<const AVDictionary*>(metadataPtr);
    const int count = metadata != nullptr ? ff::av_dict_count(metadata) : 0;
    if (count == 0) return "";
    if (count == 1 && ff::av_dict_get(metadata, "language", nullptr, 0) != nullptr) return "";
    std::string text = text::Fmt("%sMetadata:", p.c_str());
    const AVDictionaryEntry* e = nullptr;
    while ((e = ff::av_dict_get(metadata, "", e, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        std::string key = e->key;
        if (key == "language") continue;
        const auto mapped = Id3Names().find(key);
        if (mapped != Id3Names().end()) key = mapped->second;
        text += "\r\n" + text::Fmt("%s  %-16s: %s", p.c_str(), key.c_str(), e->value);
    }
    return text;
}

std::string TCustomAVProbe::StreamLine(int i) {
    AVStream* st = context_->streams[i];
    std::string line = text::Fmt("Stream #%d", i);
    if ((context_->iformat->flags & AVFMT_SHOW_IDS) != 0) line += text::Fmt("[0x%x]", st->id);
    const std::string language = Tag(st->metadata, "language");
    if (!language.empty()) line += text::Fmt("(%s)", language.c_str());
    int g = ff::av_gcd(st->time_base.num, st->time_base.den);
    if (g == 0) g = 1;
    line += text::Fmt(", %d/%d", st->time_base.num / g, st->time_base.den / g);

    char description[256] = "";
    if (AVCodecContext* codec = ff::avcodec_alloc_context3(nullptr)) {
        if (ff::avcodec_parameters_to_context(codec, st->codecpar) >= 0) {
            ff::avcodec_string(description, sizeof description, codec, 0);
        }
        ff::avcodec_free_context(&codec);
    }
    line += std::string(": ") + description;

    const AVCodecParameters* par = st->codecpar;
    const AVRational sar = st->sample_aspect_ratio;
    if (sar.num != 0 &&
        (sar.num != par->sample_aspect_ratio.num || sar.den != par->sample_aspect_ratio.den)) {
        AVRational dar{};
        ff::av_reduce(&dar.num, &dar.den, static_cast<std::int64_t>(par->width) * sar.num,
                      static_cast<std::int64_t>(par->height) * sar.den, 1024 * 1024);
        line =
            text::Fmt("%s, PAR %d:%d DAR %d:%d", line.c_str(), sar.num, sar.den, dar.num, dar.den);
    }
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        if (st->avg_frame_rate.den != 0 && st->avg_frame_rate.num != 0)
            line += RateText(RationalValue(st->avg_frame_rate), "fps");
        if (st->r_frame_rate.den != 0 && st->r_frame_rate.num != 0)
            line += RateText(RationalValue(st->r_frame_rate), "tbr");
        if (st->time_base.den != 0 && st->time_base.num != 0)
            line += RateText(1 / RationalValue(st->time_base), "tbn");
    }
    RepairTimeBase(st);
    const AVRational us{1, AV_TIME_BASE};
    if (st->start_time != AV_NOPTS_VALUE) {
        line += ", StartTime: " + SecondsText(ff::av_rescale_q(st->start_time, st->time_base, us));
    }
    line += st->duration != AV_NOPTS_VALUE
                ? ", Duration: " + DurationText(ff::av_rescale_q(st->duration, st->time_base, us))
                : std::string(", Duration: N/A");
    const std::string block = MetadataBlock(st->metadata, "  ");
    if (!block.empty()) line += "\r\n" + block;
    return line;
}

std::string TCustomAVProbe::GetFileInfoText() {
    if (context_ == nullptr) return "";
    std::vector<std::string> lines;
    lines.push_back("File Name: " + FileName());
    lines.push_back("Format Name: " + FormatName());
    lines.push_back("Format Long Name: " + FormatLongName());
    lines.push_back("File Size: " + SizeText(fileSize_));
    lines.push_back(context_->duration == AV_NOPTS_VALUE || context_->duration < 0
                        ? std::string("Duration: N/A")
                        : "Duration: " + DurationText(context_->duration));
    if (context_->start_time != AV_NOPTS_VALUE && context_->start_time >= 0) {
        lines.push_back("StartTime: " + SecondsText(context_->start_time));
    }
    lines.push_back(
        context_->bit_rate < 1
            ? std::string("Bit Rate: N/A")
            : text::Fmt("Bit Rate: %lld kb/s", static_cast<long long>(context_->bit_rate / 1000)));
    TFileStreamInfo info;
    GetFileStreamInfo(info);
    if (info.Timestamp > 0) {
        lines.push_back("Time Stamp: " +
                        DateTimeText("yyyy-mm-dd hh:nn:ss", UnixTimeToDateTime(info.Timestamp)));
    }
    std::string block = MetadataBlock(context_->metadata, "");
    if (!block.empty()) lines.push_back(block);

    std::vector<bool> listed(context_->nb_streams, false);
    for (unsigned p = 0; p < context_->nb_programs; ++p) {
        const AVProgram* program = context_->programs[p];
        // Transport streams name these "service_provider" and "service_name".
        std::string provider = Tag(program->metadata, "provider_name");
        if (provider.empty()) provider = Tag(program->metadata, "service_provider");
        std::string name = Tag(program->metadata, "name");
        if (name.empty()) name = Tag(program->metadata, "service_name");
        lines.push_back(text::Fmt("Program %d %s@%s", program->id,
                                  provider.empty() ? "N/A" : provider.c_str(),
                                  name.empty() ? "N/A" : name.c_str()));
        block = MetadataBlock(program->metadata, "  ");
        if (!block.empty()) lines.push_back(block);
        for (unsigned k = 0; k < program->nb_stream_indexes; ++k) {
            const unsigned s = program->stream_index[k];
            if (s >= context_->nb_streams) continue;
            lines.push_back(StreamLine(static_cast<int>(s)));
            listed[s] = true;
        }
    }
    for (unsigned s = 0; s < context_->nb_streams; ++s) {
        if (!listed[s]) lines.push_back(StreamLine(static_cast<int>(s)));
    }

    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += "\r\n";
        text += lines[i];
    }
    return text;
}

}  // namespace zorvex
