#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# What each stage adds to the run (the whole of it must stay well under half
# an hour on two cores), printed on stderr as each ends.
stage_start=$SECONDS
stage_done() {
    echo "test.sh: $1 took $((SECONDS - stage_start)) s" >&2
    stage_start=$SECONDS
}
"$root/scripts/setup.sh"
"$root/scripts/check_format.sh"
stage_done "setup and format check"

# The README's first command, as a new user runs it: scripts/run.sh builds the
# Release programs (and nothing else) and starts the program; --version answers
# without a display. Then the program it built starts on an X display of its
# own, shows its main window and is closed as a user closes it.
version=$(sed -n 's/^project(Zorvex VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
printed=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/scripts/run.sh" --version)
[[ $printed == "Zorvex $version" ]] ||
    { echo "scripts/run.sh --version printed '$printed', not 'Zorvex $version'" >&2; exit 1; }
grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$root/build/release/CMakeCache.txt"
echo "scripts/run.sh built the Release program: $printed"
"$root/scripts/start_check.sh"
stage_done "the run command's Release build and the program's start"

"$root/scripts/build.sh" test
stage_done "the test build"
cd "$root/build/test"
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@"
stage_done "the suite"

# The conformance matrix's fast subset: one real-world source shape per
# conversion rule through zorvex-cli convert, each output checked with ffprobe
# (about a minute; bench/format_matrix.sh without --ci runs the whole matrix).
"$root/bench/format_matrix.sh" "$root/build/test" --ci

# The Debian package as the README's scripts/package.sh makes it (Release, in
# build/release): contents, installation, the installed programs under Xvfb,
# removal.
"$root/scripts/package_check.sh"
stage_done "the package check"

# The threaded parts (batch dispatch, run control, events, the player's threads
# and packet queues) once more under ThreadSanitizer: any data race fails the run.
"$root/scripts/build.sh" tsan media_tests
tsan_tests="$root/build/tsan/tests/media_tests"
filter='Converter*:RunControl*:Logger.Threads*:Preview*:Player*:PacketQueue*'
# Each test in a process of its own, as ctest runs them.
"$tsan_tests" --gtest_list_tests --gtest_filter="$filter" |
    awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }' |
    while read -r test; do
        TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/scripts/tsan.supp" \
            "$tsan_tests" --gtest_brief=1 --gtest_filter="$test" >/dev/null ||
            { echo "ThreadSanitizer run failed: $test" >&2; exit 1; }
    done
echo "ThreadSanitizer: no data race in the threaded tests"
stage_done "the ThreadSanitizer build and run"

# The whole suite once more under AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer: a memory error, a leak or undefined behaviour in
# any test (or in a program a test starts) fails the run.
"$root/scripts/build.sh" asan
(
    cd "$root/build/asan"
    export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=0"
    export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
    ctest --output-on-failure -j2 --timeout 600 "$@"
)
echo "AddressSanitizer and UndefinedBehaviorSanitizer: the whole suite is clean"
stage_done "the AddressSanitizer and UndefinedBehaviorSanitizer build and run"

# Every fuzz target for 20 seconds; a crash, a leak, a hang or undefined
# behaviour on any input fails the run.
"$root/bench/fuzz.sh" 20
stage_done "the fuzz targets"
