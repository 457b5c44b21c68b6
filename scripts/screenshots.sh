#!/usr/bin/env bash
# Takes the README's pictures: starts the program on a private Xvfb display (with openbox, so windows have their
# title bars) with a sample settings.ini and the virtual board, opens each window and saves it, cropped to the
# window, as a small PNG under docs/images/. Run it after the windows change:
#   scripts/screenshots.sh                 (uses the build in ./build, or $VARNEX_BUILD_DIR)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${VARNEX_SCREENSHOTS_DISPLAY:-}" ]; then
    build=${VARNEX_BUILD_DIR:-build}
    [ -x "$build/varnex" ] && [ -x "$build/varnex-board" ] || scripts/build.sh -DVARNEX_TESTS=OFF
    VARNEX_SCREENSHOTS_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$0" "$@"
fi
build=$(cd "${VARNEX_BUILD_DIR:-build}" && pwd)
images=$PWD/docs/images
mkdir -p "$images"
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/varnex-screenshots VARNEX_AUDIO_SINK="fakesink"

openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

# The program in a folder of its own, beside its settings: the board's port opened at start, a mode of the
# user's own, the remote's keys, and the connection to lircd.
folder=$work/Varnex
mkdir -p "$folder"
cp "$build/varnex" "$build"/varnex_*.so resources/sound.wav "$folder/"
port=$((20000 + RANDOM % 20000))
printf '%s\r\n' "[Общие настройки]" "Выбор порта =$work/board" \
    "Подключаться к порту при запуске программы=1" "Подключаться к WinLirc автоматически=1" \
    "Использовать звук при нажатии нопки пульта=1" "Использовать подсказки в главном окне=1" \
    "Воспроизвести / пауза=KEY_PLAY" "Следующая песня=KEY_NEXT" "Предыдущая песня=KEY_PREVIOUS" \
    "Светомузыка=KEY_RED" "AmbiLight=KEY_GREEN" "Выкл. компьютера (3 секунды)=KEY_POWER" "Отмена=KEY_EXIT" \
    "Вкл / выкл монитор (3 секунды)=KEY_SCREEN" "ID контакта=12345678" "[AmbiLight]" "1=40,200" |
    iconv -f UTF-8 -t CP1251 >"$folder/settings.ini"

# lircd on a port of its own, for the remote's shutdown question.
printf '[lircd]\nnodaemon = True\n' >"$work/lirc_options.conf"
printf 'begin remote\n name REMOTE\n bits 16\n begin codes\n  KEY_POWER 0x1\n end codes\nend remote\n' >"$work/lircd.conf"
lircd -O "$work/lirc_options.conf" --nodaemon --driver=file --device=/dev/null --output="$work/lircd.sock" \
    --pidfile="$work/lircd.pid" --logfile="$work/lircd.log" --listen=127.0.0.1:$port --allow-simulate \
    "$work/lircd.conf" &
pids+=($!)

"$build/varnex-board" --link "$work/board" >/dev/null &
pids+=($!)
board=$(timeout 20 xdotool search --sync --onlyvisible --name '^Varnex virtual board' | head -1)

VARNEX_SERIAL_PORTS=$work/board VARNEX_WINLIRC_PORT=$port "$folder/varnex" &
pids+=($!)
main=$(timeout 20 xdotool search --sync --onlyvisible --name '^Varnex$' | head -1)
sleep 2

# A window (with its frame) saved under `name`, at most `width` pixels wide.
shot() {
    local window=$1 name=$2 width=${3:-640}
    sleep 1
    import -silent -window root "$work/screen.png"
    convert "$work/screen.png" -crop "$(frame_geometry "$window")" +repage -resize "${width}x>" -strip \
        PNG8:"$images/$name.png"
    echo "docs/images/$name.png"
}
# The window's frame (openbox's parent of the client window) as a geometry for -crop.
frame_geometry() {
    local frame=$1
    while :; do
        parent=$(xwininfo -tree -id "$frame" | sed -n 's/^ *Parent window id: \(0x[0-9a-f]*\).*/\1/p')
        root=$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')
        [ "$parent" = "$root" ] || [ -z "$parent" ] || [ "$parent" = 0x0 ] && break
        frame=$parent
    done
    xwininfo -id "$frame" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /^ *Width/ {w=$NF} /^ *Height/ {h=$NF} END {printf "%dx%d+%d+%d", w, h, x, y}'
}
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep 0.5; }
close() { xdotool windowactivate --sync "$1" key alt+F4; sleep 0.5; }

# The main window: a colour for the lights, and the playlist shown and filled with three stations.
menu=$(($(xdotool getwindowgeometry "$main" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\)/\1/p') - 220))
xdotool windowmove --sync "$board" 0 30 windowmove --sync "$main" 760 40
sleep 0.5
click "$main" 130 $((menu + 56 + 30))       # the colour box opens its grid below it,
click "$main" 140 $((menu + 56 + 41 + 68))  # where the fourth row's second colour is orange
click "$main" 375 $((menu + 132))  # the playlist button
printf '%s\n' http://radio.example.org/jazz.mp3 http://radio.example.org/classic.ogg \
    https://stream.example.net/news | xclip -selection clipboard
click "$main" 200 $((menu + 112 + 150))
xdotool key ctrl+v
sleep 1
click "$main" 200 $((menu + 112 + 109 + 8))  # the first row, selected
xdotool mousemove --window "$main" 600 10
shot "$main" main-window 480
shot "$board" virtual-board 480

# The settings window, each tab, then closed by "Отмена".
click "$main" 30 $((menu / 2))  # "Настройки"
settings=$(timeout 10 xdotool search --sync --onlyvisible --name '^Varnex \| Настройки$' | head -1)
shot "$settings" settings-general 400
click "$settings" 80 20  # the "WinLirc" tab
shot "$settings" settings-winlirc 400
click "$settings" 165 22  # the "Лента" tab,
click "$settings" 194 59  # its "Вывод" list, where "Adalight" follows "Плата"
xdotool key Down Return
sleep 0.5
shot "$settings" settings-strip 400
click "$settings" 260 470

# About.
click "$main" 215 $((menu / 2))  # "О программе"
about=$(timeout 10 xdotool search --sync --onlyvisible --name '^Varnex \| О программе$' | head -1)
shot "$about" about 480
close "$about"

# The zone editor, over the whole screen, then left by "Отмена".
click "$main" 303 $((menu + 28))  # "новый"
editor=$(timeout 10 xdotool search --sync --onlyvisible --name '^Form5$' | head -1)
sleep 1
import -silent -window root "$work/screen.png"
convert "$work/screen.png" -resize 640x -strip PNG8:"$images/zone-editor.png"
echo docs/images/zone-editor.png
xdotool key Escape
sleep 0.5
[ -z "$(xdotool search --onlyvisible --name '^Form5$' 2>/dev/null)" ] || close "$editor"

# The shutdown question, as the remote's held power key brings it up, in the middle of the screen.
sleep 3
irsend -d "$work/lircd.sock" SIMULATE "0000000000000001 0a KEY_POWER REMOTE"
sleep 2
question=$(xdotool mousemove 640 400 getmouselocation --shell | sed -n 's/^WINDOW=//p')
shot "$question" shutdown-question 400
