#!/usr/bin/env bash
# End-to-end run of the real program on a virtual X display, driven like a
# user with xdotool: "添加多个视频文件" with two generated files, the format
# chooser and settings window confirmed with their defaults, "转换", and the
# batch end awaited. Checks that both rows end "完成" at 100 % and both outputs
# are in the output folder; leaves a screenshot. Usage:
#   scripts/e2e_workbench.sh [BUILD_DIR]     (default build/test)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/test}
work=$(mktemp -d)
echo "work folder: $work"

# A program folder of its own, so system.ini and the output folder are fresh.
mkdir -p "$work/program/skins" "$work/sources" "$work/out"
# The program with a queue report at each batch end, in place of zorvex.
cp "$build/app/zorvex-queue-report" "$work/program/"
cp "$root"/skins/*.sui "$work/program/skins/"
printf '[OutPath]\nOutPath=%s\n' "$work/out" >"$work/program/system.ini"
for name in alpha beta; do
    ffmpeg -y -hide_banner -loglevel error -nostdin -f lavfi -i testsrc=size=320x240:rate=25 \
        -f lavfi -i sine=sample_rate=44100 -t 3 -c:v mpeg4 -c:a mp2 "$work/sources/$name.avi"
done

cat >"$work/drive.sh" <<'DRIVE'
set -euo pipefail
work=$1
SDL_AUDIODRIVER=dummy HOME=$work \
    "$work/program/zorvex-queue-report" "$work/report.txt" >"$work/program.log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
shot() {  # the whole screen into a PNG
    ffmpeg -y -hide_banner -loglevel error -f x11grab -i "$DISPLAY" -frames:v 1 "$1" || true
}
wait_window() {  # name pattern, seconds
    for _ in $(seq 1 $(($2 * 10))); do
        if id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [[ -n $id ]]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    echo "no window named $1 (screen: $work/failure.png)" >&2
    shot "$work/failure.png"
    return 1
}
click_colour() {  # clicks the centre of the pixels of an RGB colour (toolbar icons)
    shot "$work/find.ppm"
    read -r x y < <(python3 - "$work/find.ppm" "$1" "$2" "$3" <<'FIND'
import sys
data = open(sys.argv[1], "rb").read()
parts, pos = [], 0
while len(parts) < 4:  # P6 width height maxval, separated by blanks
    while data[pos:pos + 1].isspace():
        pos += 1
    end = pos
    while not data[end:end + 1].isspace():
        end += 1
    parts.append(data[pos:end])
    pos = end
pos += 1
width, height = int(parts[1]), int(parts[2])
want = [int(v) for v in sys.argv[2:5]]
xs, ys = [], []
for y in range(height):
    row = data[pos + y * width * 3: pos + (y + 1) * width * 3]
    for x in range(width):
        if all(abs(row[x * 3 + k] - want[k]) < 12 for k in range(3)):
            xs.append(x)
            ys.append(y)
print(sum(xs) // max(len(xs), 1), sum(ys) // max(len(ys), 1))
FIND
)
    xdotool mousemove "$x" "$y" click 1
}
main=$(wait_window '^Zorvex$' 20)
sleep 1
# Toolbar: "添加" is the first button, "转换" the fourth (default look).
xdotool mousemove --window "$main" 27 28 click 1
sleep 0.5
xdotool key Down Down Return                     # 添加多个视频文件
dialog=$(wait_window '^打开$' 10)
xdotool windowfocus --sync "$dialog"
xdotool type --delay 20 "$work/sources/"
xdotool key Return
sleep 0.5
xdotool type --delay 20 '"alpha.avi" "beta.avi"'
xdotool key Return
chooser=$(wait_window '^选择转换格式$' 10)
xdotool windowfocus --sync "$chooser" key Return  # 下一步 with the first format
settings=$(wait_window '^选项设置$' 10)
xdotool windowfocus --sync "$settings" key Return # 确定 with its defaults
sleep 1
click_colour 39 174 96  # 转换: the only green icon
for _ in $(seq 1 1200); do
    grep -q '^batch end' "$work/report.txt" 2>/dev/null && break
    sleep 0.1
done
shot "$work/screen.png"
kill $pid
DRIVE
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/drive.sh" "$work"

echo "--- rows at the batch end"
cat "$work/report.txt"
status=0
[[ $(grep -c $'\t100\t完成$' "$work/report.txt") -eq 2 ]] || { echo "FAIL: rows not done"; status=1; }
for name in alpha beta; do
    ls "$work/out/$name"* >/dev/null 2>&1 || { echo "FAIL: no output for $name"; status=1; }
done
echo "screenshot: $work/screen.png"
exit $status
