#!/usr/bin/env bash
# Installs what is missing, builds, and starts the desktop client against its
# built-in simulated recorder (orva7000 --simulator). Extra arguments go to
# orva7000, e.g.
#   scripts/run.sh                 (live view of the simulated recorder)
#   scripts/run.sh -platform xcb
# Without a display (no DISPLAY or WAYLAND_DISPLAY) it runs under xvfb-run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
BUILD_DIR="${ORVA_BUILD_DIR:-build-run}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVA_BUILD_TESTS=OFF -DORVA_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a --server-args="-screen 0 1280x1024x24" "$BUILD_DIR/bin/orva7000" --simulator "$@"
fi
exec "$BUILD_DIR/bin/orva7000" --simulator "$@"
