#!/usr/bin/env bash
# Pictures of the format chooser and the settings window on a real X server
# (Xvfb): chooser.png, chooser_audio.png and settings.png in the given folder.
# Usage: scripts/format_windows_screenshots.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/test}
out=$(mkdir -p "${2:-$build/screenshots}" && cd "${2:-$build/screenshots}" && pwd)
cmake --build "$build" --target app_tests >/dev/null
xvfb-run -a -s "-screen 0 1280x1024x24" \
    env QT_QPA_PLATFORM=xcb ZORVEX_SCREENSHOT_DIR="$out" \
    "$build/tests/app_tests" --gtest_filter='FormatWindowsScreenshot.*'
ls "$out"/*.png
