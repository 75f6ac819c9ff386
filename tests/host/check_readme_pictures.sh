#!/usr/bin/env bash
# Every picture that README.md and host/README.md show from host/ is one that `make`
# (host/after-build.sh) writes, so none is a hand-made picture of an older build.
set -euo pipefail
root=$1
status=0
for picture in $(grep -ohE '(\]\(|src=")(host/)?[a-z0-9-]+\.png' "$root/README.md" "$root/host/README.md" |
    sed -E 's#^(\]\(|src=")(host/)?##' | sort -u); do
    if ! grep -qE "(for picture in .*\b${picture%.png}\b|/$picture)" "$root/host/after-build.sh"; then
        echo "$picture is shown by a README but not made by host/after-build.sh" >&2
        status=1
    fi
done
exit $status
