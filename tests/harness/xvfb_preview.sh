#!/usr/bin/env bash
# Plays a file in the preview panel of the program's main window under Xvfb,
# pauses it, takes a screenshot of the screen and a snapshot through the
# panel's button, and compares the two with ffmpeg: PSNR of the picture's area
# on the screen against the snapshot scaled to that area.
# Usage: tests/harness/xvfb_preview.sh BUILD_DIR VIDEO OUT_DIR [harness options]
set -euo pipefail
build=$1 video=$2 out=$3
shift 3
mkdir -p "$out/snaps"
rm -f "$out/snaps"/* "$out/screen.png"
printf '[SnapShot]\nDir=%s\nPicture=PNG\n' "$out/snaps" > "$out/system.ini"
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
log=$(xvfb-run -a -s "-screen 0 1024x768x24" "$build/tests/preview_harness" "$video" \
    --main-window --play --after 2500 --pause --screenshot "$out/screen.png" --snapshot \
    --settings "$out/system.ini" --quit "$@" 2>&1)
echo "$log" | grep -v XDG_RUNTIME_DIR
snapshot=$(ls "$out/snaps"/*.png | head -1)
read -r vx vy vw vh < <(echo "$log" | sed -n 's/.*video panel at \([0-9]*\),\([0-9]*\) size \([0-9]*\)x\([0-9]*\).*/\1 \2 \3 \4/p')
read -r w h < <(ffprobe -v error -select_streams v:0 -show_entries stream=width,height \
    -of csv=p=0:s=x "$video" | tr x ' ')
# The picture's rectangle in the panel, as the player fits it (even sizes, centred).
pw=$(( (vh * w / h) & ~1 )); ph=$vh
if (( pw > vw )); then pw=$vw; ph=$(( (vw * h / w) & ~1 )); fi
px=$(( vx + (vw - pw) / 2 )); py=$(( vy + (vh - ph) / 2 ))
echo "picture on the screen: ${pw}x${ph} at ${px},${py}; snapshot $(basename "$snapshot"): ${w}x${h}"
ffmpeg -v info -i "$out/screen.png" -i "$snapshot" -filter_complex \
    "[0]crop=${pw}:${ph}:${px}:${py},format=rgb24[a];[1]scale=${pw}:${ph}:flags=bicubic,format=rgb24[b];[a][b]psnr" \
    -f null - 2>&1 | grep -o "PSNR.*"
ffmpeg -v error -y -i "$out/screen.png" -i "$snapshot" -filter_complex \
    "[0]crop=${pw}:${ph}:${px}:${py}[a];[1]scale=${pw}:${ph}:flags=bicubic[b];[a][b]hstack" \
    -frames:v 1 "$out/side_by_side.png"
echo "side by side (screen | snapshot): $out/side_by_side.png"
