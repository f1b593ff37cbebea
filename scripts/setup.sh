# Shared by ./run and ./test: install what is missing, then configure and build into build/.
# Sourced, not run.

KESTROW_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Packages to build and start the program (ca-certificates: the authorities https servers are checked against).
KESTROW_BUILD_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev
    libbenchmark-dev libssl-dev ca-certificates)
# Real servers the test suite runs against on 127.0.0.1, and the tools it compares with; the
# packaging check's tools (dpkg-shlibdeps, the launcher and software-centre validators, man, bash's
# completion).
KESTROW_TEST_PACKAGES=(nginx tinyproxy squid apache2 lighttpd vsftpd python3-pyftpdlib libnss-wrapper openssl curl cups-client dpkg-dev
    desktop-file-utils appstream
    groff-base man-db bash-completion)

kestrow_missing_packages() {
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            echo "$package"
        fi
    done
}

kestrow_as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        echo "Installing packages needs root; run as root or install sudo." >&2
        return 1
    fi
}

kestrow_install() {
    local missing
    missing=$(kestrow_missing_packages "$@")
    [ -z "$missing" ] && return 0
    echo "Installing: $(echo $missing)"
    kestrow_as_root apt-get update
    # The server packages (web servers, proxies, FTP) must not start their own services, nor take
    # the place of another package.
    kestrow_as_root env DEBIAN_FRONTEND=noninteractive RUNLEVEL=1 apt-get install -y --no-install-recommends \
        --no-remove $missing
}

kestrow_build() {
    local type="${KESTROW_BUILD_TYPE:-RelWithDebInfo}"
    cmake -S "$KESTROW_ROOT" -B "$KESTROW_ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE="$type"
    cmake --build "$KESTROW_ROOT/build" -j "$(nproc)"
}
