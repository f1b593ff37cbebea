#!/usr/bin/env bash
# Builds the Debian package from the build tree, checks what it says and holds, and checks its
# launcher, software-centre file and manual page in a tree unpacked from it.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
build=$(readlink -f "${1:?build directory}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/out/kestrow_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single kestrow_VERSION_ARCH.deb: ${debs[*]}"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "kestrow_${version}_$(dpkg --print-architecture).deb" ] || fail "named $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kestrow ] || fail "Package: $(field Package)"
[ "$(field Section)" = web ] || fail "Section: $(field Section)"
[[ $(field Maintainer) == *"Kestrow project <"*"@"*">" ]] || fail "Maintainer: $(field Maintainer)"
[[ $(field Homepage) == https://* ]] || fail "Homepage: $(field Homepage)"
[ "$(field Description | wc -l)" -ge 4 ] || fail "a description of one line"
depends=$(field Depends)
for needed in libqt6core6 libqt6network6 libqt6widgets6 qt6-qpa-plugins libssl3; do
    [[ ", $depends," =~ ", $needed"[\ ,] ]] || fail "Depends lacks $needed: $depends"
done
[[ $depends != *-dev* ]] || fail "Depends names a development package: $depends"

# Exactly these files, owned by root, programs executable and nothing else.
dpkg-deb -c "$deb" >"$work/contents"
awk '$1 !~ /^d/ { print $6 }' "$work/contents" | sort >"$work/files"
sort >"$work/expected" <<'LIST'
./usr/bin/kestrow
./usr/bin/kestrow-cli
./usr/lib/kestrow/Help/kesthelp.html
./usr/lib/kestrow/kestrow
./usr/lib/kestrow/kestrow-cli
./usr/share/applications/org.example.Kestrow.desktop
./usr/share/bash-completion/completions/kestrow-cli
./usr/share/doc/kestrow/examples/kestrow-run@.service
./usr/share/doc/kestrow/examples/kestrow-run@.timer
./usr/share/icons/hicolor/scalable/apps/kestrow.svg
./usr/share/man/man1/kestrow-cli.1.gz
./usr/share/metainfo/org.example.Kestrow.metainfo.xml
LIST
diff -u "$work/expected" "$work/files" || fail "the package holds other files"
awk '$2 != "root/root" { exit 1 }' "$work/contents" || fail "files not owned by root"
awk '$1 ~ /^-/ && $6 ~ /^.\/usr\/lib\/kestrow\/kestrow/ && $1 != "-rwxr-xr-x" { exit 1 }
     $1 ~ /^-/ && $6 !~ /^.\/usr\/lib\/kestrow\/kestrow/ && $1 != "-rw-r--r--" { exit 1 }' "$work/contents" ||
    fail "wrong modes: $(grep -v '^d' "$work/contents")"

root=$work/root
dpkg -x "$deb" "$root"
for program in kestrow kestrow-cli; do
    [ "$(readlink "$root/usr/bin/$program")" = "../lib/kestrow/$program" ] || fail "/usr/bin/$program"
done
# The companion runs from /usr/bin with no display.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/kestrow-cli" --help >"$work/help" ||
    fail "kestrow-cli --help"

desktop=$root/usr/share/applications/org.example.Kestrow.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx 'Exec="/usr/lib/kestrow/kestrow" %f' "$desktop" || fail "launcher runs $(grep Exec= "$desktop")"
metainfo=$root/usr/share/metainfo/org.example.Kestrow.metainfo.xml
appstreamcli validate --no-net "$metainfo" >"$work/appstream" || { cat "$work/appstream"; fail "appstreamcli"; }
grep -q '<launchable type="desktop-id">org.example.Kestrow.desktop</launchable>' "$metainfo" ||
    fail "the software-centre file does not name the launcher"
grep -q "<release version=\"$version\"" "$metainfo" || fail "no release entry for $version"

# The page renders without a warning, has its sections, and names every option of every --help.
manpage=$root/usr/share/man/man1/kestrow-cli.1.gz
zcat "$manpage" | groff -man -ww -z 2>"$work/groff" && [ ! -s "$work/groff" ] || fail "groff: $(cat "$work/groff")"
MANWIDTH=80 man --warnings -l "$manpage" >"$work/man" 2>"$work/man-errors" && [ ! -s "$work/man-errors" ] ||
    fail "man: $(cat "$work/man-errors")"
for section in NAME SYNOPSIS DESCRIPTION COMMANDS 'EXIT STATUS' ENVIRONMENT FILES EXAMPLES; do
    grep -qx "$section" "$work/man" || fail "no $section section"
done
for command in links get run; do
    for option in $("$root/usr/bin/kestrow-cli" "$command" --help | sed -n 's/^  \(-[-a-z]*\).*/\1/p'); do
        grep -q -- "^ *$option\b" "$work/man" || fail "the page lacks $command $option"
    done
done
for variable in KESTROW_SETTINGS KESTROW_HOME XDG_CONFIG_HOME XDG_DATA_HOME; do
    grep -qx " *$variable" "$work/man" || fail "ENVIRONMENT lacks $variable"
done
echo "package $(basename "$deb") OK"
