#!/usr/bin/env bash
# Fails if the module's own functions do x87 floating-point arithmetic. On 32-bit x86
# the curve must run in SSE2 (-msse2 -mfpmath=sse): x87 keeps intermediates in 80-bit
# registers and rounds differently from the other targets. Loading and storing x87
# registers stays allowed, since the calling convention returns floats in st(0).
# The C runtime linked into the module (number formatting, fmod) is not ours and is
# left out.
#
#   check-sse-math.sh OBJDUMP MODULE
set -euo pipefail

objdump=$1 module=$2
own_function='<(ShaperEffect|HqShaperEffect|EffectBase|softKnee|SoftKnee|[A-Za-z]*Hq[A-Za-z]*|hq[A-Z][A-Za-z]*|unitText|VSTPluginMain|[A-Za-z]*Entry)'
x87_arithmetic='^ *[0-9a-f]+:[[:space:]]+fi?(add|sub|subr|mul|div|divr|sqrt|prem|prem1|scale|rndint)[sp]?[lst]?([[:space:]]|$)'

listing=$("$objdump" -d -C --no-show-raw-insn "$module" | awk -v own="$own_function" -v x87="$x87_arithmetic" '
    /^[0-9a-f]+ <.*>:$/ {function_name = $0; ours = ($0 ~ own); functions += ours; next}
    ours && $0 ~ x87 {print "x87 " function_name " " $0}
    END {print "functions " functions + 0}')
functions=$(awk '/^functions / {print $2}' <<<"$listing")
report=$(grep '^x87 ' <<<"$listing" || true)

if [[ $functions -eq 0 ]]; then
    echo "found none of the module's own functions in $module; is it stripped?" >&2
    exit 1
fi
if [[ -n $report ]]; then
    echo "x87 arithmetic in $module:" >&2
    echo "$report" >&2
    exit 1
fi
echo "$functions functions of the module checked: SSE arithmetic only"
