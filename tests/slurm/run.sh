#!/bin/sh
# Proves the job-array workflow on a real Slurm: starts a throw-away
# single-node cluster on this machine (munged, slurmctld, slurmd from
# Debian's packages, all state in a temporary folder), submits
# examples/slurm/foundabc-array.sbatch as a 4-task array on a small
# workload, merges the shards, and requires the merged results file to hold
# the very bytes of one seeded run of the same settings. Then runs the
# shipped study with `foundabc-study --slurm` (the program beside foundabc),
# which must give the tables and report of the study run on this machine,
# and redo nothing when run again.
#
#   sh tests/slurm/run.sh /path/to/foundabc
#
# Needs root and the packages slurmctld, slurmd, slurm-client and munge
# (scripts/install-deps.sh); installs nothing itself. Every wait has a time
# limit, and the daemons it started are stopped by their process ids on
# every exit, so that it can neither hang nor leave a cluster behind.
#
# The ports default to a pair derived from this shell's process id, so that
# two runs on one machine do not meet; FOUNDABC_SLURM_PORT=P picks P and
# P+1 instead.
set -eu

say() { printf 'slurm-test: %s\n' "$*"; }
fail() {
    printf 'slurm-test: FAIL: %s\n' "$*" >&2
    exit 1
}

[ $# -eq 1 ] || {
    echo "usage: $0 /path/to/foundabc" >&2
    exit 2
}
[ -x "$1" ] || fail "no executable foundabc at '$1'"
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
script=$root/examples/slurm/foundabc-array.sbatch
[ "$(id -u)" -eq 0 ] || fail "must run as root (the daemons and munge's folders need it)"
for c in munged munge unmunge slurmctld slurmd sbatch sinfo scontrol setpriv timeout; do
    command -v "$c" >/dev/null 2>&1 || fail "'$c' is missing: run scripts/install-deps.sh"
done
id munge >/dev/null 2>&1 || fail "no user 'munge': run scripts/install-deps.sh"

seed=20261209
tasks=4
port=${FOUNDABC_SLURM_PORT:-$((10000 + ($$ % 10000) * 2))}
host=$(hostname -s)
cpus=$(nproc --all)

tmp=$(mktemp -d /tmp/foundabc-slurm.XXXXXX)
chmod 755 "$tmp" # munged, running as munge, keeps its files below it
name=$(basename "$tmp")
sock=/run/munge/$name.socket
pids=""

