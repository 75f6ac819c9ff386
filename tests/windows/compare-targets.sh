#!/usr/bin/env bash
# Renders the same signal through the native module and through a Windows module
# (under the emulator) and fails unless the two outputs are identical byte for byte.
#
#   compare-targets.sh WORK-DIR NATIVE-RENDER NATIVE-MODULE RENDER MODULE [EMULATOR...]
set -euo pipefail

work_dir=$1 native_render=$2 native_module=$3 render=$4 module=$5
shift 5

for needed in "$native_render" "$native_module"; do
    if [[ ! -e $needed ]]; then
        echo "missing $needed: build the native preset first (make build-native)" >&2
        exit 1
    fi
done
mkdir -p "$work_dir"
native_out="$work_dir/native.f32"
target_out="$work_dir/$(basename "$module").f32"
rm -f "$native_out" "$target_out"

"$native_render" "$native_module" "$native_out"
"$@" "$render" "$module" "$target_out"

size=$(stat -c %s "$native_out")
if [[ $size -eq 0 ]]; then
    echo "the native render wrote nothing" >&2
    exit 1
fi
echo "$(basename "$module"): $size bytes of samples and display texts compared with $(basename "$native_module")"
if ! cmp -s "$native_out" "$target_out"; then
    echo "outputs differ; first differing bytes (offset, octal native, octal target):" >&2
    cmp -l "$native_out" "$target_out" | head -n 8 >&2 || true
    echo "differing bytes: $(cmp -l "$native_out" "$target_out" | wc -l) of $size" >&2
    exit 1
fi
echo "identical"
