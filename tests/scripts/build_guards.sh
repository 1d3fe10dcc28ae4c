#!/usr/bin/env bash
# The build's refusals: an option where scripts/build.sh wants the preset, and
# two sanitizers that cannot share a program. Each must stop at once with a
# message that says what is wrong, and leave no build tree behind.
# Usage: build_guards.sh SOURCE_DIR
set -uo pipefail
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

out=$(cd "$work" && "$root/scripts/build.sh" -DZORVEX_TSAN=ON 2>&1)
[[ $? -eq 2 ]] || fail "build.sh with an option as the preset did not exit 2"
[[ $out == *"given where the preset belongs"* && $out == *usage:* ]] ||
    fail "build.sh gave no usage message: $out"
[[ ! -e "$root/build/-DZORVEX_TSAN=ON" ]] || fail "build.sh made a build tree named after the option"
out=$("$root/scripts/build.sh" 2>&1)
[[ $? -eq 2 && $out == *usage:* ]] || fail "build.sh without a preset gave no usage: $out"
out=$("$root/scripts/build.sh" no-such-preset -B "$work/none" 2>&1)
[[ $? -ne 0 && $out == *no-such-preset* ]] || fail "build.sh took an unknown preset: $out"
[[ ! -e "$work/none" ]] || fail "build.sh made a build tree for an unknown preset"

out=$(cmake -S "$root" -B "$work/both" -DZORVEX_TSAN=ON -DZORVEX_ASAN=ON 2>&1)
[[ $? -ne 0 ]] || fail "configuring with ThreadSanitizer and AddressSanitizer succeeded"
[[ $out == *"ZORVEX_TSAN and ZORVEX_ASAN cannot be combined"* ]] ||
    fail "no clear message for the sanitizer pair: $out"
exit $status
