#!/usr/bin/env bash
# zorvex-cli transcode against ffmpeg on the same jobs with the same codec
# settings, one thread each: processor time (user + system, best of three) and
# peak memory (maximum resident size), with our figure as a ratio of ffmpeg's.
# Targets: processor time within 3 % of ffmpeg's, peak memory at most 1.2 times.
# Usage: bench/transcode.sh [BUILD_DIR]   (default build/release; builds nothing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
cli="$build/app/zorvex-cli"
[[ -x $cli ]] || { echo "no $cli: build zorvex-cli first" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is missing (scripts/setup.sh installs it)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
input="$work/input.mp4"
# 60 s of 640x360 H.264 and AAC: decoding, scaling-free filtering, encoding and muxing.
ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "testsrc2=size=640x360:rate=25" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100" -t 60 -ac 2 \
    -c:v libx264 -preset fast -pix_fmt yuv420p -c:a aac -b:a 128k "$input"

measure() {  # prints "cpu_seconds peak_kb" of the best of three runs of the command
    local best_cpu="" best_mem=""
    for _ in 1 2 3; do
        rm -f "$work"/out.*
        /usr/bin/time -f "%U %S %M" -o "$work/time.txt" "$@" >/dev/null 2>&1
        read -r user system mem < "$work/time.txt"
        cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')
        if [[ -z $best_cpu ]] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then
            best_cpu=$cpu
        fi
        if [[ -z $best_mem ]] || (( mem < best_mem )); then best_mem=$mem; fi
    done
    echo "$best_cpu $best_mem"
}

job() {  # label extension "our --set options" -- ffmpeg output options
    local label=$1 ext=$2 ours=() theirs=()
    shift 2
    while [[ $1 != -- ]]; do ours+=(--set "$1"); shift; done
    shift
    theirs=("$@")
    read -r our_cpu our_mem < <(measure "$cli" transcode --log quiet "${ours[@]}" "$input" "$work/out.$ext")
    local our_size
    "$cli" transcode --log quiet "${ours[@]}" "$input" "$work/ours.$ext" >/dev/null 2>&1
    our_size=$(stat -c %s "$work/ours.$ext")
    read -r ff_cpu ff_mem < <(measure ffmpeg -nostdin -hide_banner -loglevel error -threads 1 \
        -filter_threads 1 -i "$input" -threads 1 "${theirs[@]}" -y "$work/out.$ext")
    ffmpeg -nostdin -hide_banner -loglevel error -threads 1 -filter_threads 1 -i "$input" \
        -threads 1 "${theirs[@]}" -y "$work/theirs.$ext"
    local ff_size
    ff_size=$(stat -c %s "$work/theirs.$ext")
    printf '%s\n  cpu: zorvex %.2fs  ffmpeg %.2fs  ratio %.3f\n  peak memory: zorvex %d KB  ffmpeg %d KB  ratio %.2f\n  output size: zorvex %d  ffmpeg %d\n' \
        "$label" "$our_cpu" "$ff_cpu" "$(awk -v a="$our_cpu" -v b="$ff_cpu" 'BEGIN { print a / b }')" \
        "$our_mem" "$ff_mem" "$(awk -v a="$our_mem" -v b="$ff_mem" 'BEGIN { print a / b }')" \
        "$our_size" "$ff_size"
}

job "mpeg4 1 Mbit/s + mp3 128 kbit/s in AVI, 60 s 640x360" avi \
    vcodec=mpeg4 b=1000000 acodec=libmp3lame ab=128000 -- \
    -c:v mpeg4 -b:v 1000k -c:a libmp3lame -b:a 128k
job "stream copy into Matroska, 60 s" mkv \
    vcodec=copy acodec=copy -- \
    -c copy
