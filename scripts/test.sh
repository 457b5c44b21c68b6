#!/usr/bin/env bash
# Installs what the tests need, builds Varnex with its tests (in ./build, or $VARNEX_BUILD_DIR) and runs them
# all. Widget tests run offscreen; the tests that need a real X server get a private Xvfb display started here
# and stopped when CTest ends.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build test
scripts/build.sh -DVARNEX_TESTS=ON
exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" \
    ctest --test-dir "${VARNEX_BUILD_DIR:-build}" --output-on-failure --timeout 300 "$@"
