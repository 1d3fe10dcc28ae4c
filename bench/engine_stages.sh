#!/usr/bin/env bash
# Filter throughput of the engine's stage modules against ffmpeg doing the same
# work on one thread, in processor time (best of three runs each). ffmpeg's
# figure is its run with the filters minus its run without them, so that
# generating the input does not count.
# Usage: bench/engine_stages.sh [BUILD_DIR]   (default build/test, which has the benchmarks)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/test}
cmake --build "$build" --target engine_stages_bench >/dev/null
bench="$build/bench/engine_stages_bench"
frames=1500
seconds=1800

best() {  # the smallest of the numbers on stdin
    sort -g | head -1
}

ffmpeg_cpu() {  # user + system seconds of an ffmpeg run, best of three
    for _ in 1 2 3; do
        TIMEFORMAT='%U %S'
        { time ffmpeg -nostdin -hide_banner -loglevel error -threads 1 -filter_threads 1 \
            "$@" -f null - 2>/dev/null; } 2>&1 | awk '{ print $1 + $2 }'
    done | best
}

ours_cpu() {
    for _ in 1 2 3; do "$bench" "$@"; done | best
}

report() {  # label ours with without
    local theirs
    theirs=$(awk -v a="$3" -v b="$4" 'BEGIN { print a - b }')
    printf '%s: zorvex %.2fs, ffmpeg %.2fs, ratio %.2f\n' "$1" "$2" "$theirs" \
        "$(awk -v a="$2" -v b="$theirs" 'BEGIN { print a / b }')"
}

src=(-f lavfi -i "testsrc2=size=1280x720:rate=25,format=yuv420p" -frames:v $frames -c:v rawvideo)
report "video crop+scale+hflip, $frames frames 1280x720" "$(ours_cpu video $frames)" \
    "$(ffmpeg_cpu "${src[@]}" -vf "crop=1280:704:0:8,scale=640:360:flags=bicubic,hflip")" \
    "$(ffmpeg_cpu "${src[@]}")"

src=(-f lavfi -i "aevalsrc=0.4*sin(2764*t)|0.4*sin(2764*t):s=44100:d=$seconds")
report "audio resample+volume+framing, ${seconds}s stereo" "$(ours_cpu audio $seconds)" \
    "$(ffmpeg_cpu "${src[@]}" -af "aformat=fltp,aresample=48000,volume=2,aformat=s16,asetnsamples=1152" -c:a pcm_s16le)" \
    "$(ffmpeg_cpu "${src[@]}" -af "aformat=fltp" -c:a pcm_f32le)"
