#!/usr/bin/env bash
# Starts the program on an X display of its own (Xvfb) with a fresh home and
# configuration, waits for its main window, closes it as a window manager's
# close button does, and checks that the program then ends with status 0.
# Prints the seconds from the start to the main window.
# Usage: scripts/start_check.sh [--wait SECONDS] [--shot PNG] [COMMAND [ARG...]]
#   COMMAND: the program (default build/release/app/zorvex, what scripts/run.sh
#            builds), or a command that ends by running it, such as scripts/run.sh
#   --wait:  how long the main window may take (default 60 s)
#   --shot:  a screenshot of the main window into PNG
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [[ -z ${ZORVEX_START_CHECK_DISPLAY:-} ]]; then
    exec "$root/tests/support/own_display.sh" env ZORVEX_START_CHECK_DISPLAY=1 "$0" "$@"
fi
wait_seconds=60
shot=
while [[ ${1:-} == --* ]]; do
    case $1 in
        --wait) wait_seconds=$2; shift 2 ;;
        --shot) shot=$2; shift 2 ;;
        *) echo "usage: scripts/start_check.sh [--wait SECONDS] [--shot PNG] [COMMAND [ARG...]]" >&2
           exit 2 ;;
    esac
done
(($#)) || set -- "$root/build/release/app/zorvex"
fail() { echo "start check: $*" >&2; exit 1; }

work=$(mktemp -d)
program=
cleanup() {
    [[ -z $program ]] || kill "$program" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/home" "$work/config" "$work/run"
chmod 700 "$work/run"
start=$(date +%s.%N)
HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run \
    SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb "$@" >"$work/program.log" 2>&1 &
program=$!
show_log() { echo "--- what the program printed:" >&2; tail -40 "$work/program.log" >&2; }

window=
deadline=$((SECONDS + wait_seconds))
while ((SECONDS < deadline)); do
    window=$(xdotool search --onlyvisible --name '^Zorvex$' 2>/dev/null | head -1) || true
    [[ -n $window ]] && break
    kill -0 "$program" 2>/dev/null || { show_log; fail "the program ended before its main window showed"; }
    sleep 0.1
done
[[ -n $window ]] || { show_log; fail "no main window in $wait_seconds s"; }
shown=$(date +%s.%N)
echo "main window after $(awk -v a="$start" -v b="$shown" 'BEGIN { printf "%.1f", b - a }') s"
if [[ -n $shot ]]; then
    sleep 1  # the first paint
    ffmpeg -y -hide_banner -loglevel error -f x11grab -i "$DISPLAY" -frames:v 1 "$shot" ||
        fail "no screenshot"
fi

python3 "$root/scripts/close_window.py" "$window"
for _ in $(seq 1 200); do
    kill -0 "$program" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$program" 2>/dev/null && { show_log; fail "the program did not end 20 s after its window was closed"; }
set +e
wait "$program"
status=$?
set -e
program=
((status == 0)) || { show_log; fail "the program ended with status $status after its window was closed"; }
echo "closed, status 0"
