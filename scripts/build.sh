#!/usr/bin/env bash
# Configures and builds the project. Usage: scripts/build.sh [BUILD_TYPE] [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
type=${1:-Release}
dir=${2:-$root/build/$(echo "$type" | tr 'A-Z' 'a-z')}
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" >/dev/null
cmake --build "$dir" -- -j"$(nproc)"
