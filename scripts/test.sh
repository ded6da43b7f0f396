#!/usr/bin/env bash
# Builds the tools and runs every test twice: in a release build and in a
# build with the address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DQUORRAL_TESTS=ON >/dev/null
cmake --build build/release -j "$jobs"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DQUORRAL_SANITIZE=ON -DQUORRAL_TESTS=ON >/dev/null
cmake --build build/sanitize -j "$jobs"

status=0
for b in release sanitize; do
    echo "== tests: $b build"
    (cd build/$b && ctest --output-on-failure -j "$jobs") || status=1
done
exit $status
