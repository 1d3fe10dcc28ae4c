#!/usr/bin/env bash
# Replays what adversarial trials did to zorvex-cli: outputs reached through
# links, files appearing at the output name during a run, the output folder
# moved away, private files replaced, sources truncated or shrinking, names
# near 255 bytes, link loops, a disk that fills up, and stop signals at random
# moments. Each scenario runs ROUNDS times; every run counts
#   lost:  a file that was there before (not one the run was told to replace)
#          changed, vanished or lost its mode;
#   false: a success reported where there was none (exit 0 or a "done" line
#          while the file it names is missing, is not the conversion, or is
#          not as long as its source).
# Prints a line per scenario and the totals; exits 1 when either total is not 0.
# Usage: bench/nothing_lost.sh [BUILD_DIR] [ROUNDS]   (default build/test, 3)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/test}
rounds=${2:-3}
cli=$build/app/zorvex-cli
[[ -x $cli ]] || { echo "no $cli: build zorvex-cli first" >&2; exit 2; }
work=$(mktemp -d)
tmpfs=
cleanup() {
    [[ -z $tmpfs ]] || umount "$tmpfs" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

gen() {  # gen FILE SECONDS SIZE [EXTRA...]: a clip with picture and sound
    local file=$1 seconds=$2 size=$3
    shift 3
    ffmpeg -y -hide_banner -loglevel error -nostdin -f lavfi -i "testsrc2=size=$size:rate=25" \
        -f lavfi -i "sine=frequency=440:sample_rate=44100" -t "$seconds" "$@" "$file"
}
echo "making the sources..." >&2
gen "$work/short.avi" 4 320x240 -c:v mpeg4 -c:a mp2
gen "$work/long.avi" 40 640x360 -c:v mpeg4 -q:v 3 -c:a mp2
gen "$work/full.mp4" 14 320x240 -c:v libx264 -preset ultrafast -c:a aac -movflags +faststart
gen "$work/full.mkv" 14 320x240 -c:v libx264 -preset ultrafast -c:a aac
head -c $(($(stat -c %s "$work/full.mp4") * 4 / 10)) "$work/full.mp4" >"$work/cut.mp4"
head -c $(($(stat -c %s "$work/full.mkv") * 4 / 10)) "$work/full.mkv" >"$work/cut.mkv"
# A slow conversion, so that things can happen while it runs.
slow=(--set vcodec=libx264 --set preset=slower --set threads=1 --set acodec=mp2)

duration() {
    ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$1" 2>/dev/null
}
# as_long OUTPUT SOURCE: the output plays as long as the source (within 0.5 s)
as_long() {
    local a b
    a=$(duration "$1") && b=$(duration "$2") && [[ -n $a && -n $b ]] &&
        awk -v a="$a" -v b="$b" 'BEGIN { exit !(a > b - 0.5 && a < b + 0.5) }'
}
fingerprint() { [[ -e $1 || -L $1 ]] && stat -c '%a %s %Y' "$1" && md5sum <"$1" 2>/dev/null; }
wait_started() {  # until FILE's folder holds a temporary or DEADLINE seconds pass
    local folder=$1
    for _ in $(seq 1 100); do
        compgen -G "$folder/*.part" >/dev/null && return 0
        sleep 0.05
    done
    return 0
}
# done_names LOG: the files the "done" lines name
done_names() { sed -n 's/^done //p' "$1"; }

lost=0 false=0
report() {  # scenario runs lost false
    printf '%-34s %5d %6d %7d\n' "$1" "$2" "$3" "$4"
    total_runs=$((total_runs + $2))
    lost=$((lost + $3))
    false=$((false + $4))
}
total_runs=0

# Each scenario function runs once in a fresh folder $d and sets L (lost) and F
# (false successes) for that run.

scenario_link_through_linked_folder() {
    # out -> real/sub; real/sub/short.avi -> ../archive/short.avi (real/archive).
    mkdir -p "$d/real/sub" "$d/real/archive" "$d/archive"
    echo "unrelated" >"$d/archive/short.avi"
    echo "link target" >"$d/real/archive/short.avi"
    ln -s ../archive/short.avi "$d/real/sub/short.avi"
    ln -s real/sub "$d/out"
    cp "$work/short.avi" "$d/src.avi"
    local before
    before=$(fingerprint "$d/archive/short.avi")
    cp "$work/short.avi" "$d/short.mp4"
    "$cli" batch --out "$d/out" --ext .avi "$d/short.mp4" >"$d/log" 2>&1
    [[ $(fingerprint "$d/archive/short.avi") == "$before" ]] || L=$((L + 1))
    # The link's real target is what a replacement must reach.
    if grep -q '^done' "$d/log"; then
        as_long "$d/real/archive/short.avi" "$work/short.avi" || F=$((F + 1))
    fi
}

scenario_link_onto_the_source() {
    # out -> real/sub; real/sub/clip.avi -> ../clip.avi, which is the source.
    mkdir -p "$d/real/sub"
    cp "$work/short.avi" "$d/real/clip.avi"
    echo "unrelated" >"$d/clip.avi"
    ln -s ../clip.avi "$d/real/sub/clip.avi"
    ln -s real/sub "$d/out"
    local source other
    source=$(fingerprint "$d/real/clip.avi")
    other=$(fingerprint "$d/clip.avi")
    "$cli" batch --out "$d/out" --ext .avi --set vcodec=mpeg4 "$d/real/clip.avi" >"$d/log" 2>&1
    [[ $(fingerprint "$d/real/clip.avi") == "$source" ]] || L=$((L + 1))
    [[ $(fingerprint "$d/clip.avi") == "$other" ]] || L=$((L + 1))
    # A success names another file than the source, and a whole conversion.
    local name
    name=$(done_names "$d/log")
    if [[ -n $name ]]; then
        [[ $(realpath "$name") != "$(realpath "$d/real/clip.avi")" ]] &&
            as_long "$name" "$work/short.avi" || F=$((F + 1))
    fi
}

scenario_file_appears_during_run() {
    mkdir -p "$d/out"
    "$cli" transcode "${slow[@]}" "$work/long.avi" "$d/out/clip.avi" >"$d/log" 2>&1 &
    local pid=$!
    wait_started "$d/out"
    echo "the user's own file" >"$d/out/clip.avi"
    local mine
    mine=$(fingerprint "$d/out/clip.avi")
    wait $pid
    local status=$?
    [[ $(fingerprint "$d/out/clip.avi") == "$mine" ]] || L=$((L + 1))
    if ((status == 0)); then
        local name
        name=$(done_names "$d/log")
        [[ -n $name && $name != "$d/out/clip.avi" ]] && as_long "$name" "$work/long.avi" ||
            F=$((F + 1))
    fi
}

scenario_two_runs_one_folder() {
    mkdir -p "$d/out"
    "$cli" convert --format 1 --out "$d/out" "$work/short.avi" >"$d/log1" 2>&1 &
    local a=$!
    "$cli" convert --format 1 --out "$d/out" "$work/short.avi" >"$d/log2" 2>&1
    wait $a
    local one two
    one=$(done_names "$d/log1")
    two=$(done_names "$d/log2")
    # Two successes must name two files.
    if [[ -n $one && -n $two && $one == "$two" ]]; then F=$((F + 1)); fi
    local file
    for file in $one $two; do [[ -s $file ]] || F=$((F + 1)); done
}

scenario_folder_moved_during_run() {
    mkdir -p "$d/out"
    "$cli" transcode "${slow[@]}" "$work/long.avi" "$d/out/clip.avi" >"$d/log" 2>&1 &
    local pid=$!
    wait_started "$d/out"
    mv "$d/out" "$d/moved"
    wait $pid
    local status=$?
    if ((status == 0)) || grep -q '^done' "$d/log"; then
        as_long "$d/out/clip.avi" "$work/long.avi" || F=$((F + 1))
    fi
}

scenario_private_file_replaced() {
    mkdir -p "$d/out"
    echo "private" >"$d/out/clip.avi"
    chmod 600 "$d/out/clip.avi"
    "$cli" transcode --overwrite --set vcodec=mpeg4 "$work/short.avi" "$d/out/clip.avi" \
        >"$d/log" 2>&1
    [[ $(stat -c %a "$d/out/clip.avi") == 600 ]] || L=$((L + 1))
}

scenario_truncated_source() {
    local source
    for source in "$work/cut.mp4" "$work/cut.mkv"; do
        "$cli" transcode --set vcodec=mpeg4 "$source" "$d/out_$(basename "$source").avi" \
            >"$d/log" 2>&1 && F=$((F + 1))
    done
}

scenario_source_shrinks_during_run() {
    cp "$work/long.avi" "$d/src.avi"
    "$cli" transcode "${slow[@]}" "$d/src.avi" "$d/out.avi" >"$d/log" 2>&1 &
    local pid=$!
    wait_started "$d"
    truncate -s $(($(stat -c %s "$d/src.avi") / 3)) "$d/src.avi"
    wait $pid && F=$((F + 1))
}

scenario_long_name() {
    # 84 Chinese characters: 252 bytes, then ".ts"; the output takes ".avi".
    local base
    base=$(printf '长%.0s' $(seq 1 84))
    cp "$work/short.avi" "$d/$base.ts"
    mkdir -p "$d/out"
    echo "older" >"$d/out/x"
    "$cli" convert --format 1 --out "$d/out" "$d/$base.ts" >"$d/log" 2>&1
    local status=$?
    if ((status == 0)); then
        local name
        name=$(done_names "$d/log")
        [[ -n $name ]] && as_long "$name" "$work/short.avi" || F=$((F + 1))
    fi
}

scenario_link_loop_at_output() {
    mkdir -p "$d/out"
    ln -s clip.avi "$d/out/clip.avi"
    "$cli" transcode --set vcodec=mpeg4 "$work/short.avi" "$d/out/clip.avi" >"$d/log" 2>&1
    [[ -L $d/out/clip.avi && $(readlink "$d/out/clip.avi") == clip.avi ]] || L=$((L + 1))
}

scenario_disk_fills_up() {
    [[ -n $tmpfs ]] || { S=1; return; }
    rm -rf "${tmpfs:?}"/*
    echo "older" >"$tmpfs/clip.avi"
    head -c 400000 /dev/zero >"$tmpfs/filler"
    local before
    before=$(fingerprint "$tmpfs/clip.avi")
    "$cli" transcode --overwrite --set vcodec=mpeg4 --set b=4000000 "$work/long.avi" \
        "$tmpfs/clip.avi" >"$d/log" 2>&1
    local status=$?
    if ((status == 0)); then
        as_long "$tmpfs/clip.avi" "$work/long.avi" || F=$((F + 1))
    else
        [[ $(fingerprint "$tmpfs/clip.avi") == "$before" ]] || L=$((L + 1))
    fi
}

scenario_signal_at_random_moment() {
    mkdir -p "$d/a" "$d/b" "$d/out"
    cp "$work/short.avi" "$d/a/clip.avi"
    cp "$work/long.avi" "$d/b/clip.avi"
    echo "older" >"$d/out/clip.avi"
    local before
    before=$(fingerprint "$d/out/clip.avi")
    "$cli" batch --out "$d/out" --ext .avi "${slow[@]}" "$d/a/clip.avi" "$d/b/clip.avi" \
        >"$d/log" 2>&1 &
    local pid=$!
    sleep "$(awk -v r=$RANDOM 'BEGIN { printf "%.2f", 0.2 + r / 32768 * 3 }')"
    local signals=(INT TERM HUP)
    kill -s "${signals[RANDOM % 3]}" $pid 2>/dev/null
    wait $pid
    # An older file is replaced only by a finished conversion.
    if [[ $(fingerprint "$d/out/clip.avi") != "$before" ]]; then
        grep -q "^done $d/out/clip.avi\$" "$d/log" || L=$((L + 1))
    fi
    local name
    while read -r name; do
        [[ -n $name ]] || continue
        as_long "$name" "$d/$( [[ $name == *New_1* ]] && echo b || echo a)/clip.avi" ||
            as_long "$name" "$d/a/clip.avi" || as_long "$name" "$d/b/clip.avi" || F=$((F + 1))
    done < <(done_names "$d/log")
}

# A small file system that fills up (needs root; skipped otherwise).
if [[ $(id -u) -eq 0 ]]; then
    tmpfs=$work/small
    mkdir -p "$tmpfs"
    mount -t tmpfs -o size=2m tmpfs "$tmpfs" 2>/dev/null || tmpfs=
fi

printf '%-34s %5s %6s %7s\n' scenario runs lost false
for scenario in link_through_linked_folder link_onto_the_source file_appears_during_run \
    two_runs_one_folder folder_moved_during_run private_file_replaced truncated_source \
    source_shrinks_during_run long_name link_loop_at_output disk_fills_up \
    signal_at_random_moment; do
    runs=0 scenario_lost=0 scenario_false=0
    for round in $(seq 1 "$rounds"); do
        d=$work/run/$scenario/$round
        mkdir -p "$d"
        L=0 F=0 S=0
        "scenario_$scenario"
        ((S)) && break
        runs=$((runs + 1))
        scenario_lost=$((scenario_lost + L))
        scenario_false=$((scenario_false + F))
    done
    if ((S)); then
        printf '%-34s skipped (needs root and tmpfs)\n' "$scenario"
    else
        report "$scenario" "$runs" "$scenario_lost" "$scenario_false"
    fi
done
printf '%-34s %5d %6d %7d\n' total "$total_runs" "$lost" "$false"
((lost == 0 && false == 0))
