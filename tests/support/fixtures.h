// Generated media fixtures and scratch folders for tests.
#pragma once

#include <string>

namespace zorvex::test {

// A media file generated once per build tree with Debian's ffmpeg program:
// name is the file name (its extension picks the container), ffmpegArgs the
// input and encoding arguments, e.g.
//   Fixture("testsrc_5s.avi", "-f lavfi -i testsrc=size=320x240:rate=25 -t 5 -c:v mpeg4")
// Tests running side by side may ask for the same fixture: one makes it, the
// others wait for it, and all see the same bytes.
std::string Fixture(const std::string& name, const std::string& ffmpegArgs);

// A fresh, empty folder under the system's temporary folder, removed when the
// returned object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Loads the converter library set through the system's search; fails the test
// (ASSERT) when that is not possible.
void LoadConverterLibrariesOrFail();

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

}  // namespace zorvex::test
