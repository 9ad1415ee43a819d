#!/usr/bin/env bash
# A native Mosquitto broker for the publishing test, also when it runs under Wine (a ctest fixture).
#   test-broker.sh start DIR    starts mosquitto on a free port of 127.0.0.1 and writes the
#                               port to DIR/port once it accepts connections; a second
#                               listener, on the port in DIR/acl-port, lets anyone write
#                               only under allowed/ (an ACL as a plant's broker has)
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
rm -f "$dir/port" "$dir/acl-port"
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
# Ports nobody listens on just now.
free_port() {
    local p=$((20000 + RANDOM % 40000))
    while listening "$p" || [ "$p" = "${port:-}" ]; do p=$((20000 + RANDOM % 40000)); done
    echo "$p"
}
port=$(free_port)
acl_port=$(free_port)
echo "topic readwrite allowed/#" >"$dir/acl"
cat >"$dir/mosquitto.conf" <<CONF
user $(id -un)
per_listener_settings true
listener $port 127.0.0.1
allow_anonymous true
listener $acl_port 127.0.0.1
allow_anonymous true
acl_file $dir/acl
CONF
# Its own session and no pipe of ctest's, so ctest does not wait for it.
setsid mosquitto -c "$dir/mosquitto.conf" </dev/null >"$dir/mosquitto.log" 2>&1 &
echo $! >"$dir/broker.pid"
for _ in $(seq 100); do
    if listening "$port" && listening "$acl_port"; then
        echo "$acl_port" >"$dir/acl-port"
        echo "$port" >"$dir/port"
        echo "mosquitto on 127.0.0.1:$port, with an ACL on $acl_port"
        exit 0
    fi
    sleep 0.1
done
echo "mosquitto did not start" >&2
cat "$dir/mosquitto.log" >&2
exit 1
