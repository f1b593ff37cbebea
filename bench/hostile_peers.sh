#!/usr/bin/env bash
# Peak memory of "kestrow-cli get" against servers that never stop talking: an HTTP header
# without end, an FTP greeting of endless "220-" lines, and an HTTP body without end. The first
# two end by the client's bounds ("Header too long", "Reply too long"); the endless body is
# stopped with SIGTERM once the client has written BODY_MIB of it. Prints what each run ended
# with and its peak resident memory (from /usr/bin/time -v); the goal is under 40 MiB each.
#
#   bench/hostile_peers.sh [BUILD_DIR] [BODY_MIB]
#
# BUILD_DIR defaults to build/, BODY_MIB to 2048. Everything runs on 127.0.0.1; the body goes to
# /dev/shm when it exists (set KESTROW_BENCH_OUT to a folder to write elsewhere) and is removed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
body_mib=${2:-2048}
cli=$build/bin/kestrow-cli
for tool in "$cli" /usr/bin/time /usr/bin/python3 awk; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

state=$(mktemp -d /tmp/kestrow-hostile-XXXXXX)
out_dir=${KESTROW_BENCH_OUT:-$([ -d /dev/shm ] && echo /dev/shm || echo "$state")}
out_dir=$(mktemp -d "$out_dir/kestrow-hostile-out-XXXXXX")
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    rm -rf "$state" "$out_dir"
}
trap cleanup EXIT

# A server that answers every connection with PREFIX, then UNIT over and over until the client
# goes away. Prints its port.
serve() {
    /usr/bin/python3 - "$1" "$2" "$3" <<'EOF' &
import socket, sys, threading
prefix, unit, wait_for_request = sys.argv[1].encode(), sys.argv[2].encode(), sys.argv[3] == "1"
prefix = prefix.decode("unicode_escape").encode("latin-1")
unit = unit.decode("unicode_escape").encode("latin-1") * max(1, 65536 // len(unit))
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(4)
print(server.getsockname()[1], flush=True)
def talk(connection):
    try:
        if wait_for_request:
            request = b""
            while b"\r\n\r\n" not in request:
                request += connection.recv(4096)
        connection.sendall(prefix)
        while True:
            connection.sendall(unit)
    except OSError:
        pass
    finally:
        connection.close()
while True:
    connection, _ = server.accept()
    threading.Thread(target=talk, args=(connection,), daemon=True).start()
EOF
    server_pid=$!
}

# Runs kestrow-cli get under /usr/bin/time and prints "peak_kib|last line of its stderr".
measure() {
    /usr/bin/time -v -o "$state/time.txt" "$cli" get "$@" >/dev/null 2>"$state/stderr.txt" || true
    echo "$(awk -F': ' '/Maximum resident set size/ {print $2}' "$state/time.txt")|$(tail -1 "$state/stderr.txt")"
}

start_server() {
    : >"$state/port"
    serve "$@" >"$state/port"
    for _ in $(seq 100); do
        [ -s "$state/port" ] && break
        sleep 0.05
    done
    port=$(cat "$state/port")
}

stop_server() {
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=""
}

report() {
    local what=$1 result=$2
    printf '%-22s peak memory %6.1f MiB   (%s)\n' "$what" "$(awk "BEGIN {print ${result%%|*} / 1024}")" \
        "${result#*|}"
}

start_server 'HTTP/1.0 200 OK\r\n' 'X-Filler: ffffffffffffffffffffffffffffffffffffffff\r\n' 1
report "endless header" "$(measure "http://127.0.0.1:$port/" "$out_dir/header.bin" --timeout 30)"
stop_server

start_server '' '220-Welcome, and welcome again\r\n' 0
report "endless FTP reply" "$(measure "ftp://127.0.0.1:$port/pub/a.zip" "$out_dir/reply.bin" --timeout 30)"
stop_server

# The client is stopped with SIGTERM once it has written body_mib; it then removes what it wrote.
start_server 'HTTP/1.0 200 OK\r\n\r\n' 'b' 1
/usr/bin/time -v -o "$state/time.txt" "$cli" get "http://127.0.0.1:$port/" "$out_dir/body.bin" \
    >/dev/null 2>"$state/stderr.txt" &
time_pid=$!
limit=$((body_mib * 1024 * 1024))
while kill -0 "$time_pid" 2>/dev/null; do
    size=$(stat -c %s "$out_dir"/.body.bin.part-* 2>/dev/null | head -1 || true)
    if [ -n "$size" ] && [ "$size" -ge "$limit" ]; then
        kill -TERM "$(pgrep -P "$time_pid")" 2>/dev/null || true
        break
    fi
    sleep 0.1
done
wait "$time_pid" || true
report "endless body ($body_mib MiB)" \
    "$(awk -F': ' '/Maximum resident set size/ {print $2}' "$state/time.txt")|$(tail -1 "$state/stderr.txt")"
stop_server
echo "goal: under 40 MiB each"
