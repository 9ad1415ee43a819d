#!/usr/bin/env bash
# Starts hmx700 from a build tree. Without HMX700_PORTS it first starts the instrument
# simulator and points the program at it, so Connect finds a live instrument.
# Usage: tools/run-with-simulator.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
program="$build/app/hmx700"
simulator="$build/tools/hmx700-sim"

if [ -n "${HMX700_PORTS:-}" ]; then
    exec "$program"
fi

out=$(mktemp)
"$simulator" >"$out" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true; rm -f "$out"' EXIT
device=""
for _ in $(seq 100); do
    device=$(head -n 1 "$out")
    [ -n "$device" ] && break
    sleep 0.1
done
[ -n "$device" ] || { echo "the simulator did not start" >&2; exit 1; }
echo "Simulated HMX-700 on $device; measurements are logged to $(pwd)/jrt1.txt"
HMX700_PORTS="$device" "$program"
