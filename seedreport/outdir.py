# The report is built whole in a hidden folder beside OUTDIR and then
# swapped into place, so OUTDIR always holds either the old report or
# the new one, never a part.  Only an empty folder or one that holds a
# report (the marker file below) is ever replaced.
import ctypes
import errno
import os
import shutil
import stat
import tempfile

marker = ".seedreport"


def check(outdir):
    """None when OUTDIR may be written, else the reason."""
    try:
        st = os.lstat(outdir)
    except FileNotFoundError:
        return None
    except OSError as e:
        return "can't use %s: %s" % (outdir, e.strerror)
    if not stat.S_ISDIR(st.st_mode):
        return "%s exists and is not a folder" % outdir
    try:
        names = os.listdir(outdir)
    except OSError as e:
        return "can't read folder %s: %s" % (outdir, e.strerror)
    if names and marker not in names:
        return "%s is a folder that holds no report; not replacing it" % outdir
    return None


def maketemp(outdir):
    """Returns (path, error) of a new hidden folder beside OUTDIR."""
    parent = os.path.dirname(os.path.abspath(outdir))
    try:
        tmp = tempfile.mkdtemp(prefix=".seedreport-", dir=parent)
        um = os.umask(0)
        os.umask(um)
        os.chmod(tmp, 0o777 & ~um)
    except OSError as e:
        return None, "can't write %s: %s" % (outdir, e.strerror)
    return tmp, None


def writefile(folder, name, data):
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, name), "xb") as f:
        f.write(data)


def exchange(a, b):
    """Swaps two paths at once (Linux renameat2 with RENAME_EXCHANGE);
    False when the system has no such call."""
    try:
        libc = ctypes.CDLL(None, use_errno=True)
        fn = libc.renameat2
    except (OSError, AttributeError):
        return False
    fn.argtypes = [ctypes.c_int, ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_uint]
    atcwd, rename_exchange = -100, 2
    if fn(atcwd, os.fsencode(a), atcwd, os.fsencode(b), rename_exchange) == 0:
        return True
    e = ctypes.get_errno()
    if e in (errno.ENOSYS, errno.EINVAL):
        return False
    raise OSError(e, os.strerror(e))


def commit(tmp, outdir):
    """Puts the finished folder TMP in OUTDIR's place; None or the reason."""
    err = check(outdir)
    if err:
        return err
    try:
        try:
            os.rename(tmp, outdir)      # no OUTDIR, or an empty one
            return None
        except OSError as e:
            if e.errno not in (errno.ENOTEMPTY, errno.EEXIST):
                raise
        if exchange(tmp, outdir):
            shutil.rmtree(tmp, ignore_errors=True)   # now the old report
            return None
        # No atomic swap: move the old report aside for a moment.
        old = tmp + ".old"
        os.rename(outdir, old)
        os.rename(tmp, outdir)
        shutil.rmtree(old, ignore_errors=True)
        return None
    except OSError as e:
        return "can't write %s: %s" % (outdir, e.strerror)


def discard(tmp):
    shutil.rmtree(tmp, ignore_errors=True)
