#!/usr/bin/env bash
# The main window's responsiveness while four files convert at once: the
# longest gap between two turns of the Qt event loop during the batch (target:
# under 50 ms). Usage: bench/workbench_responsiveness.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/test}
[[ -x "$build/app/zorvex-workbench-run" ]] || cmake --build "$build" --target zorvex-workbench-run
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for i in 1 2 3 4; do
    ffmpeg -y -hide_banner -loglevel error -nostdin \
        -f lavfi -i "testsrc2=size=640x360:rate=25" -f lavfi -i "sine=frequency=$((200 * i))" \
        -t 20 -c:v mpeg4 -q:v 3 -c:a mp2 "$work/source_$i.avi"
done
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} SDL_AUDIODRIVER=dummy \
    "$build/app/zorvex-workbench-run" --out "$work/out" --at-once 4 "$work"/source_*.avi |
    tee "$work/report.txt"
gap=$(sed -n 's/^longest gap between event-loop turns: \([0-9.]*\) ms.*/\1/p' "$work/report.txt")
echo "target: under 50 ms; measured: ${gap} ms"
