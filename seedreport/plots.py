# The page's plots as inline SVG: a histogram of the measures on a log
# scale and the seeds' offsets from the search centre.
import math

import flags as fl


def esc(s):
    return (str(s).replace("&", "&amp;").replace("<", "&lt;")
            .replace(">", "&gt;").replace('"', "&quot;"))


def num(v):
    return ("%.1f" % v).rstrip("0").rstrip(".")


def nicestep(span, most):
    """A step of 1, 2 or 5 times a power of ten giving at most `most` ticks."""
    if span <= 0:
        return 1
    p = 10 ** math.floor(math.log10(span))
    for m in (0.1, 0.2, 0.5, 1, 2, 5, 10):
        if span / (m * p) <= most:
            return m * p
    return 10 * p


def logticks(lo, hi):
    """Tick values (not logs) between 10**lo and 10**hi."""
    for mult in ((1, 2, 3, 4, 5, 6, 7, 8, 9), (1, 2, 5), (1,)):
        t = []
        for e in range(math.floor(lo), math.ceil(hi) + 1):
            for m in mult:
                v = m * 10 ** e
                if lo - 1e-9 <= math.log10(v) <= hi + 1e-9:
                    t.append(v)
        if len(t) <= 9:
            return t
    return t


def fmtmeas(v):
    if v >= 100:
        return "%g" % round(v)
    return "%g" % float("%.2g" % v)


