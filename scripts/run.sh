#!/usr/bin/env bash
# Installs what building and running the program takes, builds the program
# and its companion tools (zorvex-cli, zorvex-lock) in Release (the preset
# "release": no tests, fuzzers or benchmarks) and starts it with the arguments
# given: scripts/run.sh [--version | --help | FILE|FOLDER...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" run
"$root/scripts/build.sh" release >&2
exec "$root/build/release/app/zorvex" "$@"
