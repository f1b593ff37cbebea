#!/usr/bin/env bash
# Starts or stops the HTTP proxy the tests go through.
#   tinyproxypeer.sh start STATEDIR [--auth]   run tinyproxy on 127.0.0.1 at a free port; the port
#                                              is written to STATEDIR/port, the process id to
#                                              STATEDIR/pid. With --auth the proxy asks for a Basic
#                                              login (407), written to STATEDIR/user and STATEDIR/password
#   tinyproxypeer.sh stop STATEDIR             stop it and remove STATEDIR
set -euo pipefail
source "$(dirname "$0")/../freeport.sh"

action=${1:?start or stop}
state=${2:?state directory}
auth=${3:-}
user=kestrow
password=proxy-pass

write_config() {
    local port=$1
    {
        cat <<CONF
Port $port
Listen 127.0.0.1
Timeout 30
LogFile "$state/tinyproxy.log"
LogLevel Info
MaxClients 20
Allow 127.0.0.1
CONF
        if [ "$(id -u)" -eq 0 ]; then
            printf 'User root\nGroup root\n'
        fi
        if [ "$auth" = "--auth" ]; then
            echo "BasicAuth $user $password"
        fi
    } >"$state/tinyproxy.conf"
}

start() {
    kestrow_stop_peer "$state"
    mkdir -p "$state"
    if [ "$auth" = "--auth" ]; then
        echo "$user" >"$state/user"
        echo "$password" >"$state/password"
    fi
    if kestrow_start_on_free_port "$state" write_config /usr/bin/tinyproxy -d -c "$state/tinyproxy.conf"; then
        echo "tinyproxy on 127.0.0.1:$(cat "$state/port")${auth:+ with Basic auth}"
        return 0
    fi
    echo "tinyproxy did not start:" >&2
    cat "$state/log" "$state/tinyproxy.log" >&2 2>/dev/null || true
    exit 1
}

kestrow_peer_main "$action" "$state" "$0 start|stop STATEDIR [--auth]"
