#!/usr/bin/env bash
# Times `kestrow-cli links` against `grep -o -i 'href=[^>]*'` on the same page, in the same run,
# and prints the ratio and kestrow-cli's peak resident memory. Pages: 20 MB with 200,000 distinct
# links, and 200 MB with the same links among 900 more bytes of text per row.
# Usage: bench/links_vs_grep.sh [BUILD_DIR] [small|large|all]   (default: build, all)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
which="${2:-all}"
cli="$build/bin/kestrow-cli"
[ -x "$cli" ] || { echo "build kestrow-cli first ($cli)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

best() { # best wall time of 5 runs, in seconds
    local best="" t
    for _ in 1 2 3 4 5; do
        local start end
        start=$(date +%s.%N)
        "$@" >"$work/out.txt"
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc -l)
        if [ -z "$best" ] || (( $(echo "$t < $best" | bc -l) )); then best=$t; fi
    done
    echo "$best"
}

peak_mb() { # peak resident memory of one run, in MB
    /usr/bin/time -f %M -o "$work/time.txt" "$@" >/dev/null
    echo "$(( $(tail -n 1 "$work/time.txt") / 1024 ))"
}

compare() { # name pad
    python3 "$root/bench/makepage.py" "$work/page.html" 200000 "$2"
    echo "== $1 page: $(stat -c %s "$work/page.html") bytes, 200000 links"
    local grep_time
    grep_time=$(LC_ALL=C best grep -o -i 'href=[^>]*' "$work/page.html")
    printf 'grep -o -i:                 %.3f s\n' "$grep_time"
    # Half the links end in .zip; the empty filter lists all of them.
    for filter in .zip ""; do
        local args=(links "$work/page.html" --filter "$filter" --page-url http://server/dir/list.html
                    --out "$work/out")
        local kestrow lines
        kestrow=$(best "$cli" "${args[@]}")
        lines=$("$cli" "${args[@]}" | wc -l)
        printf 'kestrow-cli links --filter "%s": %.3f s, %d links listed, ratio to grep %.2f, peak %d MB\n' \
            "$filter" "$kestrow" "$lines" "$(echo "$kestrow / $grep_time" | bc -l)" "$(peak_mb "$cli" "${args[@]}")"
    done
}

case "$which" in
small) compare 20MB 0 ;;
large) compare 200MB 900 ;;
*) compare 20MB 0; compare 200MB 900 ;;
esac
