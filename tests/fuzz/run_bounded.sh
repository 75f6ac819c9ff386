#!/usr/bin/env bash
# Runs one libFuzzer program with the given arguments, keeps its chatter in a log beside
# the work corpus, and prints only its closing statistics, or the log's end when it fails.
# Usage: run_bounded.sh <log file> <fuzzer> <arguments...>
set -uo pipefail
log=$1
shift
"$@" >"$log" 2>&1
status=$?
grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added|stat::peak_rss_mb)' "$log"
if [[ $status -ne 0 ]]; then
    echo "fuzzer failed with status $status; the end of $log:"
    tail -n 60 "$log"
fi
exit $status
