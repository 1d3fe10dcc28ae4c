#!/usr/bin/env bash
# Renders the hand-drawn program icon (desktop/icons/org.example.zorvex.svg)
# into the committed PNGs of desktop/icons/hicolor/ with rsvg-convert (Debian
# package librsvg2-bin). Run after changing the SVG; the build only installs
# the files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
svg=$root/desktop/icons/org.example.zorvex.svg
for size in 16 22 24 32 48 64 128 256; do
    out=$root/desktop/icons/hicolor/${size}x${size}/apps
    mkdir -p "$out"
    rsvg-convert --width "$size" --height "$size" "$svg" -o "$out/org.example.zorvex.png"
done
