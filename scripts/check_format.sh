#!/usr/bin/env bash
# Fails when a C or C++ source differs from the root .clang-format style.
# With --fix, rewrites the files that differ instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
if [[ ${1:-} == --fix ]]; then
    clang-format -i "${files[@]}"
    exit 0
fi
bad=()
for f in "${files[@]}"; do
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [[ ${#bad[@]} -gt 0 ]]; then
    echo "Not formatted with .clang-format (run scripts/check_format.sh --fix):" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