def histogram(rows, st):
    w, h = 560, 240
    left, right, top, bottom = 54, 12, 14, 40
    pos = [(math.log10(r.meas), r.flags & fl.outlier) for r in rows
           if r.ok and r.meas > 0 and not fl.isnocand(r)]
    nonpos = [r for r in rows if r.ok and r.meas <= 0]
    none = [r for r in rows if r.ok and fl.isnocand(r)]
    out = ['<svg id="histogram" class="plot" viewBox="0 0 %d %d" width="%d" height="%d" '
           'role="img" aria-label="Histogram of the measures">' % (w, h, w, h)]
    # Two side bars, "<= 0" and "9999.99", frame the log-scale bins.
    side = 34
    x0, x1 = left + side + 14, w - right - side - 22
    nb = 30
    if pos:
        lo = min(v for v, _ in pos)
        hi = max(v for v, _ in pos)
        if st["threshold"] is not None:
            hi = max(hi, math.log10(st["threshold"]))
        lo = math.floor(lo * 10) / 10
        hi = math.ceil(hi * 10) / 10
        if hi - lo < 0.3:
            mid = (hi + lo) / 2
            lo, hi = mid - 0.15, mid + 0.15
    else:
        lo, hi = -1, 0
    bw = (hi - lo) / nb
    plain = [0] * nb
    marked = [0] * nb
    for v, o in pos:
        b = min(int((v - lo) / bw), nb - 1)
        (marked if o else plain)[b] += 1
    negs = sum(1 for r in nonpos if r.meas < 0)
    zeros = len(nonpos) - negs
    top_count = max([p + m for p, m in zip(plain, marked)] + [negs + zeros, len(none), 1])
    ph = h - top - bottom
    # Past 100 seeds in a bar the counts go on a log scale too, so that
    # the few flagged seeds beside thousands of good ones stay visible.
    ylog = top_count > 100
    if ylog:
        ymax = 10 ** math.ceil(math.log10(top_count + 1))
        yticks = [0] + [10 ** e for e in range(0, round(math.log10(ymax)) + 1)]
    else:
        ystep = nicestep(top_count, 5)
        ymax = math.ceil(top_count / ystep) * ystep
        yticks = []
        c = 0
        while c <= ymax + 1e-9:
            yticks.append(c)
            c += ystep

    def y(c):
        f = math.log10(1 + c) / math.log10(1 + ymax) if ylog else c / ymax
        return top + ph - ph * f

    def x(v):
        return x0 + (x1 - x0) * (v - lo) / (hi - lo)

    for c in yticks:
        out.append('<line class="grid" x1="%d" x2="%d" y1="%.1f" y2="%.1f"/>'
                   '<text class="tick" x="%d" y="%.1f" text-anchor="end">%s</text>'
                   % (left, w - right, y(c), y(c), left - 4, y(c) + 4, num(c)))
    out.append('<text class="label" transform="translate(11 %.1f) rotate(-90)" '
               'text-anchor="middle">%s</text>' % (top + ph / 2, "seeds (log scale)" if ylog else "seeds"))

    def bar(bx, bwid, count, cls, tip, base=0):
        if count:
            out.append('<rect class="%s" x="%.1f" y="%.1f" width="%.1f" height="%.1f">'
                       '<title>%s</title></rect>'
                       % (cls, bx, y(base + count), bwid, y(base) - y(base + count), esc(tip)))

    for i in range(nb):
        a, b = lo + i * bw, lo + (i + 1) * bw
        tip = "meas %s to %s: " % (fmtmeas(10 ** a), fmtmeas(10 ** b))
        bar(x(a) + 0.5, x(b) - x(a) - 1, plain[i], "bar", tip + "%d seeds" % plain[i])
        bar(x(a) + 0.5, x(b) - x(a) - 1, marked[i], "bar flag-outlier",
            tip + "%d outliers" % marked[i], plain[i])
    bar(left + 4, side, zeros, "bar", "meas 0: %d seeds" % zeros)
    bar(left + 4, side, negs, "bar flag-negative", "negative meas: %d seeds" % negs, zeros)
    bar(w - right - side - 4, side, len(none), "bar flag-nocand",
        "no candidate (9999.99): %d seeds" % len(none))
    base = top + ph
    out.append('<line class="axis" x1="%d" x2="%d" y1="%d" y2="%d"/>' % (left, w - right, base, base))
    out.append('<text class="tick" x="%.1f" y="%d" text-anchor="middle">&#8804; 0</text>'
               % (left + 4 + side / 2, base + 14))
    out.append('<text class="tick" x="%.1f" y="%d" text-anchor="middle">9999.99</text>'
               % (w - right - side / 2 - 4, base + 14))
    for t in logticks(lo, hi):
        tx = x(math.log10(t))
        out.append('<line class="axis" x1="%.1f" x2="%.1f" y1="%d" y2="%d"/>'
                   '<text class="tick" x="%.1f" y="%d" text-anchor="middle">%s</text>'
                   % (tx, tx, base, base + 4, tx, base + 14, fmtmeas(t)))
    if st["median"] is not None:
        mx = x(math.log10(st["median"]))
        out.append('<line class="median" x1="%.1f" x2="%.1f" y1="%d" y2="%d">'
                   '<title>median %s</title></line>' % (mx, mx, top, base, fmtmeas(st["median"])))
    if st["threshold"] is not None:
        tx = x(math.log10(st["threshold"]))
        out.append('<line class="threshold" x1="%.1f" x2="%.1f" y1="%d" y2="%d">'
                   '<title>outlier threshold %s</title></line>'
                   '<text class="tick" x="%.1f" y="%d">outlier &gt; %s</text>'
                   % (tx, tx, top, base, fmtmeas(st["threshold"]), tx + 3, top + 10,
                      fmtmeas(st["threshold"])))
    out.append('<text class="label" x="%.1f" y="%d" text-anchor="middle">meas (log scale)</text>'
               % ((x0 + x1) / 2, h - 6))
    out.append("</svg>")
    return "".join(out)


