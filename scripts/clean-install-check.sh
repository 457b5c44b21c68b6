#!/usr/bin/env bash
# The Debian package on a clean Debian 12, as a user installs it. A minimal root is made with mmdebstrap from
# Debian's own packages (from the mirrors this machine's apt uses); the package is installed there with apt,
# with its dependencies alone (no recommended packages); every program and module it installed must find its
# libraries, and so must Qt's X11 plugin and the GStreamer plugins of the elements Varnex makes. Then an
# ordinary user of that root starts varnex-board and Varnex, on an X server of this machine, with settings in
# ~/.config/varnex that open the board's port and turn the lights off at start, build the VK playlist (no page
# leaves the computer: the web engine's proxy is a closed local port) and connect to the remote's server (a
# listener here on 127.0.0.1). It passes when the all-off command reaches the board, both modules are loaded
# from /usr/lib/varnex and nothing was said or failed.
#
#   scripts/clean-install-check.sh [varnex_<version>_<arch>.deb]
#
# Without an argument the package of the build in ./build (or $VARNEX_BUILD_DIR) is made first. Runs as root,
# or as a user for whom mmdebstrap's unshare mode works. Needs Debian's mirrors (about 300 MB are fetched).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build release
started=$SECONDS

work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

if [ $# -ge 1 ]; then
    deb=$(readlink -f "$1")
else
    build=${VARNEX_BUILD_DIR:-build}
    [ -f "$build/CPackConfig.cmake" ] || scripts/build.sh
    cmake --build "$build"
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log" >&2; exit 1; }
    deb=$(ls "$work"/out/varnex_*.deb)
fi

# The same sources as this machine's apt (Debian 12's deb822 file), and its proxy if it has one.
mirrors=()
[ -f /etc/apt/sources.list.d/debian.sources ] && mirrors=(/etc/apt/sources.list.d/debian.sources)
aptopts=()
proxy=$(apt-config shell p Acquire::http::Proxy | sed -n "s/^p='\(.*\)'$/\1/p")
[ -n "$proxy" ] && aptopts=(--aptopt="Acquire::http::Proxy \"$proxy\"")

# What goes into the root: the package, the check below, and the user's home with the settings.
check=$work/check
mkdir -p "$check/home/.config/varnex"
cp "$deb" "$check/"
printf '%s\r\n' "[Общие настройки]" "Выбор порта =/tmp/check/home/board" \
    "Подключаться к порту при запуске программы=1" "\"Выключать свет\" при запуске программы=1" \
    "Подключаться к WinLirc автоматически=1" "Создавать плейлист vk при запуске программы=1" \
    "ID контакта=1" | iconv -f UTF-8 -t CP1251 >"$check/home/.config/varnex/settings.ini"
cat >"$check/inside.sh" <<'INSIDE'
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd /tmp/check
fail() { echo "FAIL: $*" >&2; exit 1; }
apt-get install -y -q --no-install-recommends ./varnex_*.deb >apt.log 2>&1 || { cat apt.log >&2; fail "apt"; }
echo "installed: $(grep -c '^Setting up' apt.log) packages"

# Every ELF file of the package, Qt's X11 plugin and the plugins of the GStreamer elements Varnex makes
# (playbin, decodebin, audioconvert, audioresample, autoaudiosink, filesrc) or plays through (souphttpsrc,
# the type finders, the readers of the click sound and of MP3).
gst=/usr/lib/x86_64-linux-gnu/gstreamer-1.0
files=($(dpkg -L varnex) /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqxcb.so)
for plugin in playback audioconvert audioresample autodetect coreelements soup typefindfunctions wavparse \
    mpg123; do files+=("$gst/libgst$plugin.so"); done
for file in "${files[@]}"; do
    [ -e "$file" ] || fail "$file is not installed"
    [ -f "$file" ] && [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
    missing=$(ldd "$file" | grep 'not found' || true)
    [ -z "$missing" ] || fail "$file: $missing"
done

# An ordinary user, started as from the menu (PATH finds /usr/bin/varnex).
home=/tmp/check/home
mkdir -p "$home/run"
chmod 700 "$home/run"
chown -R 65534:65534 "$home"
# Replaces the calling shell: run it in the background only (so that $! is the program).
as_user() {
    exec setpriv --reuid=65534 --regid=65534 --clear-groups env -i HOME="$home" PATH=/usr/bin:/bin \
        DISPLAY="$VARNEX_CHECK_DISPLAY" XDG_RUNTIME_DIR="$home/run" "$@"
}
as_user varnex-board --print --link "$home/board" >board.log 2>&1 &
board=$!
stop() {
    kill "${varnex:-}" "$board" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap stop EXIT
for _ in $(seq 100); do [ -L "$home/board" ] && break; sleep 0.1; done
[ -L "$home/board" ] || { cat board.log >&2; fail "varnex-board made no port"; }
# mmdebstrap mounts /dev/pts with uid=5, which gives each new terminal to that user rather than to the one who
# opened it, as a desktop's /dev/pts would: the user gets the board's terminal back.
chown 65534 "$(readlink "$home/board")"
launched=$(date +%s%N)
as_user VARNEX_SERIAL_PORTS="$home/board" VARNEX_MESSAGES=stderr \
    VARNEX_WINLIRC_PORT="$VARNEX_CHECK_WINLIRC_PORT" QTWEBENGINE_DISABLE_SANDBOX=1 \
    QTWEBENGINE_CHROMIUM_FLAGS=--proxy-server=http://127.0.0.1:9 varnex >varnex.log 2>&1 &
varnex=$!

# The all-off command at start: 14 items (P1, S0, then A0 to L0), all levels 0, no fault.
for _ in $(seq 600); do
    grep -q '^levels 000000000000 items 14 faults 0$' board.log && break
    kill -0 "$varnex" 2>/dev/null || { cat varnex.log >&2; fail "varnex ended"; }
    sleep 0.1
done
grep -q '^levels 000000000000 items 14 faults 0$' board.log ||
    { cat board.log varnex.log >&2; fail "no all-off command on the board"; }
echo "all-off command on the board $((($(date +%s%N) - launched) / 1000000)) ms after the start"
[ "$(readlink "/proc/$varnex/exe")" = /usr/lib/varnex/varnex ] || fail "varnex runs from $(readlink "/proc/$varnex/exe")"
for module in varnex_web.so; do
    for _ in $(seq 300); do grep -q "/usr/lib/varnex/$module" "/proc/$varnex/maps" && break; sleep 0.1; done
    grep -q "/usr/lib/varnex/$module" "/proc/$varnex/maps" || { cat varnex.log >&2; fail "$module not loaded"; }
done
echo "varnex_web.so loaded from /usr/lib/varnex"
sleep 1
if grep -E '^(message|error):' varnex.log; then fail "varnex said the above"; fi
[ ! -e /usr/lib/varnex/settings.ini ] || fail "settings.ini was written beside the program"
INSIDE

# The X server and the remote's server stand-in, on this machine; the root shares its network, so its
# programs reach both (X through its abstract socket).
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; exit 1; }
export VARNEX_CHECK_DISPLAY=":$(cat "$work/display")"
timeout 600 python3 -c '
import socket, sys
server = socket.create_server(("127.0.0.1", 0))
print(server.getsockname()[1], flush=True)
held = []
while True:
    held.append(server.accept()[0])
' >"$work/winlirc_port" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/winlirc_port" ] && break; sleep 0.1; done
export VARNEX_CHECK_WINLIRC_PORT=$(cat "$work/winlirc_port")

echo "clean Debian 12 root, $(basename "$deb") installed with apt, Varnex started in it:"
mmdebstrap --variant=apt --format=null --quiet "${aptopts[@]}" \
    --customize-hook="copy-in $check /tmp" \
    --customize-hook='chroot "$1" /bin/bash /tmp/check/inside.sh' \
    bookworm /dev/null "${mirrors[@]}"
echo "passed in $((SECONDS - started)) s"
