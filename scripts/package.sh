#!/usr/bin/env bash
# Builds the programs and makes the Debian package zorvex_VERSION_ARCH.deb in
# the build folder (CPack; its dependencies are listed in desktop/CMakeLists.txt).
# Usage: scripts/package.sh [BUILD_TYPE] [BUILD_DIR]   (default: Release build/release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
type=${1:-Release}
dir=${2:-$root/build/$(echo "$type" | tr 'A-Z' 'a-z')}
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$type" "$dir" zorvex
cmake --build "$dir" --target zorvex-cli zorvex-lock
cd "$dir"
rm -f zorvex_*.deb
cpack -G DEB >/dev/null
ls "$PWD"/zorvex_*.deb
