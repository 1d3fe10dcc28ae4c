// When an input that was read to its end counts as not whole.
#include "media/engine/input_integrity.h"

#include <gtest/gtest.h>

namespace zorvex {
namespace {

TEST(InputIntegrity, ReasonsForAnInputThatWasNotWhole) {
    struct Case {
        const char* what;
        InputEndFacts facts;
        const char* reason;  // "" when whole
    };
    constexpr std::int64_t s = 1'000'000;
    const Case cases[] = {
        {"whole", {100, 100, 7, 7, 14 * s, 14 * s}, ""},
        {"ends a frame short", {100, 100, 7, 7, 14 * s, 14 * s - 40'000}, ""},
        {"ends 2 s short: rounding and streams ending apart", {100, 100, 7, 7, 14 * s, 12 * s}, ""},
        {"cut off",
         {100, 100, 7, 7, 14 * s, 5'500'000},
         "it ends at 5.5 s of the 14.0 s it states"},
        {"nothing read", {100, 100, 7, 7, 14 * s, -1}, "it ends at 0.0 s of the 14.0 s it states"},
        // A long film may end a minute short of a rounded length; ten are a cut.
        {"2 h ends 1 min short", {-1, -1, 0, 0, 7200 * s, 7140 * s}, ""},
        {"2 h ends 10 min short",
         {-1, -1, 0, 0, 7200 * s, 6600 * s},
         "it ends at 6600.0 s of the 7200.0 s it states"},
        {"no stated length", {-1, -1, 0, 0, -1, 3 * s}, ""},
        {"shrank",
         {900, 300, 7, 8, 14 * s, 14 * s},
         "its size changed from 900 to 300 bytes while it was read"},
        {"grew (still being written)",
         {300, 900, 7, 8, -1, 5 * s},
         "its size changed from 300 to 900 bytes while it was read"},
        {"rewritten in place",
         {300, 300, 7, 8, 14 * s, 14 * s},
         "it was modified while it was read"},
        {"not a regular file", {-1, -1, 0, 5, -1, 5 * s}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IncompleteInputReason(c.facts), c.reason) << c.what;
    }
    EXPECT_EQ(IncompleteSourceText("片名.mkv", "it ends at 5.5 s of the 14.0 s it states"),
              "片名.mkv: 源文件不完整或在转换时被改动 (it ends at 5.5 s of the 14.0 s it states)");
}

}  // namespace
}  // namespace zorvex
