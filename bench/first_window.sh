#!/usr/bin/env bash
# The README's first command as a new user meets it: the time from a fresh
# clone of this repository's committed HEAD to the program's main window, with
# scripts/run.sh (its package check, configuration, Release build of the
# programs, the program's start) on an X display of its own; the window is then
# closed. The Debian packages are taken as installed: the first scripts/run.sh
# on a fresh machine adds their installation (scripts/setup.sh run).
# Usage: bench/first_window.sh [--cold]
#   --cold: with an empty compiler cache (the default: the user's ccache, warm
#           when this tree or a neighbour of it was built before)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The program starts with a home of its own (scripts/start_check.sh), and so
# would the compiler cache: the cache is named here.
if [[ ${1:-} == --cold ]]; then
    export CCACHE_DIR=$work/ccache
    cache=cold
else
    CCACHE_DIR=$(ccache -k cache_dir)
    export CCACHE_DIR
    cache=warm
fi
start=$SECONDS
git clone -q "$root" "$work/zorvex"
cloned=$SECONDS
window=$("$work/zorvex/scripts/start_check.sh" --wait 3600 "$work/zorvex/scripts/run.sh" |
    sed -n 's/^main window after \([0-9.]*\) s$/\1/p')
[[ -n $window ]] || { echo "first_window: no main window" >&2; exit 1; }
echo "compiler cache $cache: clone $((cloned - start)) s, scripts/run.sh to the main window $window s" \
    "($(nproc) cores)"
