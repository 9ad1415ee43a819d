# Pieces the check scripts share. Sourced after the script has set `work` (its scratch
# folder), `pids` (processes to stop at exit) and `fail`.

wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
    local limit=$((SECONDS + $1)); shift
    until "$@"; do
        ((SECONDS < limit)) || return 1
        sleep 0.2
    done
}

file_size() { stat -c %s "$1" 2>/dev/null || echo 0; }

# expect_growing_log LOG: the program measures, so its log fills and keeps growing.
expect_growing_log() {
    wait_for 20 test -s "$1" || fail "$(basename "$1") was not written"
    local before after
    before=$(file_size "$1")
    sleep 3
    after=$(file_size "$1")
    ((after > before)) || fail "$(basename "$1") does not grow ($before, then $after bytes)"
    echo "   $(basename "$1"): $(wc -l <"$1") lines, growing"
}

# A private X display for the programs under test; exports DISPLAY.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
    pids+=($!)
    wait_for 20 test -s "$work/display" || fail "Xvfb did not start"
    export DISPLAY=":$(cat "$work/display")"
}

# start_simulator PROGRAM: starts the simulator and sets `device` to the path it prints first.
start_simulator() {
    "$1" >"$work/simulator" &
    pids+=($!)
    wait_for 20 test -s "$work/simulator" || fail "the simulator did not start"
    device=$(head -n 1 "$work/simulator")
}
