#!/usr/bin/env bash
# The recorder of a cross-build (arm64) under user-mode emulation, against the native simulator
# and a native Mosquitto broker: it logs readings to jrt1.txt and publishes them with the status
# `measuring`, and on SIGTERM ends in order, leaving `offline` retained; then the same build's
# hmx700-report makes the run report of that log.
# Usage: tools/emulated-logger-test.sh LOGGER REPORT SIMULATOR   (HMX700_EMULATOR: qemu-aarch64-static)
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 LOGGER REPORT SIMULATOR" >&2; exit 2; }
logger=$(realpath "$1")
report=$(realpath "$2")
simulator=$(realpath "$3")
emulator=${HMX700_EMULATOR:-qemu-aarch64-static}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
topic=site/box1

cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    "$here/../tests/publish/test-broker.sh" stop "$work/broker"
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "emulated-logger-test: $*" >&2
    for f in logger.log messages; do [ -f "$work/$f" ] && { echo "--- $f" >&2; cat "$work/$f" >&2; }; done
    exit 1
}

# shellcheck source=tools/script-common.sh
. "$here/script-common.sh"

"$here/../tests/publish/test-broker.sh" start "$work/broker" >/dev/null || fail "Mosquitto did not start"
port=$(cat "$work/broker/port")
start_simulator "$simulator"
mosquitto_sub -h 127.0.0.1 -p "$port" -v -t "$topic/#" >"$work/messages" 2>&1 &
pids+=($!)

mkdir -p "$work/run"
echo "-- $(basename "$logger") under $emulator: $device, mqtt://127.0.0.1:$port/$topic"
"$emulator" "$logger" --port "$device" --dir "$work/run" --mqtt "mqtt://127.0.0.1:$port/$topic" \
    >"$work/logger.log" 2>&1 &
logger_pid=$!
pids+=($logger_pid)
expect_growing_log "$work/run/jrt1.txt"
wait_for 60 grep -q "^$topic/reading {\"time\":" "$work/messages" || fail "no reading published"
grep -qx "$topic/status measuring" "$work/messages" || fail "the status is not 'measuring'"
echo "   published: $(grep -c "^$topic/reading " "$work/messages") readings, status measuring"

kill -TERM "$logger_pid"
wait "$logger_pid" || fail "the recorder did not end in order on SIGTERM (exit status $?)"
# A new subscriber gets the retained status alone.
status=$(mosquitto_sub -h 127.0.0.1 -p "$port" -t "$topic/status" -C 1 -W 10) || true
[ "$status" = offline ] || fail "the retained status after SIGTERM is '$status', not 'offline'"
echo "   ended in order on SIGTERM; status offline"

echo "-- $(basename "$report") under $emulator"
"$emulator" "$report" "$work/run/jrt1.txt" -o "$work/report.pdf" >"$work/report.log" 2>&1 ||
    { cat "$work/report.log" >&2; fail "hmx700-report failed"; }
head -c 5 "$work/report.pdf" | grep -q '^%PDF-' || fail "hmx700-report wrote no PDF"
echo "   $(stat -c %s "$work/report.pdf") bytes of PDF"
echo "-- the emulated recorder passed"