# Dumps the daemons' logs (only when something went wrong), stops the
# daemons this script started, newest first, and removes the temporary
# folder.
cleanup() {
    status=$?
    trap - EXIT INT TERM HUP
    if [ "$status" -ne 0 ]; then
        for f in "$tmp"/*.err "$tmp"/*.log "$tmp"/array/foundabc-*.out "$tmp"/study-slurm/examples/study/work/*.slurm-*.out; do
            [ -s "$f" ] || continue
            echo "----- $(basename "$f") (last 20 lines)" >&2
            tail -n 20 "$f" >&2
        done
    fi
    for pid in $pids; do
        kill -TERM "$pid" 2>/dev/null || continue
        n=0
        while kill -0 "$pid" 2>/dev/null && [ $n -lt 50 ]; do
            sleep 0.2
            n=$((n + 1))
        done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -f "$sock" "$sock.lock" "/run/munge/$name.pid"
    rm -rf "$tmp"
    if [ "$status" -eq 0 ]; then
        say "PASS"
    else
        say "stopped the daemons after a failure (status $status)"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# Waits up to $1 seconds for the command in the remaining arguments to
# succeed.
wait_for() {
    limit=$(($1 * 5))
    shift
    n=0
    until "$@" >/dev/null 2>&1; do
        n=$((n + 1))
        [ $n -lt $limit ] || return 1
        sleep 0.2
    done
}

started=$(date +%s)

# --- munge: the system key (created when missing), a socket of our own so
# that a munged already serving this machine is left alone.
mkdir -p /run/munge
chown munge:munge /run/munge
chmod 755 /run/munge
if [ ! -s /etc/munge/munge.key ]; then
    say "creating /etc/munge/munge.key"
    mkdir -p /etc/munge
    dd if=/dev/urandom of=/etc/munge/munge.key bs=1024 count=1 2>/dev/null
    chown munge:munge /etc/munge /etc/munge/munge.key
    chmod 700 /etc/munge
    chmod 400 /etc/munge/munge.key
fi
mkdir -p "$tmp/munge"
chown munge:munge "$tmp/munge"
chmod 700 "$tmp/munge"
say "starting munged (socket $sock)"
setpriv --reuid=munge --regid=munge --init-groups \
    munged --foreground --force --socket="$sock" --pid-file="/run/munge/$name.pid" \
    --seed-file="$tmp/munge/munged.seed" --log-file="$tmp/munge/munged.log" \
    >"$tmp/munged.err" 2>&1 &
pids="$! $pids"
munge_works() { timeout 5 munge -n -S "$sock" | timeout 5 unmunge -S "$sock"; }
wait_for 20 munge_works || fail "munged did not answer within 20 s"

# --- slurm: one node (this machine) with every CPU, one partition.
mkdir -p "$tmp/state" "$tmp/spool" "$tmp/array" "$tmp/single"
conf=$tmp/slurm.conf
cat >"$conf" <<CONF
ClusterName=foundabctest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$sock
CredType=cred/munge
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SwitchType=switch/none
MailProg=/bin/true
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SlurmdParameters=config_overrides
ReturnToService=2
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldDebug=info
SlurmdDebug=info
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$conf"

say "starting slurmctld and slurmd (node $host, $cpus CPUs, ports $port/$((port + 1)))"
slurmctld -D -i -f "$conf" >"$tmp/slurmctld.err" 2>&1 &
pids="$! $pids"
slurmd -D -f "$conf" -N "$host" >"$tmp/slurmd.err" 2>&1 &
pids="$! $pids"
node_idle() { [ "$(timeout 10 sinfo -h -n "$host" -o %T 2>/dev/null)" = idle ]; }
wait_for 60 node_idle || fail "node $host not idle within 60 s ($(timeout 10 sinfo -h -o %T 2>&1 || true))"
say "cluster up in $(($(date +%s) - started)) s"

# --- the batch script outside Slurm: bad use is refused with a message
# naming the right use, and the shard it runs follows the array (or the
# shard count given for a partial resubmission). Each line: expected exit
# status, environment settings, arguments, expected fragment of the output.
while IFS='|' read -r code envs args want; do
    # shellcheck disable=SC2086 # the table's cells are word lists
    msg=$(cd "$tmp/array" && env -u SLURM_ARRAY_TASK_ID -u SLURM_ARRAY_TASK_COUNT \
        -u SLURM_ARRAY_TASK_MIN -u SLURM_ARRAY_TASK_MAX FOUNDABC_BIN=/bin/echo $envs \
        timeout 10 sh "$script" $args 2>&1) && got=0 || got=$?
    [ "$got" -eq "$code" ] || fail "batch script with '$envs' '$args' exited $got, not $code: $msg"
    case $msg in
    *"$want"*) ;;
    *) fail "batch script with '$envs' '$args' did not say '$want': $msg" ;;
    esac
done <<TABLE
2|||usage: sbatch --array=1-M
2||params.txt|usage: sbatch --array=1-M
2||params.txt $seed 4 5|usage: sbatch --array=1-M
2||params.txt $seed|not running as a Slurm array task
2|SLURM_ARRAY_TASK_ID=0 SLURM_ARRAY_TASK_COUNT=4 SLURM_ARRAY_TASK_MIN=0 SLURM_ARRAY_TASK_MAX=3|params.txt $seed|numbered 1..M without gaps
2|SLURM_ARRAY_TASK_ID=1 SLURM_ARRAY_TASK_COUNT=2 SLURM_ARRAY_TASK_MIN=1 SLURM_ARRAY_TASK_MAX=3|params.txt $seed|numbered 1..M without gaps
2|SLURM_ARRAY_TASK_ID=7 SLURM_ARRAY_TASK_COUNT=1 SLURM_ARRAY_TASK_MIN=7 SLURM_ARRAY_TASK_MAX=7|params.txt $seed|pass M as a third argument
2|SLURM_ARRAY_TASK_ID=7 SLURM_ARRAY_TASK_COUNT=1|params.txt $seed 6|task 7 is not a shard of 1..6
2|SLURM_ARRAY_TASK_ID=1 SLURM_ARRAY_TASK_COUNT=1|params.txt $seed x|task 1 is not a shard of 1..x
2|SLURM_ARRAY_TASK_ID=1 SLURM_ARRAY_TASK_COUNT=1 FOUNDABC_BIN=$tmp/none|params.txt $seed|set FOUNDABC_BIN
0|SLURM_ARRAY_TASK_ID=3 SLURM_ARRAY_TASK_COUNT=4 SLURM_ARRAY_TASK_MIN=1 SLURM_ARRAY_TASK_MAX=4|params.txt $seed|--threads 0 --seed $seed --shard 3/4 params.txt
0|SLURM_ARRAY_TASK_ID=7 SLURM_ARRAY_TASK_COUNT=2 SLURM_ARRAY_TASK_MIN=7 SLURM_ARRAY_TASK_MAX=12|params.txt $seed 12|--threads 0 --seed $seed --shard 7/12 params.txt
TABLE

# --- the workload: the example with few repeats and a wide acceptance, run
# as an array in one folder and as one seeded run in another.
for d in array single; do
    cp "$root/examples/data.txt" "$tmp/$d/"
    sed -e 's/^REPEATS .*/REPEATS 400 #/' -e 's/^EPSILON .*/EPSILON 0.5 #/' \
        "$root/examples/params.txt" >"$tmp/$d/params.txt"
done

say "submitting $tasks array tasks (seed $seed) and waiting"
(cd "$tmp/array" && FOUNDABC_BIN=$bin timeout 300 \
    sbatch --wait --array=1-$tasks --time=5 "$script" params.txt "$seed") ||
    fail "array job failed or timed out"
outs=0
for f in "$tmp"/array/foundabc-*_[0-9]*.out; do
    if [ -f "$f" ]; then outs=$((outs + 1)); fi
done
[ "$outs" -eq "$tasks" ] || fail "expected $tasks task outputs, found $outs"

say "merging the shards"
(cd "$tmp/array" && timeout 120 "$bin" --merge params.txt >"$tmp/merge.log" 2>&1) ||
    fail "merge failed: $(cat "$tmp/merge.log")"
left=""
for f in "$tmp"/array/* "$tmp"/array/.[!.]*; do
    case ${f##*/} in
    params.txt | data.txt | results.txt | foundabc-*.out | '*' | '.[!.]*') ;;
    *) left="$left ${f##*/}" ;;
    esac
