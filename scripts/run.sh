#!/usr/bin/env bash
# Installs what Varnex needs, builds it without its tests in a folder of its own (build-run, so that it and
# scripts/test.sh do not rebuild after each other), and starts it on the current X display from ./run, a
# folder that outlives the build: Varnex keeps settings.ini beside its executable, so run/settings.ini holds
# your settings from one run to the next.
set -euo pipefail
cd "$(dirname "$0")/.."
export VARNEX_BUILD_DIR=${VARNEX_BUILD_DIR:-build-run}
scripts/deps.sh build
scripts/build.sh -DVARNEX_TESTS=OFF
if [ -z "${DISPLAY:-}" ]; then
    echo "run.sh: no X display (DISPLAY is not set); Varnex is a desktop program for an X11 session." >&2
    exit 1
fi
mkdir -p run
# The program's modules (the web engine for the VK playlist, the remote's connection, the Wayland screen
# capture) and the remote's click go beside it, where it looks for them.
cp -f "$VARNEX_BUILD_DIR/varnex" "$VARNEX_BUILD_DIR"/varnex_*.so resources/sound.wav run/
exec run/varnex
