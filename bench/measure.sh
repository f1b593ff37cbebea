# Shared by the download benchmarks; source it after setting $state (a scratch folder) and $out
# (the file every download writes).

calc() { awk "BEGIN {print $1}"; }

# One download under /usr/bin/time: measure EXPECTED_BYTES COMMAND... prints
# "seconds peak_kib cpu_seconds", and stops the benchmark when the file is not EXPECTED_BYTES long.
measure() {
    local expected=$1
    shift
    rm -f "$out"
    local start end got peak cpu
    start=$(date +%s.%N)
    /usr/bin/time -v -o "$state/time.txt" "$@" >/dev/null 2>"$state/stderr.txt"
    end=$(date +%s.%N)
    got=$(stat -c %s "$out")
    if [ "$got" -ne "$expected" ]; then
        echo "$1 wrote $got bytes instead of $expected:" >&2
        cat "$state/stderr.txt" >&2
        exit 1
    fi
    peak=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$state/time.txt")
    cpu=$(awk -F': ' '/User time/ {u = $2} /System time/ {s = $2} END {print u + s}' "$state/time.txt")
    echo "$(calc "$end - $start") $peak $cpu"
}
