#!/usr/bin/env bash
# Completes kestrow-cli command lines with the generated bash completion, as bash does on Tab.
# Usage: completion_test.sh COMPLETION_FILE KESTROW_CLI
set -uo pipefail
completion=$(readlink -f "${1:?completion file}")
cli=$(readlink -f "${2:?kestrow-cli}")
fail() { echo "FAIL: $*" >&2; exit 1; }

source /usr/share/bash-completion/bash_completion || fail "no bash-completion"
source "$completion"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir downloads lists
touch nightly.kes saved.html

# The words bash would offer for the line, the cursor at its end, sorted on one line.
offers() {
    local line=$1
    COMP_LINE=$line
    COMP_POINT=${#line}
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _kestrow_cli kestrow-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}" | sort | xargs
}
expect() {
    local got
    got=$(offers "$1")
    [ "$got" = "$2" ] || fail "'$1' offers '$got', not '$2'"
}

expect 'kestrow-cli ' '--help get help links run'
expect 'kestrow-cli r' 'run'
expect 'kestrow-cli run --ti' '--timeout'
expect 'kestrow-cli run --proxy-' '--proxy-password --proxy-user'
expect 'kestrow-cli run ' 'downloads lists nightly.kes saved.html'
expect 'kestrow-cli run n' 'nightly.kes'
expect 'kestrow-cli run --out ' 'downloads lists'
expect 'kestrow-cli run --timeout ' ''
expect 'kestrow-cli links --filter .zip s' 'saved.html'
expect 'kestrow-cli get ' ''
expect 'kestrow-cli get http://server/a.zip ' 'downloads lists nightly.kes saved.html'
expect 'kestrow-cli get --proxy host:3128 http://server/a.zip --ca-file ' 'downloads lists nightly.kes saved.html'
expect 'kestrow-cli get --timeout 30 http://server/a.zip s' 'saved.html'
expect 'kestrow-cli help ' ''

# Every option that --help lists is completed, and nothing else.
for command in links get run; do
    listed=$("$cli" "$command" --help | sed -n 's/^  \(-[-a-z]*\).*/\1/p' | sort | xargs)
    [ -n "$listed" ] || fail "no options in kestrow-cli $command --help"
    expect "kestrow-cli $command -" "$listed"
done
echo "completion OK"
