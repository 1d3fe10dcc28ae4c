#!/usr/bin/env bash
# Conformance matrix: real-world source shapes through every catalogue format
# with zorvex-cli convert, each output checked with ffprobe against what the
# format's own tables ask for. One line per failing cell, a total, exit 1 on any
# failure. See bench/format_matrix.py --help for the subset options.
# Usage: bench/format_matrix.sh [BUILD_DIR] [OPTION...]   (default build/release; builds nothing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/release
if [[ $# -gt 0 && $1 != -* ]]; then
    build=$1
    shift
fi
cli="$build/app/zorvex-cli"
[[ -x $cli ]] || { echo "no $cli: build zorvex-cli first" >&2; exit 2; }
for tool in ffmpeg ffprobe python3; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/setup.sh installs it)" >&2; exit 2; }
done
exec python3 "$root/bench/format_matrix.py" --cli "$cli" "$@"
