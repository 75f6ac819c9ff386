#!/usr/bin/env bash
# Shows a new user what `make` built: plughost's view of the native module, and
# the module's transfer curve at its default settings and at six Knee and Hardness
# settings in one picture, its spectrum of a 997 Hz tone at -6 dBFS at the defaults
# and at Boost 11, its aliasing at three settings, the spectrogram of a sine sweep
# at Boost 11 and its aliasing against the HQ module's at Boost 11 at 8x and 16x, and the HQ
# module's editor at scales 1 and 2, written into dist/. The pictures
# that the READMEs show are made here too, into host/, so they always show this build.
# Usage: host/after-build.sh [BUILD-DIR]   (default: build/native)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
plughost=$build/bin/plughost
module=$root/dist/linux-x86_64/SoftKneeShaper.so
hq=$root/dist/linux-x86_64/SoftKneeShaperHQ.so
# Every HQ control set, so that the picture does not depend on where a new instance starts:
# Boost 11x, Knee 0.5, Hardness 0, Output 0 dB, Mix 100 %; Quality 0.75 is 8x, 1 is 16x.
hq_boost_11=Boost=1,Knee=0.5,Hardness=0,Output=0.5,Mix=1

for file in "$plughost" "$module" "$hq"; do
    if [[ ! -e $file ]]; then
        echo "$0: $file is missing; build the native preset first" >&2
        exit 1
    fi
done

echo
"$plughost" info "$module"
# How Knee and Hardness play together, at Boost 1: the default, harder knees, no knee,
# and the full-scale knee that clips at 1.0 whatever the hardness.
family=(--compare Knee=0.5,Hardness=0 --compare Knee=0.5,Hardness=0.5 --compare Knee=0.5,Hardness=1
        --compare Knee=0,Hardness=0 --compare Knee=0,Hardness=0.9 --compare Knee=1,Hardness=0.5)
for form in svg png; do
    "$plughost" curve "$module" --out "$root/dist/transfer-curve.$form" >/dev/null
    "$plughost" curve "$module" "${family[@]}" --out "$root/dist/knee-and-hardness.$form" >/dev/null
    "$plughost" spectrum "$module" --out "$root/dist/harmonics-default.$form" >/dev/null
    "$plughost" spectrum "$module" --set Boost=1 --out "$root/dist/harmonics-boost-11.$form" >/dev/null
    "$plughost" aliasing "$module" --set Boost=0.1 --set Boost=0.5 --set Boost=1 \
        --out "$root/dist/aliasing.$form" >/dev/null
    "$plughost" spectrogram "$module" --set Boost=1 --out "$root/dist/sonogram-boost-11.$form" >/dev/null
    "$plughost" aliasing "$module" --set Boost=1,Knee=0.5,Hardness=0 \
        "$hq" --set "$hq_boost_11,Quality=0.75" --set "$hq_boost_11,Quality=1" \
        --out "$root/dist/aliasing-shaper-vs-hq.$form" >/dev/null
done
# The HQ module's editor as a host shows it, at Boost 6x over the first program (the
# controls' initial values), drawn by the module itself in a window on a display of its own,
# at scale 1 and at scale 2, as a high-density screen shows it; --scale, so that no desktop
# setting of the user's changes the pictures.
xvfb-run -a "$plughost" editor "$hq" --set Boost=0.5 --scale 1 --screenshot "$root/dist/editor-hq.png"
xvfb-run -a "$plughost" editor "$hq" --set Boost=0.5 --scale 2 --screenshot "$root/dist/editor-hq-2x.png"
for picture in transfer-curve knee-and-hardness harmonics-boost-11 aliasing sonogram-boost-11 aliasing-shaper-vs-hq \
    editor-hq editor-hq-2x; do
    cp "$root/dist/$picture.png" "$root/host/$picture.png"
done
echo
echo "spectrum of a 997 Hz tone at -6 dBFS, Boost 11:"
"$plughost" spectrum "$module" --set Boost=1 | grep -v '^  ' 
echo "pictures written to $root/dist/: transfer-curve, knee-and-hardness, harmonics-default, harmonics-boost-11,"
echo "aliasing, sonogram-boost-11 and aliasing-shaper-vs-hq, each as .svg and .png, and the HQ editor as editor-hq.png"
echo "and, at scale 2, editor-hq-2x.png"
