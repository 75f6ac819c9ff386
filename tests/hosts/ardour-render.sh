#!/usr/bin/env bash
# Loads the effect into Ardour 7, headless, renders a test tone through it and checks
# from the exported file that the curve, at the given settings, shaped it.
#
# ardour-render.sh TONE_CHECK FORMAT MODULE BOOST KNEE HARDNESS
#   FORMAT: LXVST (MODULE: the Linux VST module) or LV2 (MODULE: the bundle folder).
#   BOOST is the gain factor 1..11; KNEE and HARDNESS 0..1.
# ardour-render.sh TONE_CHECK LV2HQ BUNDLE QUALITY ENGINE_FRAMES [URI], or
# ardour-render.sh TONE_CHECK LXVSTHQ MODULE QUALITY ENGINE_FRAMES
#   An impulse on a dry track and on one through SoftKneeShaper HQ at a linear setting and
#   QUALITY (0..4 for 1x..16x), checked to land on the same frame of the master, with the
#   engine running ENGINE_FRAMES a cycle. URI names another plug-in in BUNDLE in its place.
#
# Everything, Ardour's configuration and cache included, lives in a temporary folder
# that is removed at the end, also on failure; each host step has a time limit.
set -euo pipefail

if [[ $2 == LV2HQ || $2 == LXVSTHQ ]]; then
    if [[ ! ($# -eq 5 || ($# -eq 6 && $2 == LV2HQ)) ]]; then
        echo "usage: $0 TONE_CHECK LV2HQ BUNDLE QUALITY ENGINE_FRAMES [URI], or $0 TONE_CHECK LXVSTHQ MODULE QUALITY ENGINE_FRAMES" >&2
        exit 2
    fi
    tone_check=$1 format=$2 module=$3 quality=$4 engine_frames=$5 uri=(${6:+"$6"})
elif [[ $# -eq 6 ]]; then
    tone_check=$1 format=$2 module=$3 boost=$4 knee=$5 hardness=$6
else
    echo "usage: $0 TONE_CHECK FORMAT MODULE BOOST KNEE HARDNESS, or $0 TONE_CHECK LV2HQ|LXVSTHQ MODULE QUALITY ENGINE_FRAMES" >&2
    exit 2
fi
if [[ ! -e $module ]]; then
    echo "$0: no module $module" >&2
    exit 1
fi
here=$(cd "$(dirname "$0")" && pwd)
amplitude=0.25
frequency=997 # prime, so one second of the tone visits every phase step once
frames=72000  # 1.5 seconds at the session's 48 kHz

work=$(mktemp -d "${TMPDIR:-/tmp}/ardour-render.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM
# Whatever Ardour or the scanner leaves in TMPDIR goes with the work folder.
export TMPDIR="$work/tmp"
mkdir "$TMPDIR"
export HOME="$work/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
mkdir -p "$HOME/.config/ardour7/scripts" "$HOME/.config/ardour7/export" "$work/vst" "$work/lv2" "$work/ladspa" "$work/out"
cp "$here/test_tone.lua" "$HOME/.config/ardour7/scripts/"
cp "$here/ardour-float-wav.preset" "$HOME/.config/ardour7/export/"
unset DISPLAY WAYLAND_DISPLAY
# Only the module under test: no plug-in the machine happens to have installed.
export LXVST_PATH="$work/vst" VST_PATH="$work/vst" LV2_PATH="$work/lv2" LADSPA_PATH="$work/ladspa"
# Ardour 7.3 with glibc's allocator can abort on heap corruption when the session closes
# (also with no plug-in loaded); with jemalloc preloaded it has not.
jemalloc=/usr/lib/x86_64-linux-gnu/libjemalloc.so.2
if [[ ! -f $jemalloc ]]; then
    echo "$0: no $jemalloc (Debian package libjemalloc2)" >&2
    exit 1
fi

case $format in
LXVST | LXVSTHQ)
    cp "$module" "$work/vst/"
    copy="$work/vst/$(basename "$module")"
    # ardour7-lua does not scan; it reads the scanner's cache, which is stamped with
    # the scan time in whole seconds and ignores a module that looks newer than that.
    touch -d '2000-01-01 00:00:00' "$copy"
    LD_LIBRARY_PATH=/usr/lib/ardour7 timeout -k 5 30 /usr/lib/ardour7/ardour-vst-scanner -q -f "$copy"
    ;;
LV2 | LV2HQ)
    cp -r "$module" "$work/lv2/"
    ;;
*)
    echo "$0: FORMAT is LXVST or LV2, not $format" >&2
    exit 2
    ;;
esac

elapsed() {
    local micros=$(( ${EPOCHREALTIME/./} - $1 ))
    printf "%d.%01d s" $((micros / 1000000)) $((micros / 100000 % 10))
}
start=${EPOCHREALTIME/./}
if [[ $format == LV2HQ || $format == LXVSTHQ ]]; then
    cp "$here/test_impulse.lua" "$HOME/.config/ardour7/scripts/"
    impulse_frame=24000
    LD_PRELOAD=$jemalloc timeout -k 5 90 ardour7-lua "$here/ardour_align.lua" "$work/session" "${format%HQ}" \
        "$quality" "$amplitude" "$impulse_frame" "$frames" "$work/out" "$engine_frames" "${uri[@]}" </dev/null
    echo "ardour7-lua took $(elapsed "$start")"
    rendered=$(ls "$work/out/"*.wav 2>/dev/null | head -n 1)
    [[ -n $rendered ]] || { echo "$0: Ardour exported no file" >&2; exit 1; }
    # Not exec: the work folder goes when this shell exits.
    "$tone_check" aligned "$rendered" "$amplitude" "$impulse_frame"
    exit
fi
LD_PRELOAD=$jemalloc timeout -k 5 90 ardour7-lua "$here/ardour_render.lua" "$work/session" "$format" \
    "$boost" "$knee" "$hardness" "$amplitude" "$frequency" "$frames" "$work/out" </dev/null
echo "ardour7-lua took $(elapsed "$start")"
rendered=$(ls "$work/out/"*.wav 2>/dev/null | head -n 1)
if [[ -z $rendered ]]; then
    echo "$0: Ardour exported no file" >&2
    exit 1
fi
"$tone_check" check "$rendered" "$amplitude" "$frequency" "$boost" "$knee" "$hardness"
