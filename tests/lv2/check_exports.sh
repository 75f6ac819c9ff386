#!/usr/bin/env bash
# Fails unless the plug-in binary's dynamic symbol table defines exactly lv2_descriptor,
# so nothing of the plug-in can clash with a host's or another plug-in's symbols.
set -euo pipefail
nm=$1 binary=$2
names=$("$nm" -D --defined-only "$binary" | awk '{print $NF}' | sort | tr '\n' ' ')
[[ $names == "lv2_descriptor " ]] || { echo "exports of $binary: $names" >&2; exit 1; }
echo "exports: $names"
