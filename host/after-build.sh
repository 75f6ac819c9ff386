#!/usr/bin/env bash
# Shows a new user what `make` built: plughost's view of the native module, and
# the module's transfer curve at its default settings, a family of its curves at
# several Knee and Hardness settings, and its spectrum of a 1 kHz tone at -6 dBFS,
# at the defaults and at Boost 11, written into dist/.
# Usage: host/after-build.sh [BUILD-DIR]   (default: build/native)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
plughost=$build/bin/plughost
module=$root/dist/linux-x86_64/SoftKneeShaper.so

for file in "$plughost" "$module"; do
    if [[ ! -e $file ]]; then
        echo "$0: $file is missing; build the native preset first" >&2
        exit 1
    fi
done

echo
"$plughost" info "$module"
"$plughost" curve "$module" --out "$root/dist/transfer-curve.svg"
"$plughost" curve "$module" --out "$root/dist/transfer-curve.png"
# How Knee and Hardness play together, at Boost 1: the default, harder knees, no knee,
# and the full-scale knee that clips at 1.0 whatever the hardness.
family=(--compare Knee=0.5,Hardness=0 --compare Knee=0.5,Hardness=0.5 --compare Knee=0.5,Hardness=1
        --compare Knee=0,Hardness=0 --compare Knee=0,Hardness=0.9 --compare Knee=1,Hardness=0.5)
for form in svg png; do
    "$plughost" curve "$module" "${family[@]}" --out "$root/dist/knee-and-hardness.$form" >/dev/null
done
echo "curves at six Knee and Hardness settings written to $root/dist/knee-and-hardness.svg (and .png)"
for form in svg png; do
    "$plughost" spectrum "$module" --out "$root/dist/harmonics-default.$form" >/dev/null
    "$plughost" spectrum "$module" --set Boost=1 --out "$root/dist/harmonics-boost-11.$form" >/dev/null
done
echo
echo "spectrum of a 1 kHz tone at -6 dBFS, Boost 11:"
"$plughost" spectrum "$module" --set Boost=1
echo "spectra written to $root/dist/harmonics-default.svg and $root/dist/harmonics-boost-11.svg (and .png)"
