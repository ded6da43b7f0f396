"""The scans of a cohort folder, and the stamps that tell a rerun whether
a scan's input changed since its result.

A scan is a NIfTI file (.nii, .nii.gz), the .hd of an image pair whose
.im lies beside it, or a folder holding DICOM files (files with the DICM
mark, or named *.dcm); such a folder is one scan and is not searched
further.  Hidden names, the output folder and mask files are skipped.
"""
import hashlib
import os
import stat


def isdicom(path):
    """True for a regular file with the DICOM mark at byte 128."""
    try:
        st = os.stat(path)
        if not stat.S_ISREG(st.st_mode):
            return False
        if path.lower().endswith(".dcm"):
            return True
        # Non-blocking: the file was regular a moment ago, but may not be now.
        fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
        try:
            head = os.pread(fd, 132, 0)
        finally:
            os.close(fd)
        return head[128:132] == b"DICM"
    except OSError:
        return False


def utf8(name):
    """True when the name is valid UTF-8 (the table is UTF-8)."""
    try:
        name.encode("utf-8")
        return True
    except UnicodeEncodeError:
        return False


def ismask(name, masksuffix):
    if not masksuffix:
        return False
    base = masksuffix[:-3] if masksuffix.endswith(".hd") else masksuffix
    return name.endswith(masksuffix) or name.endswith(base + ".hd") or name.endswith(base + ".im")


def findscans(top, masksuffix="", skip=()):
    """Sorted scan paths relative to top.  skip: absolute folders to leave out."""
    top = os.path.abspath(top)
    skip = {os.path.realpath(s) for s in skip}
    found = []
    bad = []

    def walk(folder, rel):
        try:
            entries = sorted(os.listdir(folder))
        except OSError:
            return
        # A folder with DICOM files is one scan; only a few files are
        # looked at, so a huge series costs little.
        files = [e for e in entries if not e.startswith(".")]
        looked = 0
        for e in files:
            p = os.path.join(folder, e)
            if os.path.isfile(p):
                looked += 1
                if isdicom(p):
                    if rel:
                        found.append(rel)
                    return
                if looked >= 32:
                    break
        for e in files:
            p = os.path.join(folder, e)
            r = os.path.join(rel, e) if rel else e
            if "\t" in r or "\n" in r or "\r" in r or not utf8(r):
                bad.append(r)
                continue
            if os.path.isdir(p):
                if os.path.realpath(p) not in skip:
                    walk(p, r)
                continue
            if ismask(e, masksuffix):
                continue
            if e.endswith(".nii") or e.endswith(".nii.gz"):
                found.append(r)
            elif e.endswith(".hd") and os.path.lexists(p[:-3] + ".im"):
                found.append(r)

    walk(top, "")
    return sorted(found), bad


def stampof(top, scan, options):
    """A short hash of what a scan's result depends on: its files' names,
    sizes and modification times (with the mask's) and the options."""
    h = hashlib.sha1(options.encode("utf-8", "surrogateescape"))

    def add(path):
        try:
            st = os.stat(path)
            h.update(("%s %d %d %o\n" % (os.path.basename(path), st.st_size, st.st_mtime_ns,
                                         stat.S_IFMT(st.st_mode))).encode("utf-8", "surrogateescape"))
        except OSError:
            h.update(b"missing\n")

    p = os.path.join(top, scan)
    if os.path.isdir(p):
        try:
            for e in sorted(os.listdir(p)):
                if not e.startswith("."):
                    add(os.path.join(p, e))
        except OSError:
            h.update(b"unreadable\n")
    else:
        add(p)
        if scan.endswith(".hd"):
            add(p[:-3] + ".im")
    return h.hexdigest()[:16]


def maskstem(scan):
    for suf in (".nii.gz", ".nii", ".hd"):
        if scan.endswith(suf):
            return scan[: -len(suf)]
    return scan


def fullstamp(top, scan, options, masksuffix):
    """The stamp, with the mask's files when the cohort has masks."""
    s = stampof(top, scan, options)
    if masksuffix:
        m = maskstem(scan) + masksuffix
        if m.endswith(".nii") or m.endswith(".nii.gz"):
            s += stampof(top, m, "")[:8]
        else:
            m = m[:-3] if m.endswith(".hd") else m
            s += stampof(top, m + ".hd", "")[:8]
    return s
