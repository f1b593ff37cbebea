#!/usr/bin/env bash
# Starts or stops the anonymous FTP server the tests download from (ftpserver.py).
#   ftppeer.sh start STATEDIR   serve STATEDIR/root on 127.0.0.1 at a free port; the port is
#                               written to STATEDIR/port, the process id to STATEDIR/pid; the
#                               same root on ::1 at the port in STATEDIR/port6 ("none" where
#                               the machine has no IPv6 loopback)
#   ftppeer.sh stop STATEDIR    stop it and remove STATEDIR
# The root holds small.txt (a few known lines), empty.bin (no bytes) and
# pub/large.bin (24 MiB of random bytes), so the tests can compare what they fetched.
set -euo pipefail
source "$(dirname "$0")/../freeport.sh"

action=${1:?start or stop}
state=${2:?state directory}
# Debian's python with its pyftpdlib, even when another python3 comes first on the PATH.
python=/usr/bin/python3

start()
{
    kestrow_stop_peer "$state"
    mkdir -p "$state/root/pub"
    printf 'first line\r\nsecond line\r\nthird line without end' >"$state/root/small.txt"
    : >"$state/root/empty.bin"
    head -c $((24 * 1024 * 1024)) /dev/urandom >"$state/root/pub/large.bin"

    # The server takes a free port itself and names it on its first line. The files exist
    # before it starts, so reading them never races with its start.
    : >"$state/out"
    : >"$state/log"
    setsid "$python" "$(dirname "$0")/ftpserver.py" "$state/root" >"$state/out" 2>"$state/log" </dev/null &
    echo $! >"$state/pid"
    local port="" port6=""
    for _ in $(seq 100); do
        port=$(sed -n 's/^port \([0-9]*\)$/\1/p' "$state/out")
        port6=$(sed -n 's/^port6 \(.*\)$/\1/p' "$state/out")
        [ -n "$port" ] && [ -n "$port6" ] && break
        if ! kill -0 "$(cat "$state/pid")" 2>/dev/null; then
            echo "The FTP server did not start:" >&2
            cat "$state/log" >&2
            exit 1
        fi
        sleep 0.1
    done
    if [ -z "$port" ]; then
        echo "The FTP server did not name its port:" >&2
        cat "$state/log" >&2
        kestrow_stop_peer "$state"
        exit 1
    fi
    echo "$port" >"$state/port"
    echo "$port6" >"$state/port6"
    echo "FTP server on 127.0.0.1:$port and [::1]:$port6 serving $state/root"
}

kestrow_peer_main "$action" "$state" "$0 start|stop STATEDIR"
