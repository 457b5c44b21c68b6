#!/usr/bin/env bash
# Installs what Varnex needs, builds it and starts it on the current X display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
scripts/build.sh -DVARNEX_TESTS=OFF
if [ -z "${DISPLAY:-}" ]; then
    echo "run.sh: no X display (DISPLAY is not set); Varnex is a desktop program for an X11 session." >&2
    exit 1
fi
exec "${VARNEX_BUILD_DIR:-build}/varnex"
