// Where an output's bytes go, and the rules that keep a user's files: the
// "(New_k)" name that keeps an output from replacing a file already there, the
// kinds of destination (a file, a link to one, a device or pipe, a folder),
// and the locked temporary files a run writes beside its destination.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace zorvex {

// An owned file descriptor, closed with the object.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release();
    void Reset(int fd = -1);

private:
    int fd_ = -1;
};

// A file on disk by its device and inode, as it was when it was looked at.
struct FileIdentity {
    bool exists = false;
    unsigned long long device = 0, inode = 0;
    bool operator==(const FileIdentity& o) const {
        return exists == o.exists && device == o.device && inode == o.inode;
    }
};
// The file path names itself (a link is not followed); empty when nothing is there.
FileIdentity IdentityOf(const std::string& path);

using NameTakenFn = std::function<bool(const std::string& path)>;
// True when anything of that name is there (a dangling link too).
bool PathTaken(const std::string& path);

// For a proposed name N = B + E (E from the last dot of the file-name part):
// N when it is not taken, else B + "(New_" + k + ")" + E for the smallest
// k >= 1 that is not taken. B is cut at a UTF-8 character boundary where the
// file-name part would be longer than a file system takes (255 bytes).
std::string UniqueOutputName(const std::string& proposed, const NameTakenFn& taken = PathTaken);
// A name UniqueOutputName gave, cut back to the name it was made from: the
// file-name part loses everything from its first "(New_" up to the extension
// ("a(New_3).mp4" -> "a.mp4"). Names without the mark come back unchanged.
std::string WithoutNewMark(const std::string& name);

// The outputs of one batch. Every name it gives out differs from every other
// name it gave out and from every source of the batch (also through links),
// and, unless existing files may be replaced, from every file on disk. Devices
// and pipes are given out as they are: writing to them destroys nothing.
class OutputReservation {
public:
    void AddSource(const std::string& path);
    // The proposed name, or its first free "(New_k)" form.
    std::string Reserve(const std::string& proposed, bool replaceExisting);
    bool Taken(const std::string& name, bool replaceExisting) const;

private:
    struct FileId {
        unsigned long long device, inode;
        bool operator<(const FileId& o) const {
            return device != o.device ? device < o.device : inode < o.inode;
        }
    };
    std::set<std::string> names_;  // sources and outputs given out, as named and resolved
    std::set<FileId> files_;       // the same, where they exist
};

struct OutputDestination {
    enum Kind {
        kAbsent,     // nothing there yet: a new file
        kFile,       // an existing regular file, replaced when the run finishes
        kDirect,     // a character device or a pipe: written to as it is
        kDirectory,  // refused
        kOther,      // a socket or block device: refused
    };
    Kind kind = kAbsent;
    // The path written to: the name itself, or for a symbolic link the file it
    // finally points to, so that the link stays and its target is replaced.
    std::string path;
};
OutputDestination ResolveOutputDestination(const std::string& name);
// The refusal of a directory or another kind that cannot hold an output,
// naming the file; empty when the destination can be written.
std::string DestinationRefusal(const std::string& name, const OutputDestination& destination);

// True when the file-name part of path is longer than one name on disk may be.
bool NameTooLong(const std::string& path);

// Temporary files are named NAME.zorvex-FFFFFFFF-XXXXXX.part (NAME cut to fit)
// beside their destination, FFFFFFFF a digest of the folder's path on disk
// when the file was made. While a run writes one it holds an exclusive flock
// on it, so another run can tell a file that is being written from one left
// behind by a program that was killed; and one whose folder was moved away
// since (a finished output that could not be put in place) is no leftover of
// the folder it is in now.
bool IsTemporaryOutputName(const std::string& fileName);
// Creates a new temporary file for destination in its folder and locks it;
// lock keeps the lock until it is closed. Returns the path, or an empty text
// with errno set.
std::string CreateLockedTemporary(const std::string& destination, UniqueFd& lock);
// Removes the temporary files in folder that no run holds and that were made
// in it; returns their paths.
std::vector<std::string> RemoveLeftoverTemporaries(const std::string& folder);

}  // namespace zorvex
