# Reads the cohort's results table: leading "# date:" and "# version:"
# lines, the fixed header, then one row per scan and side.  Every fault
# comes back as one line of text; nothing here prints or exits.
import datetime
import os
import re
import stat

header = ("scan\tside\tx\ty\tz\tmeas\tstatus\tstep\tline\tpicture"
          "\tcolumns\trows\tslices\tcx\tcy\tcz")
names = header.split("\t")
steps = ("input", "dcm2niix", "nii2im", "quorral", "seedpng")
intre = re.compile(r"-?[0-9]+\Z")
measre = re.compile(r"-?[0-9]+\.[0-9]+\Z")
# A results table of a cohort is a few MiB; this bounds a wrong file.
maxbytes = 1 << 30


class Row:
    __slots__ = ("num", "scan", "side", "x", "y", "z", "meas", "meastext",
                 "ok", "step", "line", "picture", "columns", "rows",
                 "slices", "cx", "cy", "cz", "flags", "picfile")


def readfile(path):
    """Returns (bytes, mtime, error).  Opens without blocking, so a FIFO
    or a device is refused rather than waited on."""
    try:
        fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_NOCTTY)
    except OSError as e:
        return None, 0, "can't read table %s: %s" % (path, e.strerror)
    try:
        st = os.fstat(fd)
        if not stat.S_ISREG(st.st_mode):
            return None, 0, "can't read table %s: not a regular file" % path
        if st.st_size > maxbytes:
            return None, 0, "can't read table %s: larger than 1 GiB" % path
        chunks = []
        while True:
            b = os.read(fd, 1 << 20)
            if not b:
                break
            chunks.append(b)
        return b"".join(chunks), st.st_mtime, None
    except OSError as e:
        return None, 0, "can't read table %s: %s" % (path, e.strerror)
    finally:
        os.close(fd)


def optint(text, what, num):
    if text == "":
        return None, None
    if not intre.match(text):
        return None, "line %d: %s is not a whole number: %r" % (num, what, text)
    return int(text), None


def parserow(fields, num):
    """One data line's fields -> (Row, error)."""
    r = Row()
    r.num = num
    (r.scan, r.side, xs, ys, zs, ms, status, r.step, r.line, r.picture,
     cols, rows, slices, cxs, cys, czs) = fields
    if r.scan == "":
        return None, "line %d: empty scan name" % num
    if r.side not in ("l", "r"):
        return None, "line %d: side must be l or r, not %r" % (num, r.side)
    if status not in ("ok", "failed"):
        return None, "line %d: status must be ok or failed, not %r" % (num, status)
    r.ok = status == "ok"
    if r.ok:
        if r.step or r.line:
            return None, "line %d: a run that is ok has no failing step or line" % num
        for name, t in (("x", xs), ("y", ys), ("z", zs)):
            if not intre.match(t):
                return None, "line %d: %s is not a whole number: %r" % (num, name, t)
        if not measre.match(ms):
            return None, "line %d: meas is not a decimal number: %r" % (num, ms)
        r.x, r.y, r.z = int(xs), int(ys), int(zs)
        r.meas = float(ms)
        r.meastext = ms
    else:
        if r.step not in steps:
            return None, ("line %d: a failed run's step must be one of %s, not %r"
                          % (num, ", ".join(steps), r.step))
        if xs or ys or zs or ms:
            return None, "line %d: a failed run has no seed or meas" % num
        r.x = r.y = r.z = r.meas = None
        r.meastext = ""
    for name, t in (("columns", cols), ("rows", rows), ("slices", slices)):
        v, err = optint(t, name, num)
        if err:
            return None, err
        if v is not None and v < 1:
            return None, "line %d: %s must be at least 1: %r" % (num, name, t)
        setattr(r, name, v)
    for name, t in (("cx", cxs), ("cy", cys), ("cz", czs)):
        v, err = optint(t, name, num)
        if err:
            return None, err
        setattr(r, name, v)
    r.flags = 0
    r.picfile = None
    return r, None


def isodate(text):
    """An ISO 8601 date and time, shown as written when it parses."""
    t = text.strip()
    try:
        datetime.datetime.fromisoformat(t.replace("Z", "+00:00"))
    except ValueError:
        return None
    return t


def parse(data, mtime):
    """Returns (rows, meta, error); meta holds 'date' and 'version' (None
    when the table has no such comment line)."""
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as e:
        num = data[:e.start].count(b"\n") + 1
        return None, None, "line %d: not UTF-8 text" % num
    if text.startswith("\ufeff"):
        text = text[1:]
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    meta = {"date": None, "version": None}
    i = 0
    while i < len(lines) and lines[i].startswith("#"):
        c = lines[i].rstrip("\r")
        m = re.match(r"#\s*(date|version)\s*:\s*(.*)\Z", c)
        if m and m.group(1) == "date":
            d = isodate(m.group(2))
            if d is None:
                return None, None, "line %d: date is not ISO 8601: %r" % (i + 1, m.group(2))
            meta["date"] = d
        elif m:
            meta["version"] = m.group(2).strip()
        i += 1
    if i == len(lines):
        return None, None, "no header line (the table is empty)"
    if lines[i].rstrip("\r") != header:
        return None, None, ("line %d: wrong header, expecting the 16 columns %s"
                            % (i + 1, " ".join(names)))
    rows = []
    seen = {}
    for j in range(i + 1, len(lines)):
        num = j + 1
        fields = lines[j].rstrip("\r").split("\t")
        if len(fields) != len(names):
            return None, None, ("line %d: %d fields, expecting %d separated by tabs"
                                % (num, len(fields), len(names)))
        r, err = parserow(fields, num)
        if err:
            return None, None, err
        key = (r.scan, r.side)
        if key in seen:
            return None, None, ("line %d: scan %s side %s again (first on line %d)"
                                % (num, r.scan, r.side, seen[key]))
        seen[key] = num
        rows.append(r)
    if meta["date"] is None:
        meta["date"] = datetime.datetime.fromtimestamp(
            mtime, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
        meta["datefrom"] = "the table's modification time"
    return rows, meta, None