done
[ -z "$left" ] || fail "the merge left files behind: $left"

say "one seeded run of the same settings"
(cd "$tmp/single" && timeout 300 "$bin" --seed "$seed" params.txt >"$tmp/single.log" 2>&1) ||
    fail "seeded run failed: $(tail -n 5 "$tmp/single.log")"

# A header alone would make the comparison empty: the workload accepts
# most of its repeats.
[ "$(wc -l <"$tmp/single/results.txt")" -gt 1 ] || fail "the seeded run accepted no rows"
if ! cmp "$tmp/array/results.txt" "$tmp/single/results.txt"; then
    diff "$tmp/array/results.txt" "$tmp/single/results.txt" | head -n 20 >&2 || true
    fail "merged array results differ from the single seeded run"
fi
say "merged results of $tasks tasks equal the single run ($(wc -l <"$tmp/single/results.txt") lines)"

# --- foundabc-study --slurm: the shipped study's tables made by 3-task job
# arrays give the bytes of the study run here, tables, report and TSV files
# alike; run again, it submits nothing and keeps every step.
study=$(dirname "$bin")/foundabc-study
[ -x "$study" ] || fail "no foundabc-study beside $bin"
for d in study-slurm study-here; do
    mkdir -p "$tmp/$d/examples"
    cp -r "$root/examples/study" "$root/examples/field.gen" "$root/examples/units.txt" "$tmp/$d/examples/"
done
say "the shipped study with --slurm --tasks 3"
(cd "$tmp/study-slurm" && timeout 600 "$study" examples/study/study.toml --slurm --tasks 3 \
    >"$tmp/study-slurm.log" 2>&1) || fail "foundabc-study --slurm failed: $(tail -n 20 "$tmp/study-slurm.log")"
grep -q 'tables .*plain made by Slurm job [0-9]*, k2 made by Slurm job [0-9]*' "$tmp/study-slurm.log" ||
    fail "the tables were not made by job arrays: $(cat "$tmp/study-slurm.log")"
say "the shipped study on this machine"
(cd "$tmp/study-here" && timeout 600 "$study" examples/study/study.toml >"$tmp/study-here.log" 2>&1) ||
    fail "foundabc-study failed: $(tail -n 20 "$tmp/study-here.log")"
for f in work/plain.table.tsv work/k2.table.tsv work/plain.table.tsv.priors.tsv \
    work/k2.table.tsv.observed.tsv work/plain.results.txt work/k2.results.txt report/report.md \
    report/estimates.tsv report/model-choice.tsv report/calibration.tsv report/fit.tsv; do
    cmp "$tmp/study-slurm/examples/study/$f" "$tmp/study-here/examples/study/$f" ||
        fail "--slurm and the study run here differ in $f"
done
for f in "$tmp"/study-slurm/examples/study/work/*.shard-* "$tmp"/study-slurm/examples/study/work/*.merge-journal; do
    [ ! -e "$f" ] || fail "the merge left $f behind"
done
cp "$tmp/study-slurm/examples/study/report/report.md" "$tmp/report-first.md"
(cd "$tmp/study-slurm" && timeout 120 "$study" examples/study/study.toml --slurm --tasks 3 \
    >"$tmp/study-again.log" 2>&1) || fail "the second --slurm run failed: $(cat "$tmp/study-again.log")"
[ "$(grep -c ' unchanged ' "$tmp/study-again.log")" -eq 7 ] && ! grep -q submitted "$tmp/study-again.log" ||
    fail "the second --slurm run redid a step: $(cat "$tmp/study-again.log")"
cmp "$tmp/report-first.md" "$tmp/study-slurm/examples/study/report/report.md" ||
    fail "the second --slurm run changed the report"
say "foundabc-study --slurm gives the tables and report of the study run here, and resumes"
