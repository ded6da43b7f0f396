# The flags of each seed and the cohort's outlier rule.
import math

failed, nocand, negative, outside, close, outlier = 1, 2, 4, 8, 16, 32

# (bit, short name, label, one-line explanation); the page shows them in
# this order.  The explanations of the outlier and close flags get their
# numbers from rule() and the constants below.
nocandmeas = 9999.99
width = 7          # the neighbourhood's columns (7 x 7 x 13)
k = 3.0            # outlier: this many scaled MADs above the median
madfloor = 0.05    # the least spread assumed, in decades (x 1.12)
minmeas = 5        # fewer qualifying measures: no outlier rule

info = [
    (failed, "failed", "failed",
     "The run failed at the step shown; its one line is in the table."),
    (nocand, "nocand", "no candidate",
     "No candidate qualified (meas 9999.99): the seed is the search centre itself."),
    (negative, "negative", "negative meas",
     "The neighbourhood's sum is negative. On CT in Hounsfield units this "
     "usually means fluid beside air: import the scan with -a 1024 and run again."),
    (outside, "outside", "outside",
     "The seed lies outside the image (x outside 0..columns-1, y outside "
     "0..rows-1 or z outside 1..slices; up to 3 columns, 3 rows or 6 slices out)."),
    (close, "close", "l/r close",
     "The l and r seeds of this scan are less than the neighbourhood's width "
     "apart: |x(l) - x(r)| < 7 columns, both runs ok."),
    (outlier, "outlier", "outlier", ""),
]


def median(v):
    v = sorted(v)
    n = len(v)
    if n == 0:
        return None
    return v[n // 2] if n % 2 else (v[n // 2 - 1] + v[n // 2]) / 2


def isnocand(r):
    return r.ok and abs(r.meas - nocandmeas) < 5e-7


def rule(rows):
    """The outlier threshold over the qualifying, positive measures:
    returns dict(n, median, spread, threshold) (threshold None when there
    are too few).  Measures are ratios (range over mean), skewed to the
    right: on a log scale their spread is even, so the rule is
    log10(meas) > median + k * max(1.4826 * MAD, madfloor)."""
    logs = [math.log10(r.meas) for r in rows
            if r.ok and r.meas > 0 and not isnocand(r)]
    out = {"n": len(logs), "median": None, "spread": None, "threshold": None}
    if not logs:
        return out
    m = median(logs)
    out["median"] = 10 ** m
    if len(logs) < minmeas:
        return out
    s = max(1.4826 * median([abs(x - m) for x in logs]), madfloor)
    out["spread"] = s
    out["threshold"] = 10 ** (m + k * s)
    return out


def outside_image(r):
    if r.columns is not None and not 0 <= r.x <= r.columns - 1:
        return True
    if r.rows is not None and not 0 <= r.y <= r.rows - 1:
        return True
    if r.slices is not None and not 1 <= r.z <= r.slices:
        return True
    return False


def setflags(rows):
    """Sets each row's flags; returns the outlier rule's figures."""
    st = rule(rows)
    t = st["threshold"]
    byscan = {}
    for r in rows:
        f = 0
        if not r.ok:
            f = failed
        else:
            if isnocand(r):
                f |= nocand
            elif t is not None and r.meas > 0 and r.meas > t:
                f |= outlier
            if r.meas < 0:
                f |= negative
            if outside_image(r):
                f |= outside
            byscan.setdefault(r.scan, {})[r.side] = r
        r.flags = f
    for sides in byscan.values():
        if len(sides) == 2 and abs(sides["l"].x - sides["r"].x) < width:
            sides["l"].flags |= close
            sides["r"].flags |= close
    return st
