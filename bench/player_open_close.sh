#!/usr/bin/env bash
# Opens, seeks and closes a file in the player 50 times in a row and reports
# the threads left over and the heap growth (glibc's in-use bytes), then runs
# the same cycle under AddressSanitizer/LeakSanitizer, which fails on any leak.
# Usage: bench/player_open_close.sh [BUILD_DIR] [ASAN_BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/test}
asan=${2:-$root/build/asan}
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

echo "== plain build ($build)"
"$build/tests/media_tests" --gtest_filter='PlayerStress.*' | grep -E "threads|OK|FAILED"

echo "== AddressSanitizer/LeakSanitizer build ($asan)"
if [[ ! -x "$asan/tests/media_tests" ]]; then
    cmake -S "$root" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVEX_ASAN=ON >/dev/null
    cmake --build "$asan" --target media_tests
fi
ASAN_OPTIONS=detect_leaks=1 "$asan/tests/media_tests" --gtest_filter='PlayerStress.*' 2>&1 |
    grep -E "OK|FAILED|LeakSanitizer|SUMMARY" || true
echo "exit status under ASan/LSan: ${PIPESTATUS[0]}"
