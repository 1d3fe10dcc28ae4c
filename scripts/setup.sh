#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need.
# Idempotent and quiet: does nothing when everything is already installed.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config ccache
    # source formatting check
    clang-format
    # fuzz targets (libFuzzer comes with clang's runtime libraries) and their seed script
    clang libclang-rt-14-dev python3
    libgtest-dev libgmock-dev
    # windows, dialogs, images
    qt6-base-dev libgl-dev
    # Qt's own dialog texts (buttons, file dialog) in Chinese
    qt6-translations-l10n
    # media libraries (headers for types; the program loads the libraries at run time)
    libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev
    libavcodec-extra
    # player sound
    libsdl2-dev
    # Chinese text on screen
    fonts-wqy-microhei
    # headless windows, screenshots and scripted input in tests
    xvfb xauth xdotool x11-utils
    # test oracle and benchmark baseline
    ffmpeg
    # processor time and peak memory of benchmark runs
    time
    # the format conformance matrix (bench/format_matrix.py)
    python3
    # the desktop services' tests on a private session bus
    dbus-daemon dbus-session-bus-common
    # the Debian package (dpkg-shlibdeps, file) and its checks
    dpkg-dev file desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq >/dev/null
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
