#!/usr/bin/env bash
# A single-node Slurm cluster on this machine, for the tests: no systemd,
# everything under one folder, daemons in the foreground under setsid.
#
#   slurmcluster.sh start DIR   write the config, start munged, slurmctld
#                               and slurmd, wait until the node is idle;
#                               prints the line to source: SLURM_CONF=...
#   slurmcluster.sh stop DIR    stop the daemons by their saved PIDs
#
# With start DIR OWNER, a watchdog stops the daemons when the process
# OWNER ends without stopping them (a test killed by a timeout, say).
#
# DIR must exist and be empty at start.  It runs as the current user
# (root or not): SlurmUser and munged are that user.  Clients need
# SLURM_CONF=DIR/slurm.conf; they find munged through AuthInfo=socket=.
set -euo pipefail
# The daemons and mungekey live in sbin, which a user's PATH may lack.
export PATH=$PATH:/usr/sbin:/sbin

die() { echo "slurmcluster: $*" >&2; exit 1; }

# Running = the PID exists and is not a zombie (a stopped daemon stays a
# zombie until PID 1 reaps it, so kill -0 would still succeed).
alive() {
    local st
    st=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    st=${st##*) }
    [ "${st%% *}" != Z ]
}

# The cluster's other processes: job steps (slurmstepd, which carry the
# daemons' marker QUORRAL_TESTCLUSTER=DIR in their environment) and
# every process descended from them; a daemon's stop would leave them.
offspring() {
    local dir=$1 f st rest
    grep -lzx "QUORRAL_TESTCLUSTER=$dir" /proc/[0-9]*/environ 2>/dev/null |
        sed 's|^/proc/\([0-9]*\)/environ$|root \1|'
    for f in /proc/[0-9]*/stat; do
        read -r st <"$f" 2>/dev/null || continue
        rest=${st##*) }
        set -- $rest
        echo "proc ${st%% *} $2"
    done
} 2>/dev/null

# offspring's lines to the PIDs: the marked ones and their descendants.
descendants() {
    awk '$1 == "root" { mine[$2] = 1; next }
         { pid[++n] = $2; ppid[n] = $3 }
         END { do { more = 0
                    for (i = 1; i <= n; i++)
                        if (!(pid[i] in mine) && (ppid[i] in mine)) { mine[pid[i]] = 1; more = 1 }
               } while (more)
               for (p in mine) print p }'
}

stopall() {
    local dir=$1 name pid n left
    # The watchdog, unless this is the watchdog stopping the daemons.
    if [ -f "$dir/watchdog.pidsaved" ]; then
        pid=$(cat "$dir/watchdog.pidsaved")
        if [ "$pid" != $$ ] && alive "$pid"; then kill -TERM "$pid" 2>/dev/null || true; fi
        rm -f "$dir/watchdog.pidsaved"
    fi
    left=$(offspring "$dir" | descendants)
    for name in slurmd slurmctld munged; do
        [ -f "$dir/$name.pidsaved" ] || continue
        pid=$(cat "$dir/$name.pidsaved")
        if alive "$pid"; then
            kill -TERM "$pid" 2>/dev/null || true
            for n in $(seq 1 100); do alive "$pid" || break; sleep 0.1; done
            if alive "$pid"; then
                kill -KILL "$pid" 2>/dev/null || true
                for n in $(seq 1 50); do alive "$pid" || break; sleep 0.1; done
            fi
        fi
        alive "$pid" && die "$name (PID $pid) does not stop"
        rm -f "$dir/$name.pidsaved"
    done
    # Job steps and tasks still running (only when a test stopped early).
    for pid in $left; do alive "$pid" && kill -KILL "$pid" 2>/dev/null; done
    return 0
}

freeport() {
    /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# Starts "$@" in the foreground under setsid, its output to LOG; saves the
# PID as NAME.pidsaved.
launch() {
    local dir=$1 name=$2
    shift 2
    setsid env QUORRAL_TESTCLUSTER="$dir" "$@" </dev/null >"$dir/$name.out" 2>&1 &
    echo $! >"$dir/$name.pidsaved"
}

start() {
    local dir self host user mem node p1 p2 n owner=${2:-}
    dir=$(cd "$1" && pwd)
    self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
    [ -z "$(ls -A "$dir")" ] || die "$dir is not empty"
    host=$(hostname -s)
    user=$(id -un)
    # A failed start leaves nothing running.
    trap 'stopall "$dir"' ERR

    # munge: a throwaway key; the socket's folder must be reachable by
    # the daemons' clients (o+x), whatever the umask.
    mkdir -p "$dir/munge" "$dir/state" "$dir/spool"
    chmod 700 "$dir/munge"
    chmod 711 "$dir/munge"
    mungekey -c -k "$dir/munge/munge.key" -b 1024
    chmod 600 "$dir/munge/munge.key"
    launch "$dir" munged munged -F -f --socket="$dir/munge/munge.socket.2" \
        --key-file="$dir/munge/munge.key" --pid-file="$dir/munge/munged.pid" \
        --log-file="$dir/munge/munged.log" --seed-file="$dir/munge/munged.seed"
    for n in $(seq 1 100); do [ -S "$dir/munge/munge.socket.2" ] && break; sleep 0.05; done
    [ -S "$dir/munge/munge.socket.2" ] || die "munged did not start: $(cat "$dir/munged.out")"

    # The node line as slurmd sees this machine; memory a little below it.
    node=$(slurmd -C | head -n 1)
    mem=$(sed -n 's/.*RealMemory=\([0-9]*\).*/\1/p' <<<"$node")
    node=$(sed "s/RealMemory=[0-9]*/RealMemory=$((mem * 9 / 10))/; s/^NodeName=[^ ]*/NodeName=$host/" <<<"$node")
    p1=$(freeport)
    p2=$(freeport)
    [ "$p1" != "$p2" ] || p2=$(freeport)
    cat >"$dir/slurm.conf" <<EOF
ClusterName=quorraltest
SlurmctldHost=$host(127.0.0.1)
SlurmUser=$user
SlurmdUser=$user
SlurmctldPort=$p1
SlurmdPort=$p2
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$dir/munge/munge.socket.2
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
MpiDefault=none
PlugStackConfig=$dir/plugstack.conf
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/filetxt
JobCompLoc=$dir/jobcomp.txt
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerParameters=bf_interval=1
MinJobAge=3600
ReturnToService=2
SlurmctldTimeout=30
SlurmdTimeout=30
$node NodeAddr=127.0.0.1 State=UNKNOWN
PartitionName=debug Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
    : >"$dir/plugstack.conf"
    export SLURM_CONF=$dir/slurm.conf
    launch "$dir" slurmctld slurmctld -D -i -f "$dir/slurm.conf"
    launch "$dir" slurmd slurmd -D -f "$dir/slurm.conf"
    for n in $(seq 1 300); do
        if [ "$(sinfo -h -n "$host" -o %t 2>/dev/null)" = idle ]; then
            trap - ERR
            if [ -n "$owner" ]; then
                setsid bash -c 'while [ -e "/proc/$1" ] && [ "$(sed "s/.*) //; s/ .*//" "/proc/$1/stat")" != Z ]; do sleep 1; done
                    exec bash "$2" stop "$3"' _ "$owner" "$self" "$dir" </dev/null >"$dir/watchdog.out" 2>&1 &
                echo $! >"$dir/watchdog.pidsaved"
            fi
            echo "SLURM_CONF=$dir/slurm.conf"
            return 0
        fi
        for name in munged slurmctld slurmd; do
            alive "$(cat "$dir/$name.pidsaved")" || {
                tail -n 5 "$dir/$name.out" "$dir/$name.log" 2>/dev/null >&2 || true
                stopall "$dir"
                die "$name stopped"
            }
        done
        sleep 0.1
    done
    stopall "$dir"
    die "the node did not become idle in 30 s"
}

case "${1:-}:${2:-}" in
start:?*) start "$2" "${3:-}" ;;
stop:?*) stopall "$2" ;;
*) die "usage: slurmcluster.sh start DIR [OWNER] | stop DIR" ;;
esac
