#!/usr/bin/env bash
# Downloads one large file (1 GiB by default) from a local anonymous FTP server in active mode,
# with `kestrow-cli get` and with `curl --ftp-port - -o`, alternately in the same run, and
# prints the best time of each, their throughput ratio and each one's peak memory. With
# "passive" both make the data connection themselves (kestrow-cli get --passive, curl's EPSV).
# Usage: bench/ftp_download.sh [BUILD_DIR] [SIZE_MIB] [active|passive]   (defaults: build, 1024, active)
# Needs python3-pyftpdlib, curl and GNU time (/usr/bin/time).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
size_mib="${2:-1024}"
mode="${3:-active}"
case "$mode" in
active) kestrow_mode=() curl_mode=(--ftp-port -) ;;
passive) kestrow_mode=(--passive) curl_mode=() ;;
*) echo "mode: active or passive, not $mode" >&2; exit 2 ;;
esac
cli="$build/bin/kestrow-cli"
runs=3
[ -x "$cli" ] || { echo "build kestrow-cli first ($cli)" >&2; exit 1; }
for tool in /usr/bin/time curl bc; do
    command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done
/usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null || { echo "python3-pyftpdlib is missing" >&2; exit 1; }

work=$(mktemp -d)
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root" "$work/out"
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$work/root/big.bin"
bytes=$(stat -c %s "$work/root/big.bin")

# Port 0 lets the system choose; the server names the port in its start-up line.
: >"$work/server.log"
/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p 0 -d "$work/root" >"$work/server.log" 2>&1 </dev/null &
server_pid=$!
port=""
for _ in $(seq 100); do
    port=$(sed -n 's/.*starting FTP server on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/server.log")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "the FTP server did not start:" >&2; cat "$work/server.log" >&2; exit 1; }
url="ftp://127.0.0.1:$port/big.bin"
echo "file: $bytes bytes, server: pyftpdlib on 127.0.0.1:$port, $mode mode, $runs runs each"

# Runs the command under GNU time; prints "SECONDS KBYTES" (wall time, peak resident memory).
measure() {
    local out=$1
    shift
    rm -f "$out"
    # Dirty pages of the last run would otherwise be written back during this one.
    sync
    /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" ||
        { echo "failed: $*" >&2; cat "$work/stderr.txt" >&2; exit 1; }
    cmp -s "$out" "$work/root/big.bin" || { echo "wrong content from: $*" >&2; exit 1; }
    local wall rss
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt" |
        awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
    echo "$wall $rss"
}

best_kestrow="" best_curl="" rss_kestrow=0 rss_curl=0
for run in $(seq $runs); do
    read -r t m < <(measure "$work/out/k.bin" "$cli" get "$url" "$work/out/k.bin" "${kestrow_mode[@]}")
    printf 'run %d  kestrow-cli get: %6.2f s  %7.1f MB/s  peak %6d KiB\n' "$run" "$t" \
        "$(echo "$bytes / $t / 1000000" | bc -l)" "$m"
    if [ -z "$best_kestrow" ] || (($(echo "$t < $best_kestrow" | bc -l))); then best_kestrow=$t; fi
    ((m > rss_kestrow)) && rss_kestrow=$m
    rm -f "$work/out/k.bin"

    read -r t m < <(measure "$work/out/c.bin" curl -s "${curl_mode[@]}" -o "$work/out/c.bin" "$url")
    printf 'run %d  curl (%s): %6.2f s  %7.1f MB/s  peak %6d KiB\n' "$run" "$mode" "$t" \
        "$(echo "$bytes / $t / 1000000" | bc -l)" "$m"
    if [ -z "$best_curl" ] || (($(echo "$t < $best_curl" | bc -l))); then best_curl=$t; fi
    ((m > rss_curl)) && rss_curl=$m
    rm -f "$work/out/c.bin"
done

printf 'best: kestrow-cli get %.2f s (%.1f MB/s), curl %.2f s (%.1f MB/s)\n' \
    "$best_kestrow" "$(echo "$bytes / $best_kestrow / 1000000" | bc -l)" \
    "$best_curl" "$(echo "$bytes / $best_curl / 1000000" | bc -l)"
printf 'throughput ratio kestrow/curl: %.2f (goal >= 0.9)\n' "$(echo "$best_curl / $best_kestrow" | bc -l)"
printf 'peak memory: kestrow-cli get %d KiB, curl %d KiB (file %d KiB)\n' "$rss_kestrow" "$rss_curl" \
    $((bytes / 1024))
