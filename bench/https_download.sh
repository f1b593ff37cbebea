#!/usr/bin/env bash
# Downloads one large file over HTTPS from a local nginx with "kestrow-cli get" and with "curl -o"
# in the same run, and prints the throughput of both, their ratio and the peak memory of both (from
# /usr/bin/time -v). Both trust the test authority the nginx peer makes. Then fetches a file a
# sixteenth of the size with kestrow-cli, so that its peak memory shows whether it grows with the
# file, and a 1 KiB file 20 times with each tool, for what a short request costs. Last, the peak
# memory of kestrow_bench_tls_floor fetching the large file: a program that links Qt Core and Qt
# Network, as kestrow-cli does, and does nothing but the fetch with OpenSSL, which no client of
# ours can go below.
#
#   bench/https_download.sh [BUILD_DIR] [ROUNDS] [SIZE_MIB]
#
# BUILD_DIR defaults to build/, ROUNDS to 3 (the best round of each tool counts), SIZE_MIB to
# 1024. Everything runs on 127.0.0.1 in a temporary folder that is removed at the end. Both tools
# write to /dev/shm when it exists, so that the disk's write-back does not drown the difference
# between the clients; set KESTROW_BENCH_OUT to a folder to write elsewhere.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
rounds=${2:-3}
size_mib=${3:-1024}
cli=$build/bin/kestrow-cli
size=$((size_mib * 1024 * 1024))
small_mib=$(((size_mib + 15) / 16))

for tool in "$cli" /usr/bin/time curl openssl awk; do
    if ! command -v "$tool" >/dev/null; then
        echo "missing: $tool (build kestrow-cli, and install the packages of scripts/setup.sh)" >&2
        exit 1
    fi
done

source "$(dirname "$0")/measure.sh"

state=$(mktemp -d /tmp/kestrow-bench-XXXXXX)
out_dir=${KESTROW_BENCH_OUT:-$([ -d /dev/shm ] && echo /dev/shm || echo "$state")}
out="$out_dir/kestrow-bench-$$.bin"
cleanup() {
    rm -f "$out"
    "$root/tests/peers/nginx/nginxtlspeer.sh" stop "$state/nginx" >/dev/null 2>&1 || true
    rm -rf "$state"
}
trap cleanup EXIT

"$root/tests/peers/nginx/nginxtlspeer.sh" start "$state/nginx" >/dev/null
port=$(cat "$state/nginx/port")
ca="$state/nginx/ca.pem"
echo "Writing a ${size_mib} MiB file for nginx with TLS on 127.0.0.1:$port ..."
head -c "$size" /dev/urandom >"$state/nginx/root/files/big.bin"
head -c $((small_mib * 1024 * 1024)) "$state/nginx/root/files/big.bin" >"$state/nginx/root/files/small.bin"
url="https://127.0.0.1:$port/files/big.bin"

best_kestrow="" best_curl="" peak_kestrow=0 peak_curl=0
# The CPU time of a download is less at the mercy of other work on the machine than its wall time.
cpu_kestrow="" cpu_curl=""
load_before=$(cut -d' ' -f1 /proc/loadavg)
for round in $(seq "$rounds"); do
    # Alternate the order so neither tool always runs first.
    order="kestrow curl"
    [ $((round % 2)) -eq 0 ] && order="curl kestrow"
    for tool in $order; do
        if [ "$tool" = kestrow ]; then
            read -r seconds peak cpu < <(measure "$size" "$cli" get "$url" "$out" --ca-file "$ca")
            cpu_kestrow=$(calc "(\"$cpu_kestrow\" == \"\" || $cpu < ${cpu_kestrow:-0}) ? $cpu : ${cpu_kestrow:-0}")
            best_kestrow=$(calc "(\"$best_kestrow\" == \"\" || $seconds < ${best_kestrow:-0}) ? $seconds : ${best_kestrow:-0}")
            [ "$peak" -gt "$peak_kestrow" ] && peak_kestrow=$peak
        else
            read -r seconds peak cpu < <(measure "$size" curl -s --cacert "$ca" -o "$out" "$url")
            cpu_curl=$(calc "(\"$cpu_curl\" == \"\" || $cpu < ${cpu_curl:-0}) ? $cpu : ${cpu_curl:-0}")
            best_curl=$(calc "(\"$best_curl\" == \"\" || $seconds < ${best_curl:-0}) ? $seconds : ${best_curl:-0}")
            [ "$peak" -gt "$peak_curl" ] && peak_curl=$peak
        fi
        printf '  round %d %-8s %6.2f s  %7d KiB peak\n' "$round" "$tool" "$seconds" "$peak"
    done
done
read -r _ peak_small _ < <(measure $((small_mib * 1024 * 1024)) "$cli" get "https://127.0.0.1:$port/files/small.bin" \
    "$out" --ca-file "$ca")
rm -f "$out"
floor=$build/bin/kestrow_bench_tls_floor
peak_floor=""
if [ -x "$floor" ]; then
    /usr/bin/time -f %M -o "$state/floor.txt" "$floor" "$port" /files/big.bin "$ca" "$out"
    peak_floor=$(cat "$state/floor.txt")
    rm -f "$out"
fi

# What one short request costs, start-up, connection and handshake included: 20 in a row.
head -c 1024 /dev/urandom >"$state/nginx/root/files/tiny.bin"
tiny="https://127.0.0.1:$port/files/tiny.bin"
requests() {
    local start end
    start=$(date +%s.%N)
    for _ in $(seq 20); do
        "$@" >/dev/null 2>&1
    done
    end=$(date +%s.%N)
    calc "($end - $start) / 20 * 1000"
}
tiny_kestrow=$(requests "$cli" get "$tiny" "$out" --ca-file "$ca")
tiny_curl=$(requests curl -s --cacert "$ca" -o "$out" "$tiny")
rm -f "$out"

echo
echo "${size_mib} MiB over HTTPS on 127.0.0.1 into $out_dir, best of $rounds rounds:"
printf 'kestrow-cli get  %8.1f MiB/s   peak memory %6.1f MiB\n' "$(calc "$size_mib / $best_kestrow")" \
    "$(calc "$peak_kestrow / 1024")"
printf 'curl -o          %8.1f MiB/s   peak memory %6.1f MiB\n' "$(calc "$size_mib / $best_curl")" \
    "$(calc "$peak_curl / 1024")"
printf 'throughput ratio kestrow/curl: %.2f (goal: at least 1.00)\n' "$(calc "$best_curl / $best_kestrow")"
printf 'CPU per download (least of the rounds): kestrow-cli %.3f s, curl %.3f s, ratio curl/kestrow %.2f\n' \
    "$cpu_kestrow" "$cpu_curl" "$(calc "$cpu_curl / $cpu_kestrow")"
echo "load average: $load_before before, $(cut -d' ' -f1 /proc/loadavg) after"
printf 'kestrow-cli peak memory for %d MiB: %.1f MiB, for %d MiB: %.1f MiB (goal: the same)\n' \
    "$small_mib" "$(calc "$peak_small / 1024")" "$size_mib" "$(calc "$peak_kestrow / 1024")"
[ -n "$peak_floor" ] && printf 'floor, Qt Core and Network with OpenSSL alone: peak memory %.1f MiB\n' \
    "$(calc "$peak_floor / 1024")"
printf 'one request for 1 KiB, start-up included: kestrow-cli get %.1f ms, curl %.1f ms\n' "$tiny_kestrow" "$tiny_curl"
