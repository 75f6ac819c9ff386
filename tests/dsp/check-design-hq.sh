#!/usr/bin/env bash
# Runs tools/design-hq.py into a scratch folder and compares what it writes with the committed
# coefficient headers, byte for byte. Without numpy and scipy (Debian's python3-scipy) for
# the script's python, the test is skipped (exit 77) and says why.
set -euo pipefail
source_dir=$1
python=/usr/bin/python3 # the interpreter the script names on its first line
if ! "$python" -c 'import numpy, scipy' 2>/dev/null; then
    echo "skipped: $python cannot import numpy and scipy (Debian package python3-scipy)"
    exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$python" "$source_dir/tools/design-hq.py" "$scratch"
status=0
for header in hq_filter_coefficients.h hq_log_coefficients.h; do
    diff -u "$source_dir/dsp/hq/$header" "$scratch/$header" || status=1
done
[[ $status -eq 0 ]] && echo "tools/design-hq.py writes the committed coefficients bit for bit"
exit "$status"
