#!/usr/bin/env bash
# The native simulator for the serial-link test that runs under Wine (a ctest fixture).
#   wine-simulator.sh start DIR SIMULATOR WINE_RUN COM
#       starts SIMULATOR with a command port, writes that port to DIR/control and maps
#       COM<COM> of the test's own Wine prefix (DIR/prefix) to the simulator's stable link
#   wine-simulator.sh stop DIR
set -euo pipefail
action=$1 dir=$2

stop() {
    if [ -f "$dir/simulator.pid" ]; then
        kill "$(cat "$dir/simulator.pid")" 2>/dev/null || true
        rm -f "$dir/simulator.pid"
    fi
    if [ -d "$dir/prefix" ]; then
        WINEPREFIX="$dir/prefix" wineserver -k 2>/dev/null || true
    fi
}

if [ "$action" = stop ]; then
    stop
    exit 0
fi

simulator=$3 wine_run=$4 com=$5
stop
mkdir -p "$dir"
rm -f "$dir/control" "$dir/simulator.out"
# Its own session and no pipe of ctest's, so ctest does not wait for it.
setsid "$simulator" --listen 0 </dev/null >"$dir/simulator.out" 2>"$dir/simulator.err" &
echo $! >"$dir/simulator.pid"
for _ in $(seq 100); do
    [ "$(wc -l <"$dir/simulator.out")" -ge 2 ] && break
    sleep 0.1
done
link=$(sed -n 1p "$dir/simulator.out")
port=$(sed -n 's/^listening on 127\.0\.0\.1://p' "$dir/simulator.out")
[ -n "$link" ] && [ -n "$port" ] || { echo "the simulator did not start" >&2; cat "$dir/simulator.err" >&2; exit 1; }

# Wine reads its port map when it starts, so the prefix's Wine is restarted after the change.
export HMX700_WINEPREFIX="$dir/prefix"
"$wine_run" reg add 'HKLM\Software\Wine\Ports' /v "COM$com" /d "$link" /f >"$dir/wine.log" 2>&1
WINEPREFIX="$dir/prefix" wineserver -k 2>/dev/null || true
WINEPREFIX="$dir/prefix" wineserver -w 2>/dev/null || true
echo "$port" >"$dir/control"
echo "COM$com -> $link, commands on 127.0.0.1:$port"
