#!/usr/bin/env bash
# Loads the 32-bit Windows DLL into LMMS 1.2 through its Wine bridge, headless, renders
# a test tone through it from the command line and checks from the rendered file that
# the curve, at the given settings, shaped it.
#
# lmms-render.sh TONE_CHECK MODULE BOOST KNEE HARDNESS
#   BOOST is the gain factor 1..11; KNEE and HARDNESS 0..1.
# lmms-render.sh TONE_CHECK MODULE --like PLUGHOST REFERENCE NAME=VALUE...
#   The host values of 0 to 1 by parameter name (SoftKneeShaper HQ's six); the rendering
#   must equal plughost's rendering of the tone through REFERENCE, the Linux module of the
#   same effect, at the same values.
#
# Everything, LMMS's configuration and the Wine prefix included, lives in a temporary
# folder that is removed at the end, also on failure, after the prefix's Wine server and
# every process it runs are ended; each host step has a time limit.
set -euo pipefail

if [[ ! ($# -eq 5 || ($# -ge 5 && $3 == --like)) ]]; then
    echo "usage: $0 TONE_CHECK MODULE BOOST KNEE HARDNESS, or $0 TONE_CHECK MODULE --like PLUGHOST REFERENCE NAME=VALUE..." >&2
    exit 2
fi
tone_check=$1 module=$2
if [[ $3 == --like ]]; then
    plughost=$4 reference=$5
    settings=("${@:6}")
else
    boost=$3 knee=$4 hardness=$5
    # The project holds the DLL's parameters as the host's normalised values.
    settings=("Boost=$(awk -v g="$boost" 'BEGIN { print (g - 1) / 10 }')" "Knee=$knee" "Hardness=$hardness")
fi
if [[ ! -f $module ]]; then
    echo "$0: no module $module (the win32 preset builds it)" >&2
    exit 1
fi
here=$(cd "$(dirname "$0")" && pwd)
amplitude=0.25
frequency=997 # prime, so one second of the tone visits every phase step once
rate=44100

work=$(mktemp -d "${TMPDIR:-/tmp}/lmms-render.XXXXXX")
export WINEPREFIX="$work/wine"
# The Wine server leaves a folder of its own in TMPDIR, also after wineserver -k: keep it in the work folder.
export TMPDIR="$work/tmp"
mkdir "$TMPDIR"
cleanup() {
    if [[ -d $WINEPREFIX ]]; then
        timeout 30 wineserver -k 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run"
export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
mkdir -p "$HOME" "$work/vst"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export WINEDEBUG=-all
# A 32-bit prefix is all the bridge needs, and is made in half the time of a 64-bit one.
export WINEARCH=win32
# No Mono or Gecko: nothing here needs them, and the machine may not download them.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=offscreen

elapsed() {
    local micros=$(( ${EPOCHREALTIME/./} - $1 ))
    printf "%d.%01d s" $((micros / 1000000)) $((micros / 100000 % 10))
}

# The Wine-side plug-in process makes a window for every plug-in; with no display it
# stops answering unless Wine's graphics driver is the null one.
start=${EPOCHREALTIME/./}
timeout -k 5 90 wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log" >&2; exit 1; }
timeout -k 5 30 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
timeout -k 5 30 wineserver -w
echo "Wine prefix made in $(elapsed "$start")"

cp "$module" "$work/vst/"
"$tone_check" write "$work/tone.wav" "$rate" 2 "$amplitude" "$frequency"
params="numparams=\"${#settings[@]}\""
for i in "${!settings[@]}"; do
    params+=" param$i=\"$i:${settings[i]%%=*}:${settings[i]#*=}\""
done
sed -e "s|@TONE@|$work/tone.wav|" -e "s|@MODULE@|$work/vst/$(basename "$module")|" -e "s|@PARAMS@|$params|" \
    "$here/lmms-render.mmp" >"$work/project.mmp"

# LMMS refuses to run as root without --allowroot (CI runs as root).
allow_root=()
if [[ $(id -u) -eq 0 ]]; then
    allow_root=(--allowroot)
fi
# LMMS 1.2 now and then dies of a segmentation fault, seen both as it starts and as it exits
# after "Done"; so a render that a signal ends is made once more, and only a second such end fails.
for attempt in 1 2; do
    start=${EPOCHREALTIME/./}
    status=0
    # -x 1: no oversampling, so the output is the curve's as the module made it.
    timeout -k 5 60 lmms "${allow_root[@]}" render "$work/project.mmp" -o "$work/render.wav" -f wav -a -s "$rate" -x 1 \
        </dev/null || status=$?
    echo "lmms render took $(elapsed "$start")"
    # timeout answers 124 and 137 for its own ends, 128 + N for a signal N that ended LMMS.
    if [[ $attempt -eq 1 && $status -gt 128 && $status -ne 137 ]]; then
        echo "$0: lmms ended with status $status (signal $((status - 128))); rendering again" >&2
        rm -f "$work/render.wav"
        continue
    fi
    [[ $status -eq 0 ]] || exit "$status"
    break
done
if [[ -n ${reference:-} ]]; then
    set_options=()
    for setting in "${settings[@]}"; do
        set_options+=(--set "$setting")
    done
    "$plughost" render "$reference" "$work/tone.wav" "$work/reference.wav" "${set_options[@]}"
    # Not exec: the work folder and the Wine server go when this shell exits.
    "$tone_check" like "$work/render.wav" "$work/reference.wav"
    exit
fi
"$tone_check" check "$work/render.wav" "$amplitude" "$frequency" "$boost" "$knee" "$hardness"
