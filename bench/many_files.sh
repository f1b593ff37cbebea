#!/usr/bin/env bash
# A page of many small files on a local nginx, fetched by "kestrow-cli run" with no pause, without
# a log and with the fullest one (a line per file and per answer), beside "wget -r -l1" and "aria2c -i" on the same files in the same run: the wall time of
# each, best of ROUNDS, and kestrow's ratio to wget. What is compared is the run's own cost per
# file, since the network is the loopback.
#
#   bench/many_files.sh [BUILD_DIR] [ROUNDS] [FILES] [SIZE_KIB]
#
# BUILD_DIR defaults to build/, ROUNDS to 3, FILES to 1000, SIZE_KIB to 16. Everything runs on
# 127.0.0.1 in a temporary folder that is removed at the end.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
rounds=${2:-3}
files=${3:-1000}
size_kib=${4:-16}
cli=$build/bin/kestrow-cli

for tool in "$cli" wget aria2c awk; do
    if ! command -v "$tool" >/dev/null; then
        echo "missing: $tool (build kestrow-cli; apt-get install wget aria2)" >&2
        exit 1
    fi
done

source "$(dirname "$0")/measure.sh"

state=$(mktemp -d /tmp/kestrow-bench-XXXXXX)
cleanup() {
    "$root/tests/peers/nginx/nginxpeer.sh" stop "$state/nginx" >/dev/null 2>&1 || true
    rm -rf "$state"
}
trap cleanup EXIT

"$root/tests/peers/nginx/nginxpeer.sh" start "$state/nginx" >/dev/null
port=$(cat "$state/nginx/port")
site="$state/nginx/root/many"
mkdir -p "$site"
echo "Writing $files files of $size_kib KiB for nginx on 127.0.0.1:$port ..."
{
    echo "<html><body>"
    for i in $(seq -w 1 "$files"); do
        head -c $((size_kib * 1024)) /dev/urandom >"$site/f$i.bin"
        echo "<a href=\"f$i.bin\">f$i</a>"
        echo "http://127.0.0.1:$port/many/f$i.bin" >>"$state/urls.txt"
    done
    echo "</body></html>"
} >"$site/index.html"
page="http://127.0.0.1:$port/many/index.html"
echo "$page" >"$state/list.kes"
# The stored settings of whoever runs this are left alone.
export KESTROW_SETTINGS="$state/settings.json" KESTROW_HOME="$state/home"
mkdir -p "$KESTROW_HOME"

check() { check_files "$1" "$files" "$2"; }

best_kestrow="" best_logged="" best_wget="" best_aria=""
best() { calc "(\"$1\" == \"\" || $2 < ${1:-0}) ? $2 : ${1:-0}"; }
for round in $(seq "$rounds"); do
    for tool in kestrow logged wget aria2; do
        out="$state/out-$tool"
        rm -rf "$out"
        mkdir -p "$out"
        case $tool in
        kestrow)
            seconds=$(timed "$cli" run "$state/list.kes" --out "$out" --filter .bin --pause 0 --log-level 0)
            best_kestrow=$(best "$best_kestrow" "$seconds") ;;
        logged)
            seconds=$(timed "$cli" run "$state/list.kes" --out "$out" --filter .bin --pause 0 --log-level 3)
            best_logged=$(best "$best_logged" "$seconds") ;;
        wget)
            seconds=$(timed wget -q -r -l1 -nd -A bin -P "$out" "$page")
            best_wget=$(best "$best_wget" "$seconds") ;;
        aria2)
            seconds=$(timed aria2c -q -i "$state/urls.txt" -d "$out")
            best_aria=$(best "$best_aria" "$seconds") ;;
        esac
        check "$out" "$tool"
        printf '  round %d %-8s %6.2f s\n' "$round" "$tool" "$seconds"
    done
done
echo "kestrow-cli run: best $best_kestrow s for $files files"
echo "  at log level 3: best $best_logged s ($(calc "$best_logged / $best_kestrow") times, goal: at most 1.25)"
echo "wget -r -l1:     best $best_wget s"
echo "aria2c -i:       best $best_aria s"
echo "kestrow / wget: $(calc "$best_kestrow / $best_wget") (goal: at most 2.00)"
