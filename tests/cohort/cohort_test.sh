#!/usr/bin/env bash
# The cohort command end to end: the sample cohort made from the real head
# CT (a DICOM series, NIfTI files in two orientations, an image pair, a
# broken file) through the workstation back-end and through the Slurm
# back-end on a single-node cluster started here; identical tables, the
# direct import's seed for every form, reruns that run only new, failed
# or changed scans; masks, kept pairs, odd inputs and bad command lines on
# a small phantom cohort.
#   cohort_test.sh BIN PHANTOM INVIMPORT
# BIN holds quorral, nii2im and seedpng.
set -euo pipefail
bin=$(cd "$1" && pwd)
phantom=$(realpath "$2")
invimport=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
cohort=$src/cohort/quorral-cohort
. "$here/sample.sh"

t=$(mktemp -d "${TMPDIR:-/tmp}/quorral-cohorttest-XXXXXX")
cluster=""
cleanup() {
    local st=$?
    if [ -n "$cluster" ]; then bash "$here/slurmcluster.sh" stop "$cluster" || st=1; fi
    rm -rf "$t"
    exit $st
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
fail() { echo "FAIL: $*"; exit 1; }
# Steps' temporary folders go here, so that leftovers show.
export TMPDIR=$t/tmp
mkdir "$TMPDIR"
cd "$t"

makesample
# The seeds of canon1024, the direct import as the cohort's nii2im -a 1024
# gives it.
seedof() { "$bin/quorral" canon1024 "$1" seed | sed -n 's/.*seed found at x=\([0-9-]*\)  y=\([0-9-]*\)  z=\([0-9-]*\)  meas=\(.*\)$/\1\t\2\t\3\t\4/p'; }
sl=$(seedof l)
sr=$(seedof r)
[ -n "$sl" ] && [ -n "$sr" ] || fail "no seed for the direct import"

header=$'scan\tside\tx\ty\tz\tmeas\tstatus\tstep\tline\tpicture\tcolumns\trows\tslices\tcx\tcy\tcz'
rowsof() { grep -v '^#' "$1"; }
# The table expected for the sample cohort.
expect() {
    local s
    echo "$header"
    printf 'broken.nii.gz\tl\t\t\t\t\tfailed\tnii2im\tnii2im: can'"'"'t read NIfTI file broken.nii.gz\t\t\t\t\t\t\t\n'
    printf 'broken.nii.gz\tr\t\t\t\t\tfailed\tnii2im\tnii2im: can'"'"'t read NIfTI file broken.nii.gz\t\t\t\t\t\t\t\n'
    for s in "$@"; do
        printf '%s\tl\t%s\tok\t\t\tscans/%s/l.png\t256\t256\t108\t128\t128\t54\n' "$s" "$sl" "$s"
        printf '%s\tr\t%s\tok\t\t\tscans/%s/r.png\t256\t256\t108\t128\t128\t54\n' "$s" "$sr" "$s"
    done
}

# --- Workstation back-end ---
"$cohort" run sample outl --bin "$bin" --add 1024 -j 2 >run.txt || fail "local run: $(cat run.txt)"
grep -q '^quorral-cohort: 5 scans in sample, 5 to run$' run.txt || fail "local run: $(cat run.txt)"
diff <(expect ct01.nii.gz ct02.nii dicom/ct03 pairs/ct04.hd) <(rowsof outl/results.tsv) ||
    fail "local table"
head -n 2 outl/results.tsv | grep -Eq '^# date: [0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$' ||
    fail "no date line"
grep -qx "# version: $(cat "$src/VERSION")" outl/results.tsv || fail "no version line"
! grep -q $'\r' outl/results.tsv || fail "CR in the table"
for s in ct01.nii.gz ct02.nii dicom/ct03 pairs/ct04.hd; do
    for side in l r; do
        [ "$(head -c 8 "outl/scans/$s/$side.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
            fail "$s $side: no PNG"
        [ "$(head -n 1 "outl/scans/$s/$side.vroi")" = $'Number of ROIs=1\r' ] || fail "$s $side: no seed box"
    done
    grep -q '^\$ quorral ' "outl/scans/$s/log" || fail "$s: no log"
done
grep -q '^\$ dcm2niix ' outl/scans/dicom/ct03/log || fail "DICOM log"
grep -q '^nii2im failed: ' outl/scans/broken.nii.gz/log || fail "broken log"
# The last step: the report page from the table.
[ -f outl/report/index.html ] || fail "no report: $(cat run.txt)"
# Pairs live only until the results are written.
[ -z "$(ls -A "$TMPDIR")" ] || fail "left in TMPDIR: $(ls "$TMPDIR")"
[ -z "$(find outl -name '*.im' -o -name '.tmp-*')" ] || fail "pairs or temporary files in OUT"

# --- Snakemake: the same step, the same table ---
smk() {
    local o=$1
    shift
    "$@" snakemake -s "$src/workflow/Snakefile" --cores 2 -q \
        --config dir="$t/sample" out="$t/$o" add=1024 bin="$bin" >smk.txt 2>&1 || fail "snakemake: $(tail smk.txt)"
}
smk outk
diff <(rowsof outl/results.tsv) <(rowsof outk/results.tsv) || fail "snakemake table"

# --- Slurm back-end on a single-node cluster ---
mkdir cluster
cluster=$t/cluster
bash "$here/slurmcluster.sh" start "$cluster" $$ >/dev/null || fail "cluster did not start"
export SLURM_CONF=$cluster/slurm.conf
"$cohort" run sample outs --bin "$bin" --add 1024 --backend slurm --batch 2 >run.txt ||
    fail "slurm run: $(cat run.txt)"
grep -q '^quorral-cohort: job [0-9]*: 5 scans in 3 tasks of up to 2$' run.txt || fail "slurm run: $(cat run.txt)"
diff <(rowsof outl/results.tsv) <(rowsof outs/results.tsv) || fail "the tables differ"
# Snakemake inside one allocation.
smk outa srun -c 2
diff <(rowsof outl/results.tsv) <(rowsof outa/results.tsv) || fail "snakemake in an allocation"
[ "$(ls outs/slurm/task-*.log | wc -l)" = 3 ] || fail "task logs: $(ls outs/slurm)"

# --- Reruns: a new scan, then a changed one; failed scans always rerun ---
cp sample/ct02.nii sample/ct05.nii
for b in local slurm; do
    o=outl
    [ $b = slurm ] && o=outs
    before=$(stat -c '%Y %i' "$o"/scans/ct01.nii.gz/l.tsv "$o"/scans/dicom/ct03/r.tsv)
    "$cohort" run sample "$o" --bin "$bin" --add 1024 --backend $b --batch 2 >run.txt ||
        fail "$b rerun: $(cat run.txt)"
    grep -q '^quorral-cohort: 6 scans in sample, 2 to run$' run.txt || fail "$b rerun: $(cat run.txt)"
    [ "$before" = "$(stat -c '%Y %i' "$o"/scans/ct01.nii.gz/l.tsv "$o"/scans/dicom/ct03/r.tsv)" ] ||
        fail "$b rerun ran scans that were up to date"
    diff <(expect ct01.nii.gz ct02.nii ct05.nii dicom/ct03 pairs/ct04.hd) <(rowsof "$o"/results.tsv) ||
        fail "$b rerun table"
done
[ "$(ls outs/slurm/task-*.log | wc -l)" = 4 ] || fail "slurm rerun: not one task"
before=$(stat -c '%Y %i' outk/scans/ct01.nii.gz/l.tsv)
smk outk
[ "$before" = "$(stat -c '%Y %i' outk/scans/ct01.nii.gz/l.tsv)" ] || fail "snakemake reran an up-to-date scan"
diff <(rowsof outl/results.tsv) <(rowsof outk/results.tsv) || fail "snakemake rerun table"
touch -d '2000-01-01' "sample/dicom/ct03/$(ls sample/dicom/ct03 | head -n 1)"
"$cohort" run sample outs --bin "$bin" --add 1024 --backend slurm >run.txt || fail "$(cat run.txt)"
grep -q '^quorral-cohort: 6 scans in sample, 2 to run$' run.txt || fail "changed DICOM: $(cat run.txt)"
"$cohort" run sample outl --bin "$bin" --add 1024 >run.txt || fail "$(cat run.txt)"
grep -q '^quorral-cohort: 6 scans in sample, 2 to run$' run.txt || fail "changed DICOM: $(cat run.txt)"
diff <(rowsof outl/results.tsv) <(rowsof outs/results.tsv) || fail "the tables differ after reruns"
# Other options are other inputs: everything runs again.
"$cohort" run sample outl --bin "$bin" --sides r >run.txt || fail "$(cat run.txt)"
grep -q '^quorral-cohort: 6 scans in sample, 6 to run$' run.txt || fail "new options: $(cat run.txt)"
[ "$(rowsof outl/results.tsv | cut -f 2 | sort | uniq -c | tr -s ' ')" = " 6 r
 1 side" ] || fail "--sides r table"

# A job that can't be submitted: one line, status 2, a table of
# unfinished rows.
st=0
"$cohort" run sample outp --bin "$bin" --backend slurm --partition nosuch >run.txt || st=$?
[ $st = 2 ] && grep -q '^quorral-cohort: sbatch failed: .*[Pp]artition' run.txt || fail "bad partition: $st $(cat run.txt)"
[ "$(rowsof outp/results.tsv | grep -c $'\tfailed\tinput\tno result: the step did not finish')" = 12 ] ||
    fail "bad partition table"
# Stopping the command cancels its job.
"$cohort" run sample outc --bin "$bin" --add 1024 --backend slurm --batch 1 >run.txt &
pid=$!
for i in $(seq 1 100); do grep -q '^quorral-cohort: job ' run.txt && break; sleep 0.1; done
job=$(sed -n 's/^quorral-cohort: job \([0-9]*\):.*/\1/p' run.txt)
[ -n "$job" ] || fail "no job: $(cat run.txt)"
kill -TERM $pid
st=0
wait $pid || st=$?
[ $st = 130 ] || fail "stopped command: status $st"
for i in $(seq 1 100); do [ -z "$(squeue -h -j "$job" -t PD,R,CG 2>/dev/null)" ] && break; sleep 0.1; done
[ -z "$(squeue -h -j "$job" -t PD,R,CG)" ] || fail "job $job still queued after the command stopped"
bash "$here/slurmcluster.sh" stop "$cluster" || fail "cluster did not stop"
for f in "$cluster"/*.pidsaved; do
    [ -e "$f" ] && fail "not stopped: $f"
done
cluster=""
[ -z "$(ls -A "$TMPDIR")" ] || fail "left in TMPDIR: $(ls "$TMPDIR")"

# --- A small phantom cohort: masks, kept pairs, odd inputs ---
mkdir -p "small/sub dir"
"$phantom" small/p1 64 64 32 >/dev/null
"$phantom" "small/sub dir/p2" 64 64 32 >/dev/null
# A mask box over columns 20..29, rows 30..39, slices 5..14: its centroid
# is (24.5, 34.5, 9.5), so the search centre is (24, 34, 9).
/usr/bin/python3 -c '
import numpy as np
m = np.zeros((32, 64, 64), np.uint8)
m[4:14, 30:40, 20:30] = 1
m.tofile("small/p1-m.im")'
printf 'Bytes per pixel=1\nSize of dimension[0]=32\nSize of dimension[1]=64\nSize of dimension[2]=64\n' >small/p1-m.hd
mkfifo small/fifo.nii
mkdir small/notdicom
mkdir small/baddicom
printf 'not a DICOM file' >small/baddicom/x.dcm
echo hello >small/notdicom/readme.txt
printf 'x' >$'small/tab\there.nii'
printf 'x' >$'small/latin\xe9.nii'
"$cohort" run small outm --bin "$bin" --mask=-m --keep-pairs --sides l >run.txt || fail "mask run: $(cat run.txt)"
grep -q "^quorral-cohort: skipped 'tab\\\\there.nii'" run.txt || fail "tab name: $(cat run.txt)"
grep -q "^quorral-cohort: skipped 'latin\\\\udce9.nii'" run.txt || fail "name not UTF-8: $(cat run.txt)"
line=$("$bin/quorral" small/p1 small/p1-m l seed | sed 's/^[^:]*: seed found at x=\([0-9-]*\)  y=\([0-9-]*\)  z=\([0-9-]*\)  meas=\(.*\)$/\1\t\2\t\3\t\4/')
[ "$(grep '^baddicom' outm/results.tsv | cut -f 1,2,7,8)" = $'baddicom\tl\tfailed\tdcm2niix' ] ||
    fail "a folder dcm2niix can't read: $(grep '^baddicom' outm/results.tsv)"
diff <(rowsof outm/results.tsv | grep -v '^baddicom') - <<EOF || fail "mask table"
$header
fifo.nii	l					failed	input	fifo.nii: not a regular file							
p1.hd	l	$line	ok			scans/p1.hd/l.png	64	64	32	24	34	9
sub dir/p2.hd	l					failed	input	sub dir/p2-m: no mask pair (missing or not regular files)		64	64	32			
EOF
# Only imported scans have pairs to keep; an image pair is read in place.
[ -z "$(find outm -name '*.im')" ] || fail "kept a copy of an image pair"
mkdir nifti
cp sample/ct02.nii nifti/n1.nii
# A mask in the scan's own geometry: soft tissue, 0..80 HU.
/usr/bin/python3 -c '
import nibabel as nib, numpy as np
i = nib.load("nifti/n1.nii")
m = ((np.asanyarray(i.dataobj) >= 0) & (np.asanyarray(i.dataobj) <= 80)).astype(np.uint8)
nib.save(nib.Nifti1Image(m, i.affine), "nifti/n1-m.nii")'
"$bin/nii2im" -a 1024 sample/ct02.nii n1 >/dev/null
"$cohort" run nifti outk --bin "$bin" --add 1024 --mask=-m.nii --keep-pairs --sides r >run.txt ||
    fail "$(cat run.txt)"
cmp outk/scans/n1.nii/image.im n1.im || fail "kept pair differs"
k=outk/scans/n1.nii
line=$("$bin/quorral" $k/image $k/mask r seed | sed 's/^[^:]*: seed found at x=\([0-9-]*\)  y=\([0-9-]*\)  z=\([0-9-]*\)  meas=\(.*\)$/\1\t\2\t\3\t\4/')
centre=$(/usr/bin/python3 -c '
import numpy as np
z, y, x = np.nonzero(np.fromfile("'$k'/mask.im", np.uint8).reshape(108, 256, 256))
print("%d\t%d\t%d" % (int(x.sum() / x.size), int(y.sum() / y.size), int((z + 1).sum() / z.size)))')
[ "$(rowsof outk/results.tsv | sed -n 2p)" = "n1.nii	r	$line	ok			scans/n1.nii/r.png	256	256	108	$centre" ] ||
    fail "NIfTI mask: $(cat outk/results.tsv)"

# Bad command lines and setups: one line, status 1, no table.
bad() {
    local st=0
    "$cohort" "$@" >out.txt 2>&1 || st=$?
    [ $st = 1 ] || fail "$* gave status $st: $(cat out.txt)"
    [ "$(wc -l <out.txt)" = 1 ] || fail "$* gave more than one line: $(cat out.txt)"
}
bad run small
bad run small outx --sides x
bad run small outx --sides l,l
bad run small outx -j 0
bad run small outx --backend pbs
bad run nosuchdir outx --bin "$bin"
bad run small small --bin "$bin"
bad run outl/scans outl --bin "$bin"
bad run small outx --bin "$t/nobin"
[ ! -e outx/results.tsv ] || fail "a bad command line wrote a table"

# Installed (when BIN is a build folder): the command finds its step in
# libexec and the programs beside itself.
if [ -f "$bin/cmake_install.cmake" ]; then
    cmake --install "$bin" --prefix "$t/prefix" >/dev/null || fail "install"
    PATH=/usr/bin:/bin "$t/prefix/bin/quorral-cohort" run small outi --sides r >run.txt || fail "installed: $(cat run.txt)"
    [ "$(rowsof outi/results.tsv | cut -f 1,7 | tr '\t\n' ': ')" = "scan:status baddicom:failed fifo.nii:failed p1-m.hd:failed p1.hd:ok sub dir/p2.hd:ok " ] ||
        fail "installed: $(cat outi/results.tsv)"
    [ -f "$t/prefix/share/quorral/workflow/Snakefile" ] || fail "Snakefile not installed"
    page=$t/prefix/share/man/man1/quorral-cohort.1
    [ -f "$page" ] || fail "no man page"
    warn=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [ -z "$warn" ] || fail "man page: $warn"
fi
[ -z "$(ls -A "$TMPDIR")" ] || fail "left in TMPDIR: $(ls "$TMPDIR")"
echo "cohort: ok"
