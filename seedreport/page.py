# Fills the page's template: the summary, the flags' explanations, the
# plots and the rows (as JSON that report.js turns into the table).
import json
import os
import re
import urllib.parse

import flags as fl
import plots


def esc(s):
    return plots.esc(s)


def pictures(rows, tabledir, outdir):
    """Each row's picture as a URL relative to OUTDIR (the pictures stay
    where the cohort wrote them), or None when there is none or it is
    missing."""
    out = os.path.abspath(outdir)
    for r in rows:
        r.picfile = None
        if not r.picture:
            continue
        p = os.path.normpath(os.path.join(tabledir, r.picture))
        if os.path.isfile(p):
            rel = os.path.relpath(p, out)
            r.picfile = urllib.parse.quote(rel.replace(os.sep, "/"))


def rowjson(rows):
    data = []
    for r in rows:
        data.append([r.scan, r.side, r.x, r.y, r.z, r.meastext, r.meas,
                     1 if r.ok else 0, r.step, r.line, r.picfile or "",
                     r.picture, r.columns, r.rows, r.slices, r.cx, r.cy, r.cz, r.flags])
    # "</" and "<!--" must not end or confuse the script element.
    return json.dumps(data, ensure_ascii=False, separators=(",", ":")).replace("<", "\\u003c")


def outlierline(st):
    if st["threshold"] is None:
        return ("Measure far above the cohort's median: not judged, fewer than %d "
                "qualifying positive measures." % fl.minmeas)
    return ("Measure far above the cohort's median: meas above %.6g. On a log10 scale, "
            "over the %d qualifying positive measures (not 9999.99), a seed is an outlier "
            "when log10(meas) > median + %g &#215; max(1.4826 &#215; MAD, %g); here the "
            "median is %.6g and the spread %.3g decades, so the threshold is the median "
            "&#215; %.3g." % (st["threshold"], st["n"], fl.k, fl.madfloor, st["median"],
                               st["spread"], st["threshold"] / st["median"]))


def summary(rows, meta, st):
    scans = len({r.scan for r in rows})
    ok = sum(1 for r in rows if r.ok)
    flagged = [r for r in rows if r.flags]
    fscans = len({r.scan for r in flagged})
    items = [("scans", "scans", scans), ("seeds", "seeds (scan &#215; side)", len(rows)),
             ("succeeded", "succeeded", ok), ("failed", "failed", len(rows) - ok),
             ("flagged", "flagged seeds", len(flagged)),
             ("flaggedscans", "scans with a flag", fscans)]
    h = ['<dl class="summary">']
    for key, label, n in items:
        h.append('<div class="stat" id="sum-%s"><dt>%s</dt><dd>%d</dd></div>' % (key, label, n))
    h.append("</dl>")
    when = esc(meta["date"])
    if meta.get("datefrom"):
        when += " (%s)" % esc(meta["datefrom"])
    h.append('<p class="run">Run of <span id="run-date">%s</span>, quorral version '
             '<span id="run-version">%s</span>.</p>' % (when, esc(meta["version"])))
    return "".join(h)


def flaglist(rows, st):
    h = ['<ul class="flags">']
    for bit, name, label, line in fl.info:
        n = sum(1 for r in rows if r.flags & bit)
        text = outlierline(st) if bit == fl.outlier else esc(line)
        h.append('<li id="flag-%s"><button type="button" class="badge flag-%s" data-flag="%s" '
                 'title="Show only these seeds">%s</button> <span class="count">%d</span> '
                 '<span class="why">%s</span></li>' % (name, name, name, esc(label), n, text))
    h.append("</ul>")
    return "".join(h)


def build(template, rows, meta, st, tablename):
    parts = {
        "title": esc("Seeds of %s" % tablename),
        "summary": summary(rows, meta, st),
        "flags": flaglist(rows, st),
        "histogram": plots.histogram(rows, st),
        "offsetsy": plots.offsets(rows, "y"),
        "offsetsz": plots.offsets(rows, "z"),
        "flagnames": esc(json.dumps({n: [b, lab] for b, n, lab, _ in fl.info})),
        "rows": rowjson(rows),
    }
    # One pass, so that text from the table is never taken for a slot.
    return re.sub(r"\{\{(\w+)\}\}", lambda m: parts[m.group(1)], template)
