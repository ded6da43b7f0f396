#!/usr/bin/env bash
# Measures the cohort path (the README's cohort figures):
#   1. each step of the per-scan step on the real head CT (dcm2niix,
#      nii2im, quorral, seedpng; median of 7 runs, warm cache) and the
#      whole step for a DICOM series and a NIfTI file, with the peak
#      extra disk of a running step;
#   2. 200 small scans (NIfTI, 128 x 128 x 64) on the workstation
#      back-end with -j 2, beside GNU xargs -P2 over the same step, and
#      the share of the 2 cores each used;
#   3. the same 200 on the Slurm back-end of a single-node test cluster;
#   4. scan listing, rerun checks and table assembly for 20,000 scans.
# Usage: scripts/cohortbench.sh [BUILD_DIR] (default build/release, built
# here when missing).  Works in a temporary folder, removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$(pwd)
build=${1:-build/release}
if [ ! -x "$build/quorral" ] || [ ! -x "$build/tests/invimport" ] || [ ! -x "$build/phantom" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" -j2 --target quorral nii2im seedpng phantom invimport >/dev/null
fi
bin=$(cd "$build" && pwd)
cohort=$src/cohort/quorral-cohort
step=$src/cohort/scanstep

t=$(mktemp -d "${TMPDIR:-/tmp}/quorral-cohortbench-XXXXXX")
cluster=""
cleanup() {
    [ -z "$cluster" ] || bash "$src/tests/cohort/slurmcluster.sh" stop "$cluster" || true
    rm -rf "$t"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
export TMPDIR=$t/tmp
mkdir "$TMPDIR"
cd "$t"

now() { date +%s.%N; }
# Median wall time of 7 runs of "$@", in seconds.
median() {
    local i a b times=()
    for i in 1 2 3 4 5 6 7; do
        a=$(now)
        "$@" >/dev/null 2>&1
        b=$(now)
        times+=("$(awk -v a="$a" -v b="$b" 'BEGIN { print b - a }')")
    done
    printf '%s\n' "${times[@]}" | sort -g | sed -n 4p
}

echo "== 1. Per-scan steps on the real head CT (256 x 256 x 108, 14 MB)"
mkdir inv
tar -xzf /usr/share/doc/invesalius-examples/examples/Cranium.inv3 -C inv --strip-components=1
"$bin/tests/invimport" inv ct >/dev/null
/usr/bin/python3 "$src/scripts/cohortsample.py" ct sample canon
mkdir nii
dcm2niix -b n -z n -f scan -o nii sample/dicom/ct03 >/dev/null
"$bin/nii2im" -a 1024 nii/scan.nii pair >/dev/null
"$bin/quorral" pair l seed >/dev/null
printf '%-42s %8s\n' step seconds
printf '%-42s %8.3f\n' "dcm2niix (108 DICOM files)" "$(median bash -c "rm -rf n2; mkdir n2; dcm2niix -b n -z n -f scan -o n2 sample/dicom/ct03")"
printf '%-42s %8.3f\n' "nii2im -a 1024 (.nii, 14 MB)" "$(median "$bin/nii2im" -a 1024 nii/scan.nii p2)"
printf '%-42s %8.3f\n' "nii2im -a 1024 (.nii.gz)" "$(median "$bin/nii2im" -a 1024 sample/ct01.nii.gz p3)"
printf '%-42s %8.3f\n' "quorral, one side" "$(median "$bin/quorral" pair l seed)"
printf '%-42s %8.3f\n' "seedpng, one side" "$(median "$bin/seedpng" pair seed seed.png)"
printf '%-42s %8.3f\n' "whole step, DICOM series, l and r" "$(median "$step" -b "$bin" -a 1024 sample dicom/ct03 s o1)"
printf '%-42s %8.3f\n' "whole step, .nii.gz, l and r" "$(median "$step" -b "$bin" -a 1024 sample ct01.nii.gz s o1)"
printf '%-42s %8.3f\n' "whole step, image pair, l and r" "$(median "$step" -b "$bin" sample pairs/ct04.hd s o1)"
# Peak extra disk of one running step: the converted NIfTI file and the
# pair (DICOM), or the pair (NIfTI); what stays is results, log, pictures.
nbytes=$(stat -c %s nii/scan.nii)
pbytes=$(($(stat -c %s pair.im) + $(stat -c %s pair.hd)))
kept=$(du -sb o1/scans/dicom/ct03 | cut -f 1)
echo "peak extra disk, DICOM step: $(((nbytes + pbytes) / 1024)) KiB (NIfTI $((nbytes / 1024)) + pair $((pbytes / 1024)))"
echo "peak extra disk, NIfTI step: $((pbytes / 1024)) KiB (the pair)"
echo "kept per scan (2 results, 2 seed boxes, 2 pictures, log): $((kept / 1024)) KiB"

echo
echo "== 2. 200 small scans on 2 cores: workstation back-end and xargs -P2"
"$bin/phantom" small 128 128 64 >/dev/null
mkdir many
/usr/bin/python3 -c '
import nibabel as nib, numpy as np
a = np.fromfile("small.im", dtype="<i2").reshape(64, 128, 128)
for i in range(200):
    d = np.transpose(a, (2, 1, 0))[::-1, ::-1, :] + (i % 7)
    nib.save(nib.Nifti1Image(d.astype(np.int16), np.diag([-1.0, -1.0, 1.5, 1.0])), "many/s%03d.nii.gz" % i)'
# Wall and CPU seconds (the command and all it waited for; Slurm's tasks
# run under slurmd, so there only the wall time counts).
measure() {
    local label=$1
    shift
    /usr/bin/python3 - "$label" "$@" <<'PY'
import resource, subprocess, sys, time
t = time.time()
subprocess.run(sys.argv[2:], stdout=subprocess.DEVNULL, check=True)
w = time.time() - t
r = resource.getrusage(resource.RUSAGE_CHILDREN)
c = r.ru_utime + r.ru_stime
print("%-40s %7.2f s wall %7.2f s CPU %4.0f%% of 2 cores %6.1f ms/scan" % (sys.argv[1], w, c, 100 * c / (2 * w), 1000 * w / 200))
PY
}
measure "quorral-cohort run -j 2" "$cohort" run many outw -j 2 --bin "$bin" --add 1024
measure "rerun, nothing to do" "$cohort" run many outw -j 2 --bin "$bin" --add 1024
ls many | sed 's/^/s\t/' >list
measure "xargs -P2 over the same step" bash -c \
    "cut -f 2 list | xargs -P2 -I{} '$step' -b '$bin' -a 1024 '$t/many' {} s '$t/outx'"

echo
echo "== 3. 200 small scans on the Slurm back-end (single-node test cluster, 2 cores)"
mkdir cl
cluster=$t/cl
bash "$src/tests/cohort/slurmcluster.sh" start "$cluster" >/dev/null
export SLURM_CONF=$cluster/slurm.conf
for k in 50 10 1; do
    rm -rf outs
    measure "--backend slurm --batch $k ($(((200 + k - 1) / k)) tasks)" \
        "$cohort" run many outs --backend slurm --batch $k --bin "$bin" --add 1024
done
diff <(grep -v '^#' outw/results.tsv) <(grep -v '^#' outs/results.tsv) >/dev/null && echo "tables identical"
bash "$src/tests/cohort/slurmcluster.sh" stop "$cluster"
cluster=""

echo
echo "== 4. Listing, rerun checks and table of 20,000 scans (result files made up)"
/usr/bin/python3 - "$src/cohort" <<'EOF'
import os, sys, time
sys.path.insert(0, sys.argv[1])
import scans, table
os.makedirs("big", exist_ok=True)
for i in range(20000):
    open("big/s%05d.nii.gz" % i, "w").close()
t0 = time.time()
found, _ = scans.findscans("big", "", skip=["outbig"])
stamps = {s: scans.fullstamp("big", s, "add=1024 mask=", "") for s in found}
t1 = time.time()
for s in found:
    d = os.path.join("outbig", "scans", s)
    os.makedirs(d, exist_ok=True)
    for side in "lr":
        with open(os.path.join(d, side + ".tsv"), "w") as f:
            f.write("\t".join([s, side, "1", "2", "3", "0.5", "ok", "", "", "p", "256", "256", "108", "128", "128", "54", stamps[s]]) + "\n")
t2 = time.time()
todo = [s for s in found if table.needsrun("outbig", s, ["l", "r"], stamps[s])]
t3 = time.time()
table.assemble("outbig", found, ["l", "r"], "")
t4 = time.time()
print("list and stamp %d scans: %.2f s; rerun checks: %.2f s (%d to run); table of %d rows: %.2f s"
      % (len(found), t1 - t0, t3 - t2, len(todo), 2 * len(found), t4 - t3))
EOF
