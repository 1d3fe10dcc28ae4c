#!/usr/bin/env bash
# Builds the programs as scripts/run.sh does (the preset "release") and makes
# the Debian package zorvex_VERSION_ARCH.deb in the build folder (CPack; its
# dependencies are listed in desktop/CMakeLists.txt). Prints the package's path.
# Usage: scripts/package.sh [PRESET]   (default release: build/release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-release}
dir=$root/build/$preset
"$root/scripts/setup.sh" package
"$root/scripts/build.sh" "$preset" zorvex zorvex-cli zorvex-lock >&2
cd "$dir"
rm -f zorvex_*.deb
cpack -G DEB >/dev/null
ls "$PWD"/zorvex_*.deb
