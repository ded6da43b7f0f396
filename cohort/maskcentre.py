#!/usr/bin/python3
"""Prints the search centre that quorral takes from a mask image pair:

    maskcentre.py MASK

the centroid of its non-zero voxels, each coordinate with the fraction
dropped (columns and rows from 0, slices from 1), as "cx cy cz".  Prints
nothing when the mask is empty or cannot be read (quorral then reports
why).
"""
import sys

import numpy as np

KEYS = ("Bytes per pixel", "Size of dimension[0]", "Size of dimension[1]",
        "Size of dimension[2]", "Number of channels")


def header(name):
    vals = {}
    with open(name + ".hd", "rb") as f:
        for raw in f:
            line = raw.decode("latin-1")
            for k in KEYS:
                if k in line and "=" in line:
                    v = line.split("=", 1)[1].lstrip(" \t")
                    digits = ""
                    for i, ch in enumerate(v):
                        if ch.isdigit() or (i == 0 and ch in "+-"):
                            digits += ch
                        else:
                            break
                    if digits.lstrip("+-"):
                        vals[k] = int(digits)
                    break
    return vals


def main():
    if len(sys.argv) != 2:
        return 1
    name = sys.argv[1]
    try:
        h = header(name)
        bpp = h.get(KEYS[0], 0)
        slices, columns, rows = h.get(KEYS[1], 0), h.get(KEYS[2], 0), h.get(KEYS[3], 0)
        if bpp != 1 or min(slices, columns, rows) < 1:
            return 1
        n = slices * rows * columns
        m = np.fromfile(name + ".im", dtype=np.uint8, count=n)
        if m.size < n:
            return 1
        on = m.reshape(slices, rows, columns) != 0
    except (OSError, ValueError):
        return 1
    count = int(on.sum())
    if count == 0:
        return 1
    sx = int((on.sum(axis=(0, 1), dtype=np.int64) * np.arange(columns, dtype=np.int64)).sum())
    sy = int((on.sum(axis=(0, 2), dtype=np.int64) * np.arange(rows, dtype=np.int64)).sum())
    sz = int((on.sum(axis=(1, 2), dtype=np.int64) * np.arange(1, slices + 1, dtype=np.int64)).sum())
    print(int(sx / count), int(sy / count), int(sz / count))
    return 0


if __name__ == "__main__":
    sys.exit(main())
