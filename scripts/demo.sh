#!/usr/bin/env bash
# Builds the tool, makes the sample image pair (a synthetic CT-like head
# of 256 x 256 x 96 voxels) and finds its seed on the left side.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh cmake make g++
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DQUORRAL_TESTS=OFF >/dev/null
cmake --build build/demo -j "$(nproc 2>/dev/null || echo 2)" --target quorral phantom >/dev/null
mkdir -p sample
build/demo/phantom sample/head
build/demo/quorral sample/head l sample/seed
echo "-- sample/seed.vroi:"
tr -d '\r' < sample/seed.vroi
