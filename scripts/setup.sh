#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need.
# Idempotent and quiet: does nothing when everything is already installed.
# Usage: scripts/setup.sh [run|package|all]
#   run:     what building and running the program takes (scripts/run.sh)
#   package: that and what making the Debian package takes (scripts/package.sh)
#   all:     everything, with what the tests, fuzzers and benchmarks take (the default)
set -euo pipefail

profile=${1:-all}
case $profile in
    run | package | all) ;;
    *) echo "usage: scripts/setup.sh [run|package|all]" >&2; exit 2 ;;
esac

packages=(
    # build
    cmake ninja-build g++ pkg-config ccache
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
)
if [[ $profile != run ]]; then
    # the Debian package (dpkg-shlibdeps, file)
    packages+=(dpkg-dev file)
fi
if [[ $profile == all ]]; then
    packages+=(
        # source formatting check
        clang-format
        # fuzz targets (libFuzzer comes with clang's runtime libraries) and their seed script
        clang libclang-rt-14-dev python3
        # the tests
        libgtest-dev libgmock-dev
        # headless windows, screenshots and scripted input in tests
        xvfb xauth xdotool x11-utils
        # test oracle and benchmark baseline
        ffmpeg
        # processor time and peak memory of benchmark runs
        time
        # the desktop services' tests on a private session bus
        dbus-daemon dbus-session-bus-common
        # the Debian package's checks
        desktop-file-utils appstream
    )
fi

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
