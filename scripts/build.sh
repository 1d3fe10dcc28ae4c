#!/usr/bin/env bash
# Configures and builds the project.
# Usage: scripts/build.sh [BUILD_TYPE] [BUILD_DIR] [CMAKE_OPTION...] [TARGET]
# A last argument that does not start with -D names the one target to build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Clones in other folders share cached objects.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
type=${1:-Release}
dir=${2:-$root/build/$(echo "$type" | tr 'A-Z' 'a-z')}
shift $(( $# < 2 ? $# : 2 ))
options=()
target=()
for arg in "$@"; do
    if [[ $arg == -D* ]]; then options+=("$arg"); else target=(--target "$arg"); fi
done
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "${options[@]}" >/dev/null
cmake --build "$dir" "${target[@]}" -- -j"$(nproc)"
