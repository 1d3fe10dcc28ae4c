#!/usr/bin/env bash
# Installs what is missing, builds in Release and starts the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" Release "$root/build/release"
exec "$root/build/release/app/zorvex" "$@"
