#!/usr/bin/env bash
# Shows a new user what `make` built: plughost's view of the native module, and
# the module's transfer curve at its default settings written into dist/.
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
