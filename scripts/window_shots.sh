#!/usr/bin/env bash
# Screenshots of the media information, password, online update, format
# chooser and settings windows on a virtual X display.
# Usage: scripts/window_shots.sh [OUT_DIR] (default build/shots). Needs the
# packages of scripts/setup.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/shots}
build=$root/build/test
"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target zorvex-window-shots
mkdir -p "$out"
media=$out/sample.mp4
ffmpeg -y -hide_banner -loglevel error -nostdin \
    -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=sample_rate=44100 -t 3 \
    -c:v mpeg4 -b:v 400k -c:a aac -ac 2 -b:a 128k "$media"
xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/tools/zorvex-window-shots" "$out" "$media"
