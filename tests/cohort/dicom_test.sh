#!/usr/bin/env bash
# DICOM end to end: the real head CT written as an axial and as a coronal
# DICOM series (real geometry, unsigned values with RescaleIntercept
# -1024, files in shuffled order), each through the per-scan step
# (dcm2niix, nii2im, quorral, seedpng).  The imported image must be the
# direct import's voxel for voxel, in HU and with -a 1024, so the seeds
# are the direct import's too; columns then grow toward the patient's
# left, as the series' geometry says, and l searches on that side.
#   dicom_test.sh BIN INVIMPORT
set -euo pipefail
bin=$(cd "$1" && pwd)
invimport=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
. "$here/sample.sh"
t=$(mktemp -d "${TMPDIR:-/tmp}/quorral-dicomtest-XXXXXX")
trap 'rm -rf "$t"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
export TMPDIR=$t/tmp
mkdir "$TMPDIR"
cd "$t"

# canon: the scan in the importer's order, HU; its axial series is the
# sample's dicom/ct03.
makesample
mkdir -p series
mv sample/dicom/ct03 series/axial
/usr/bin/python3 "$src/scripts/dicomseries.py" canon series/coronal coronal 7 || fail "coronal series"

# The files' names are not in the slices' order.
for s in axial coronal; do
    /usr/bin/python3 -c '
import os, sys, pydicom
d = sys.argv[1]
n = [int(pydicom.dcmread(os.path.join(d, f), stop_before_pixels=True).InstanceNumber) for f in sorted(os.listdir(d))]
sys.exit(0 if n != sorted(n) and sorted(n) == list(range(1, len(n) + 1)) else 1)' "series/$s" ||
        fail "$s: files in slice order"
done

seedof() { "$bin/quorral" "$1" "$2" seed | sed -n 's/.*seed found at x=\([0-9-]*\)  y=\([0-9-]*\)  z=\([0-9-]*\)  meas=\(.*\)$/\1\t\2\t\3\t\4/p'; }
for add in "" 1024; do
    direct=canon
    opt=()
    [ -n "$add" ] && direct=canon1024 opt=(-a "$add")
    for s in axial coronal; do
        rm -rf out
        "$src/cohort/scanstep" -b "$bin" -k "${opt[@]}" series "$s" stamp out >step.txt || fail "$s: $(cat step.txt)"
        cmp -s "out/scans/$s/image.im" "$direct.im" || fail "$s ${add:+-a $add}: not the direct import's voxels"
        for side in l r; do
            want=$(seedof "$direct" $side)
            [ -n "$want" ] || fail "no seed for $direct"
            [ "$(cut -f 1-7 "out/scans/$s/$side.tsv")" = "$s	$side	$want	ok" ] ||
                fail "$s $side ${add:+-a $add}: $(cat "out/scans/$s/$side.tsv") (direct: $want)"
        done
        # l searches toward larger columns, the patient's left: 7 to 10
        # columns beyond the centre column, 128.
        x=$(cut -f 3 "out/scans/$s/l.tsv")
        [ "$x" -ge 135 ] && [ "$x" -le 138 ] || fail "$s: l seed at column $x"
    done
done
[ -z "$(ls -A "$TMPDIR")" ] || fail "left in TMPDIR: $(ls "$TMPDIR")"
echo "dicom: ok"
