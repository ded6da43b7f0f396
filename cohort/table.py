"""The results table, OUT/results.tsv, assembled from the result files
that the per-scan step writes (OUT/scans/SCAN/SIDE.tsv), never from a
scheduler's accounting."""
import datetime
import os
import tempfile

HEADER = ("scan\tside\tx\ty\tz\tmeas\tstatus\tstep\tline\tpicture"
          "\tcolumns\trows\tslices\tcx\tcy\tcz")
NFIELDS = 16


def readresult(out, scan, side):
    """The result file's fields (17: the row and the stamp), or None."""
    path = os.path.join(out, "scans", scan, side + ".tsv")
    try:
        if not os.path.isfile(path):
            return None
        with open(path, encoding="utf-8", errors="surrogateescape", newline="\n") as f:
            line = f.readline().rstrip("\n")
    except OSError:
        return None
    fields = line.split("\t")
    if len(fields) != NFIELDS + 1 or fields[0] != scan or fields[1] != side:
        return None
    return fields


def needsrun(out, scan, sides, stamp):
    """True when a side has no result, a failed one, or one of other input."""
    for side in sides:
        r = readresult(out, scan, side)
        if r is None or r[6] != "ok" or r[NFIELDS] != stamp:
            return True
    return False


def putwhole(path, text):
    """Writes path whole: a hidden temporary file beside it, then renamed."""
    fd, tmp = tempfile.mkstemp(prefix=".tmp-", dir=os.path.dirname(path) or ".")
    try:
        # The mode a plain new file would have (mkstemp makes it 0600).
        mask = os.umask(0)
        os.umask(mask)
        os.fchmod(fd, 0o666 & ~mask)
        with os.fdopen(fd, "w", encoding="utf-8", errors="surrogateescape", newline="\n") as f:
            f.write(text)
            f.flush()
            os.fsync(f.fileno())
        os.replace(tmp, path)
    except BaseException:
        try:
            os.unlink(tmp)
        except OSError:
            pass
        raise


def assemble(out, scans, sides, version, missing="no result: the step did not finish"):
    """Writes OUT/results.tsv for scans x sides; returns (rows, failed).

    A scan without a result file (its step was killed, say) is a failed
    row of step input with a line that says so.
    """
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
    lines = ["# date: " + now]
    if version:
        lines.append("# version: " + version)
    lines.append(HEADER)
    failed = 0
    order = sorted(sides)
    for scan in sorted(scans):
        for side in order:
            r = readresult(out, scan, side)
            if r is None:
                r = [scan, side, "", "", "", "", "failed", "input",
                     "%s (log: scans/%s/log)" % (missing, scan)] + [""] * 7
            failed += r[6] != "ok"
            lines.append("\t".join(r[:NFIELDS]))
    putwhole(os.path.join(out, "results.tsv"), "\n".join(lines) + "\n")
    return len(scans) * len(order), failed
