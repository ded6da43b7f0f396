# Sourced by the cohort tests.  makesample, in the current folder: the
# real head CT (Debian's invesalius-examples) imported by invimport (ct),
# the sample cohort made from it (sample/), and the direct import in the
# importer's order, in HU (canon) and shifted as nii2im -a 1024 shifts it
# (canon1024).  Needs $invimport, $src and fail.
makesample() {
    local inv3=/usr/share/doc/invesalius-examples/examples/Cranium.inv3
    [ -f "$inv3" ] || fail "$inv3 missing: apt-get install invesalius-examples"
    mkdir inv
    tar -xzf "$inv3" -C inv --strip-components=1
    "$invimport" inv ct >/dev/null || fail "invimport"
    /usr/bin/python3 "$src/scripts/cohortsample.py" ct sample canon || fail "cohortsample"
    /usr/bin/python3 -c '
import numpy as np
a = np.fromfile("canon.im", dtype="<i2").astype(np.int32) + 1024
a.astype("<i2").tofile("canon1024.im")' || fail "canon1024"
    cp canon.hd canon1024.hd
}
