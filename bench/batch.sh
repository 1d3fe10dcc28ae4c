#!/usr/bin/env bash
# A batch of four 720p clips: zorvex-cli batch --jobs 2 against ffmpeg
# converting the same four one after another with its default threads, same
# codec settings. Prints both wall times and their ratio (target: at most 1.0).
# Usage: bench/batch.sh [BUILD_DIR]   (default build/release; builds nothing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
cli="$build/app/zorvex-cli"
[[ -x $cli ]] || { echo "no $cli: build zorvex-cli first" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Four different 10 s clips of 1280x720 H.264 with AAC sound.
sources=()
patterns=(testsrc2 smptehdbars rgbtestsrc mandelbrot)
for i in 0 1 2 3; do
    src="$work/clip_$i.mp4"
    ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "${patterns[$i]}=size=1280x720:rate=25" \
        -f lavfi -i "sine=frequency=$((300 + 100 * i)):sample_rate=44100" -t 10 -ac 2 \
        -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k "$src"
    sources+=("$src")
done

now() { date +%s.%N; }

# MPEG-4 video at 3 Mbit/s and MP2 sound at 192 kbit/s in AVI.
start=$(now)
"$cli" batch --jobs 2 --log quiet --out "$work/ours" --ext .avi \
    --set vcodec=mpeg4 --set b=3000000 --set acodec=mp2 --set ab=192000 "${sources[@]}" \
    >"$work/ours.txt" 2>/dev/null
ours=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')
[[ $(grep -c '^done ' "$work/ours.txt") == 4 ]] || { cat "$work/ours.txt"; exit 1; }

mkdir -p "$work/theirs"
start=$(now)
for src in "${sources[@]}"; do
    name=$(basename "$src" .mp4)
    ffmpeg -nostdin -hide_banner -loglevel error -i "$src" -c:v mpeg4 -b:v 3000k \
        -c:a mp2 -b:a 192k -y "$work/theirs/$name.avi"
done
theirs=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')

sizes_ours=$(du -sb "$work/ours" | cut -f1)
sizes_theirs=$(du -sb "$work/theirs" | cut -f1)
printf 'four 10 s 1280x720 H.264+AAC clips -> MPEG-4 3 Mbit/s + MP2 192 kbit/s AVI\n'
printf '  zorvex-cli batch --jobs 2: %.2f s (%d bytes)\n' "$ours" "$sizes_ours"
printf '  ffmpeg, one after another: %.2f s (%d bytes)\n' "$theirs" "$sizes_theirs"
printf '  wall time ratio: %.3f (target <= 1.0)\n' "$(awk -v a="$ours" -v b="$theirs" 'BEGIN { print a / b }')"
