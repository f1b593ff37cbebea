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

# Starts the nginx peer in $state/nginx with a file of SIZE random bytes: serve_big_file SIZE sets
# $port and $url. The caller stops nginx when it ends ("nginxpeer.sh stop $state/nginx").
serve_big_file() {
    "$root/tests/peers/nginx/nginxpeer.sh" start "$state/nginx" >/dev/null
    port=$(cat "$state/nginx/port")
    echo "Writing a $(($1 / 1048576)) MiB file for nginx on 127.0.0.1:$port ..."
    head -c "$1" /dev/urandom >"$state/nginx/root/files/big.bin"
    url="http://127.0.0.1:$port/files/big.bin"
}

# The wall time of a command, its output dropped: timed COMMAND... prints seconds.
timed() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    calc "$end - $start"
}

# Stops the benchmark unless FOLDER holds COUNT files named f*.bin: check_files FOLDER COUNT TOOL.
check_files() {
    local got
    got=$(find "$1" -name 'f*.bin' | wc -l)
    if [ "$got" -ne "$2" ]; then
        echo "$3 fetched $got of $2 files" >&2
        exit 1
    fi
}
