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
#include <climits>
#include <cstdio>
#include <cstring>
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

// Renames from to to unless something is there (errno EEXIST then). Where the
// file system has no no-replace rename, a hard link does the same at once;
// where it has no hard links either, the name is looked at just before.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL) return false;
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) return false;
    if (PathTaken(to)) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

// Puts a temporary file at destination, or when something is there beside it
// under the first free "(New_k)" name; never replaces anything. The name it
// was put under, or empty with errno set.
std::string PlaceWithoutReplacing(const std::string& temporary, const std::string& destination) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = UniqueOutputName(destination);
        if (RenameNoReplace(temporary, name)) return name;
        if (errno != EEXIST) return {};  // else taken meanwhile
    }
    errno = EEXIST;
    return {};
}

// The temporary file takes the mode, owner and group of the file it replaces,
// as far as this process may set them: a private file stays private.
void TakeOwnership(int fd, const std::string& replaced) {
    struct stat st {};
    if (::stat(replaced.c_str(), &st) != 0) return;
    // A member of the group may give the file that group, if not the owner.
    if (::fchown(fd, st.st_uid, st.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0) {
        Logger().Log(nullptr, llDebug,
                     Fmt("%s: the owner of the older file is not kept (%s)", replaced.c_str(),
                         std::strerror(errno)));
    }
    // After the owner: a change of owner clears the set-id bits.
    if (::fchmod(fd, st.st_mode & 07777) != 0) {
        Logger().Log(nullptr, llDebug,
                     Fmt("%s: the mode of the older file is not kept (%s)", replaced.c_str(),
                         std::strerror(errno)));
    }
}

// Where the open file is now: its folder may have been moved since.
std::string CurrentPathOf(int fd, const std::string& made) {
    char path[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : made;
}

// Removes the temporary's name, if it still names the open file.
void RemoveTemporary(const std::string& temporary, int fd) {
    struct stat opened {
    }, named{};
    if (::fstat(fd, &opened) == 0 && ::lstat(temporary.c_str(), &named) == 0 &&
        opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
        ::unlink(temporary.c_str());
    }
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
        if (!output.ReplaceableNoted) {
            output.Replaceable =
                output.DestinationExisted ? IdentityOf(destination.path) : FileIdentity{};
            output.ReplaceableNoted = true;
        }
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
        output->ReplaceableNoted = false;  // the next run notes afresh
        if (output->TempFileName.empty()) continue;
        const std::string temporary = std::move(output->TempFileName);
        output->TempFileName.clear();
        const int fd = output->TempLock.Get();
        // Measured through the open file: its name may be gone with its folder.
        // An output that received no bytes is not kept. The lock is held until
        // the temporary name is gone, so that no other run takes the file for
        // a leftover.
        struct stat st {};
        if (Failed || ::fstat(fd, &st) != 0 || st.st_size <= 0) {
            RemoveTemporary(temporary, fd);
            output->TempLock.Reset();
            continue;
        }
        // A finished run replaces only the file that was there when it began;
        // a stopped one never replaces. Anything else at the name stays, and
        // the output goes beside it.
        const bool replace = !stopped && output->Replaceable.exists &&
                             IdentityOf(output->WritePath) == output->Replaceable;
        std::string placed;
        if (replace) {
            TakeOwnership(fd, output->WritePath);
            if (std::rename(temporary.c_str(), output->WritePath.c_str()) == 0)
                placed = output->WritePath;
        } else {
            placed = PlaceWithoutReplacing(temporary, output->WritePath);
        }
        if (!placed.empty()) {
            if (placed != output->WritePath && stopped) {
                KeptPartialFiles.push_back(placed);
                Logger().Log(this, llInfo,
                             Fmt("%s is left as it was; the stopped conversion is kept as %s",
                                 output->FileName.c_str(), placed.c_str()));
            } else if (placed != output->WritePath) {
                MovedOutputFiles.push_back(placed);
                Logger().Log(this, llWarning,
                             Fmt("%s appeared during the conversion and is left as it was; the "
                                 "output is kept as %s",
                                 output->WritePath.c_str(), placed.c_str()));
            }
            output->TempLock.Reset();
            continue;
        }
        // The folder was moved or deleted, or may not be written: the output
        // stays where it is and the run fails, naming it.
        const int error = errno;
        const std::string where = CurrentPathOf(fd, temporary);
        if (failure.empty()) {
            failure = where.ends_with(" (deleted)")
                          ? Fmt("%s: the converted file could not be put in place (%s); it was "
                                "deleted with its folder (%s)",
                                output->FileName.c_str(), std::strerror(error), temporary.c_str())
                          : Fmt("%s: the converted file could not be put in place (%s); it is "
                                "kept as %s",
                                output->FileName.c_str(), std::strerror(error), where.c_str());
            RecordFailure(failure);
        }
        output->TempLock.Reset();
    }
}

void TCustomFFmpeg::NoteExistingOutputs() {
    for (TOutputFile* output : DistinctOutputs(OutputFiles)) {
        const OutputDestination destination = ResolveOutputDestination(output->FileName);
        output->Replaceable = destination.kind == OutputDestination::kFile
                                  ? IdentityOf(destination.path)
                                  : FileIdentity{};
        output->ReplaceableNoted = true;
    }
}

void TCustomFFmpeg::DiscardTemporaryOutputs() {
    for (TOutputFile* output : DistinctOutputs(OutputFiles)) {
        AVFormatContext* oc = output->Context.get();
        if (oc != nullptr && oc->pb != nullptr && (oc->oformat->flags & AVFMT_NOFILE) == 0)
            ff::avio_closep(&oc->pb);
        output->ReplaceableNoted = false;
        if (output->TempFileName.empty()) continue;
        RemoveTemporary(output->TempFileName, output->TempLock.Get());
        output->TempFileName.clear();
        output->TempLock.Reset();
    }
}

}  // namespace zorvex
