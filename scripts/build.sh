#!/usr/bin/env bash
# Configures and builds one of the configurations of CMakePresets.json.
# Usage: scripts/build.sh PRESET [-B BUILD_DIR] [-DOPTION=VALUE...] [TARGET...]
#   PRESET:    release, test, tsan, asan or fuzz (build/PRESET unless -B is given)
#   TARGET...: what to build (default: the preset's own targets, else all)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Clones in other folders share cached objects.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
usage() {
    echo "usage: scripts/build.sh PRESET [-B BUILD_DIR] [-DOPTION=VALUE...] [TARGET...]" >&2
    echo "  PRESET: release, test, tsan, asan or fuzz (CMakePresets.json)" >&2
    echo "  e.g. scripts/build.sh tsan media_tests" >&2
}
# An option in the place of the preset would silently become a build tree's name.
preset=${1:-}
if [[ -z $preset || $preset == -* ]]; then
    [[ -z $preset ]] || echo "scripts/build.sh: $preset given where the preset belongs" >&2
    usage
    exit 2
fi
shift
dir=$root/build/$preset
own_dir=0
options=()
targets=()
while (($#)); do
    case $1 in
        -B)
            [[ $# -ge 2 ]] || { usage; exit 2; }
            dir=$2
            own_dir=1
            shift 2
            ;;
        -D*) options+=("$1"); shift ;;
        -*) echo "scripts/build.sh: unknown option $1" >&2; usage; exit 2 ;;
        *) targets+=("$1"); shift ;;
    esac
done
cd "$root"
cmake --preset "$preset" -B "$dir" "${options[@]}" >/dev/null
if [[ ${#targets[@]} -gt 0 ]]; then
    cmake --build "$dir" --target "${targets[@]}" -- -j"$(nproc)"
elif ((own_dir)); then
    cmake --build "$dir" -- -j"$(nproc)"
else
    cmake --build --preset "$preset" -- -j"$(nproc)"
fi
