"""The Slurm back-end: one sbatch --array job over the scan list, k scans
a task; it waits by polling squeue (sbatch --wait checks back only after
2, 8, 32 ... s), then the caller assembles the table from the result
files."""
import os
import signal
import subprocess
import sys
import time

from table import putwhole

MAXTASKS = 1000  # many sites cap arrays at 1,001 tasks


def batchsize(n, k):
    """k scans a task, raised so that the array has at most MAXTASKS tasks."""
    return max(k, -(-n // MAXTASKS))


def say(msg):
    sys.stdout.write("quorral-cohort: " + msg + "\n")
    sys.stdout.flush()


def runslurm(todo, k, listpath, logdir, taskcmd, sbatchopts, poll=1.0):
    """todo: (scan, stamp) pairs; taskcmd: the array task's argument
    vector after the list and k.  Returns 0 when the job ran to its end,
    1 when it could not be submitted or was given up."""
    putwhole(listpath, "".join("%s\t%s\n" % (stamp, scan) for scan, stamp in todo))
    tasks = -(-len(todo) // k)
    cmd = ["sbatch", "--parsable", "--array=0-%d" % (tasks - 1), "--job-name=quorral-cohort",
           "--ntasks=1", "--cpus-per-task=1",
           "--output=" + os.path.join(logdir, "task-%A_%a.log")] + sbatchopts
    cmd += [taskcmd[0], listpath, str(k)] + taskcmd[1:]
    r = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT)
    text = r.stdout.decode(errors="replace").strip()
    if r.returncode != 0 or not text:
        say("sbatch failed: " + (text.splitlines()[-1] if text else "status %d" % r.returncode))
        return 1
    job = text.splitlines()[-1].split(";")[0]
    say("job %s: %d scans in %d tasks of up to %d" % (job, len(todo), tasks, k))

    # Stopping the command stops the job.
    def stop(signum, frame):
        try:
            subprocess.run(["scancel", job], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
            say("stopped: job %s cancelled" % job)
        except subprocess.TimeoutExpired:
            say("stopped: scancel %s did not answer in 30 s" % job)
        sys.exit(130)
    old = {s: signal.signal(s, stop) for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)}

    errors = 0
    try:
        while True:
            r = subprocess.run(["squeue", "-h", "-j", job, "-o", "%i"], stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            if r.returncode == 0:
                errors = 0
                if not r.stdout.strip():
                    return 0
            elif b"Invalid job id" in r.stderr:
                return 0  # already purged from the controller: done
            else:
                # The controller may be busy or restarting: keep asking
                # for a while before giving up.
                errors += 1
                if errors * poll > 600:
                    say("squeue keeps failing: " + r.stderr.decode(errors="replace").strip())
                    return 1
            time.sleep(poll)
    finally:
        for s, h in old.items():
            signal.signal(s, h)
