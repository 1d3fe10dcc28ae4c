// Opening, seeking and closing many times in a row leaves no threads behind
// and does not grow the heap.
#include <dirent.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include "tests/media/player/player_support.h"

namespace zorvex {
namespace {

int ThreadCount() {
    int n = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir)) n += entry->d_name[0] != '.' ? 1 : 0;
        closedir(dir);
    }
    return n;
}

size_t HeapInUse() {
    return mallinfo2().uordblks;
}

TEST(PlayerStress, OpenSeekCloseFiftyTimes) {
    test::LoadPlayerLibrariesOrFail();
    const std::string file = test::VideoWithSound();
    TMemoryDisplaySurface panel(313, 190);
    TDIZuvore player;
    auto cycle = [&](int i) {
        ASSERT_TRUE(player.Open(file, &panel, i % 2 == 0)) << player.LastError();
        player.Seek(0, true, (i % 5) * 300000);
        player.Close(true);
    };
    for (int i = 0; i < 5; ++i) cycle(i);  // warm up caches and pools
    const int threads = ThreadCount();
    const size_t heap = HeapInUse();
    for (int i = 0; i < 50; ++i) cycle(i);
    EXPECT_EQ(ThreadCount(), threads);
    const long long growth = static_cast<long long>(HeapInUse()) - static_cast<long long>(heap);
    std::printf("threads %d, heap growth over 50 cycles: %lld bytes\n", ThreadCount(), growth);
    EXPECT_LT(growth, 1 << 20);
}

}  // namespace
}  // namespace zorvex