def offsets(rows, axis):
    """Bubbles of (x - cx) against (y - cy) or (z - cz), one per offset
    and side, their area growing with the number of seeds there."""
    w, h = 300, 260
    left, right, top, bottom = 36, 10, 10, 34
    pts = {}
    sums = {"l": [0, 0, 0], "r": [0, 0, 0]}
    for r in rows:
        if not r.ok or r.cx is None:
            continue
        c = r.cy if axis == "y" else r.cz
        if c is None:
            continue
        dx = r.x - r.cx
        dv = (r.y if axis == "y" else r.z) - c
        key = (r.side, dx, dv)
        pts[key] = pts.get(key, 0) + 1
        s = sums[r.side]
        s[0] += dx
        s[1] += dv
        s[2] += 1
    xs = [k[1] for k in pts] + [-12, 12]
    vs = [k[2] for k in pts] + [-9, 9]
    xlo, xhi = min(xs) - 1, max(xs) + 1
    vlo, vhi = min(vs) - 1, max(vs) + 1
    pw, ph = w - left - right, h - top - bottom

    def px(v):
        return left + pw * (v - xlo) / (xhi - xlo)

    # Rows grow downward as in the picture; slices upward (slice 1 lowest).
    def py(v):
        f = (v - vlo) / (vhi - vlo)
        return top + (ph * f if axis == "y" else ph * (1 - f))

    name = "dy" if axis == "y" else "dz"
    out = ['<svg id="offsets-%s" class="plot" viewBox="0 0 %d %d" width="%d" height="%d" '
           'role="img" aria-label="Seed offsets x against %s">' % (axis, w, h, w, h, axis)]
    # The candidates' zone: 7 to 10 columns beside the centre, 7 rows
    # and 7 slices up or down.
    for a in (7, -10):
        out.append('<rect class="zone" x="%.1f" y="%.1f" width="%.1f" height="%.1f"/>'
                   % (px(a - 0.5), min(py(-7.5), py(7.5)), px(a + 3.5) - px(a - 0.5),
                      abs(py(7.5) - py(-7.5))))
    xstep = nicestep(xhi - xlo, 8)
    t = math.ceil(xlo / xstep) * xstep
    while t <= xhi:
        out.append('<line class="grid" x1="%.1f" x2="%.1f" y1="%d" y2="%d"/>'
                   '<text class="tick" x="%.1f" y="%d" text-anchor="middle">%s</text>'
                   % (px(t), px(t), top, top + ph, px(t), top + ph + 13, num(t)))
        t += xstep
    vstep = nicestep(vhi - vlo, 8)
    t = math.ceil(vlo / vstep) * vstep
    while t <= vhi:
        out.append('<line class="grid" x1="%d" x2="%d" y1="%.1f" y2="%.1f"/>'
                   '<text class="tick" x="%d" y="%.1f" text-anchor="end">%s</text>'
                   % (left, left + pw, py(t), py(t), left - 4, py(t) + 4, num(t)))
        t += vstep
    out.append('<line class="axis" x1="%.1f" x2="%.1f" y1="%d" y2="%d"/>'
               '<line class="axis" x1="%d" x2="%d" y1="%.1f" y2="%.1f"/>'
               % (px(0), px(0), top, top + ph, left, left + pw, py(0), py(0)))
    most = max(pts.values()) if pts else 1
    for (sd, dx, dv), n in sorted(pts.items(), key=lambda kv: -kv[1]):
        rad = 2 + 7 * math.sqrt(n / most)
        out.append('<circle class="side-%s" cx="%.1f" cy="%.1f" r="%.1f">'
                   '<title>%s: dx %d, %s %d: %d seeds</title></circle>'
                   % (sd, px(dx), py(dv), rad, sd, dx, name, dv, n))
    for sd, s in sums.items():
        if s[2]:
            mx, mv = px(s[0] / s[2]), py(s[1] / s[2])
            out.append('<path class="mean side-%s" d="M%.1f %.1fh12M%.1f %.1fv12">'
                       '<title>mean of %s: dx %.2f, %s %.2f</title></path>'
                       % (sd, mx - 6, mv, mx, mv - 6, sd, s[0] / s[2], name, s[1] / s[2]))
    out.append('<text class="label" x="%.1f" y="%d" text-anchor="middle">x - cx (columns)</text>'
               % (left + pw / 2, h - 4))
    out.append('<text class="label" transform="translate(11 %.1f) rotate(-90)" '
               'text-anchor="middle">%s</text>'
               % (top + ph / 2, "y - cy (rows, down)" if axis == "y" else "z - cz (slices, up)"))
    out.append("</svg>")
    return "".join(out)
