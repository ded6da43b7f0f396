#!/usr/bin/env bash
# Builds the tools and runs every test twice, in a release build and in a
# build with the address and undefined-behaviour sanitizers; then fuzzes
# the header reader and whole runs for FUZZ_SECONDS each (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
fuzzsecs=${FUZZ_SECONDS:-60}

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DQUORRAL_TESTS=ON >/dev/null
cmake --build build/release -j "$jobs"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DQUORRAL_SANITIZE=ON -DQUORRAL_TESTS=ON >/dev/null
cmake --build build/sanitize -j "$jobs"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORRAL_FUZZ=ON -DQUORRAL_TESTS=OFF >/dev/null
cmake --build build/fuzz -j "$jobs"

status=0
for b in release sanitize; do
    echo "== tests: $b build"
    (cd build/$b && ctest --output-on-failure -j "$jobs") || status=1
done

# Each target starts from the corpus kept in the repository; what it finds
# goes to build/fuzz/corpus.  Any crash, leak or sanitizer report fails.
for t in header run; do
    echo "== fuzz: $t, ${fuzzsecs}s"
    mkdir -p build/fuzz/corpus/$t
    if build/fuzz/tests/fuzz/${t}_fuzz -max_total_time="$fuzzsecs" -timeout=10 \
        -artifact_prefix=build/fuzz/ build/fuzz/corpus/$t tests/fuzz/corpus/$t \
        >build/fuzz/$t.log 2>&1; then
        grep -E '^Done [0-9]+ runs' build/fuzz/$t.log || true
    else
        tail -n 60 build/fuzz/$t.log
        echo "fuzz: $t failed (log: build/fuzz/$t.log)"
        status=1
    fi
done

if [ $status -eq 0 ]; then echo "all tests passed"; else echo "some tests FAILED"; fi
exit $status
