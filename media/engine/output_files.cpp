// The output files' byte streams. A run writes each output beside its
// destination under a temporary name and renames it into place only when the
// run ends without failure (a stopped run keeps its valid, shorter output), so
// a failed run never leaves a broken file under the destination's name and
// never destroys a file that was there before.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "media/engine/transcoder.h"
#include "media/log.h"
#include "media/text.h"

namespace zorvex {

using text::Fmt;

namespace {

constexpr size_t kMaxNameBytes = 255;  // one path component
constexpr size_t kMaxKeptNameBytes = 200;

// The name part cut to at most max bytes on a UTF-8 character boundary.
std::string CutName(const std::string& name, size_t max) {
    if (name.size() <= max) return name;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
    return name.substr(0, end);
}

std::vector<TOutputFile*> DistinctOutputs(
    const std::vector<std::shared_ptr<TOutputFile>>& outputs) {
    std::vector<TOutputFile*> distinct;
    for (const auto& o : outputs) {
        if (std::find(distinct.begin(), distinct.end(), o.get()) == distinct.end()) {
            distinct.push_back(o.get());
        }
    }
    return distinct;
}

}  // namespace

void OpenOutputByteStream(TOutputFile& output) {
    namespace fs = std::filesystem;
    AVFormatContext* oc = output.Context.get();
    if ((oc->oformat->flags & AVFMT_NOFILE) != 0 || oc->pb != nullptr) return;

    const fs::path destination(output.FileName);
    fs::path folder = destination.parent_path();
    const std::string name = destination.filename().string();
    const std::string kept = CutName(
        name, std::min(kMaxKeptNameBytes, kMaxNameBytes - std::strlen(".zorvex-XXXXXX.part")));
    std::random_device seed;
    std::mt19937 random(seed());
    std::string temporary;
    int error = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            Fmt("%s.zorvex-%06x.part", kept.c_str(), static_cast<unsigned>(random() & 0xFFFFFF));
        const std::string path = (folder / candidate).string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            temporary = path;
            break;
        }
        error = errno;
        if (error != EEXIST) break;
    }
    if (temporary.empty()) {
        throw FFmpegException(FFmpegErrorText(output.FileName, AVERROR(error)));
    }
    output.TempFileName = temporary;

    Dictionary options;
    SetLocalProtocolWhitelist(options.Out());
    const int ret = ff::avio_open2(&oc->pb, ToFFmpegFileName(temporary).c_str(), AVIO_FLAG_WRITE,
                                   nullptr, options.Out());
    if (ret < 0) throw FFmpegException(FFmpegErrorText(output.FileName, ret));
}

void TCustomFFmpeg::FinishOutputFiles() {
    const std::vector<TOutputFile*> outputs = DistinctOutputs(OutputFiles);
    std::string failure;
    // First every byte stream is closed: a write that fails only now fails the
    // run, and then no output of it is kept.
    for (TOutputFile* output : outputs) {
        AVFormatContext* oc = output->Context.get();
        if (output->TempFileName.empty() || oc->pb == nullptr) continue;
        ff::avio_flush(oc->pb);
        const int pending = oc->pb->error;
        const int closed = ff::avio_closep(&oc->pb);
        const int code = pending < 0 ? pending : closed;
        if (code < 0 && failure.empty()) failure = FFmpegErrorText(output->FileName, code);
    }
    if (!failure.empty()) RecordFailure(failure);

    for (TOutputFile* output : outputs) {
        if (output->TempFileName.empty()) continue;
        const std::string temporary = std::move(output->TempFileName);
        output->TempFileName.clear();
        // An output that received no bytes is not kept.
        if (!Failed && FileSizeOf(temporary) > 0) {
            if (std::rename(temporary.c_str(), output->FileName.c_str()) == 0) continue;
            const int error = errno;
            if (failure.empty()) {
                failure = FFmpegErrorText(output->FileName, AVERROR(error));
                RecordFailure(failure);
            }
        }
        ::unlink(temporary.c_str());
    }
}

void TCustomFFmpeg::DiscardTemporaryOutputs() {
    for (TOutputFile* output : DistinctOutputs(OutputFiles)) {
        if (output->TempFileName.empty()) continue;
        AVFormatContext* oc = output->Context.get();
        if (oc != nullptr && oc->pb != nullptr) ff::avio_closep(&oc->pb);
        ::unlink(output->TempFileName.c_str());
        output->TempFileName.clear();
    }
}

}  // namespace zorvex
