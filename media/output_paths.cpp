#include "media/output_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>

#include "media/text.h"

namespace zorvex {

namespace fs = std::filesystem;

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
}

int UniqueFd::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

bool PathTaken(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

FileIdentity IdentityOf(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return {};
    return {true, static_cast<unsigned long long>(st.st_dev),
            static_cast<unsigned long long>(st.st_ino)};
}

namespace {

size_t FileNameStart(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// Where the extension of the file-name part starts (its last dot), or the end.
size_t ExtensionStart(const std::string& path) {
    const auto dot = path.rfind('.');
    return dot == std::string::npos || dot < FileNameStart(path) ? path.size() : dot;
}

constexpr const char* kTemporaryMark = ".zorvex-";
constexpr const char* kTemporaryEnd = ".part";
constexpr size_t kRandomDigits = 6;
constexpr size_t kFolderDigits = 8;
constexpr size_t kMaxNameBytes = 255;  // one path component
constexpr size_t kMaxKeptNameBytes = 200;

// The name cut to at most max bytes on a UTF-8 character boundary.
std::string CutName(const std::string& name, size_t max) {
    if (name.size() <= max) return name;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
    return name.substr(0, end);
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when fd is still the file that path names.
bool StillNamedBy(int fd, const std::string& path) {
    struct stat opened {
    }, named{};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           SameFile(opened, named);
}

// A digest of the folder's path on disk (FNV-1a), as the hex digits of the
// temporary files made in it.
std::string FolderTag(const std::string& folder) {
    char resolved[PATH_MAX];
    const char* path = ::realpath(folder.empty() ? "." : folder.c_str(), resolved);
    std::uint32_t hash = 2166136261u;
    for (const char* c = path != nullptr ? path : folder.c_str(); *c != 0; ++c) {
        hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
    }
    return text::Fmt("%08x", static_cast<unsigned>(hash));
}

// prefix + base + mark + extension, base cut so that the file-name part fits
// in one name on disk.
std::string FittedName(const std::string& prefix, const std::string& base, const std::string& mark,
                       const std::string& extension) {
    const size_t fixed = mark.size() + extension.size();
    if (base.size() + fixed <= kMaxNameBytes || fixed >= kMaxNameBytes) {
        return prefix + base + mark + extension;
    }
    return prefix + CutName(base, kMaxNameBytes - fixed) + mark + extension;
}

}  // namespace

bool NameTooLong(const std::string& path) {
    return path.size() - FileNameStart(path) > kMaxNameBytes;
}

std::string UniqueOutputName(const std::string& proposed, const NameTakenFn& taken) {
    const size_t start = FileNameStart(proposed);
    const size_t dot = ExtensionStart(proposed);
    const std::string prefix = proposed.substr(0, start);
    const std::string base = proposed.substr(start, dot - start);
    const std::string ext = proposed.substr(dot);
    const std::string first = FittedName(prefix, base, "", ext);
    if (!taken(first)) return first;
    for (long long k = 1;; ++k) {
        std::string candidate = FittedName(prefix, base, "(New_" + std::to_string(k) + ")", ext);
        if (!taken(candidate)) return candidate;
    }
}

std::string WithoutNewMark(const std::string& name) {
    const auto mark = name.find("(New_", FileNameStart(name));
    if (mark == std::string::npos) return name;
    const size_t ext = ExtensionStart(name);
    return name.substr(0, std::min(mark, ext)) + name.substr(ext);
}

namespace {

// The name with its folder resolved through links, and the file a link of
// that name points to.
std::vector<std::string> NamesOf(const std::string& path) {
    std::error_code error;
    const fs::path given(path);
    const fs::path folder = fs::weakly_canonical(fs::absolute(given.parent_path()), error);
    std::string absolute = error ? path : (folder / given.filename()).string();
    std::vector<std::string> names{absolute};
    const std::string resolved = ResolveOutputDestination(absolute).path;
    if (resolved != absolute) names.push_back(resolved);
    return names;
}

}  // namespace

void OutputReservation::AddSource(const std::string& path) {
    for (std::string& name : NamesOf(path)) names_.insert(std::move(name));
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) files_.insert({st.st_dev, st.st_ino});
}

bool OutputReservation::Taken(const std::string& name, bool replaceExisting) const {
    for (const std::string& n : NamesOf(name)) {
        if (names_.count(n) > 0) return true;
    }
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && files_.count({st.st_dev, st.st_ino}) > 0) return true;
    return !replaceExisting && PathTaken(name);
}

std::string OutputReservation::Reserve(const std::string& proposed, bool replaceExisting) {
    if (ResolveOutputDestination(proposed).kind == OutputDestination::kDirect) return proposed;
    std::string name =
        UniqueOutputName(proposed, [&](const std::string& n) { return Taken(n, replaceExisting); });
    for (std::string& n : NamesOf(name)) names_.insert(std::move(n));
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0) files_.insert({st.st_dev, st.st_ino});
    return name;
}

namespace {

// The physical folder of path (its links and ".." resolved on disk) joined
// with its last component; the path as it is when its folder does not exist.
std::string InPhysicalFolder(const std::string& path) {
    const fs::path given(path);
    const fs::path parent = given.has_parent_path() ? given.parent_path() : fs::path(".");
    char resolved[PATH_MAX];
    if (::realpath(parent.c_str(), resolved) == nullptr) return given.lexically_normal().string();
    return (fs::path(resolved) / given.filename()).string();
}

}  // namespace

