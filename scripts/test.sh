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
"$root/scripts/build.sh" RelWithDebInfo "$root/build/test"
stage_done "setup, format check and build"
cd "$root/build/test"
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@"
stage_done "the suite"

# The conformance matrix's fast subset: one real-world source shape per
# conversion rule through zorvex-cli convert, each output checked with ffprobe
# (about a minute; bench/format_matrix.sh without --ci runs the whole matrix).
"$root/bench/format_matrix.sh" "$root/build/test" --ci

# The Debian package of this tree: contents, installation, the installed
# programs under Xvfb, removal.
"$root/scripts/package_check.sh" RelWithDebInfo "$root/build/test"
stage_done "the package check"

# The threaded parts (batch dispatch, run control, events, the player's threads
# and packet queues) once more under ThreadSanitizer: any data race fails the run.
"$root/scripts/build.sh" RelWithDebInfo "$root/build/tsan" -DZORVEX_TSAN=ON media_tests
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

# Handlers that free their own component, and the batch's stop and clear from
# inside handlers, once more under AddressSanitizer: a thread that touches a
# freed component fails the run.
"$root/scripts/build.sh" RelWithDebInfo "$root/build/asan" -DZORVEX_ASAN=ON media_tests
ASAN_OPTIONS="halt_on_error=1 detect_leaks=0" "$root/build/asan/tests/media_tests" --gtest_brief=1 \
    --gtest_filter='ConverterBatchTest.AHandlerMay*:ConverterBatchTest.Destroyed*:Player.AHandlerMay*' >/dev/null ||
    { echo "AddressSanitizer run failed" >&2; exit 1; }
echo "AddressSanitizer: no use of a freed component"
stage_done "the AddressSanitizer handler tests"
