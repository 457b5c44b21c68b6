#!/usr/bin/env bash
# Installs the Debian 12 packages Varnex needs: "build" for building, packaging and running, "test" adds what
# the tests use, "bench" what the benchmarks use, "docs" what scripts/screenshots.sh uses, "fuzz" the compiler
# and libFuzzer for fuzz/, "release" what scripts/clean-install-check.sh uses.
# Uses sudo when not run as root. Skips apt-get entirely when everything is installed already.
set -euo pipefail

build_packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-qpa-plugins libgl-dev libxkbcommon-dev
    qt6-webengine-dev libqt6webenginecore6-bin
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libglib2.0-dev
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
    libx11-dev libxext-dev libxtst-dev libxdamage-dev libx11-xcb-dev libxcb-shm0-dev libxcb-damage0-dev libxcb-render0-dev libxrender-dev
    libpipewire-0.3-dev
    libwayland-dev plasma-wayland-protocols
    libjpeg62-turbo-dev
    libfontconfig-dev fonts-urw-base35 fontconfig qt6-translations-l10n
    dpkg-dev file
)
test_packages=(
    xvfb xauth trayer dbus-daemon xserver-xephyr x11-xserver-utils
    lirc openbox dbus-session-bus-common libxss-dev xdotool desktop-file-utils libglib2.0-bin
    playerctl dbus-x11 pipewire-bin wireplumber xdg-desktop-portal
    # A real GNOME desktop for the Wayland tests: mutter headless, its Xwayland, GNOME's portal backend.
    mutter xwayland xdg-desktop-portal-gnome
    # GStreamer's HTTP source prefers libsoup 3 where it is installed (as on GNOME desktops): the tests
    # of failed streams run with each libsoup.
    libsoup-3.0-0 libsoup2.4-1
)
bench_packages=(
    libbenchmark-dev gstreamer1.0-tools xvfb xauth libxres-dev lirc strace
    pipewire-bin wireplumber xdg-desktop-portal gstreamer1.0-pipewire dbus-daemon
)
docs_packages=(
    xvfb xauth openbox lirc xdotool xclip imagemagick
)
fuzz_packages=(
    clang-14 libfuzzer-14-dev libclang-rt-14-dev
)
release_packages=(
    mmdebstrap xvfb xauth python3
)

wanted=("${build_packages[@]}")
for group in "$@"; do
    case "$group" in
        build) ;;
        test) wanted+=("${test_packages[@]}") ;;
        bench) wanted+=("${bench_packages[@]}") ;;
        docs) wanted+=("${docs_packages[@]}") ;;
        fuzz) wanted+=("${fuzz_packages[@]}") ;;
        release) wanted+=("${release_packages[@]}") ;;
        *) echo "deps.sh: unknown group '$group' (build, test, bench, docs, fuzz, release)" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
