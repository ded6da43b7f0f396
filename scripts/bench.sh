#!/usr/bin/env bash
# Times the tool on synthetic CT-like heads of about 64 MiB, 256 MiB and
# 1 GiB (with masks of half those sizes) against `cat` of the data file
# it would otherwise have to read, warm cache, median of several runs,
# and reports the tool's peak resident memory.  seedpng is timed on the
# same images at the tool's seed, and on a tall 1 GiB image of 512 x 512
# x 2048 (the most rows, so the most voxels of the column plane), against
# `cat` of the image.
#
#   scripts/bench.sh [folder] [runs]
#
# The images (about 3.8 GB with their masks) are written to the folder
# (default build/bench) and kept for the next call.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/bench}
runs=${2:-7}
scripts/deps.sh cmake make g++ libpng-dev libnifti2-dev zlib1g-dev time
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DQUORRAL_TESTS=OFF >/dev/null
cmake --build build/demo -j "$(nproc 2>/dev/null || echo 2)" --target quorral phantom seedpng >/dev/null
q=$PWD/build/demo/quorral
sp=$PWD/build/demo/seedpng
mkdir -p "$dir"
cd "$dir"
echo "images: about 3.8 GB in $PWD (kept for the next call; remove the folder to free it)"

# Median wall time of a command, in seconds (bash's own clock: no
# process started for the timing itself).
median() {
    local t=() a b
    for _ in $(seq "$runs"); do
        a=$EPOCHREALTIME
        "$@" >/dev/null
        b=$EPOCHREALTIME
        t+=("$(awk -v a="$a" -v b="$b" 'BEGIN {printf "%.6f", b - a}')")
    done
    printf '%s\n' "${t[@]}" | sort -n | awk '{v[NR]=$1} END {printf "%.4f", v[int((NR+1)/2)]}'
}
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }

printf '| image | run | s | cat s | ratio | peak KiB |\n'
printf '|---|---|---|---|---|---|\n'
for sizes in "64MiB 512 512 128" "256MiB 512 512 512" "1GiB 1024 1024 512" "1GiB-tall 512 512 2048 png"; do
    set -- $sizes
    name=head$1
    if [ ! -f "$name.im" ] || { [ -z "${5:-}" ] && [ ! -f "mask$1.im" ]; }; then
        "$(dirname "$q")/phantom" "$name" "$2" "$3" "$4"
        [ -n "${5:-}" ] || "$(dirname "$q")/phantom" -m "mask$1" "$2" "$3" "$4"
    fi
    if [ -z "${5:-}" ]; then
        cat "$name.im" "mask$1.im" >/dev/null   # warm the cache
        tq=$(median "$q" "$name" l seed)
        tc=$(median cat "$name.im")
        printf '| %s | quorral | %s | %s (image) | %s | %s |\n' "$1" "$tq" "$tc" \
            "$(awk -v a="$tq" -v b="$tc" 'BEGIN {printf "1/%.0f", b/a}')" "$(peak "$q" "$name" l seed)"
        tq=$(median "$q" "$name" "mask$1" l seed)
        tc=$(median cat "mask$1.im")
        printf '| %s | quorral, mask | %s | %s (mask) | %s | %s |\n' "$1" "$tq" "$tc" \
            "$(awk -v a="$tq" -v b="$tc" 'BEGIN {printf "%.2f", a/b}')" "$(peak "$q" "$name" "mask$1" l seed)"
    fi
    # The picture of the seed of the image without a mask.
    cat "$name.im" >/dev/null
    "$q" "$name" l seed >/dev/null
    tq=$(median "$sp" "$name" seed seed.png)
    tc=$(median cat "$name.im")
    printf '| %s | seedpng | %s | %s (image) | %s | %s |\n' "$1" "$tq" "$tc" \
        "$(awk -v a="$tq" -v b="$tc" 'BEGIN {printf "%.2f", a/b}')" "$(peak "$sp" "$name" seed seed.png)"
done
