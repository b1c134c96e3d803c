#!/usr/bin/env bash
# Installs what is missing, builds, starts the simulated recorder on loopback
# and talks to it with orvactl. Extra arguments go to orvactl, e.g.
#   scripts/run.sh            (prints the recorder's identity and rights)
#   scripts/run.sh --user guest --password guest info
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
BUILD_DIR="${ORVA_BUILD_DIR:-build-run}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVA_BUILD_TESTS=OFF -DORVA_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target orva-sim orvactl

PORT="${ORVA_SIM_PORT:-2000}"
"$BUILD_DIR/bin/orva-sim" --host 127.0.0.1 --port "$PORT" &
SIM_PID=$!
trap 'kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true' EXIT
sleep 0.3

if [ $# -eq 0 ]; then set -- info; fi
ORVA_PASSWORD="${ORVA_PASSWORD:-4711}" "$BUILD_DIR/bin/orvactl" --host 127.0.0.1 --port "$PORT" "$@"
