#!/usr/bin/env bash
# A picture of the report of any results table, as the README shows it:
#   scripts/reportshot.sh TABLE PNG [WIDTH HEIGHT]
# The report is made in a temporary folder and removed afterwards; the
# picture is written under a temporary name and renamed into place.
set -euo pipefail
[ $# -eq 2 ] || [ $# -eq 4 ] || { echo " usage: reportshot.sh TABLE PNG [WIDTH HEIGHT]"; exit 1; }
top=$(cd "$(dirname "$0")/.." && pwd)
table=$1
png=$2
"$top/scripts/deps.sh" chromium
export REPORT_NODE_DIR
REPORT_NODE_DIR=$("$top/tests/report/npmdeps.sh" "$top/build/report-node")
tmp=$(mktemp -d "${TMPDIR:-/tmp}/reportshot-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
"$top/seedreport/seedreport" "$table" "$tmp/report" >/dev/null
part=$(mktemp "$(dirname "$png")/.reportshot-XXXXXX")
trap 'rm -rf "$tmp" "$part" "$part.tmp"' EXIT
node "$top/tests/report/shot.js" "$tmp/report/index.html" "$part.tmp" "${3:-1280}" "${4:-1500}"
mv "$part.tmp" "$png"
