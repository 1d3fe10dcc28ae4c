#!/usr/bin/env bash
# Plays a file in the preview panel under Xvfb, pauses it, takes a screenshot of
# the screen and a snapshot through the panel's button, and compares the two
# with ffmpeg (PSNR of the panel's picture area against the scaled snapshot).
# Usage: tests/harness/xvfb_preview.sh BUILD_DIR VIDEO OUT_DIR
set -euo pipefail
build=$1 video=$2 out=$3
mkdir -p "$out/snaps"
rm -f "$out/snaps"/* "$out/screen.png"
printf '[SnapShot]\nDir=%s\nPicture=PNG\n' "$out/snaps" > "$out/system.ini"
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
xvfb-run -a -s "-screen 0 800x600x24" "$build/tests/preview_harness" "$video" --play --after 2000 \
    --pause --screenshot "$out/screen.png" --snapshot --settings "$out/system.ini" --quit
snapshot=$(ls "$out/snaps"/*.png | head -1)
read -r w h < <(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$video" | tr x ' ')
# The picture's rectangle in the 313 x 190 panel at the window's origin (0, 0).
pw=$(( (190 * w / h) & ~1 )); ph=190
if (( pw > 313 )); then pw=313; ph=$(( (313 * h / w) & ~1 )); fi
px=$(( (313 - pw) / 2 )); py=$(( (190 - ph) / 2 ))
echo "picture rectangle in the panel: ${pw}x${ph} at ${px},${py}"
ffmpeg -v info -i "$out/screen.png" -i "$snapshot" -filter_complex \
    "[0]crop=${pw}:${ph}:${px}:${py},format=rgb24[a];[1]scale=${pw}:${ph}:flags=bicubic,format=rgb24[b];[a][b]psnr" \
    -f null - 2>&1 | grep -o "PSNR.*"
