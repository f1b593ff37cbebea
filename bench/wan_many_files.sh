#!/usr/bin/env bash
# A page of many small files on a local nginx behind a relay that delays like a wide-area link
# (../shared/tools/wan_relay.py, or the relay named by KESTROW_WAN_RELAY): "kestrow-cli run
# --pause 0" beside "wget -r -l1 -nd", one curl that fetches every file over one connection and
# "aria2c -j1 -i" on the same files, best of ROUNDS each. Then the connections each tool opened
# to nginx (its log names the client's port), and the time a one-entry run takes for a page with
# one file, in round trips.
#
#   bench/wan_many_files.sh [BUILD_DIR] [ROUNDS] [FILES] [SIZE_KIB] [RTT_MS] [MBIT]
#
# BUILD_DIR defaults to build/, ROUNDS to 3, FILES to 200, SIZE_KIB to 16, RTT_MS to 50, MBIT to
# 100. Everything runs on 127.0.0.1 in a temporary folder that is removed at the end.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
rounds=${2:-3}
files=${3:-200}
size_kib=${4:-16}
rtt=${5:-50}
mbit=${6:-100}
cli=$build/bin/kestrow-cli
relay=${KESTROW_WAN_RELAY:-$root/../shared/tools/wan_relay.py}

for tool in "$cli" wget curl aria2c awk "$relay"; do
    if ! command -v "$tool" >/dev/null; then
        echo "missing: $tool (build kestrow-cli; apt-get install wget curl aria2)" >&2
        exit 1
    fi
done

source "$root/tests/peers/freeport.sh"
source "$(dirname "$0")/measure.sh"

state=$(mktemp -d /tmp/kestrow-bench-XXXXXX)
relay_pid=""
cleanup() {
    [ -n "$relay_pid" ] && kill "$relay_pid" 2>/dev/null
    "$root/tests/peers/nginx/nginxpeer.sh" stop "$state/nginx" >/dev/null 2>&1 || true
    rm -rf "$state"
}
trap cleanup EXIT

"$root/tests/peers/nginx/nginxpeer.sh" start "$state/nginx" >/dev/null
nginx_port=$(cat "$state/nginx/port")
port=$(kestrow_free_port)
/usr/bin/python3 "$relay" "$port" "127.0.0.1:$nginx_port" --rtt "$rtt" --mbit "$mbit" >"$state/relay.txt" &
relay_pid=$!
for _ in $(seq 50); do
    grep -q listening "$state/relay.txt" 2>/dev/null && break
    sleep 0.1
done

site="$state/nginx/root/many"
mkdir -p "$site" "$state/nginx/root/one"
echo "Writing $files files of $size_kib KiB; nginx on 127.0.0.1:$nginx_port behind a relay on $port" \
    "($rtt ms round trip, $mbit Mbit/s)"
{
    echo "<html><body>"
    for i in $(seq -w 1 "$files"); do
        head -c $((size_kib * 1024)) /dev/urandom >"$site/f$i.bin"
        echo "<a href=\"f$i.bin\">f$i</a>"
        echo "http://127.0.0.1:$port/many/f$i.bin" >>"$state/urls.txt"
    done
    echo "</body></html>"
} >"$site/index.html"
cp "$site/f$(seq -w 1 "$files" | head -n 1).bin" "$state/nginx/root/one/f.bin"
echo '<a href="f.bin">f</a>' >"$state/nginx/root/one/index.html"
page="http://127.0.0.1:$port/many/index.html"
echo "$page" >"$state/list.kes"
echo "http://127.0.0.1:$port/one/index.html" >"$state/one.kes"
# The stored settings of whoever runs this are left alone.
export KESTROW_SETTINGS="$state/settings.json" KESTROW_HOME="$state/home"
mkdir -p "$KESTROW_HOME"


# The client ports nginx saw in the log lines written since line $1: one per connection.
connections_since() {
    tail -n +"$(($1 + 1))" "$state/nginx/access.log" | sed -n 's/.*port=//p' | sort -u | wc -l
}

run_tool() {
    local tool=$1 out=$2
    case $tool in
    kestrow) "$cli" run "$state/list.kes" --out "$out" --filter .bin --pause 0 --log-level 0 ;;
    wget) wget -q -r -l1 -nd -A bin -P "$out" "$page" ;;
    curl) (cd "$out" && xargs curl -s --remote-name-all <"$state/urls.txt") ;;
    aria2) aria2c -q -j1 -i "$state/urls.txt" -d "$out" ;;
    esac
}

tools=(kestrow wget curl aria2)
declare -A best connections
for round in $(seq "$rounds"); do
    for tool in "${tools[@]}"; do
        out="$state/out-$tool"
        rm -rf "$out"
        mkdir -p "$out"
        lines=$(wc -l <"$state/nginx/access.log")
        seconds=$(timed run_tool "$tool" "$out")
        check_files "$out" "$files" "$tool"
        connections[$tool]=$(connections_since "$lines")
        if [ -z "${best[$tool]:-}" ] || [ "$(calc "$seconds < ${best[$tool]}")" = 1 ]; then
            best[$tool]=$seconds
        fi
        printf '  round %d %-8s %6.2f s  %3d connections\n' "$round" "$tool" "$seconds" "${connections[$tool]}"
    done
done

echo "$files files of $size_kib KiB at $rtt ms and $mbit Mbit/s, best of $rounds:"
for tool in "${tools[@]}"; do
    printf '  %-8s %6.2f s  %5.2f round trips per file  %3d connections\n' "$tool" "${best[$tool]}" \
        "$(calc "${best[$tool]} * 1000 / $rtt / $files")" "${connections[$tool]}"
done
echo "kestrow / wget: $(calc "${best[kestrow]} / ${best[wget]}") (goal: at most 1.00)"

# A one-entry run of a page with one file: the time from start to end in round trips.
one=$(timed "$cli" run "$state/one.kes" --out "$state/out-one" --filter .bin --pause 0 --log-level 0)
check_files "$state/out-one" 1 "kestrow (one file)"
rm -rf "$state/out-wget-one"
wone=$(timed wget -q -r -l1 -nd -A bin -P "$state/out-wget-one" "http://127.0.0.1:$port/one/index.html")
printf 'a page and one file: kestrow-cli %.2f s = %.1f round trips, wget %.2f s = %.1f round trips\n' \
    "$one" "$(calc "$one * 1000 / $rtt")" "$wone" "$(calc "$wone * 1000 / $rtt")"
