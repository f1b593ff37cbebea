#!/usr/bin/env bash
# Times `kestrow-cli links` on a 20 MB page with 200,000 distinct links against
# `grep -o -i 'href=[^>]*'` on the same file, in the same run, and prints the ratio.
# Usage: bench/links_vs_grep.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cli="$build/bin/kestrow-cli"
[ -x "$cli" ] || { echo "build kestrow-cli first ($cli)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$root/bench/makepage.py" "$work/page.html" 200000
echo "page: $(stat -c %s "$work/page.html") bytes, 200000 links"

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

grep_time=$(LC_ALL=C best grep -o -i 'href=[^>]*' "$work/page.html")
printf 'grep -o -i:                 %.3f s\n' "$grep_time"
# Half the links end in .zip; the empty filter lists all of them.
for filter in .zip ""; do
    args=(links "$work/page.html" --filter "$filter" --page-url http://server/dir/list.html --out "$work/out")
    kestrow=$(best "$cli" "${args[@]}")
    lines=$("$cli" "${args[@]}" | wc -l)
    printf 'kestrow-cli links --filter "%s": %.3f s, %d links listed, ratio to grep %.2f (goal <= 1.0)\n' \
        "$filter" "$kestrow" "$lines" "$(echo "$kestrow / $grep_time" | bc -l)"
done
