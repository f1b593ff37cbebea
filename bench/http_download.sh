#!/usr/bin/env bash
# Downloads one large file from a local nginx with "kestrow-cli get" and with "curl -o" in the
# same run, and prints the throughput of both, their ratio and the peak memory of both (from
# /usr/bin/time -v). Then measures what a wait on a stalled server costs: kestrow-cli get against
# a server that accepts and never answers, until its --timeout ends it.
#
#   bench/http_download.sh [BUILD_DIR] [ROUNDS] [SIZE_MIB]
#
# BUILD_DIR defaults to build/, ROUNDS to 3 (the best round of each tool counts), SIZE_MIB to
# 1024. With KESTROW_BASELINE_CLI naming another kestrow-cli (an earlier build), that one runs
# in every round too, and the throughput of this build is compared with it. Everything runs on 127.0.0.1 in a temporary folder that is removed at the end. Both tools
# write to the same place: /dev/shm when it exists, so that the disk's write-back does not drown
# the difference between the clients; set KESTROW_BENCH_OUT to a folder to write elsewhere.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
rounds=${2:-3}
size_mib=${3:-1024}
cli=$build/bin/kestrow-cli
size=$((size_mib * 1024 * 1024))

for tool in "$cli" /usr/bin/time curl /usr/bin/python3 awk; do
    if ! command -v "$tool" >/dev/null; then
        echo "missing: $tool (build kestrow-cli, and install the packages of scripts/setup.sh)" >&2
        exit 1
    fi
done

source "$(dirname "$0")/measure.sh"

state=$(mktemp -d /tmp/kestrow-bench-XXXXXX)
out_dir=${KESTROW_BENCH_OUT:-$([ -d /dev/shm ] && echo /dev/shm || echo "$state")}
out="$out_dir/kestrow-bench-$$.bin"
stalled_pid=""
cleanup() {
    if [ -n "$stalled_pid" ]; then
        kill "$stalled_pid" 2>/dev/null || true
    fi
    rm -f "$out"
    "$root/tests/peers/nginx/nginxpeer.sh" stop "$state/nginx" >/dev/null 2>&1 || true
    rm -rf "$state"
}
trap cleanup EXIT

serve_big_file "$size"

baseline=${KESTROW_BASELINE_CLI:-}
best_kestrow="" best_curl="" best_baseline="" peak_kestrow=0 peak_curl=0 peak_baseline=0
# The CPU time of a download is less at the mercy of other work on the machine than its wall time.
cpu_kestrow="" cpu_baseline=""
for round in $(seq "$rounds"); do
    # Alternate the order so neither tool always runs first.
    order="kestrow curl"
    [ $((round % 2)) -eq 0 ] && order="curl kestrow"
    [ -n "$baseline" ] && order=$([ $((round % 2)) -eq 0 ] && echo "baseline $order" || echo "$order baseline")
    for tool in $order; do
        if [ "$tool" = kestrow ]; then
            read -r seconds peak cpu < <(measure "$size" "$cli" get "$url" "$out")
            cpu_kestrow=$(calc "(\"$cpu_kestrow\" == \"\" || $cpu < ${cpu_kestrow:-0}) ? $cpu : ${cpu_kestrow:-0}")
            best_kestrow=$(calc "(\"$best_kestrow\" == \"\" || $seconds < ${best_kestrow:-0}) ? $seconds : ${best_kestrow:-0}")
            [ "$peak" -gt "$peak_kestrow" ] && peak_kestrow=$peak
        elif [ "$tool" = baseline ]; then
            read -r seconds peak cpu < <(measure "$size" "$baseline" get "$url" "$out")
            cpu_baseline=$(calc "(\"$cpu_baseline\" == \"\" || $cpu < ${cpu_baseline:-0}) ? $cpu : ${cpu_baseline:-0}")
            best_baseline=$(calc "(\"$best_baseline\" == \"\" || $seconds < ${best_baseline:-0}) ? $seconds : ${best_baseline:-0}")
            [ "$peak" -gt "$peak_baseline" ] && peak_baseline=$peak
        else
            read -r seconds peak cpu < <(measure "$size" curl -s -o "$out" "$url")
            best_curl=$(calc "(\"$best_curl\" == \"\" || $seconds < ${best_curl:-0}) ? $seconds : ${best_curl:-0}")
            [ "$peak" -gt "$peak_curl" ] && peak_curl=$peak
        fi
        printf '  round %d %-8s %6.2f s  %7d KiB peak\n' "$round" "$tool" "$seconds" "$peak"
    done
done
rm -f "$out"

echo
echo "${size_mib} MiB over 127.0.0.1 into $out_dir, best of $rounds rounds:"
printf 'kestrow-cli get  %8.1f MiB/s   peak memory %6.1f MiB\n' "$(calc "$size_mib / $best_kestrow")" \
    "$(calc "$peak_kestrow / 1024")"
printf 'curl -o          %8.1f MiB/s   peak memory %6.1f MiB\n' "$(calc "$size_mib / $best_curl")" \
    "$(calc "$peak_curl / 1024")"
printf 'throughput ratio kestrow/curl: %.2f (goal: at least 0.90)\n' "$(calc "$best_curl / $best_kestrow")"
if [ -n "$baseline" ]; then
    printf 'baseline get     %8.1f MiB/s   peak memory %6.1f MiB   (%s)\n' "$(calc "$size_mib / $best_baseline")" \
        "$(calc "$peak_baseline / 1024")" "$baseline"
    printf 'throughput ratio this build/baseline: %.3f (goal: at least 0.95)\n' "$(calc "$best_baseline / $best_kestrow")"
    printf 'CPU per download: this build %.3f s, baseline %.3f s, ratio %.3f\n' "$cpu_kestrow" "$cpu_baseline" \
        "$(calc "$cpu_baseline / $cpu_kestrow")"
fi

# A server that accepts and then says nothing: the client waits in its event loop until the
# --timeout watchdog aborts it. What that wait costs is the CPU time of the whole run.
/usr/bin/python3 -c '
import socket, time
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(1)
print(s.getsockname()[1], flush=True)
c = s.accept()
time.sleep(60)
' >"$state/stalled.port" &
stalled_pid=$!
for _ in $(seq 100); do
    [ -s "$state/stalled.port" ] && break
    sleep 0.05
done
stall_seconds=5
/usr/bin/time -v -o "$state/time.txt" "$cli" get "http://127.0.0.1:$(cat "$state/stalled.port")/" "$out" \
    --timeout "$stall_seconds" >/dev/null 2>"$state/stderr.txt" || true
cpu=$(awk -F': ' '/User time/ {u = $2} /System time/ {s = $2} END {print u + s}' "$state/time.txt")
printf 'stalled server: a %d s wait cost %.3f s of CPU = %.1f%% of one core (goal: under 5%%)\n' \
    "$stall_seconds" "$cpu" "$(calc "100 * $cpu / $stall_seconds")"
echo "  ($(tail -1 "$state/stderr.txt"))"
