#!/usr/bin/env bash
# jalv.gtk3, a real LV2 host, opens the HQ plug-in with its UI on an Xvfb display and a JACK
# server of this test's own (the dummy driver, no sound card), shows the UI's window inside its
# own, and keeps running until it is told to quit: no crash, no abort. With a DPI, the display's
# Xft.dpi resource says so, and the window is the editor's size at the scale that DPI gives.
# Usage: jalv_shows_ui.sh JALV JACKD LV2_FOLDER URI [DPI]
set -uo pipefail
jalv=$1 jackd=$2 lv2_folder=$3 uri=$4 dpi=${5:-}
size=600x320
[[ $dpi == 192 ]] && size=1200x640
unset SOFTKNEESHAPER_EDITOR_SCALE # the display decides
scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

exec 3>"$scratch/display"
# -noreset: the resources set below would go with a reset when their setter, the last client, leaves.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 2>/dev/null &
pids+=($!)
exec 3>&-
for _ in $(seq 100); do [[ -s $scratch/display ]] && break; sleep 0.1; done
[[ -s $scratch/display ]] || fail "Xvfb did not start"
export DISPLAY=:$(head -n1 "$scratch/display")
[[ -z $dpi ]] || xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "$(printf 'Xft.dpi:\t%s\n' "$dpi")" ||
    fail "cannot set the display's resources"

export JACK_DEFAULT_SERVER=softkneeshaper-ui-$$
"$jackd" --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 256 >"$scratch/jackd.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
jack_lsp >/dev/null 2>&1 || fail "jackd did not start: $(cat "$scratch/jackd.log")"

LV2_PATH=$lv2_folder "$jalv" "$uri" >"$scratch/jalv.log" 2>&1 &
jalv_pid=$!
pids=("$jalv_pid" "${pids[@]}")
shown=
for _ in $(seq 150); do
    xwininfo -root -tree >"$scratch/windows.txt" 2>/dev/null
    # The UI's own window, which it makes unnamed inside jalv's, at the editor's size.
    if grep -Eq "\(has no name\): \(\)  $size\+0\+0" "$scratch/windows.txt"; then shown=yes; break; fi
    kill -0 "$jalv_pid" 2>/dev/null || break
    sleep 0.1
done
echo "windows on $DISPLAY:"
grep -E '^ +0x' "$scratch/windows.txt"
[[ -n $shown ]] || fail "no $size UI window; jalv said: $(cat "$scratch/jalv.log")"
# It keeps running, idling the UI, with audio flowing through the plug-in.
sleep 2
kill -0 "$jalv_pid" 2>/dev/null || fail "jalv ended by itself: $(cat "$scratch/jalv.log")"
kill -TERM "$jalv_pid"
wait "$jalv_pid"
status=$?
pids=("${pids[@]:1}")
# Killed by our SIGTERM (143) or ended cleanly on it (0); a crash is 134 or 139.
[[ $status == 0 || $status == 143 ]] || fail "jalv exited with $status: $(cat "$scratch/jalv.log")"
echo "jalv showed the UI and quit cleanly ($status)"
