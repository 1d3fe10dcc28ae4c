// The rules that keep a user's files: "(New_k)" names, a batch's reservation of
// its outputs, the kinds of destination, and leftover temporary files.
#include "media/output_paths.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "tests/support/fixtures.h"

namespace zorvex {
namespace {

namespace fs = std::filesystem;

TEST(OutputPaths, UniqueNameTakesTheFirstFreeNewNumber) {
    const std::set<std::string> taken = {"/d/a.mp4", "/d/a(New_1).mp4", "/d.x/noext",
                                         "/d/a(New_2).mp4.part"};
    auto isTaken = [&](const std::string& n) { return taken.count(n) > 0; };
    const struct {
        const char* proposed;
        const char* expected;
    } cases[] = {
        {"/d/a.mp4", "/d/a(New_2).mp4"},
        {"/d/free.mp4", "/d/free.mp4"},
        {"/d.x/noext", "/d.x/noext(New_1)"},  // a dot in the folder is no extension
    };
    for (const auto& c : cases) EXPECT_EQ(UniqueOutputName(c.proposed, isTaken), c.expected);
}

// A Chinese character is three bytes: a name near the limit of one name on
// disk (255 bytes) is cut at a character boundary to take its mark or a
// longer extension, and never grows past the limit.
TEST(OutputPaths, LongNamesAreCutAtACharacterToFit) {
    std::string base;
    for (int i = 0; i < 83; ++i) base += "名";  // 249 bytes
    const struct {
        std::string proposed;
        bool taken;
        std::string expected;
    } cases[] = {
        {"/d/" + base + ".mp4", false, "/d/" + base + ".mp4"},
        {"/d/" + base + ".mp4", true, "/d/" + base.substr(0, 81 * 3) + "(New_1).mp4"},
        {"/d/" + base + ".matroska", false, "/d/" + base.substr(0, 82 * 3) + ".matroska"},
        {"/d/" + base + "x.mp4", true, "/d/" + base.substr(0, 81 * 3) + "(New_1).mp4"},
    };
    for (const auto& c : cases) {
        // Only the name without a mark is taken.
        const std::string name = UniqueOutputName(c.proposed, [&](const std::string& n) {
            return c.taken && n.find("(New_") == std::string::npos;
        });
        EXPECT_EQ(name, c.expected) << c.proposed;
        EXPECT_LE(fs::path(name).filename().string().size(), 255u);
        EXPECT_FALSE(NameTooLong(name));
    }
    EXPECT_TRUE(NameTooLong("/d/" + base + "1234567"));
    EXPECT_FALSE(NameTooLong("/" + base + "/" + base));
}

TEST(OutputPaths, DestinationsAreResolvedAndSortedByKind) {
    test::TempDir dir;
    test::WriteFile(dir.File("target.mkv"), "old");
    fs::create_symlink("target.mkv", dir.File("link.mkv"));
    fs::create_symlink("link.mkv", dir.File("chain.mkv"));
    fs::create_symlink(dir.File("gone.mkv"), dir.File("dangling.mkv"));
    fs::create_symlink("loop2.mkv", dir.File("loop.mkv"));
    fs::create_symlink("loop.mkv", dir.File("loop2.mkv"));
    ASSERT_EQ(::mkfifo(dir.File("pipe.ts").c_str(), 0600), 0);
    const struct {
        std::string name;
        OutputDestination::Kind kind;
        std::string path;
    } cases[] = {
        {dir.File("new.mkv"), OutputDestination::kAbsent, dir.File("new.mkv")},
        {dir.File("target.mkv"), OutputDestination::kFile, dir.File("target.mkv")},
        {dir.File("chain.mkv"), OutputDestination::kFile, dir.File("target.mkv")},
        {dir.File("dangling.mkv"), OutputDestination::kAbsent, dir.File("gone.mkv")},
        {dir.File("loop.mkv"), OutputDestination::kFile, dir.File("loop.mkv")},
        {dir.File("pipe.ts"), OutputDestination::kDirect, dir.File("pipe.ts")},
        {"/dev/null", OutputDestination::kDirect, "/dev/null"},
        {dir.Path(), OutputDestination::kDirectory, dir.Path()},
    };
    for (const auto& c : cases) {
        const OutputDestination d = ResolveOutputDestination(c.name);
        EXPECT_EQ(d.kind, c.kind) << c.name;
        EXPECT_EQ(d.path, c.path) << c.name;
        EXPECT_EQ(DestinationRefusal(c.name, d).empty(), c.kind != OutputDestination::kDirectory);
    }
    EXPECT_EQ(DestinationRefusal(dir.Path(), ResolveOutputDestination(dir.Path())),
              dir.Path() + ": is a folder; the output must be a file name");
}

// A folder reached through a link has another parent on disk than in the
// path's text: a relative link inside it points from where it really is.
TEST(OutputPaths, LinksResolveFromWhereTheyAreOnDisk) {
    test::TempDir dir;
    fs::create_directories(dir.File("real/sub"));
    fs::create_directories(dir.File("real/archive"));
    fs::create_directories(dir.File("archive"));
    test::WriteFile(dir.File("real/archive/clip.avi"), "the file the link names");
    test::WriteFile(dir.File("archive/clip.avi"), "unrelated");
    test::WriteFile(dir.File("real/source.mp4"), "a source");
    fs::create_directory_symlink("real/sub", dir.File("outlink"));
    fs::create_symlink("../archive/clip.avi", dir.File("real/sub/clip.avi"));
    fs::create_symlink("../source.mp4", dir.File("real/sub/source.mp4"));
    // A link whose target passes through another link and back up.
    fs::create_symlink("../../outlink/../archive/clip.avi", dir.File("real/sub/twice.avi"));

    for (const char* name : {"outlink/clip.avi", "outlink/twice.avi"}) {
        const OutputDestination d = ResolveOutputDestination(dir.File(name));
        EXPECT_EQ(d.kind, OutputDestination::kFile) << name;
        EXPECT_EQ(d.path, dir.File("real/archive/clip.avi")) << name;
    }
    OutputReservation r;
    r.AddSource(dir.File("real/source.mp4"));
    EXPECT_EQ(r.Reserve(dir.File("outlink/source.mp4"), true),
              dir.File("outlink/source(New_1).mp4"));
}

TEST(OutputPaths, ABatchNeverGivesOutASourceOrAnOutputTwice) {
    test::TempDir dir;
    fs::create_directories(dir.File("a"));
    fs::create_directories(dir.File("b"));
    fs::create_directories(dir.File("out"));
    test::WriteFile(dir.File("a/clip.mp4"), "source a");
    test::WriteFile(dir.File("b/clip.mp4"), "source b");
    test::WriteFile(dir.File("out/old.mp4"), "an earlier output");
    // The output folder reaches folder a through a link.
    fs::create_directory_symlink(dir.File("a"), dir.File("via"));

    for (const bool replace : {false, true}) {
        OutputReservation r;
        r.AddSource(dir.File("a/clip.mp4"));
        r.AddSource(dir.File("b/clip.mp4"));
        EXPECT_EQ(r.Reserve(dir.File("out/clip.mp4"), replace), dir.File("out/clip.mp4"));
        EXPECT_EQ(r.Reserve(dir.File("out/clip.mp4"), replace), dir.File("out/clip(New_1).mp4"));
        // A source, by its own name or through the link, is never written.
        EXPECT_EQ(r.Reserve(dir.File("a/clip.mp4"), replace), dir.File("a/clip(New_1).mp4"));
        EXPECT_EQ(r.Reserve(dir.File("via/clip.mp4"), replace), dir.File("via/clip(New_2).mp4"));
        // Only an existing file that is no source may be replaced, when allowed.
        EXPECT_EQ(r.Reserve(dir.File("out/old.mp4"), replace),
                  replace ? dir.File("out/old.mp4") : dir.File("out/old(New_1).mp4"));
        // Devices are written to as they are.
        EXPECT_EQ(r.Reserve("/dev/null", replace), "/dev/null");
        EXPECT_EQ(r.Reserve("/dev/null", replace), "/dev/null");
    }
}

TEST(OutputPaths, OnlyUnlockedTemporaryFilesAreLeftovers) {
    test::TempDir dir;
    const std::string destination = dir.File("长 名字 clip.mkv");
    UniqueFd held;
    const std::string running = CreateLockedTemporary(destination, held);
    ASSERT_FALSE(running.empty());
    EXPECT_TRUE(IsTemporaryOutputName(fs::path(running).filename()));
    EXPECT_EQ(fs::path(running).parent_path(), dir.Path());

    UniqueFd released;
    const std::string killed = CreateLockedTemporary(destination, released);
    ASSERT_FALSE(killed.empty());
    EXPECT_NE(killed, running);
    released.Reset();  // as when its program ended

    // Names that only look alike are no temporaries of the program.
    for (const char* name : {"clip.zorvex-12345.part", "clip.zorvex-12345g.part",
                             "clip.zorvex-123456.partial", "clip.mkv"}) {
        EXPECT_FALSE(IsTemporaryOutputName(name)) << name;
        test::WriteFile(dir.File(name), "user data");
    }

    EXPECT_EQ(RemoveLeftoverTemporaries(dir.Path()), std::vector<std::string>{killed});
    EXPECT_TRUE(fs::exists(running));
    EXPECT_FALSE(fs::exists(killed));
    held.Reset();
    EXPECT_EQ(RemoveLeftoverTemporaries(dir.Path()), std::vector<std::string>{running});
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 4);
}

// A finished output whose folder was moved during its run stays a temporary
// file in the moved folder: it is no leftover there, only where it was made.
TEST(OutputPaths, ATemporaryIsALeftoverOnlyInTheFolderItWasMadeIn) {
    test::TempDir dir;
    fs::create_directory(dir.File("made"));
    UniqueFd lock;
    const std::string temporary = CreateLockedTemporary(dir.File("made/clip.mkv"), lock);
    ASSERT_FALSE(temporary.empty());
    lock.Reset();
    fs::rename(dir.File("made"), dir.File("moved"));
    const std::string moved = dir.File("moved/") + fs::path(temporary).filename().string();
    EXPECT_TRUE(RemoveLeftoverTemporaries(dir.File("moved")).empty());
    EXPECT_TRUE(fs::exists(moved));
    fs::rename(dir.File("moved"), dir.File("made"));
    EXPECT_EQ(RemoveLeftoverTemporaries(dir.File("made")), std::vector<std::string>{temporary});
}

TEST(OutputPaths, ALongNameKeepsItsTemporaryWithinOneNameComponent) {
    test::TempDir dir;
    std::string name;
    while (name.size() < 250) name += "名";
    UniqueFd lock;
    const std::string temporary = CreateLockedTemporary(dir.File(name + ".mkv"), lock);
    ASSERT_FALSE(temporary.empty()) << std::strerror(errno);
    EXPECT_LE(fs::path(temporary).filename().string().size(), 255u);
    EXPECT_TRUE(IsTemporaryOutputName(fs::path(temporary).filename()));
}

}  // namespace
}  // namespace zorvex
