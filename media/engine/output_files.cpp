// The output files' byte streams. A run writes each output beside its
// destination under a locked temporary name and renames it into place when
// the run finishes, so a failed run never leaves a broken file under the
// destination's name and never destroys a file that was there before. A
// stopped run keeps what it wrote: under the destination's name when nothing
// was there, else beside the older file, which stays as it was. Devices and
// pipes are written directly; a link is followed and the file it points to is
// replaced.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "media/engine/transcoder.h"
#include "media/log.h"
#include "media/text.h"

namespace zorvex {

using text::Fmt;

namespace {

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

bool IsFifo(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

// Opening a pipe for writing blocks until it has a reader; the wait is made
// here in steps, so that a stop still ends the run. The write end it opened
// is handed back and must stay open until the output's own open is done: a
// reader that finds no writer at all, even for a moment, reads the end of the
// stream and goes away with nothing. False when stopped.
bool WaitForPipeReader(const std::string& path, const std::atomic<bool>& stopRequested,
                       UniqueFd& writer) {
    for (;;) {
        writer.Reset(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        if (writer.Valid()) return true;
        if (errno != ENXIO) return true;  // the open proper reports it
        if (stopRequested) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// Moves a stopped run's temporary file beside the older file it would have
// replaced, under the first free "(New_k)" name; never replaces anything.
std::string KeepBeside(const std::string& temporary, const std::string& destination) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = UniqueOutputName(destination);
        if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) ==
            0) {
            return name;
        }
        if (errno == EEXIST) continue;  // taken meanwhile
        // A file system without the no-replace rename: the name was free a
        // moment ago.
        if (errno == EINVAL && std::rename(temporary.c_str(), name.c_str()) == 0) return name;
        return {};
    }
    return {};
}

}  // namespace

bool OpenOutputByteStream(TCustomFFmpeg& engine, TOutputFile& output) {
    namespace fs = std::filesystem;
    AVFormatContext* oc = output.Context.get();
    if ((oc->oformat->flags & AVFMT_NOFILE) != 0 || oc->pb != nullptr) return true;

    const OutputDestination destination = ResolveOutputDestination(output.FileName);
    if (const std::string refusal = DestinationRefusal(output.FileName, destination);
        !refusal.empty()) {
        throw FFmpegException(refusal);
    }
    output.WritePath = destination.path;
    std::string openName = destination.path;
    UniqueFd pipeWriter;  // held across the open below
    if (destination.kind == OutputDestination::kDirect) {
        if (IsFifo(destination.path) &&
            !WaitForPipeReader(destination.path, engine.StopRequested, pipeWriter))
            return false;
    } else {
        // Files of runs that were killed are removed by the next run into the
        // same folder.
        for (const std::string& leftover :
             RemoveLeftoverTemporaries(fs::path(destination.path).parent_path().string())) {
            Logger().Log(
                &engine, llInfo,
                Fmt("Removed %s, left behind by a conversion that did not end", leftover.c_str()));
        }
        output.DestinationExisted = destination.kind == OutputDestination::kFile;
        output.TempFileName = CreateLockedTemporary(destination.path, output.TempLock);
        if (output.TempFileName.empty()) {
            throw FFmpegException(FFmpegErrorText(output.FileName, AVERROR(errno)));
        }
        openName = output.TempFileName;
    }

    Dictionary options;
    SetLocalProtocolWhitelist(options.Out());
    const int ret = ff::avio_open2(&oc->pb, ToFFmpegFileName(openName).c_str(), AVIO_FLAG_WRITE,
                                   nullptr, options.Out());
    if (ret < 0) throw FFmpegException(FFmpegErrorText(output.FileName, ret));
    return true;
}

void TCustomFFmpeg::FinishOutputFiles() {
    const std::vector<TOutputFile*> outputs = DistinctOutputs(OutputFiles);
    std::string failure;
    // First every byte stream is closed: a write that fails only now fails the
    // run, and then no output of it is kept.
    for (TOutputFile* output : outputs) {
        AVFormatContext* oc = output->Context.get();
        if (oc == nullptr || oc->pb == nullptr || (oc->oformat->flags & AVFMT_NOFILE) != 0)
            continue;
        ff::avio_flush(oc->pb);
        const int pending = oc->pb->error;
        const int closed = ff::avio_closep(&oc->pb);
        const int code = pending < 0 ? pending : closed;
        if (code < 0 && failure.empty()) failure = FFmpegErrorText(output->FileName, code);
    }
    if (!failure.empty()) RecordFailure(failure);

    const bool stopped = !Finished && !Failed;
    for (TOutputFile* output : outputs) {
        if (output->TempFileName.empty()) continue;
        const std::string temporary = std::move(output->TempFileName);
        output->TempFileName.clear();
        // An output that received no bytes is not kept. The lock is held until
        // the temporary name is gone, so that no other run takes the file for
        // a leftover.
        if (!Failed && FileSizeOf(temporary) > 0) {
            if (stopped && output->DestinationExisted) {
                const std::string kept = KeepBeside(temporary, output->WritePath);
                if (!kept.empty()) {
                    KeptPartialFiles.push_back(kept);
                    Logger().Log(this, llInfo,
                                 Fmt("%s is left as it was; the stopped conversion is kept as %s",
                                     output->FileName.c_str(), kept.c_str()));
                    output->TempLock.Reset();
                    continue;
                }
            } else if (std::rename(temporary.c_str(), output->WritePath.c_str()) == 0) {
                output->TempLock.Reset();
                continue;
            }
            const int error = errno;
            if (failure.empty()) {
                failure = FFmpegErrorText(output->FileName, AVERROR(error));
                RecordFailure(failure);
            }
        }
        ::unlink(temporary.c_str());
        output->TempLock.Reset();
    }
}

void TCustomFFmpeg::DiscardTemporaryOutputs() {
    for (TOutputFile* output : DistinctOutputs(OutputFiles)) {
        AVFormatContext* oc = output->Context.get();
        if (oc != nullptr && oc->pb != nullptr && (oc->oformat->flags & AVFMT_NOFILE) == 0)
            ff::avio_closep(&oc->pb);
        if (output->TempFileName.empty()) continue;
        ::unlink(output->TempFileName.c_str());
        output->TempFileName.clear();
        output->TempLock.Reset();
    }
}

}  // namespace zorvex
