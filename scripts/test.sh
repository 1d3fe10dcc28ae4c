#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" RelWithDebInfo "$root/build/test"
cd "$root/build/test"
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@"
