#!/usr/bin/env bash
# Starts the real orva-sim on a free port and runs the real orvactl against it.
set -euo pipefail
SIM="$1"
CTL="$2"
OUT="$(mktemp -d)"
trap 'kill "$PID" 2>/dev/null || true; rm -rf "$OUT"' EXIT

"$SIM" --port 0 --channels 8 --camera "1:Lobby" >"$OUT/sim.out" 2>"$OUT/sim.err" &
PID=$!
for _ in $(seq 50); do
  grep -q "listening on" "$OUT/sim.out" 2>/dev/null && break
  sleep 0.1
done
PORT="$(sed -n 's/.*listening on .*:\([0-9]*\).*/\1/p' "$OUT/sim.out")"
[ -n "$PORT" ] || { echo "orva-sim did not start"; cat "$OUT/sim.err"; exit 1; }

ORVA_PASSWORD=4711 "$CTL" --port "$PORT" info >"$OUT/info.txt"
grep -qx "channels: 8" "$OUT/info.txt"
grep -qx "camera: 1 Lobby" "$OUT/info.txt"
[ "$(grep -c '^camera:' "$OUT/info.txt")" -eq 8 ]

ORVA_PASSWORD=4711 "$CTL" --port "$PORT" calendar >"$OUT/calendar.txt"
grep -q "^calendar: [0-9]\{4\}-[0-9][0-9]$" "$OUT/calendar.txt"
[ "$(grep -c '^day: ' "$OUT/calendar.txt")" -ge 3 ]

set +e
ORVA_PASSWORD=wrong "$CTL" --port "$PORT" info >/dev/null 2>"$OUT/refused.txt"
code=$?
set -e
[ "$code" -eq 3 ] || { echo "wrong password gave exit $code"; exit 1; }
echo "cli smoke: ok"
