#include "media/loader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "media/ffapi.h"
#include "media/sdlapi.h"
#include "tests/support/fixtures.h"

namespace zorvex {
namespace {

bool NothingLoaded(const DORudovLoader& loader) {
    for (int i = 0; i < LibraryCount; ++i) {
        if (loader.LibraryLoaded(static_cast<LibraryIndex>(i))) return false;
    }
    return true;
}

std::string MappedFiles() {
    std::ifstream maps("/proc/self/maps");
    std::stringstream s;
    s << maps.rdbuf();
    return s.str();
}

TEST(Loader, FileNamesFollowTheLibraryRows) {
    EXPECT_EQ(LibraryFileName(liAvutil), "libavutil.so." + std::to_string(LIBAVUTIL_VERSION_MAJOR));
    EXPECT_EQ(LibraryFileName(liAvcodec),
              "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR));
    EXPECT_EQ(LibraryFileName(liSwscale),
              "libswscale.so." + std::to_string(LIBSWSCALE_VERSION_MAJOR));
    EXPECT_EQ(LibraryFileName(liSdl), "libSDL2-2.0.so.0");
}

TEST(Loader, ConverterSetLoadsThroughTheSystemSearchAndFillsTheTable) {
    DORudovLoader& loader = Loader();
    EXPECT_TRUE(NothingLoaded(loader));
    EXPECT_EQ(ff::avcodec_open2, nullptr);
    ASSERT_TRUE(loader.LoadLibrarySet(ConverterLibrarySet)) << loader.LastError();
    EXPECT_TRUE(loader.LibrarySetLoaded(ConverterLibrarySet));
    EXPECT_FALSE(loader.LibraryLoaded(liSdl));
    EXPECT_NE(ff::avcodec_open2, nullptr);
    EXPECT_NE(ff::avfilter_graph_alloc, nullptr);
    EXPECT_EQ(sdl::SDL_OpenAudioDevice, nullptr);
    EXPECT_EQ(static_cast<int>(ff::avformat_version() >> 16), LIBAVFORMAT_VERSION_MAJOR);

    loader.UnloadLibrarySet(ConverterLibrarySet);
    EXPECT_TRUE(NothingLoaded(loader));
    EXPECT_EQ(ff::avcodec_open2, nullptr);
}

TEST(Loader, PlayerSetAfterConverterSetLoadsOnlySdl) {
    DORudovLoader& loader = Loader();
    ASSERT_TRUE(loader.LoadLibrarySet(ConverterLibrarySet)) << loader.LastError();
    const auto open2 = ff::avcodec_open2;
    const auto version = ff::avutil_version;
    ASSERT_TRUE(loader.LoadLibrarySet(PlayerLibrarySet)) << loader.LastError();
    EXPECT_EQ(ff::avcodec_open2, open2);  // the same handles and tables, untouched
    EXPECT_EQ(ff::avutil_version, version);
    EXPECT_TRUE(loader.LibrarySetLoaded(PlayerLibrarySet));
    EXPECT_NE(sdl::SDL_OpenAudioDevice, nullptr);
}

TEST(Loader, MissingEntryPointFailsTheWholeSetWithTheLoaderMessage) {
    DORudovLoader& loader = Loader();
    loader.SetLibraryFolder(ZORVEX_STUB_AVFORMAT_DIR);
    EXPECT_FALSE(loader.LoadLibrarySet(ConverterLibrarySet));
    // The first avformat entry point of the list is the one reported missing.
    const std::string file = LibraryFileName(liAvformat);
    const std::string first = EntryPointNames(liAvformat).at(0);
    const std::string expected = "Load function " + first + "@" + file +
                                 " error: " + ZORVEX_STUB_AVFORMAT_DIR + "/" + file +
                                 ": undefined symbol: " + first;
    EXPECT_EQ(loader.LastError(), expected);
    EXPECT_TRUE(NothingLoaded(loader));
    EXPECT_EQ(ff::avutil_version, nullptr);
    EXPECT_EQ(ff::avcodec_open2, nullptr);
}

TEST(Loader, FailedPlayerSetKeepsTheConverterSetLoaded) {
    DORudovLoader& loader = Loader();
    ASSERT_TRUE(loader.LoadLibrarySet(ConverterLibrarySet)) << loader.LastError();
    loader.SetLibraryFolder(ZORVEX_STUB_SDL_DIR);
    EXPECT_FALSE(loader.LoadLibrarySet(PlayerLibrarySet));
    const std::string prefix =
        "Load function " + EntryPointNames(liSdl).at(0) + "@libSDL2-2.0.so.0 error: ";
    EXPECT_EQ(loader.LastError().rfind(prefix, 0), 0u) << loader.LastError();
    EXPECT_FALSE(loader.LibraryLoaded(liSdl));
    EXPECT_TRUE(loader.LibrarySetLoaded(ConverterLibrarySet));  // still usable
    EXPECT_NE(ff::avcodec_open2, nullptr);
}

TEST(Loader, LibraryFromTheFolderIsPreferred) {
    test::TempDir folder;
    const std::string name = LibraryFileName(liAvutil);
    std::filesystem::copy_file("/usr/lib/x86_64-linux-gnu/" + name, folder.File(name));
    DORudovLoader& loader = Loader();
    loader.SetLibraryFolder(folder.Path());  // without a trailing slash
    ASSERT_TRUE(loader.LoadLibrarySet(ConverterLibrarySet)) << loader.LastError();
    EXPECT_NE(MappedFiles().find(folder.File(name)), std::string::npos);
    EXPECT_NE(std::getenv("PATH"), nullptr);  // nothing else of the process changes
}

TEST(Loader, MissingLibraryNamesThePathAndTheSystemText) {
    DORudovLoader loader;  // a loader of its own: the process-wide table stays empty
    test::TempDir folder;
    // A folder that holds a broken file of the right name: the system's text explains.
    test::WriteFile(folder.File(LibraryFileName(liAvutil)), "not a library");
    loader.SetLibraryFolder(folder.Path() + "/");
    EXPECT_FALSE(loader.LoadLibrarySet(ConverterLibrarySet));
    const std::string prefix =
        "Load library " + folder.File(LibraryFileName(liAvutil)) + " error: ";
    EXPECT_EQ(loader.LastError().rfind(prefix, 0), 0u) << loader.LastError();
    EXPECT_GT(loader.LastError().size(), prefix.size());
    EXPECT_TRUE(NothingLoaded(loader));
}

TEST(Loader, EmptySetIsAProgrammingError) {
    EXPECT_THROW(Loader().LoadLibrarySet(0), std::logic_error);
    EXPECT_THROW(Loader().LibrarySetLoaded(0), std::logic_error);
}

}  // namespace
}  // namespace zorvex
