#!/usr/bin/env bash
# Times this work tree's vector kernels against those of a git revision, alternating the
# two over the same buffers on one processor (bench/kernel_ab.cpp), and checks that both
# write the same bits:
#   tools/kernel-ab.sh REVISION [--kernel K]... [--signal S]... [--frames N] [--rounds N]
#                      [--subnormals wide|narrow]
# for example tools/kernel-ab.sh HEAD --kernel avx2 --signal random while changing the
# AVX2 kernel. It builds in build/kernel-ab and changes nothing else.
set -euo pipefail

if [ $# -lt 1 ] || [ "${1#-}" != "$1" ]; then
    echo "usage: tools/kernel-ab.sh REVISION [--kernel K]... [--signal S]... [--frames N] [--rounds N]" >&2
    exit 2
fi
revision=$1
shift
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if ! git rev-parse --verify --quiet "$revision^{commit}" > /dev/null; then
    echo "kernel-ab: '$revision' names no commit of this repository" >&2
    exit 2
fi
# The kernels' folder: dsp/soft_knee since the cores have a folder each, dsp before.
room=dsp/soft_knee
git cat-file -e "$revision:$room" 2> /dev/null || room=dsp
for kernel in sse2 avx2 avx512; do
    if ! git cat-file -e "$revision:$room/soft_knee_$kernel.cpp" 2> /dev/null; then
        echo "kernel-ab: '$revision' has no $room/soft_knee_$kernel.cpp to compare with" >&2
        exit 2
    fi
done

build="$root/build/kernel-ab"
baseline="$build/baseline"
log="$build/build.log"
mkdir -p "$build"
# The baseline's sources are replaced whole, so an interrupted copy never stands for one.
rm -rf "$baseline.partial"
mkdir "$baseline.partial"
git archive "$revision" "$room" | tar -x -m -C "$baseline.partial" # -m: newer than any earlier build of them
rm -rf "$baseline"
mv "$baseline.partial" "$baseline"

if ! { cmake --preset native -B "$build" -DBUILD_TESTING=OFF -DKERNEL_AB_BASELINE="$baseline/$room" &&
       cmake --build "$build" --target kernel_ab -j "$(nproc)"; } > "$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "kernel-ab: the comparison did not build against '$revision' (whole log: $log)" >&2
    exit 1
fi
# One processor, the last, so that the scheduler does not move the program mid-round.
exec taskset -c "$(($(nproc) - 1))" "$build/bench/kernel_ab" "$@"
