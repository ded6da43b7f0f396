"""The workstation back-end: the per-scan step for each scan, N at once."""
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor


def runlocal(stepcmd, todo, jobs):
    """stepcmd(scan, stamp) gives the step's argument vector; todo is a
    list of (scan, stamp).  Returns the number of steps that could not
    write their results."""
    def one(item):
        scan, stamp = item
        r = subprocess.run(stepcmd(scan, stamp), stdin=subprocess.DEVNULL,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if r.returncode != 0:
            sys.stdout.write("quorral-cohort: %s: %s\n" % (scan, r.stdout.decode(errors="replace").strip()))
            sys.stdout.flush()
            return 1
        return 0

    with ThreadPoolExecutor(max_workers=max(1, jobs)) as pool:
        return sum(pool.map(one, todo))
