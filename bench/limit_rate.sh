#!/usr/bin/env bash
# A speed limit held over time: "kestrow-cli run --limit-rate RATE --pause 0 --parallel 5" on a
# page of five large files from a local nginx, beside "wget --limit-rate RATE" and
# "curl --limit-rate RATE" on one of the files (their limit is per transfer, so one transfer is
# what compares). Each tool runs for SECONDS while the size of what it has written is sampled; then
# the bytes of every WINDOW-second window (starting each second) are set against RATE, and the
# largest deviation is printed, with the windows [0, WINDOW) and [WINDOW, 2 WINDOW).
#
#   bench/limit_rate.sh [BUILD_DIR] [RATE] [SECONDS] [WINDOW]
#
# BUILD_DIR defaults to build/, RATE to 2M (as the tools spell it: N, Nk or NM), SECONDS to 20,
# WINDOW to 10. Everything runs on 127.0.0.1 in a temporary folder that is removed at the end.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
rate_text=${2:-2M}
seconds=${3:-20}
window=${4:-10}
cli=$build/bin/kestrow-cli

for tool in "$cli" wget curl awk; do
    if ! command -v "$tool" >/dev/null; then
        echo "missing: $tool (build kestrow-cli; apt-get install wget curl)" >&2
        exit 1
    fi
done

case $rate_text in
*[kK]) rate=$(awk "BEGIN {printf \"%d\", ${rate_text%?} * 1024}") ;;
*[mM]) rate=$(awk "BEGIN {printf \"%d\", ${rate_text%?} * 1048576}") ;;
*) rate=$rate_text ;;
esac

source "$(dirname "$0")/measure.sh"

state=$(mktemp -d /tmp/kestrow-bench-XXXXXX)
tool_pid=
cleanup() {
    [ -n "$tool_pid" ] && kill "$tool_pid" 2>/dev/null || true
    "$root/tests/peers/nginx/nginxpeer.sh" stop "$state/nginx" >/dev/null 2>&1 || true
    rm -rf "$state"
}
trap cleanup EXIT

"$root/tests/peers/nginx/nginxpeer.sh" start "$state/nginx" >/dev/null
port=$(cat "$state/nginx/port")
# Large enough that no file ends within the run, whichever tool fetches it.
size_mib=$(((rate * seconds * 2) / 1048576 + 1))
site="$state/nginx/root/limit"
mkdir -p "$site"
echo "Writing 5 files of $size_mib MiB for nginx on 127.0.0.1:$port ..."
head -c $((size_mib * 1048576)) /dev/urandom >"$site/f1.bin"
for i in 2 3 4 5; do cp "$site/f1.bin" "$site/f$i.bin"; done
printf '<a href="f%d.bin">f</a>\n' 1 2 3 4 5 >"$site/index.html"
echo "http://127.0.0.1:$port/limit/index.html" >"$state/list.kes"
export KESTROW_SETTINGS="$state/settings.json" KESTROW_HOME="$state/home"
mkdir -p "$KESTROW_HOME"

# Bytes of every file under a folder, hidden ones (a transfer's part file) included.
bytes_in() {
    find "$1" -type f -printf '%s\n' 2>/dev/null | awk '{s += $1} END {print s + 0}'
}

# Runs a tool in the background for $seconds and a little more, writing "time bytes" samples
# every tenth of a second from the first byte on: sample_tool NAME COMMAND...
sample_tool() {
    local name=$1 out=$state/out-$1 samples=$state/samples-$1.txt
    shift
    rm -rf "$out"
    mkdir -p "$out"
    (cd "$out" && exec "$@" >"$state/output-$name.txt" 2>&1) &
    tool_pid=$!
    local start= now got
    : >"$samples"
    while :; do
        now=$(date +%s.%N)
        got=$(bytes_in "$out")
        if [ -z "$start" ] && [ "$got" -eq 0 ]; then
            if ! kill -0 "$tool_pid" 2>/dev/null; then
                echo "$name ended without writing anything:" >&2
                cat "$state/output-$name.txt" >&2
                exit 1
            fi
            sleep 0.05
            continue
        fi
        [ -z "$start" ] && start=$now
        echo "$(calc "$now - $start") $got" >>"$samples"
        [ "$(calc "(($now - $start) > ($seconds + 0.5))")" = 1 ] && break
        if ! kill -0 "$tool_pid" 2>/dev/null; then
            echo "$name ended before $seconds s" >&2
            break
        fi
        sleep 0.1
    done
    kill "$tool_pid" 2>/dev/null || true
    wait "$tool_pid" 2>/dev/null || true
    tool_pid=
}

# The bytes at a time, read off the samples by linear interpolation, per window of $window s
# starting each second up to $seconds: "worst first second" deviations in per cent.
report() {
    awk -v rate="$rate" -v window="$window" -v seconds="$seconds" -v name="$1" '
        { t[NR] = $1; b[NR] = $2; n = NR }
        function at(x,   i) {
            for (i = 2; i <= n; i++)
                if (t[i] >= x)
                    return b[i - 1] + (b[i] - b[i - 1]) * (x - t[i - 1]) / (t[i] - t[i - 1]);
            return b[n];
        }
        END {
            worst = 0;
            for (s = 0; s + window <= seconds + 0.001; s++) {
                d = ((at(s + window) - at(s)) / window / rate - 1) * 100;
                if (d < 0 ? -d > (worst < 0 ? -worst : worst) : d > (worst < 0 ? -worst : worst))
                    worst = d;
            }
            first = ((at(window) - at(0)) / window / rate - 1) * 100;
            second = seconds >= 2 * window ? ((at(2 * window) - at(window)) / window / rate - 1) * 100 : 0;
            printf "  %-8s worst %ds window %+6.2f %%   [0,%d) %+6.2f %%   [%d,%d) %+6.2f %%   %.2f MiB in %d s\n",
                name, window, worst, window, first, window, 2 * window, second, at(seconds) / 1048576, seconds;
        }' "$state/samples-$1.txt"
}

echo "Limit $rate_text ($rate bytes/s), $seconds s, ${window}s windows each second; deviation from the limit:"
sample_tool kestrow "$cli" run "$state/list.kes" --out "$state/out-kestrow" --filter .bin --pause 0 --parallel 5 \
    --log-level 0 --limit-rate "$rate_text"
report kestrow
sample_tool wget wget -q --limit-rate="$rate_text" "http://127.0.0.1:$port/limit/f1.bin"
report wget
sample_tool curl curl -s --limit-rate "$rate_text" -o f1.bin "http://127.0.0.1:$port/limit/f1.bin"
report curl
echo "goal: kestrow within 5 % over every window, with 5 transfers in flight"
