#!/usr/bin/env bash
# Configures and builds the project.
# Usage: scripts/build.sh [BUILD_TYPE] [BUILD_DIR] [CMAKE_OPTION...] [TARGET]
# A last argument that does not start with -D names the one target to build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Clones in other folders share cached objects.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
usage() {
    echo "usage: scripts/build.sh [BUILD_TYPE] [BUILD_DIR] [-DOPTION=VALUE...] [TARGET]" >&2
    echo "  BUILD_TYPE: Release, RelWithDebInfo, Debug or MinSizeRel (default Release)" >&2
    echo "  BUILD_DIR:  the build tree (default build/<build type in lower case>)" >&2
    echo "  Options come after the build type and the build dir, e.g." >&2
    echo "  scripts/build.sh RelWithDebInfo build/tsan -DZORVEX_TSAN=ON media_tests" >&2
}
# An option in the place of the build type or dir would silently become one.
for arg in "${@:1:2}"; do
    if [[ $arg == -* ]]; then
        echo "scripts/build.sh: $arg given where the build type or build dir belongs" >&2
        usage
        exit 2
    fi
done
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
