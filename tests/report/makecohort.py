#!/usr/bin/python3
# Writes a made-up cohort's results table and small PNG pictures:
#   makecohort.py DIR          the 30 scans of the browser tests, every
#                              flag on rows chosen here, and DIR/expected.json
#                              with what the page must show
#   makecohort.py DIR N        N scans (2N rows) of plain, random seeds with
#                              a few of each flag, for the benchmark
# The pictures are one colour each and 100 + (row number % 150) pixels wide,
# so a test can tell which one the page shows.
import json
import os
import random
import struct
import sys
import zlib

head = ("scan\tside\tx\ty\tz\tmeas\tstatus\tstep\tline\tpicture"
        "\tcolumns\trows\tslices\tcx\tcy\tcz")


def png(path, w, h, rgb):
    def chunk(kind, data):
        c = kind + data
        return struct.pack(">I", len(data)) + c + struct.pack(">I", zlib.crc32(c))
    raw = b"".join(b"\0" + bytes(rgb) * w for _ in range(h))
    data = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


class Cohort:
    def __init__(self, folder):
        self.folder = folder
        self.lines = []
        self.expect = {}

    def add(self, scan, side, seed=None, meas=None, fail=None, size=(64, 64, 32),
            centre=None, pic=True, flags=()):
        n = len(self.lines)
        if centre is None:
            centre = (size[0] // 2, size[1] // 2, size[2] // 2)
        picture = ""
        if pic:
            picture = "pics/%s-%s.png" % (scan.replace(".nii.gz", ""), side)
            if pic != "missing":
                png(os.path.join(self.folder, picture), 100 + n % 150, 20,
                    (40 + n * 7 % 200, 90, 160 + n % 90))
        if fail:
            step, line = fail
            cols = ["", "", "", "", "failed", step, line]
        else:
            cols = [str(seed[0]), str(seed[1]), str(seed[2]), "%.6f" % meas, "ok", "", ""]
        self.lines.append("\t".join([scan, side] + cols + [picture]
                                    + [str(v) for v in size] + [str(v) for v in centre]))
        self.expect["%s\t%s" % (scan, side)] = {
            "flags": sorted(flags), "width": 100 + n % 150 if pic and pic != "missing" else 0,
            "picture": picture, "meas": None if fail else meas}

    def write(self, comments=True):
        text = ""
        if comments:
            text = "# date: 2026-12-11T08:30:00Z\n# version: 1.1.0\n"
        text += head + "\n" + "".join(l + "\n" for l in self.lines)
        with open(os.path.join(self.folder, "results.tsv"), "w", encoding="utf-8") as f:
            f.write(text)


def plain(c, rnd, scan, side, **kw):
    """A seed where it belongs: 8 columns beside the centre, a good meas."""
    cx, cy, cz = 32, 32, 16
    x = cx + 8 if side == "l" else cx - 8
    c.add(scan, side, (x, cy + rnd.randint(-2, 2), cz + rnd.randint(-2, 2)),
          round(rnd.uniform(0.22, 0.32), 6), **kw)


def testcohort(folder):
    c = Cohort(folder)
    rnd = random.Random(12)
    special = {}

    def sp(i):
        return lambda f: special.setdefault(i, f)

    @sp(3)
    def _(scan):
        plain(c, rnd, scan, "l")
        c.add(scan, "r", fail=("quorral", "quorral: can't read image ct03 slice: 5"),
              pic=False, flags=["failed"])

    @sp(5)
    def _(scan):
        c.add(scan, "l", (32, 32, 16), 9999.99, flags=["nocand"])
        plain(c, rnd, scan, "r")

    @sp(7)
    def _(scan):
        for side in "lr":
            c.add(scan, side, fail=("nii2im", "nii2im: can't read NIfTI file ct07.nii.gz"),
                  size=("", "", ""), centre=("", "", ""), pic=False, flags=["failed"])

    @sp(9)
    def _(scan):
        for side in "lr":
            c.add(scan, side, (32, 32, 16), 9999.99, flags=["nocand", "close"])

    @sp(11)
    def _(scan):
        c.add(scan, "l", fail=("seedpng", "seedpng: can't write picture pics/ct11-l.png"),
              pic=False, flags=["failed"])
        plain(c, rnd, scan, "r")

    @sp(13)
    def _(scan):
        c.add(scan, "l", (40, 30, 15), -580.812345, flags=["negative"])
        plain(c, rnd, scan, "r")

    @sp(15)
    def _(scan):
        # A narrow image: both seeds land beside it.
        c.add(scan, "l", (12, 10, 16), 0.25, size=(12, 20, 32), flags=["outside"])
        c.add(scan, "r", (-1, 10, 16), 0.26, size=(12, 20, 32), flags=["outside"])

    @sp(17)
    def _(scan):
        c.add(scan, "l", (40, 32, -1), 0.27, size=(64, 64, 4), flags=["outside"])
        c.add(scan, "r", (24, 63, 4), 0.28, size=(64, 64, 4))

    @sp(19)
    def _(scan):
        # Masks whose centroids lie apart: seeds 6 columns apart are close,
        # 7 (scan 26) are not.
        c.add(scan, "l", (35, 30, 16), 0.24, centre=(27, 30, 16), flags=["close"])
        c.add(scan, "r", (29, 30, 16), 0.25, centre=(37, 30, 16), flags=["close"])

    @sp(26)
    def _(scan):
        c.add(scan, "l", (36, 30, 16), 0.24, centre=(28, 30, 16))
        c.add(scan, "r", (29, 30, 16), 0.25, centre=(37, 30, 16))

    @sp(21)
    def _(scan):
        c.add(scan, "l", (40, 31, 17), 3.5, flags=["outlier"])
        plain(c, rnd, scan, "r")

    @sp(23)
    def _(scan):
        plain(c, rnd, scan, "l")
        c.add(scan, "r", (24, 33, 15), 9.2, flags=["outlier"])

    @sp(25)
    def _(scan):
        plain(c, rnd, scan, "l", pic="missing")
        plain(c, rnd, scan, "r")

    @sp(29)
    def _(scan):
        plain(c, rnd, scan, "l")
        c.add(scan, "r", (24, 32, 16), 0.0)

    for i in range(1, 31):
        if i == 27:
            scan = "dicom/ct27"
        elif i == 28:
            scan = "ct 28 <b>&amp;.nii.gz"
        else:
            scan = "ct%02d.nii.gz" % i
        if i in special:
            special[i](scan)
        else:
            plain(c, rnd, scan, "l")
            plain(c, rnd, scan, "r")
    c.write()
    flagged = [k for k, v in c.expect.items() if v["flags"]]
    summary = {"scans": 30, "seeds": len(c.lines),
               "failed": sum(1 for v in c.expect.values() if "failed" in v["flags"]),
               "flagged": len(flagged),
               "flaggedscans": len({k.split("\t")[0] for k in flagged})}
    summary["succeeded"] = summary["seeds"] - summary["failed"]
    with open(os.path.join(folder, "expected.json"), "w", encoding="utf-8") as f:
        json.dump({"summary": summary, "rows": c.expect}, f, indent=1)


def bigcohort(folder, n):
    c = Cohort(folder)
    rnd = random.Random(n)
    for i in range(n):
        scan = "site%d/sub-%05d.nii.gz" % (i % 7, i)
        for side in "lr":
            u = rnd.random()
            if u < 0.01:
                c.add(scan, side, fail=("quorral", "quorral: can't read image sub slice: 3"),
                      pic=False)
            elif u < 0.02:
                c.add(scan, side, (32, 32, 16), 9999.99)
            elif u < 0.03:
                c.add(scan, side, (40, 30, 15), -round(rnd.uniform(10, 900), 6))
            elif u < 0.04:
                c.add(scan, side, (40 if side == "l" else 24, 32, 16), round(rnd.uniform(2, 20), 6))
            else:
                plain(c, rnd, scan, side)
    c.write()


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: makecohort.py DIR [N]")
    os.makedirs(sys.argv[1], exist_ok=True)
    if len(sys.argv) == 3:
        bigcohort(sys.argv[1], int(sys.argv[2]))
    else:
        testcohort(sys.argv[1])
