#!/usr/bin/env bash
# Builds the tools and runs every test twice, in a release build and in a
# build with the address and undefined-behaviour sanitizers; then fuzzes
# the header reader and whole runs for FUZZ_SECONDS each (default 60).
# Run as root, it then runs the suite once more as the unprivileged user
# quorraltest (made when missing), from a copy of the checkout that the
# user owns, so that file permissions hold as they do for most users.
#
#   QUORRAL_BUILDS   the builds to test (default "release sanitize")
#   FUZZ_SECONDS     seconds per fuzz target; 0 skips fuzzing
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
fuzzsecs=${FUZZ_SECONDS:-60}
builds=${QUORRAL_BUILDS:-release sanitize}

for b in $builds; do
    case $b in
    release) opts=(-DCMAKE_BUILD_TYPE=Release) ;;
    sanitize) opts=(-DCMAKE_BUILD_TYPE=Debug -DQUORRAL_SANITIZE=ON) ;;
    *) echo "unknown build: $b"; exit 2 ;;
    esac
    cmake -S . -B "build/$b" "${opts[@]}" -DQUORRAL_TESTS=ON >/dev/null
    cmake --build "build/$b" -j "$jobs"
done
if [ "$fuzzsecs" -gt 0 ]; then
    CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUORRAL_FUZZ=ON -DQUORRAL_TESTS=OFF >/dev/null
    cmake --build build/fuzz -j "$jobs"
fi

status=0
for b in $builds; do
    echo "== tests: $b build, user $(id -un)"
    (cd "build/$b" && ctest --output-on-failure -j "$jobs") || status=1
done

# Each target starts from the corpus kept in the repository; what it finds
# goes to build/fuzz/corpus.  Any crash, leak or sanitizer report fails.
# The targets' own files go to a folder removed afterwards.
if [ "$fuzzsecs" -gt 0 ]; then
    fuzztmp=$(mktemp -d "${TMPDIR:-/tmp}/quorral-fuzz-XXXXXX")
    for t in header run; do
        echo "== fuzz: $t, ${fuzzsecs}s"
        mkdir -p build/fuzz/corpus/$t
        if TMPDIR=$fuzztmp build/fuzz/tests/fuzz/${t}_fuzz -max_total_time="$fuzzsecs" -timeout=10 \
            -artifact_prefix=build/fuzz/ build/fuzz/corpus/$t tests/fuzz/corpus/$t \
            >build/fuzz/$t.log 2>&1; then
            grep -E '^Done [0-9]+ runs' build/fuzz/$t.log || true
        else
            tail -n 60 build/fuzz/$t.log
            echo "fuzz: $t failed (log: build/fuzz/$t.log)"
            status=1
        fi
    done
    rm -rf "$fuzztmp"
fi

# The same suite as an unprivileged user: the release build, from a copy
# in a folder of that user's (the checkout itself may lie in a folder
# that only root can reach, as /root does).
if [ "$(id -u)" -eq 0 ] && [ -z "${QUORRAL_USER_RUN:-}" ]; then
    user=quorraltest
    id -u "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /bin/bash "$user"
    work=$(mktemp -d /tmp/quorral-user-XXXXXX)
    trap 'rm -rf "$work"' EXIT
    mkdir "$work/src" "$work/home" "$work/tmp"
    # (A tracked file deleted in a working tree is passed over.)
    git ls-files -z --cached --others --exclude-standard |
        tar -cf - --null -T - --ignore-failed-read | tar -xf - -C "$work/src"
    chmod 755 "$work"
    chown -R "$user:" "$work/src" "$work/home" "$work/tmp"
    echo "== tests: release build, user $user, in $work/src"
    runuser -u "$user" -- env HOME="$work/home" TMPDIR="$work/tmp" USER="$user" LOGNAME="$user" \
        QUORRAL_USER_RUN=1 QUORRAL_BUILDS=release FUZZ_SECONDS=0 \
        bash "$work/src/scripts/test.sh" || status=1
fi

if [ $status -eq 0 ]; then echo "all tests passed"; else echo "some tests FAILED"; fi
exit $status
