#!/usr/bin/env bash
# The portable archive as a user meets it: made by CPack, unpacked into a folder whose name holds a blank and a
# Cyrillic letter, added to the menu (private XDG folders), started through the menu entry with gio, and seen
# to read the settings.ini beside it and to save it there when "Сохранить изменения" is pressed. Then the
# Debian package made beside it: its files in the system's folders, and its dependencies the same packages as
# the archive's list. (scripts/clean-install-check.sh installs it on a clean Debian 12.)
#   archive_check.sh <build folder>      (on an X display)
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
archive=$(ls "$work"/out/varnex-*-linux-x86_64.tar.gz)
version=$(basename "$archive" | sed 's/^varnex-\(.*\)-linux-x86_64\.tar\.gz$/\1/')
grep -q "^project(Varnex VERSION $version " "$build/../CMakeLists.txt" 2>/dev/null ||
    grep -q "CMAKE_PROJECT_VERSION:STATIC=$version$" "$build/CMakeCache.txt" || fail "archive version $version"

home="$work/Мои программы"
mkdir -p "$home"
tar -xzf "$archive" -C "$home"
folder="$home/varnex-$version-linux-x86_64"
grep -q "Varnex $version" "$folder/README" || fail "README without the version"
grep -q "apt-get install --no-install-recommends $(cat "$folder/runtime-packages.txt")" "$folder/README" ||
    fail "README without the packages of runtime-packages.txt"
# The library that a hand-written list once left out.
grep -qw libxcb-damage0 "$folder/runtime-packages.txt" || fail "libxcb-damage0 is not in the list"
for module in varnex_web.so varnex_portal.so; do [ -f "$folder/$module" ] || fail "$module not beside varnex"; done

export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" HOME="$work/home"
"$folder/install-desktop-entry.sh" >/dev/null
entry="$XDG_DATA_HOME/applications/varnex.desktop"
desktop-file-validate "$entry" || fail "desktop-file-validate"
grep -qx "X-Varnex-Version=$version" "$entry" || fail "X-Varnex-Version"
for size in 16 22 24 32 48 64 128 256; do
    [ -f "$XDG_DATA_HOME/icons/hicolor/${size}x${size}/apps/varnex.png" ] || fail "icon $size"
done

# A setting of the user's own and a section Varnex does not know: read, kept, and saved beside the program.
printf '[Общие настройки]\r\nID контакта=4242\r\n[Моё]\r\nx=1\r\n' | iconv -f UTF-8 -t CP1251 >"$folder/settings.ini"
before=$(stat -c %Y.%s "$folder/settings.ini")
VARNEX_AUDIO_SINK="fakesink" gio launch "$entry"
main=$(timeout 30 xdotool search --sync --name '^Varnex$' | head -1)
pid=$(xdotool getwindowpid "$main")
[ "$(readlink -f "/proc/$pid/exe")" = "$(readlink -f "$folder/varnex")" ] || fail "a different program started"
sleep 1
xdotool mousemove --window "$main" 30 10 click 1  # "Настройки" in the menu bar
settings=$(timeout 10 xdotool search --sync --name '^Varnex \| Настройки$' | head -1)
sleep 1
xdotool mousemove --window "$settings" 136 470 click 1  # "Сохранить изменения"
for _ in $(seq 50); do
    [ "$(stat -c %Y.%s "$folder/settings.ini")" != "$before" ] && break
    sleep 0.2
done
saved=$(iconv -f CP1251 -t UTF-8 "$folder/settings.ini")
grep -q "^ID контакта=4242" <<<"$saved" || fail "the setting read was not saved: $saved"
grep -q "^\[Моё\]" <<<"$saved" || fail "the unknown section was lost: $saved"
grep -q "^Подключаться к порту при запуске программы=0" <<<"$saved" || fail "nothing was saved: $saved"

"$folder/install-desktop-entry.sh" --remove >/dev/null
[ ! -e "$entry" ] && [ ! -e "$XDG_DATA_HOME/icons/hicolor/48x48/apps/varnex.png" ] || fail "--remove left files"

deb=$(ls "$work"/out/varnex_"$version"_*.deb)
files=$(dpkg-deb -c "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }')
for file in ./usr/lib/varnex/varnex ./usr/lib/varnex/varnex_web.so \
    ./usr/lib/varnex/varnex_portal.so ./usr/lib/varnex/sound.wav "./usr/bin/varnex -> ../lib/varnex/varnex" \
    ./usr/bin/varnex-board ./usr/share/applications/varnex.desktop; do
    grep -qxF "$file" <<<"$files" || fail "$file is not in the Debian package"
done
for size in 16 22 24 32 48 64 128 256; do
    grep -qxF "./usr/share/icons/hicolor/${size}x${size}/apps/varnex.png" <<<"$files" || fail "package icon $size"
done
# Package names of a dependency field: "a (>= 1), b | c" gives a and b.
names() { tr ',' '\n' | sed 's/^ *//; s/[ (|].*//' | grep . | sort -u; }
needs=$({ dpkg-deb -f "$deb" Depends; echo ,; dpkg-deb -f "$deb" Recommends; } | names)
listed=$(tr ' ' '\n' <"$folder/runtime-packages.txt" | grep . | sort -u)
[ "$needs" = "$listed" ] || fail "the package needs $(echo $needs), the archive lists $(echo $listed)"
echo "archive $version: unpacked, in the menu, started from it, settings read and saved; the Debian package's" \
    "files in place and its dependencies the archive's list"
