#!/usr/bin/env bash
# Builds a Windows target's zip from its build tree into a temporary folder and checks
# that it holds exactly the two DLLs, the built ones stripped, the README saying what the
# controls do and where the DLLs go, and the license, both texts with CRLF line ends only.
set -euo pipefail
build=$1 dll=$2 name=$3 strip=$4 hq_dll=$5

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# What the tools below leave in TMPDIR goes with the scratch folder.
mkdir "$scratch/tmp"
export TMPDIR="$scratch/tmp"
fail() { echo "$*" >&2; exit 1; }

# Stripping stamps a PE file with the time, to the second, unless this names one: CPack's
# strip and the one below then write the same bytes, however long packing takes.
export SOURCE_DATE_EPOCH=$(stat -c %Y "$dll")
cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
zip="$scratch/out/$name.zip"
[[ -f $zip ]] || fail "no $name.zip: $(ls "$scratch/out")"

listed=$(cmake -E tar tf "$zip" | grep -v '/$' | sort)
expected=$(printf '%s\n' "$name/LICENSE.txt" "$name/README.txt" "$name/SoftKneeShaper.dll" "$name/SoftKneeShaperHQ.dll")
[[ $listed == "$expected" ]] || fail "files in the zip:"$'\n'"$listed"

mkdir "$scratch/unpacked"
(cd "$scratch/unpacked" && cmake -E tar xf "$zip")
unpacked="$scratch/unpacked/$name"
for built in "$dll" "$hq_dll"; do
    "$strip" -o "$scratch/stripped.dll" "$built"
    cmp "$scratch/stripped.dll" "$unpacked/$(basename "$built")" || fail "packaged $(basename "$built") is not the built DLL stripped"
done
for text in README.txt LICENSE.txt; do
    # Every line ends in CR LF: no LF without its CR, no CR without its LF.
    [[ $(tr -cd '\n' <"$unpacked/$text" | wc -c) -gt 0 ]] || fail "$text is empty"
    [[ $(grep -c $'\r$' "$unpacked/$text") -eq $(tr -cd '\n' <"$unpacked/$text" | wc -c) ]] &&
        [[ $(tr -cd '\r' <"$unpacked/$text" | wc -c) -eq $(tr -cd '\n' <"$unpacked/$text" | wc -c) ]] ||
        fail "$text mixes line ends"
done
for words in VstPlugins Boost Knee Hardness SoftKneeShaperHQ.dll Quality LICENSE.txt; do
    grep -q "$words" "$unpacked/README.txt" || fail "README.txt does not mention $words"
done
grep -q "Copyright (c) [0-9]* The SoftKneeShaper authors" "$unpacked/LICENSE.txt" &&
    grep -q "^ISC License" "$unpacked/LICENSE.txt" || fail "LICENSE.txt is not the ISC license of the authors"
echo "$name.zip: $(tr '\n' ' ' <<<"$listed")"
