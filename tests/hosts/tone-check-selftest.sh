#!/usr/bin/env bash
# The host tests' check must tell a shaped tone from the dry one and from one shaped at
# other settings: plughost renders the tone through the module, and tone_check holds
# each rendering against the settings the host tests use.
#
# tone-check-selftest.sh TONE_CHECK PLUGHOST MODULE
set -euo pipefail

if [[ $# -ne 3 ]]; then
    echo "usage: $0 TONE_CHECK PLUGHOST MODULE" >&2
    exit 2
fi
tone_check=$1 plughost=$2 module=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/tone-check.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$tone_check" write "$work/tone.wav" 48000 1.5 0.25 997
"$plughost" render "$module" "$work/tone.wav" "$work/shaped.wav" --set Boost=0.5 --set Knee=0.4 --set Hardness=0.5
"$plughost" render "$module" "$work/tone.wav" "$work/boost-only.wav" --set Boost=0.5

failures=0
# rendering, expected exit code, expected text
expect() {
    local status=0
    "$tone_check" check "$work/$1" 0.25 997 6 0.4 0.5 >"$work/out.txt" || status=$?
    if [[ $status -ne $2 ]] || ! grep -q "$3" "$work/out.txt"; then
        echo "FAILED: $1: exit code $status (want $2), output without \"$3\":"
        failures=$((failures + 1))
    else
        echo "ok: $1"
    fi
    cat "$work/out.txt"
}
expect shaped.wav 0 "right: peak 0.686957"
expect tone.wav 1 "left: this is the dry tone"
expect boost-only.wav 1 "left: peak 0.833333 (curve: 0.686957).*MISMATCH"
[[ $failures -eq 0 ]]
