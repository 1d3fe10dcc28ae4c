#!/usr/bin/env bash
# Runs every libFuzzer target for SECONDS each, one after another, and prints
# its executions, speed, new coverage units and findings. Exits 1 when any
# target found something (the reproducer is kept under BUILD_DIR/findings).
# Usage: bench/fuzz.sh SECONDS [BUILD_DIR]   (default build/fuzz; builds the targets)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:?usage: bench/fuzz.sh SECONDS [BUILD_DIR]}
build=${2:-$root/build/fuzz}

"$root/scripts/build.sh" fuzz -B "$build" fuzz_targets

# Seeds are made fresh each time; what a run discovers is kept in corpus/ for the next.
rm -rf "$build/seeds"
python3 "$root/fuzz/make_seeds.py" "$build/seeds"
mkdir -p "$build/findings"
scratch=$(mktemp -d "${FUZZ_TMPDIR:-/dev/shm}/zorvex-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# Media seeds are tens of kilobytes; texts stay short.
declare -A max_len=([probe_fuzzer]=65536 [ini_fuzzer]=8192)
targets=(option_text_fuzzer parse_option_fuzzer preset_file_fuzzer ini_fuzzer probe_fuzzer
         format_settings_fuzzer)

printf '%-24s %12s %10s %8s %9s\n' target executions exec/s new findings
total=0
failed=0
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    log="$build/findings/$target.log"
    stamp="$build/findings/.$target.start"
    mkdir -p "$corpus"
    touch "$stamp"
    status=0
    TMPDIR=$scratch ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" \
        UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" QT_QPA_PLATFORM=offscreen \
        "$build/fuzz/$target" "$corpus" "$build/seeds/$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
        -max_len="${max_len[$target]:-4096}" -print_final_stats=1 \
        -artifact_prefix="$build/findings/$target-" >"$log" 2>&1 || status=$?
    runs=$(awk '/stat::number_of_executed_units/ { v = $2 } END { print v }' "$log")
    speed=$(awk '/stat::average_exec_per_sec/ { v = $2 } END { print v }' "$log")
    added=$(awk '/stat::new_units_added/ { v = $2 } END { print v }' "$log")
    findings=$(find "$build/findings" -name "$target-*" -newer "$stamp" | wc -l)
    [[ $status -eq 0 ]] || findings=$((findings > 0 ? findings : 1))
    printf '%-24s %12s %10s %8s %9s\n' "$target" "${runs:-?}" "${speed:-?}" "${added:-?}" "$findings"
    total=$((total + ${runs:-0}))
    if [[ $findings -ne 0 ]]; then
        failed=1
        echo "  $target: see $log" >&2
        grep -m3 -E 'ERROR|runtime error|==[0-9]+==' "$log" | sed 's/^/    /' >&2 || true
    fi
done
printf '%-24s %12s\n' total "$total"
exit "$failed"
