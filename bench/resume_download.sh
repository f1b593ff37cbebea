#!/usr/bin/env bash
# A large download from a local nginx, killed (SIGKILL) once 60 % of it is in, then fetched again
# with the same command: kestrow-cli get goes on where the first stopped. Prints what nginx sent
# in all (from its access log, combined format: the bytes of each answer's body) against the
# file's size, the time of both parts, and whether the file is identical to the server's.
#
#   bench/resume_download.sh [BUILD_DIR] [SIZE_MIB] [CUT_PERCENT]
#
# BUILD_DIR defaults to build/, SIZE_MIB to 1024, CUT_PERCENT to 60. Everything runs on
# 127.0.0.1 in a temporary folder that is removed at the end; the download goes to /dev/shm when
# it exists (set KESTROW_BENCH_OUT to write elsewhere).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
size_mib=${2:-1024}
cut_percent=${3:-60}
cli=$build/bin/kestrow-cli
size=$((size_mib * 1024 * 1024))
cut=$((size / 100 * cut_percent))

for tool in "$cli" awk cmp; do
    if ! command -v "$tool" >/dev/null; then
        echo "missing: $tool" >&2
        exit 1
    fi
done
source "$(dirname "$0")/measure.sh"

state=$(mktemp -d /tmp/kestrow-bench-XXXXXX)
out_dir=${KESTROW_BENCH_OUT:-$([ -d /dev/shm ] && echo /dev/shm || echo "$state")}
out="$out_dir/kestrow-resume-$$.bin"
pid=""
cleanup() {
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
    rm -f "$out" "$out_dir/.kestrow-resume-$$.bin.part" "$out_dir/.kestrow-resume-$$.bin.part-info"
    "$root/tests/peers/nginx/nginxpeer.sh" stop "$state/nginx" >/dev/null 2>&1 || true
    rm -rf "$state"
}
trap cleanup EXIT

serve_big_file "$size"
partial="$out_dir/.kestrow-resume-$$.bin.part"

start=$(date +%s.%N)
"$cli" get "$url" "$out" >/dev/null 2>&1 &
pid=$!
while [ "$(stat -c %s "$partial" 2>/dev/null || echo 0)" -lt "$cut" ]; do
    sleep 0.01
done
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
pid=""
first=$(calc "$(date +%s.%N) - $start")
kept=$(stat -c %s "$partial")

start=$(date +%s.%N)
"$cli" get "$url" "$out" 2>"$state/second.txt" >/dev/null
second=$(calc "$(date +%s.%N) - $start")
# Combined log: ... "GET /files/big.bin HTTP/1.0" STATUS BYTES ...
sent=$(awk '/big.bin/ {total += $10} END {print total + 0}' "$state/nginx/access.log")
echo "first part: killed after $(calc "$kept / 1048576") MiB kept, $first s"
echo "second part: $(head -1 "$state/second.txt"), $second s"
cmp -s "$out" "$state/nginx/root/files/big.bin" && same=identical || same=DIFFERENT
echo "file: $same"
echo "nginx sent $sent bytes for a $size-byte file: $(calc "$sent / $size") x (goal: at most 1.10)"
