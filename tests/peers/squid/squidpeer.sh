#!/usr/bin/env bash
# Starts or stops squid, the caching proxy the tests go through.
#   squidpeer.sh start STATEDIR [--auth]   run squid on 127.0.0.1 at a free port; the port is
#                                          written to STATEDIR/port, the process id to STATEDIR/pid.
#                                          With --auth squid asks for a Basic login (407) that
#                                          basic_ncsa_auth checks, written to STATEDIR/user and
#                                          STATEDIR/password
#   squidpeer.sh stop STATEDIR             stop it and remove STATEDIR
# squid keeps client connections open after an answer, as it does for browsers; it caches nothing,
# so every request reaches the server. STATEDIR/access.log names each request,
# its user and the client's port (port=...), which tells the requests of one connection.
set -euo pipefail
source "$(dirname "$0")/../freeport.sh"

action=${1:?start or stop}
state=${2:?state directory}
auth=${3:-}
user=kestrow
password=squid-pass
shared=

write_config() {
    local port=$1
    {
        cat <<CONF
http_port 127.0.0.1:$port
visible_hostname kestrow-test-proxy
pid_filename $shared/squid.pid
cache_log $shared/cache.log
logformat kestrow %>a %rm %ru %[un port=%>p
access_log stdio:$shared/access.log kestrow
cache_store_log none
logfile_rotate 0
coredump_dir $shared
netdb_filename none
pinger_enable off
icp_port 0
htcp_port 0
cache deny all
cache_mem 8 MB
memory_pools off
shutdown_lifetime 0 seconds
client_persistent_connections on
dns_v4_first on
acl localhost src 127.0.0.1/32
CONF
        if [ "$auth" = "--auth" ]; then
            cat <<CONF
auth_param basic program /usr/lib/squid/basic_ncsa_auth $shared/passwd
auth_param basic children 2 startup=1 idle=1
auth_param basic realm Kestrow squid
acl login proxy_auth REQUIRED
http_access deny !login
CONF
        fi
        cat <<CONF
http_access allow localhost
http_access deny all
CONF
    } >"$state/squid.conf"
}

start() {
    kestrow_stop_peer "$state"
    mkdir -p "$state"
    # Run as root, squid works as the proxy user, which must write its logs and read the
    # password file; the tests read the logs through links.
    shared=$(kestrow_shared_folder "$state")
    ln -s "$shared/access.log" "$state/access.log"
    ln -s "$shared/cache.log" "$state/cache.log"
    if [ "$auth" = "--auth" ]; then
        printf '%s:%s\n' "$user" "$(openssl passwd -apr1 "$password")" >"$shared/passwd"
        echo "$user" >"$state/user"
        echo "$password" >"$state/password"
    fi
    if [ "$(id -u)" -eq 0 ]; then
        chown proxy: "$shared"
    fi
    kestrow_start_or_explain "$state" squid cache.log write_config /usr/sbin/squid -N -f "$state/squid.conf"
    echo "squid on 127.0.0.1:$(cat "$state/port")${auth:+ with Basic auth}"
}

kestrow_peer_main "$action" "$state" "$0 start|stop STATEDIR [--auth]"
