#!/usr/bin/env bash
# Makes the Debian package and checks it on this machine: its contents and
# dependencies, the desktop entry and AppStream data, an installation with
# apt-get, zorvex-cli and the program (under Xvfb) from the installed paths, a
# second start handing its file to the first; then removes the package again,
# also when a step fails. Needs root or sudo. CI runs it from scripts/test.sh.
# Usage: scripts/package_check.sh [PRESET]   (as scripts/package.sh; default release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deb=$("$root/scripts/package.sh" "$@" | tail -1)
fail() { echo "package check: $*" >&2; exit 1; }

desktop-file-validate "$root/desktop/org.example.zorvex.desktop"
version=$(dpkg-deb -f "$deb" Version)

echo "--- $deb (build type $(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$(dirname "$deb")/CMakeCache.txt"))"
dpkg-deb -I "$deb" | sed -n '/Architecture:/,$p'
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
echo "$(wc -l <<<"$contents") entries"
for path in bin/zorvex bin/zorvex-cli bin/zorvex-lock share/zorvex/skins/msn.sui \
    share/zorvex/sounds/cam.wav share/zorvex/help/index.html \
    share/applications/org.example.zorvex.desktop \
    share/metainfo/org.example.zorvex.metainfo.xml \
    share/icons/hicolor/scalable/apps/org.example.zorvex.svg \
    share/icons/hicolor/256x256/apps/org.example.zorvex.png; do
    grep -qx "./usr/$path" <<<"$contents" || fail "missing from the package: /usr/$path"
done
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | awk '{ print $1 }')
for package in libavcodec-extra59 libavformat59 libavutil57 libswscale6 libswresample4 \
    libavfilter8 libsdl2-2.0-0 libqt6widgets6 libqt6dbus6 qt6-qpa-plugins fonts-wqy-microhei; do
    grep -qx "$package" <<<"$depends" || fail "no dependency on $package"
done

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
# One installation at a time on this machine (parallel checks would remove
# each other's package).
exec 9>/tmp/zorvex-package-check.lock
flock 9
if [[ $(dpkg-query -W -f='${Status}' zorvex 2>/dev/null || true) == "install ok installed" ]]; then
    fail "zorvex is installed on this machine already; the check would remove it"
fi
work=$(mktemp -d)
cleanup() {
    "${sudo[@]}" apt-get remove -y -qq zorvex >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM  # through the EXIT trap
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    -o DPkg::Lock::Timeout=300 "$deb" >/dev/null

[[ $(command -v zorvex) == /usr/bin/zorvex ]] || fail "zorvex is not on the PATH"
# One version everywhere: the package's, the programs' and the AppStream data's.
metainfo=/usr/share/metainfo/org.example.zorvex.metainfo.xml
appstreamcli validate --no-net --strict "$metainfo" >/dev/null || fail "$metainfo is not valid"
grep -q "<release version=\"$version\"" "$metainfo" || fail "$metainfo names no release $version"
[[ $(env -u DISPLAY zorvex --version) == "Zorvex $version" ]] ||
    fail "zorvex --version does not print Zorvex $version"
[[ $(zorvex-cli --version) == "zorvex-cli $version" ]] ||
    fail "zorvex-cli --version does not print zorvex-cli $version"
[[ -f /usr/share/applications/org.example.zorvex.desktop ]] || fail "no desktop entry"
formats=$(zorvex-cli formats | wc -l)
[[ $formats -eq 76 ]] || fail "zorvex-cli formats printed $formats lines, not 76"

# The program from the installed paths, as a desktop session would start it.
mkdir -p "$work/home" "$work/config" "$work/run"
chmod 700 "$work/run"
for clip in a.mp4 b.mkv c.avi; do
    ffmpeg -hide_banner -loglevel error -nostdin -f lavfi -i testsrc=size=160x120:rate=10 \
        -t 1 "$work/$clip"
done
cat >"$work/drive.sh" <<'DRIVE'
set -euo pipefail
work=$1
zorvex "$work/a.mp4" "$work/b.mkv" >"$work/first.log" 2>&1 &
first=$!
trap 'kill $first 2>/dev/null || true' EXIT
visible() { xdotool search --onlyvisible --name '^选择转换格式$' 2>/dev/null | head -1; }
wait_chooser() {  # the format chooser appears; $1 says for which files
    for _ in $(seq 1 300); do
        id=$(visible) && [[ -n $id ]] && { echo "$id"; return 0; }
        sleep 0.1
    done
    echo "package check: no format chooser for $1; program log:" >&2
    cat "$work/first.log" >&2
    ffmpeg -y -loglevel error -f x11grab -i "$DISPLAY" -frames:v 1 "$work/../zorvex-package-check.png" &&
        echo "screen: $(dirname "$work")/zorvex-package-check.png" >&2
    return 1
}
chooser=$(wait_chooser "the files of the first start")
# A second start hands its file over and ends.
timeout 20 zorvex "$work/c.avi" || { echo "package check: the second start did not hand over" >&2; exit 1; }
kill -0 "$first"
xdotool windowfocus --sync "$chooser" key Return       # 下一步 with the first format
for _ in $(seq 1 100); do
    settings=$(xdotool search --onlyvisible --name '^选项设置$' 2>/dev/null | head -1) &&
        [[ -n $settings ]] && break
    sleep 0.1
done
xdotool windowfocus --sync "$settings" key Return      # 确定: a.mp4 and b.mkv are queued
sleep 1
wait_chooser "the handed-over file" >/dev/null
DRIVE
# On the X server (a test run may have chosen Qt's offscreen platform).
HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run SDL_AUDIODRIVER=dummy \
    QT_QPA_PLATFORM=xcb "$root/tests/support/own_display.sh" bash "$work/drive.sh" "$work"
[[ -f $work/config/zorvex/system.ini ]] || fail "system.ini is not in ~/.config/zorvex"
[[ ! -e /usr/bin/system.ini ]] || fail "the installed program wrote into /usr/bin"

cleanup
trap - EXIT
[[ $(dpkg-query -W -f='${Status}' zorvex 2>/dev/null || true) != "install ok installed" ]] ||
    fail "zorvex was not removed"
echo "package check passed: $(basename "$deb")"
