#!/usr/bin/env bash
# Screenshots of the main window with a converting queue, in two skins, on a
# virtual X display. Usage: scripts/workbench_shots.sh [OUT_DIR] (default
# build/shots). Needs the packages of scripts/setup.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/shots}
build=$root/build/test
"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target zorvex-workbench-run zorvex_skins
mkdir -p "$out/sources"
for name in 旅行日记 会议记录 海边的风; do
    ffmpeg -y -hide_banner -loglevel error -nostdin \
        -f lavfi -i "testsrc2=size=640x360:rate=25" -f lavfi -i sine -t 90 \
        -c:v mpeg4 -q:v 3 -c:a mp2 "$out/sources/$name.avi"
done
SDL_AUDIODRIVER=dummy xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/app/zorvex-workbench-run" --out "$out/converted" --at-once 2 \
    --shots "$out" --skins skin4,skin15 "$out/sources"/*.avi
