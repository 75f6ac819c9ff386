#!/usr/bin/env bash
# Runs a render program natively and a Windows build of it (under the emulator) and fails unless
# both write the same bytes.
#
#   compare-render.sh WORK-DIR NATIVE-RENDER RENDER [EMULATOR...]
set -euo pipefail

work_dir=$1 native_render=$2 render=$3
shift 3

if [[ ! -x $native_render ]]; then
    echo "missing $native_render: build the native preset first" >&2
    exit 1
fi
mkdir -p "$work_dir"
native_out="$work_dir/native.f32"
target_out="$work_dir/$(basename "$render").f32"
rm -f "$native_out" "$target_out"

"$native_render" "$native_out"
"$@" "$render" "$target_out"

native_size=$(stat -c %s "$native_out")
target_size=$(stat -c %s "$target_out")
if [[ $target_size -eq 0 ]]; then
    echo "the target render wrote nothing" >&2
    exit 1
fi
# A kernel the target lacks shortens its file; every byte it wrote must match.
echo "$(basename "$render"): $target_size of $native_size bytes compared with the native render"
if ! cmp -s -n "$target_size" "$native_out" "$target_out" || [[ $target_size -gt $native_size ]]; then
    echo "outputs differ; first differing bytes (offset, octal native, octal target):" >&2
    cmp -l -n "$target_size" "$native_out" "$target_out" | head -n 8 >&2 || true
    exit 1
fi
echo "identical"
