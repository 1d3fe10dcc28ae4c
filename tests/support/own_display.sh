#!/usr/bin/env bash
# Runs a command on an X display of its own and exits with its status.
# Usage: own_display.sh [-e XVFB_LOG] COMMAND [ARG...]
#
# Xvfb chooses a free display number itself (-displayfd) and names it only
# once it accepts connections, and the server is waited for before this script
# ends. xvfb-run -a chooses a number by looking for lock files and does not
# wait for the server it kills; on a busy machine a program started through it
# now and then could not connect to its display ("could not connect to
# display :99").
set -euo pipefail
log=/dev/null
if [[ ${1:-} == -e ]]; then
    log=$2
    shift 2
fi
(($#)) || { echo "usage: own_display.sh [-e XVFB_LOG] COMMAND [ARG...]" >&2; exit 2; }
work=$(mktemp -d)
xvfb=
cleanup() {
    if [[ -n $xvfb ]]; then
        kill "$xvfb" 2>/dev/null || true
        wait "$xvfb" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >>"$log" 2>&1 &
xvfb=$!
for _ in $(seq 1 300); do
    [[ -s $work/display ]] && break
    kill -0 "$xvfb" 2>/dev/null || { echo "own_display.sh: Xvfb failed to start" >&2; exit 1; }
    sleep 0.1
done
display=$(tr -d '[:space:]' <"$work/display")
[[ -n $display ]] || { echo "own_display.sh: Xvfb named no display in 30 s" >&2; exit 1; }
unset XAUTHORITY
set +e
DISPLAY=:$display "$@"
status=$?
set -e
exit $status
