#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks the layout a desktop and a cron job use.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=${1:?build directory}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

for file in lib/kestrow/kestrow lib/kestrow/kestrow-cli; do
    [ -x "$prefix/$file" ] || fail "$file is not an installed program"
done
# OpenSSL is linked like any other library, so that the system's tools see the dependency.
# grep -q would leave early and, under pipefail, fail the pipeline with the writer's SIGPIPE.
ldd "$prefix/lib/kestrow/kestrow-cli" | grep 'libssl\.so\.3 => /' >/dev/null || fail "kestrow-cli does not link libssl.so.3"
[ -s "$prefix/lib/kestrow/Help/kesthelp.html" ] || fail "the help page is not beside the program"
[ -s "$prefix/share/icons/hicolor/scalable/apps/kestrow.svg" ] || fail "no icon"
for program in kestrow kestrow-cli; do
    [ "$(readlink -f "$prefix/bin/$program")" = "$(readlink -f "$prefix/lib/kestrow/$program")" ] ||
        fail "bin/$program does not lead to the program folder"
done

desktop="$prefix/share/applications/org.example.Kestrow.desktop"
grep -qx 'Type=Application' "$desktop" || fail "launcher without Type"
grep -qx "Exec=\"$prefix/lib/kestrow/kestrow\" %f" "$desktop" || fail "launcher runs $(grep Exec= "$desktop")"
grep -qx 'Icon=kestrow' "$desktop" || fail "launcher without the icon"

# man finds the page through the PATH; bash finds the completion under the data folders (as
# /usr/local/share and ~/.local/share are).
[ "$(PATH="$prefix/bin:$PATH" man -w kestrow-cli)" = "$prefix/share/man/man1/kestrow-cli.1.gz" ] ||
    fail "man does not find kestrow-cli"
XDG_DATA_DIRS="$prefix/share" bash -c 'source /usr/share/bash-completion/bash_completion &&
    __load_completion kestrow-cli && complete -p kestrow-cli' >/dev/null || fail "bash does not find the completion"

# The installed companion works from its link and keeps its log beside the program.
"$prefix/bin/kestrow-cli" --help | grep 'kestrow-cli run' >/dev/null || fail "kestrow-cli --help"
printf 'http://127.0.0.1:1/x.html\r\n' >"$prefix/list.kes"
status=0
env -u KESTROW_HOME KESTROW_SETTINGS="$prefix/settings.json" \
    "$prefix/bin/kestrow-cli" run "$prefix/list.kes" --out "$prefix/out" --log-level 1 >/dev/null 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "a failing run ended with $status"
grep -q 'Failed to download page http://127.0.0.1:1/x.html' "$prefix/lib/kestrow/KestrowLog.txt" ||
    fail "the log is not beside the installed program"
echo "installed layout OK under $prefix"
