#!/usr/bin/env bash
# A native Mosquitto broker for the publishing test, also when it runs under Wine (a ctest fixture).
#   test-broker.sh start DIR    starts mosquitto on a free port of 127.0.0.1 and writes the
#                               port to DIR/port once it accepts connections
#   test-broker.sh stop DIR
set -euo pipefail
action=$1 dir=$2

stop() {
    if [ -f "$dir/broker.pid" ]; then
        kill "$(cat "$dir/broker.pid")" 2>/dev/null || true
        rm -f "$dir/broker.pid"
    fi
}

stop
[ "$action" = stop ] && exit 0
mkdir -p "$dir"
rm -f "$dir/port"
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
# A port nobody listens on just now.
port=$((20000 + RANDOM % 40000))
while listening "$port"; do port=$((20000 + RANDOM % 40000)); done
cat >"$dir/mosquitto.conf" <<CONF
user $(id -un)
listener $port 127.0.0.1
allow_anonymous true
CONF
# Its own session and no pipe of ctest's, so ctest does not wait for it.
setsid mosquitto -c "$dir/mosquitto.conf" </dev/null >"$dir/mosquitto.log" 2>&1 &
echo $! >"$dir/broker.pid"
for _ in $(seq 100); do
    if listening "$port"; then
        echo "$port" >"$dir/port"
        echo "mosquitto on 127.0.0.1:$port"
        exit 0
    fi
    sleep 0.1
done
echo "mosquitto did not start" >&2
cat "$dir/mosquitto.log" >&2
exit 1
