#!/usr/bin/env bash
# Builds a Windows target's zip from its build tree into a temporary folder and checks
# that it holds exactly the DLL, equal to the built one, and the text saying where it goes.
set -euo pipefail
build=$1 dll=$2 name=$3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "$*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
zip="$scratch/out/$name.zip"
[[ -f $zip ]] || fail "no $name.zip: $(ls "$scratch/out")"

listed=$(cmake -E tar tf "$zip" | grep -v '/$' | sort)
expected=$(printf '%s\n' "$name/INSTALL.txt" "$name/SoftKneeShaper.dll")
[[ $listed == "$expected" ]] || fail "files in the zip:"$'\n'"$listed"

mkdir "$scratch/unpacked"
(cd "$scratch/unpacked" && cmake -E tar xf "$zip")
cmp "$dll" "$scratch/unpacked/$name/SoftKneeShaper.dll" || fail "packaged DLL differs from the build"
grep -q "VstPlugins" "$scratch/unpacked/$name/INSTALL.txt" || fail "INSTALL.txt does not say where the DLL goes"
echo "$name.zip: $(tr '\n' ' ' <<<"$listed")"
