#!/usr/bin/env bash
# A page of many small files on a local nginx behind a relay that delays like a wide-area link
# (../shared/tools/wan_relay.py, or the relay named by KESTROW_WAN_RELAY).
#
# One at a time: "kestrow-cli run --pause 0 --parallel 1" beside "wget -r -l1 -nd", one curl
# that fetches every file over one connection and "aria2c -j1 -i" on the same files, best of
# ROUNDS each, with the connections each tool opened to nginx (its log names the client's port),
# and the time a one-entry run takes for a page with one file, in round trips.
#
# Five at once, at each round trip of PARALLEL_RTTS (default "10 RTT_MS 150"): "kestrow-cli run
# --pause 0 --parallel 5", which fetches and scans the page too, beside "aria2c -j5 -i" and
# "curl --parallel --parallel-max 5", which are handed the file list. Then the peak memory of a
# run of 1000 files straight from nginx with --parallel 16 against --parallel 1.
#
#   bench/wan_many_files.sh [BUILD_DIR] [ROUNDS] [FILES] [SIZE_KIB] [RTT_MS] [MBIT]
#
# BUILD_DIR defaults to build/, ROUNDS to 3, FILES to 200, SIZE_KIB to 16, RTT_MS to 50, MBIT to
# 100. Everything runs on 127.0.0.1 in a temporary folder that is removed at the end. ONLY=parallel
# skips the one-at-a-time part.
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
relay_pids=()
cleanup() {
    for pid in "${relay_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    "$root/tests/peers/nginx/nginxpeer.sh" stop "$state/nginx" >/dev/null 2>&1 || true
    rm -rf "$state"
}
trap cleanup EXIT

"$root/tests/peers/nginx/nginxpeer.sh" start "$state/nginx" >/dev/null
nginx_port=$(cat "$state/nginx/port")

# A relay to nginx with the given round trip: start_relay RTT sets $port.
start_relay() {
    port=$(kestrow_free_port)
    /usr/bin/python3 "$relay" "$port" "127.0.0.1:$nginx_port" --rtt "$1" --mbit "$mbit" >"$state/relay-$1.txt" &
    relay_pids+=($!)
    for _ in $(seq 50); do
        grep -q listening "$state/relay-$1.txt" 2>/dev/null && break
        sleep 0.1
    done
}
start_relay "$rtt"

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
    kestrow) "$cli" run "$state/list.kes" --out "$out" --filter .bin --pause 0 --parallel 1 --log-level 0 ;;
    wget) wget -q -r -l1 -nd -A bin -P "$out" "$page" ;;
    curl) (cd "$out" && xargs curl -s --remote-name-all <"$state/urls.txt") ;;
    aria2) aria2c -q -j1 -i "$state/urls.txt" -d "$out" ;;
    esac
}

tools=(kestrow wget curl aria2)
declare -A best connections
[ "${ONLY:-}" = parallel ] && rounds_one=0 || rounds_one=$rounds
for round in $(seq "$rounds_one"); do
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

if [ "$rounds_one" -gt 0 ]; then
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
fi

# Five at once. The peers get the list ready-made; Kestrow fetches and scans the page as well.
run_parallel() {
    local tool=$1 out=$2 at=$3
    case $tool in
    kestrow) "$cli" run "$state/list-$at.kes" --out "$out" --filter .bin --pause 0 --parallel 5 --log-level 0 ;;
    aria2) aria2c -q -j5 -i "$state/urls-$at.txt" -d "$out" ;;
    curl) (cd "$out" && xargs curl -s --parallel --parallel-max 5 --remote-name-all <"$state/urls-$at.txt") ;;
    esac
}
for at in ${PARALLEL_RTTS:-10 $rtt 150}; do
    start_relay "$at"
    echo "http://127.0.0.1:$port/many/index.html" >"$state/list-$at.kes"
    sed "s|127.0.0.1:[0-9]*/|127.0.0.1:$port/|" "$state/urls.txt" >"$state/urls-$at.txt"
    declare -A fast=()
    for round in $(seq "$rounds"); do
        for tool in kestrow aria2 curl; do
            out="$state/out-$tool-$at"
            rm -rf "$out"
            mkdir -p "$out"
            seconds=$(timed run_parallel "$tool" "$out" "$at")
            check_files "$out" "$files" "$tool"
            if [ -z "${fast[$tool]:-}" ] || [ "$(calc "$seconds < ${fast[$tool]}")" = 1 ]; then
                fast[$tool]=$seconds
            fi
        done
    done
    peer=$(calc "(${fast[aria2]} < ${fast[curl]}) ? ${fast[aria2]} : ${fast[curl]}")
    printf '5 at once, %d files of %d KiB at %d ms, best of %d: kestrow %.2f s, aria2c -j5 %.2f s, curl --parallel %.2f s; kestrow / faster: %.2f (goal: at most 1.00)\n' \
        "$files" "$size_kib" "$at" "$rounds" "${fast[kestrow]}" "${fast[aria2]}" "${fast[curl]}" "$(calc "${fast[kestrow]} / $peer")"
done

# Memory: 1000 files of 1 KiB straight from nginx, 16 at once against one at a time.
mkdir -p "$state/nginx/root/thousand"
{
    for i in $(seq -w 1 1000); do
        head -c 1024 /dev/urandom >"$state/nginx/root/thousand/f$i.bin"
        echo "<a href=\"f$i.bin\">f$i</a>"
    done
} >"$state/nginx/root/thousand/index.html"
echo "http://127.0.0.1:$nginx_port/thousand/index.html" >"$state/thousand.kes"
declare -A peak
for parallel in 1 16; do
    rm -rf "$state/out-thousand"
    /usr/bin/time -f %M -o "$state/peak.txt" "$cli" run "$state/thousand.kes" --out "$state/out-thousand" \
        --filter .bin --pause 0 --parallel "$parallel" --log-level 2 >/dev/null
    check_files "$state/out-thousand" 1000 "kestrow --parallel $parallel"
    peak[$parallel]=$(cat "$state/peak.txt")
done
printf '1000 files: peak memory %d KiB with --parallel 16, %d KiB with --parallel 1: %.2f (goal: at most 1.20)\n' \
    "${peak[16]}" "${peak[1]}" "$(calc "${peak[16]} / ${peak[1]}")"