OutputDestination ResolveOutputDestination(const std::string& name) {
    OutputDestination d;
    d.path = name;
    // A chain of links ends at its last target. A relative target is taken from
    // where the link really is, its folder resolved on disk: a folder reached
    // through a link has another parent than its path's text says. An unreadable
    // link is left to the open, which reports it.
    bool followed = false;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(d.path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        std::error_code error;
        const fs::path target = fs::read_symlink(d.path, error);
        if (error) break;
        d.path = target.is_absolute()
                     ? target.string()
                     : (fs::path(InPhysicalFolder(d.path)).parent_path() / target).string();
        followed = true;
    }
    if (followed) d.path = InPhysicalFolder(d.path);
    struct stat st {};
    if (::stat(d.path.c_str(), &st) != 0) {
        // A loop of links is something there all the same: like an existing
        // file, only an explicit overwrite replaces it (the link itself).
        const bool loop = errno == ELOOP && followed;
        d.kind = loop ? OutputDestination::kFile : OutputDestination::kAbsent;
        if (loop) d.path = name;
    } else if (S_ISREG(st.st_mode)) {
        d.kind = OutputDestination::kFile;
    } else if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
        d.kind = OutputDestination::kDirect;
    } else if (S_ISDIR(st.st_mode)) {
        d.kind = OutputDestination::kDirectory;
    } else {
        d.kind = OutputDestination::kOther;
    }
    return d;
}

std::string DestinationRefusal(const std::string& name, const OutputDestination& destination) {
    switch (destination.kind) {
        case OutputDestination::kDirectory:
            return text::Fmt("%s: is a folder; the output must be a file name", name.c_str());
        case OutputDestination::kOther:
            return text::Fmt("%s: cannot be written as an output (not a file, device or pipe)",
                             name.c_str());
        default:
            return {};
    }
}

namespace {

bool HexDigits(const std::string& text, size_t from, size_t count) {
    for (size_t i = from; i < from + count; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

// The folder digest of a temporary file's name; empty for a name of the
// older form NAME.zorvex-XXXXXX.part, which carries none.
std::string TemporaryFolderTag(const std::string& fileName) {
    const size_t tail = std::strlen(kTemporaryMark) + kFolderDigits + 1 + kRandomDigits +
                        std::strlen(kTemporaryEnd);
    if (fileName.size() <= tail) return {};
    const size_t tag = fileName.size() - tail + std::strlen(kTemporaryMark);
    if (fileName.compare(tag - std::strlen(kTemporaryMark), std::strlen(kTemporaryMark),
                         kTemporaryMark) != 0 ||
        fileName[tag + kFolderDigits] != '-' || !HexDigits(fileName, tag, kFolderDigits)) {
        return {};
    }
    return fileName.substr(tag, kFolderDigits);
}

}  // namespace

bool IsTemporaryOutputName(const std::string& fileName) {
    const size_t endSize = std::strlen(kTemporaryEnd);
    const size_t markSize = std::strlen(kTemporaryMark);
    const size_t tail = markSize + kRandomDigits + endSize;
    if (fileName.size() <= tail ||
        fileName.compare(fileName.size() - endSize, endSize, kTemporaryEnd) != 0 ||
        !HexDigits(fileName, fileName.size() - endSize - kRandomDigits, kRandomDigits)) {
        return false;
    }
    return !TemporaryFolderTag(fileName).empty() ||
           fileName.compare(fileName.size() - tail, markSize, kTemporaryMark) == 0;
}

std::string CreateLockedTemporary(const std::string& destination, UniqueFd& lock) {
    const fs::path path(destination);
    const fs::path folder = path.parent_path();
    const std::string tag = FolderTag(folder.string());
    const size_t suffix = std::strlen(kTemporaryMark) + kFolderDigits + 1 + kRandomDigits +
                          std::strlen(kTemporaryEnd);
    const std::string kept =
        CutName(path.filename().string(), std::min(kMaxKeptNameBytes, kMaxNameBytes - suffix));
    std::random_device seed;
    std::mt19937 random(seed());
    int error = EEXIST;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            (folder / text::Fmt("%s%s%s-%06x%s", kept.c_str(), kTemporaryMark, tag.c_str(),
                                static_cast<unsigned>(random() & 0xFFFFFF), kTemporaryEnd))
                .string();
        UniqueFd fd(::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd.Valid()) {
            error = errno;
            if (error != EEXIST) break;
            continue;
        }
        // Between the creation and the lock another run may take the new file
        // for a leftover: it then holds the lock or has removed the name, and
        // this run takes another name.
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0 && StillNamedBy(fd.Get(), candidate)) {
            lock = std::move(fd);
            return candidate;
        }
        error = EEXIST;
    }
    errno = error;
    return {};
}

std::vector<std::string> RemoveLeftoverTemporaries(const std::string& folder) {
    std::vector<std::string> removed;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return removed;
    const std::string here = FolderTag(folder);
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsTemporaryOutputName(entry->d_name)) continue;
        // Made in another folder, which was then moved here: the file of a run
        // that could not put its output in place, and named to the user.
        const std::string made = TemporaryFolderTag(entry->d_name);
        if (!made.empty() && made != here) continue;
        const std::string path = (fs::path(folder) / entry->d_name).string();
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        if (!fd.Valid()) continue;
        struct stat st {};
        if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        // A running conversion holds its lock until the file is renamed or
        // removed; the name is removed only while this lock is held and still
        // names the file that was locked.
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) continue;
        if (StillNamedBy(fd.Get(), path) && ::unlink(path.c_str()) == 0) removed.push_back(path);
    }
    ::closedir(dir);
    return removed;
}

}  // namespace zorvex
