#!/usr/bin/env bash
# A page on a local nginx with one large file and a SHA256SUMS beside it, fetched by
# "kestrow-cli run" with the checksum checked and with --no-checksums, in the same rounds. Prints
# the best throughput of each, their ratio and the peak memory of both (from /usr/bin/time -v).
#
#   bench/checksum_download.sh [BUILD_DIR] [ROUNDS] [SIZE_MIB]
#
# BUILD_DIR defaults to build/, ROUNDS to 5 (the best round of each counts), SIZE_MIB to 1024.
# The file is written to /dev/shm when it exists (KESTROW_BENCH_OUT names another folder), so
# that the disk does not drown the difference. KESTROW_BENCH_RATE (such as 110M, about a gigabit
# link) runs both under that speed limit, for the cost at a network's pace rather than memory's.
# The last line gives what one core hashes alone (openssl speed): no download that checks a sum
# can be faster than that.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
rounds=${2:-5}
size_mib=${3:-1024}
cli=$build/bin/kestrow-cli
size=$((size_mib * 1024 * 1024))

for tool in "$cli" /usr/bin/time sha256sum awk; do
    if ! command -v "$tool" >/dev/null; then
        echo "missing: $tool" >&2
        exit 1
    fi
done

source "$(dirname "$0")/measure.sh"

state=$(mktemp -d /tmp/kestrow-bench-XXXXXX)
out_dir=$(mktemp -d "${KESTROW_BENCH_OUT:-$([ -d /dev/shm ] && echo /dev/shm || echo "$state")}/kestrow-sums-XXXXXX")
out="$out_dir/big.bin"
cleanup() {
    rm -rf "$out_dir"
    "$root/tests/peers/nginx/nginxpeer.sh" stop "$state/nginx" >/dev/null 2>&1 || true
    rm -rf "$state"
}
trap cleanup EXIT

serve_big_file "$size"
files="$state/nginx/root/files"
(cd "$files" && sha256sum big.bin >SHA256SUMS)
echo '<html><body><a href="big.bin">big</a> <a href="SHA256SUMS">sums</a></body></html>' >"$files/index.html"
echo "http://127.0.0.1:$port/files/index.html" >"$state/list.kes"
# The stored settings of whoever runs this are left alone.
export KESTROW_SETTINGS="$state/settings.json" KESTROW_HOME="$state/home"
mkdir -p "$KESTROW_HOME"

best_on="" best_off="" peak_on=0 peak_off=0
for round in $(seq "$rounds"); do
    order="on off"
    [ $((round % 2)) -eq 0 ] && order="off on"
    for mode in $order; do
        extra=()
        [ "$mode" = off ] && extra=(--no-checksums)
        [ -n "${KESTROW_BENCH_RATE:-}" ] && extra+=(--limit-rate "$KESTROW_BENCH_RATE")
        rm -f "$out"
        read -r seconds peak cpu < <(measure "$size" "$cli" run "$state/list.kes" --out "$out_dir" \
            --filter .bin --pause 0 --overwrite --log-level 2 "${extra[@]}")
        if [ "$mode" = on ] && ! grep -q "SHA256 checksum matches" "$KESTROW_HOME/KestrowLog.txt"; then
            echo "the checked run did not check the file:" >&2
            tail -5 "$KESTROW_HOME/KestrowLog.txt" >&2
            exit 1
        fi
        rm -f "$KESTROW_HOME/KestrowLog.txt"
        if [ "$mode" = on ]; then
            best_on=$(calc "(\"$best_on\" == \"\" || $seconds < ${best_on:-0}) ? $seconds : ${best_on:-0}")
            [ "$peak" -gt "$peak_on" ] && peak_on=$peak
        else
            best_off=$(calc "(\"$best_off\" == \"\" || $seconds < ${best_off:-0}) ? $seconds : ${best_off:-0}")
            [ "$peak" -gt "$peak_off" ] && peak_off=$peak
        fi
        printf '  round %d checksums %-3s %6.2f s  %7d KiB peak  %6.2f s CPU\n' "$round" "$mode" "$seconds" "$peak" "$cpu"
    done
done

echo
echo "${size_mib} MiB over 127.0.0.1 into $out_dir${KESTROW_BENCH_RATE:+ at --limit-rate $KESTROW_BENCH_RATE}, best of $rounds rounds:"
printf 'checked (SHA256)   %8.1f MiB/s   peak memory %6.1f MiB\n' "$(calc "$size_mib / $best_on")" \
    "$(calc "$peak_on / 1024")"
printf 'not checked        %8.1f MiB/s   peak memory %6.1f MiB\n' "$(calc "$size_mib / $best_off")" \
    "$(calc "$peak_off / 1024")"
printf 'throughput ratio checked/unchecked: %.2f (goal: at least 0.90)\n' "$(calc "$best_off / $best_on")"
if command -v openssl >/dev/null; then
    printf 'SHA256 alone on one core of this machine: %.1f MiB/s (openssl speed, 1 MiB blocks)\n' \
        "$(openssl speed -evp sha256 -bytes 1048576 -seconds 2 2>/dev/null |
            awk '$1 == "sha256" { sub(/k$/, "", $2); print $2 * 1000 / 1048576 }')"
fi
