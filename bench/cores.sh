#!/usr/bin/env bash
# Every core at work: wall time against ffmpeg with its default threads on the
# same settings (libx264 2 Mbit/s + AAC 128 kbit/s in MP4), in alternating runs
# (ours first in odd rounds, ffmpeg first in even ones), and the main window's
# longest event-loop gap while it converts with the preview panel showing a
# picture. Figures:
#   (a) one 6 s 1280x720 clip through zorvex-cli transcode        target <= 1.05
#   (b) four such clips through zorvex-cli batch, its defaults     target <= 0.88
#   (c) the four through the real main window, its defaults        target <= 0.88
#   (d) the main window's longest event-loop gap during (c)         target < 50 ms
# ffmpeg converts the four one after another. A ratio is our total wall time
# over ffmpeg's across the rounds. (a) takes about 2.5 s here and one run
# scatters by 15 % either way on this machine, so each round runs it three
# times, to weigh about as much wall time as (b) and (c). Run it under taskset
# to see how the rule follows the cores this process may use:
#   taskset -c 0 bench/cores.sh BUILD_DIR
# Usage: bench/cores.sh [BUILD_DIR]   (default build/test, where the window tool is; builds nothing)
#        ROUNDS=N (default 3) alternating rounds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/test}
rounds=${ROUNDS:-3}
cli="$build/app/zorvex-cli"
window="$build/app/zorvex-workbench-run"
for program in "$cli" "$window"; do
    [[ -x $program ]] || { echo "no $program: build zorvex-cli and zorvex-workbench-run" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sources=()
patterns=(testsrc2 smptehdbars rgbtestsrc mandelbrot)
for i in 0 1 2 3; do
    src="$work/clip_$i.mp4"
    ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "${patterns[$i]}=size=1280x720:rate=25" \
        -f lavfi -i "sine=frequency=$((300 + 100 * i)):sample_rate=44100" -t 6 -ac 2 \
        -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k "$src"
    sources+=("$src")
done

ours_set=(--set vcodec=libx264 --set b=2000000 --set acodec=aac --set ab=128000)
theirs_opts=(-c:v libx264 -b:v 2000k -c:a aac -b:a 128k)

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }
add() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a + b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

fail() { echo "$1" >&2; cat "$2" >&2; exit 1; }

run_a_ours() {
    rm -rf "$work/a" && mkdir -p "$work/a"
    "$cli" transcode --log quiet "${ours_set[@]}" "${sources[0]}" "$work/a/out.mp4" \
        >"$work/a.txt" 2>&1 || fail "transcode failed" "$work/a.txt"
}
run_b_ours() {
    rm -rf "$work/b"
    "$cli" batch --log quiet --out "$work/b" --ext .mp4 "${ours_set[@]}" "${sources[@]}" \
        >"$work/b.txt" 2>/dev/null || true
    [[ $(grep -c '^done ' "$work/b.txt") == 4 ]] || fail "batch failed" "$work/b.txt"
}
run_c_ours() {
    rm -rf "$work/c"
    QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} SDL_AUDIODRIVER=dummy \
        "$window" --out "$work/c" --ext .mp4 "${ours_set[@]}" "${sources[@]}" \
        >"$work/c.txt" 2>&1 || fail "the main window's batch failed" "$work/c.txt"
    grep -q '^preview panel: picture' "$work/c.txt" || fail "no preview picture" "$work/c.txt"
}
run_theirs() {  # first [last]: ffmpeg on sources first..last, one after another
    rm -rf "$work/ff" && mkdir -p "$work/ff"
    for ((k = $1; k <= $2; ++k)); do
        ffmpeg -nostdin -hide_banner -loglevel error -i "${sources[$k]}" "${theirs_opts[@]}" \
            -y "$work/ff/out_$k.mp4"
    done
}

# wall time of one call
timed() {
    local start
    start=$(now)
    "$@"
    elapsed "$start"
}

declare -A ours theirs
for f in a b c; do ours[$f]=0; theirs[$f]=0; done
gap=0
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for ((round = 1; round <= rounds; ++round)); do
    for f in a a a b c; do
        last=3
        [[ $f == a ]] && last=0
        if ((round % 2)); then
            o=$(timed "run_${f}_ours"); t=$(timed run_theirs 0 "$last")
        else
            t=$(timed run_theirs 0 "$last"); o=$(timed "run_${f}_ours")
        fi
        ours[$f]=$(add "${ours[$f]}" "$o")
        theirs[$f]=$(add "${theirs[$f]}" "$t")
        printf 'round %d (%s): zorvex %.2f s, ffmpeg %.2f s\n' "$round" "$f" "$o" "$t"
        if [[ $f == c ]]; then
            g=$(sed -n 's/^longest gap between event-loop turns: \([0-9.]*\) ms.*/\1/p' "$work/c.txt")
            gap=$(awk -v a="$gap" -v b="$g" 'BEGIN { print (b > a) ? b : a }')
        fi
    done
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

batch_line=$(grep '^batch of' "$work/c.txt")
printf '\nfour 6 s 1280x720 H.264+AAC clips -> libx264 2 Mbit/s + AAC 128 kbit/s MP4, %d rounds\n' "$rounds"
printf 'usable cores: %s (of %s); the main window: %s\n' "$(nproc)" "$(nproc --all)" "$batch_line"
printf 'load average before %s, after %s\n' "$load_before" "$load_after"
printf '(a) one clip, zorvex-cli transcode / ffmpeg:            %s (target <= 1.05)\n' \
    "$(ratio "${ours[a]}" "${theirs[a]}")"
printf '(b) four clips, zorvex-cli batch / ffmpeg one by one:   %s (target <= 0.88)\n' \
    "$(ratio "${ours[b]}" "${theirs[b]}")"
printf '(c) four clips, the main window / ffmpeg one by one:    %s (target <= 0.88)\n' \
    "$(ratio "${ours[c]}" "${theirs[c]}")"
printf '(d) the main window'"'"'s longest event-loop gap in (c): %s ms (target < 50)\n' "$gap"
