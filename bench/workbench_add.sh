#!/usr/bin/env bash
# The main window's responsiveness while files are added: 300 short generated
# files are dropped onto the real main window, and the longest gap between two
# turns of the Qt event loop from the drop until all are queued and the row the
# add selects shows its picture in the preview panel is printed (target: under
# 50 ms). Usage: bench/workbench_add.sh [BUILD_DIR] [COUNT]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/test}
count=${2:-300}
[[ -x "$build/app/zorvex-workbench-run" ]] || cmake --build "$build" --target zorvex-workbench-run
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# One short file, copied: every copy is still opened and analysed on its own.
ffmpeg -y -hide_banner -loglevel error -nostdin \
    -f lavfi -i "testsrc2=size=320x180:rate=25" -f lavfi -i "sine=frequency=440" \
    -t 1 -c:v mpeg4 -q:v 5 -c:a mp2 "$work/source.avi"
mkdir "$work/in"
for ((i = 1; i <= count; i++)); do cp "$work/source.avi" "$(printf '%s/in/clip_%03d.avi' "$work" "$i")"; done
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} SDL_AUDIODRIVER=dummy \
    "$build/app/zorvex-workbench-run" --out "$work/out" --add-only "$work"/in/clip_*.avi |
    tee "$work/report.txt"
gap=$(sed -n 's/^longest gap between event-loop turns while adding: \([0-9.]*\) ms.*/\1/p' \
    "$work/report.txt")
echo "target: under 50 ms; measured: ${gap} ms"
