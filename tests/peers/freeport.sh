# Sourced by the peer scripts: prints a TCP port on 127.0.0.1 that nobody listens on now.
# Debian's python, even when another python3 comes first on the PATH.
kestrow_free_port() {
    /usr/bin/python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])'
}

# Succeeds when this machine has IPv6 on its loopback: a socket can be bound to ::1.
kestrow_has_ipv6_loopback() {
    /usr/bin/python3 -c 'import socket
socket.socket(socket.AF_INET6).bind(("::1", 0))' 2>/dev/null
}

# The listen line of nginx for [::1] at the port $1 (with "ssl" when $2 says so), or nothing
# where there is no IPv6 loopback.
kestrow_nginx_ipv6_listen() {
    if kestrow_has_ipv6_loopback; then
        echo "listen [::1]:$1${2:+ $2};"
    fi
}

# Writes to $1/$2 the address $3 with "[::1]" for the host where there is an IPv6 loopback,
# else "none".
kestrow_write_ipv6_url() {
    if kestrow_has_ipv6_loopback; then
        echo "$3" >"$1/$2"
    else
        echo none >"$1/$2"
    fi
}

# Waits until something accepts connections on 127.0.0.1:$1 (up to five seconds).
kestrow_wait_for_port() {
    local port=$1 pid=$2
    for _ in $(seq 100); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

# Makes $1/shared, a folder that a server's unprivileged workers can reach wherever the state
# folder is (a build below /root, say): it lives in the temporary folder and $1/shared links to
# it. Prints its path. kestrow_stop_peer removes it.
kestrow_shared_folder() {
    local state=$1 shared
    shared=$(mktemp -d "${TMPDIR:-/tmp}/kestrow-peer.XXXXXX")
    chmod 755 "$shared"
    ln -s "$shared" "$state/shared"
    echo "$shared"
}

# Stops the process whose id is in $1/pid (only that one) and removes the state folder $1.
kestrow_stop_peer() {
    local state=$1 pid
    if [ -f "$state/pid" ]; then
        pid=$(cat "$state/pid")
        if kill -0 "$pid" 2>/dev/null; then
            kill "$pid" 2>/dev/null || true
            for _ in $(seq 50); do
                kill -0 "$pid" 2>/dev/null || break
                # An exited child of nobody in particular lingers as a zombie: it is gone.
                [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" = "Z" ] && break
                sleep 0.1
            done
            kill -9 "$pid" 2>/dev/null || true
        fi
    fi
    if [ -L "$state/shared" ]; then
        rm -rf "$(readlink "$state/shared")"
    fi
    rm -rf "$state"
}

# Starts a server on a free port of 127.0.0.1 and writes the port to $1/port; tries another
# port when some other program takes the chosen one first.
#   kestrow_start_on_free_port STATEDIR CONFIGURE COMMAND...
# CONFIGURE is a function that writes the server's configuration for the port it is given.
# The server's output goes to STATEDIR/log. Returns 1 when the server never answered.
kestrow_start_on_free_port() {
    local state=$1 configure=$2 port
    shift 2
    for _ in 1 2 3; do
        port=$(kestrow_free_port)
        "$configure" "$port"
        setsid "$@" >"$state/log" 2>&1 </dev/null &
        echo $! >"$state/pid"
        if kestrow_wait_for_port "$port" "$(cat "$state/pid")"; then
            echo "$port" >"$state/port"
            return 0
        fi
        kill "$(cat "$state/pid")" 2>/dev/null || true
    done
    return 1
}

# Starts a server as kestrow_start_on_free_port does, or says why it did not start and exits.
#   kestrow_start_or_explain STATEDIR NAME "LOGS" CONFIGURE COMMAND...
# LOGS names the files in STATEDIR, besides the server's output, that tell why.
kestrow_start_or_explain() {
    local state=$1 name=$2 logs=$3 configure=$4 log
    shift 4
    if kestrow_start_on_free_port "$state" "$configure" "$@"; then
        return 0
    fi
    echo "$name did not start:" >&2
    for log in log $logs; do
        cat "$state/$log" >&2 2>/dev/null || true
    done
    exit 1
}

# Starts nginx with the configuration that write_config writes into STATEDIR, on a free port;
# says why and exits when it does not come up.
kestrow_start_nginx() {
    local state=$1
    if kestrow_start_on_free_port "$state" write_config \
        /usr/sbin/nginx -p "$state" -c "$state/nginx.conf" -e "$state/error.log"; then
        return 0
    fi
    echo "nginx did not start:" >&2
    cat "$state/log" "$state/error.log" >&2 2>/dev/null || true
    exit 1
}

# What every peer script does with its first argument: "start" runs the script's start function,
# "stop" stops the peer of STATEDIR. USAGE is shown for anything else.
kestrow_peer_main() {
    local action=$1 state=$2 usage=$3
    case "$action" in
    start) start ;;
    stop) kestrow_stop_peer "$state" ;;
    *)
        echo "usage: $usage" >&2
        exit 2
        ;;
    esac
}
