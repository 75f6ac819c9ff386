#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest: wine-run.sh PREFIX-DIR PROGRAM [ARGS...]
#
# The Wine prefix is made on first use in PREFIX-DIR (one per build tree), under a
# lock so that parallel tests neither race to make it nor use it half made. Nothing
# depends on ~/.wine or on a prefix left by hand. The program's exit code is passed on.
set -euo pipefail

if [[ $# -lt 2 ]]; then
    echo "usage: $0 PREFIX-DIR PROGRAM [ARGS...]" >&2
    exit 2
fi
# Wine takes only an absolute prefix path.
mkdir -p "$1"
prefix_dir=$(cd "$1" && pwd)
shift

export WINEPREFIX="$prefix_dir/prefix"
if [[ -e $WINEPREFIX && ! -O $WINEPREFIX ]]; then
    echo "$0: $WINEPREFIX belongs to another user and Wine refuses it; remove it as that user (make clean)" >&2
    exit 1
fi
# The Wine server leaves a folder of its own in TMPDIR after every start; it goes beside
# the prefix, so no run leaves anything in the system's temporary folder.
export TMPDIR="$prefix_dir/tmp"
mkdir -p "$TMPDIR"
export WINEDEBUG=-all
# No Mono or Gecko: the tests need neither, and the machine cannot download them.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Console programs only, unless WINE_RUN_DISPLAY names the X display of a test that opens
# windows; the prefix is made without one either way.
unset DISPLAY WAYLAND_DISPLAY

if [[ ! -e "$prefix_dir/ready" ]]; then
    exec 9>"$prefix_dir/lock"
    flock 9
    if [[ ! -e "$prefix_dir/ready" ]]; then
        rm -rf "$WINEPREFIX"
        if ! wineboot -i >"$prefix_dir/wineboot.log" 2>&1 || ! wineserver -w; then
            echo "$0: making the Wine prefix failed:" >&2
            cat "$prefix_dir/wineboot.log" >&2
            exit 1
        fi
        touch "$prefix_dir/ready"
    fi
    exec 9>&-
fi

if [[ -n ${WINE_RUN_DISPLAY:-} ]]; then
    export DISPLAY=$WINE_RUN_DISPLAY
fi

# A client that reaches the Wine server just as it starts or stops fails before the program
# runs, with "wine client error" on stderr; such a run is tried again, up to three times.
# Every other failure is the program's own and is passed on as it is. The program's stderr
# is held until it ends, to be looked at; its stdout flows as it comes.
errors="$TMPDIR/stderr.$$"
trap 'rm -f "$errors"' EXIT
for attempt in 1 2 3; do
    status=0
    wine "$@" 2>"$errors" || status=$?
    if [[ $status -ne 0 && $attempt -lt 3 ]] && grep -q '^wine client error' "$errors"; then
        echo "$0: the Wine server could not be reached; running $1 again" >&2
        continue
    fi
    cat "$errors" >&2
    exit "$status"
done
