#!/usr/bin/env bash
# The report at cohort scale: writes a made-up table of 5,000 scans
# (10,000 rows, with a picture each) into build/reportbench, times
# seedreport on it, then times the page in Debian's chromium: until it is
# interactive, and a sort and a filter over all rows.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh chromium
dir=build/reportbench
if [ ! -f $dir/results.tsv ]; then
    rm -rf $dir
    /usr/bin/python3 tests/report/makecohort.py $dir 5000
fi
export REPORT_NODE_DIR
REPORT_NODE_DIR=$(tests/report/npmdeps.sh build/report-node)
start=$EPOCHREALTIME
seedreport/seedreport $dir/results.tsv $dir/report
end=$EPOCHREALTIME
awk -v a="$start" -v b="$end" 'BEGIN { printf "seedreport: %.2f s\n", b - a }'
node tests/report/pagetime.js $dir/report/index.html 5
