#!/usr/bin/env bash
# Runs the browser tests of seedreport with node's test runner, after
# installing puppeteer-core into BUILD_DIR/report-node.
#   run.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
REPORT_NODE_DIR=$("$here/npmdeps.sh" "$build/report-node")
export REPORT_NODE_DIR BUILD_DIR=$build SEEDREPORT=$here/../../seedreport/seedreport
exec node --test "$here/report.test.js"
