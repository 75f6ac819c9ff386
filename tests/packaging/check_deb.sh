#!/usr/bin/env bash
# Builds the Debian package from a build tree into a temporary folder and checks it: its
# fields, a file list of exactly the two VST modules under usr/lib/vst/, the two LV2 bundles under
# usr/lib/lv2/ and the license and changelog under usr/share/doc/, each module the built
# one stripped and each other file equal to the built one, lv2info finding both plug-ins in
# the unpacked usr/lib/lv2 folder, and lintian finding no error.
set -euo pipefail
build=$1 version=$2 vst_module=$3 bundle=$4 lv2info=$5 uri=$6 strip=$7 lintian=$8 hq_bundle=$9 hq_uri=${10}
hq_module=${11}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# What the tools below leave in TMPDIR (lintian a folder per run) goes with the scratch folder.
mkdir "$scratch/tmp"
export TMPDIR="$scratch/tmp"
fail() { echo "$*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
shopt -s nullglob
debs=("$scratch"/out/*.deb)
[[ ${#debs[@]} -eq 1 ]] || fail "expected one .deb, got: ${debs[*]:-none}"
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[[ $(basename "$deb") == "softkneeshaper_${version}_${arch}.deb" ]] || fail "unexpected file name $(basename "$deb")"

for field in "Package=softkneeshaper" "Version=$version" "Architecture=$arch" "Section=sound"; do
    [[ $(dpkg-deb -f "$deb" "${field%%=*}") == "${field#*=}" ]] || fail "field ${field%%=*} is not ${field#*=}"
done
[[ -n $(dpkg-deb -f "$deb" Description) ]] || fail "no description"
[[ -n $(dpkg-deb -f "$deb" Maintainer) ]] || fail "no maintainer"

listed=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | sort)
expected=$(printf '%s\n' \
    ./usr/lib/lv2/SoftKneeShaper.lv2/SoftKneeShaper.so \
    ./usr/lib/lv2/SoftKneeShaper.lv2/SoftKneeShaper.ttl \
    ./usr/lib/lv2/SoftKneeShaper.lv2/manifest.ttl \
    ./usr/lib/lv2/SoftKneeShaperHQ.lv2/SoftKneeShaperHQ.so \
    ./usr/lib/lv2/SoftKneeShaperHQ.lv2/SoftKneeShaperHQ.ttl \
    ./usr/lib/lv2/SoftKneeShaperHQ.lv2/SoftKneeShaperHQ_ui.so \
    ./usr/lib/lv2/SoftKneeShaperHQ.lv2/manifest.ttl \
    ./usr/lib/lv2/SoftKneeShaperHQ.lv2/presets.ttl \
    ./usr/lib/vst/SoftKneeShaper.so \
    ./usr/lib/vst/SoftKneeShaperHQ.so \
    ./usr/share/doc/softkneeshaper/changelog.gz \
    ./usr/share/doc/softkneeshaper/copyright)
[[ $listed == "$expected" ]] || fail "files in the package:"$'\n'"$listed"

dpkg-deb -x "$deb" "$scratch/root"
# A module in the package is the built one stripped: no symbol table, no debug information.
for pair in "$vst_module=usr/lib/vst/SoftKneeShaper.so" "$hq_module=usr/lib/vst/SoftKneeShaperHQ.so" \
            "$bundle/SoftKneeShaper.so=usr/lib/lv2/SoftKneeShaper.lv2/SoftKneeShaper.so" \
            "$hq_bundle/SoftKneeShaperHQ.so=usr/lib/lv2/SoftKneeShaperHQ.lv2/SoftKneeShaperHQ.so" \
            "$hq_bundle/SoftKneeShaperHQ_ui.so=usr/lib/lv2/SoftKneeShaperHQ.lv2/SoftKneeShaperHQ_ui.so"; do
    packaged="$scratch/root/${pair#*=}"
    "$strip" -o "$scratch/stripped.so" "${pair%%=*}"
    cmp "$scratch/stripped.so" "$packaged" || fail "packaged ${pair#*=} is not the built module stripped"
    ! readelf -S -W "$packaged" | grep -Eq ' \.(symtab|debug_[a-z]+) ' || fail "${pair#*=} keeps symbols or debug information"
done
for file in SoftKneeShaper.ttl manifest.ttl; do
    cmp "$bundle/$file" "$scratch/root/usr/lib/lv2/SoftKneeShaper.lv2/$file" || fail "packaged $file differs"
done
for file in SoftKneeShaperHQ.ttl manifest.ttl presets.ttl; do
    cmp "$hq_bundle/$file" "$scratch/root/usr/lib/lv2/SoftKneeShaperHQ.lv2/$file" || fail "packaged HQ $file differs"
done
copyright="$scratch/root/usr/share/doc/softkneeshaper/copyright"
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright" &&
    grep -qx 'Copyright: [0-9]* The SoftKneeShaper authors' "$copyright" && grep -qx 'License: ISC' "$copyright" ||
    fail "the copyright file does not grant the ISC license in Debian's format: $(cat "$copyright")"
grep -qx 'License: bitstream-vera' "$copyright" && grep -q 'Bitstream' "$copyright" ||
    fail "the copyright file lacks the license of the editor's font"
"$lintian" --no-tag-display-limit "$deb" >"$scratch/lintian.txt" 2>/dev/null || true
! grep -q '^E: ' "$scratch/lintian.txt" || fail "lintian finds errors:"$'\n'"$(cat "$scratch/lintian.txt")"
for pair in "$uri=SoftKneeShaper.lv2" "$hq_uri=SoftKneeShaperHQ.lv2"; do
    LV2_PATH="$scratch/root/usr/lib/lv2" "$lv2info" "${pair%%=*}" >"$scratch/lv2info.txt" ||
        fail "lv2info does not find ${pair%%=*} in the unpacked package"
    grep -q "$scratch/root/usr/lib/lv2/${pair#*=}/" "$scratch/lv2info.txt" ||
        fail "lv2info found the plug-in elsewhere: $(cat "$scratch/lv2info.txt")"
done
echo "$(basename "$deb"): $(wc -l <<<"$listed") files, lv2info finds $uri and $hq_uri, lintian: $(grep -c . "$scratch/lintian.txt") tag(s)"
cat "$scratch/lintian.txt"
