#!/usr/bin/env bash
# Adds Varnex to the desktop's menu for the folder this script sits in (the entry is varnex.desktop beside it,
# with Exec and TryExec pointing here): the menu entry goes to
# $XDG_DATA_HOME/applications/varnex.desktop and the icon, in each size, to $XDG_DATA_HOME/icons/hicolor
# ($XDG_DATA_HOME is ~/.local/share unless set). Run it again after moving the folder.
#
#   ./install-desktop-entry.sh            add (or update) the entry
#   ./install-desktop-entry.sh --remove   take the entry and the icons away again
set -euo pipefail
folder=$(cd "$(dirname "$(readlink -f "$0")")" && pwd)
data=${XDG_DATA_HOME:-$HOME/.local/share}
entry=$data/applications/varnex.desktop
sizes=(16 22 24 32 48 64 128 256)

refresh() {
    command -v update-desktop-database >/dev/null && update-desktop-database -q "$data/applications" || true
    command -v gtk-update-icon-cache >/dev/null && gtk-update-icon-cache -q -t "$data/icons/hicolor" || true
}

case "${1:-}" in
    --remove)
        rm -f "$entry"
        for size in "${sizes[@]}"; do rm -f "$data/icons/hicolor/${size}x${size}/apps/varnex.png"; done
        refresh
        echo "Varnex is no longer in the menu."
        exit 0
        ;;
    "") ;;
    *)
        echo "usage: $0 [--remove]" >&2
        exit 2
        ;;
esac

# A string value of a desktop entry: backslashes doubled.
string_value() {
    local s=${1//\\/\\\\}
    printf '%s' "$s"
}
# The program's path as one argument of Exec: in double quotes, with ", `, $ and \ escaped inside them, and
# then, as for any string value, backslashes doubled again.
exec_value() {
    local s=$1
    s=${s//\\/\\\\}
    s=${s//\"/\\\"}
    s=${s//\`/\\\`}
    s=${s//\$/\\\$}
    string_value "\"$s\""
}

program=$folder/varnex
[ -x "$program" ] || { echo "$0: $program is missing" >&2; exit 1; }
# The entry's format writes "%" as "%%", but GLib (and with it GNOME's menus and gio) refuses such an entry.
case "$program" in
    *%*) echo "$0: the folder's path holds \"%\", which menus cannot start programs from; move it" >&2; exit 1 ;;
esac
mkdir -p "$data/applications"
for size in "${sizes[@]}"; do
    install -D -m 644 "$folder/icons/varnex-$size.png" "$data/icons/hicolor/${size}x${size}/apps/varnex.png"
done
exec_line=$(exec_value "$program")
try_line=$(string_value "$program")
while IFS= read -r line; do
    case "$line" in
        Exec=*) printf 'Exec=%s\n' "$exec_line" ;;
        TryExec=*) printf 'TryExec=%s\n' "$try_line" ;;
        *) printf '%s\n' "$line" ;;
    esac
done <"$folder/varnex.desktop" >"$entry.new"
mv -f "$entry.new" "$entry"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$entry"; fi
refresh
echo "Varnex is in the menu: $entry"
