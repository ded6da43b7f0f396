#!/usr/bin/env bash
# Builds the tool, makes the sample image pair (a synthetic CT-like head
# of 256 x 256 x 96 voxels), finds its seed on the left side and draws
# where it landed (docs/seed.png).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh cmake make g++ libpng-dev libnifti2-dev zlib1g-dev
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DQUORRAL_TESTS=OFF >/dev/null
cmake --build build/demo -j "$(nproc 2>/dev/null || echo 2)" --target quorral phantom seedpng >/dev/null
mkdir -p sample
build/demo/phantom sample/head
build/demo/quorral sample/head l sample/seed
echo "-- sample/seed.vroi:"
tr -d '\r' < sample/seed.vroi
mkdir -p docs
build/demo/seedpng sample/head sample/seed docs/seed.png
echo "-- picture: docs/seed.png"
