#include "tests/support/fixtures.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "media/loader.h"
#include "media/output_paths.h"
#include "tests/support/process.h"

namespace fs = std::filesystem;

namespace zorvex::test {
namespace {

std::vector<std::string> SplitArgs(const std::string& text) {
    // Arguments are separated by spaces; single quotes keep spaces inside one.
    std::vector<std::string> args;
    std::string current;
    bool quoted = false, any = false;
    for (char c : text) {
        if (c == '\'') {
            quoted = !quoted;
            any = true;
        } else if (c == ' ' && !quoted) {
            if (any) args.push_back(current);
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any) args.push_back(current);
    return args;
}

}  // namespace

std::string Fixture(const std::string& name, const std::string& ffmpegArgs) {
    const fs::path dir = ZORVEX_FIXTURE_DIR;
    fs::create_directories(dir);
    const fs::path target = dir / name;
    if (fs::exists(target)) return target.string();

    // Test processes running side by side ask for the same fixture; one makes
    // it and the others wait, so every test sees the same bytes (a Matroska
    // file made twice differs: its segment ID is random).
    const std::string lockPath = (dir / (".lock-" + name)).string();
    const UniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (lock.Valid()) ::flock(lock.Get(), LOCK_EX);  // released when lock closes
    if (fs::exists(target)) return target.string();

    const std::string ext = target.extension().string();
    const fs::path partial =
        dir / (".partial-" + std::to_string(::getpid()) + "-" + target.stem().string() + ext);
    std::vector<std::string> args = {"-y", "-hide_banner", "-loglevel", "error", "-nostdin"};
    for (auto& a : SplitArgs(ffmpegArgs)) args.push_back(a);
    args.push_back(partial.string());
    ProcessResult r = RunProcess("/usr/bin/ffmpeg", args);
    if (r.exitCode != 0) {
        ADD_FAILURE() << "ffmpeg could not generate fixture " << name << ": " << r.err;
        return target.string();
    }
    fs::rename(partial, target);  // atomic: readers see a whole file or none
    return target.string();
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "zorvex-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void LoadConverterLibrariesOrFail() {
    ASSERT_TRUE(Loader().LoadLibrarySet(ConverterLibrarySet)) << Loader().LastError();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace zorvex::test
