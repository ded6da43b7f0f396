#!/usr/bin/env bash
# Installs puppeteer-core, as pinned in package-lock.json beside this
# script, into DIR/node_modules (again only when the lock file changed),
# and prints DIR.  It drives Debian's chromium; no browser is downloaded.
#   npmdeps.sh DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dir=$1
command -v node >/dev/null && command -v npm >/dev/null ||
    { echo "npmdeps: node and npm are missing (scripts/deps.sh installs them)"; exit 1; }
[ -x /usr/bin/chromium ] || { echo "npmdeps: /usr/bin/chromium is missing (scripts/deps.sh installs it)"; exit 1; }
mkdir -p "$dir"
if ! cmp -s "$here/package-lock.json" "$dir/package-lock.json" || [ ! -d "$dir/node_modules/puppeteer-core" ]; then
    cp "$here/package.json" "$here/package-lock.json" "$dir/"
    # No browser download (puppeteer-core has none) and no post-install scripts.
    (cd "$dir" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error >/dev/null)
fi
echo "$dir"
