#!/bin/sh
# Repeated trials on the reference table, run once by hand (not part of the
# test suite):
#   1. two runs started together on one --table (each with its own results
#      file): exactly one may write the table, the other must be refused
#      before it writes anything, and the table must be whole;
#   2. a run killed at a random moment: its priors file must never say that
#      the table is complete unless every row is there.
# Usage: sh bench/table_trials.sh [TRIALS]   (FOUNDABC_BIN=... for another build)
set -u
trials=${1:-40}
here=$(cd "$(dirname "$0")/.." && pwd)
bin=${FOUNDABC_BIN:-$here/build/foundabc}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

params() {  # OUTFILE REPEATS
    sed -e "s/^OUTFILE_NAME .*/OUTFILE_NAME $1 #/" -e "s/^REPEATS .*/REPEATS $2 #/" \
        "$here/examples/params.txt"
}

# Rows of a table (header excluded) when every line has as many fields as
# the header (28, or 22 in a table of a build without the spread and shape
# statistics), else -1.
rows() {
    awk -F '\t' 'NR == 1 { n = NF } NF != n || n < 22 { bad = 1 } END { print bad ? -1 : NR - 1 }' "$1"
}

repeats=2000
refused=0 both_ok=0 whole=0 damaged=0 other=0
i=0
while [ $i -lt "$trials" ]; do
    i=$((i + 1))
    d=$scratch/pair$i
    mkdir -p "$d"
    cp "$here/examples/data.txt" "$d/"
    params a.txt $repeats > "$d/a.params"
    params b.txt $repeats > "$d/b.params"
    (cd "$d" && "$bin" --table t.tsv a.params > a.out 2>&1; echo $? > a.rc) &
    (cd "$d" && "$bin" --table t.tsv b.params > b.out 2>&1; echo $? > b.rc) &
    wait
    ra=$(cat "$d/a.rc") rb=$(cat "$d/b.rc")
    n=$(rows "$d/t.tsv")
    if [ "$ra" = 0 ] && [ "$rb" = 0 ]; then
        both_ok=$((both_ok + 1))
    elif [ $((ra + rb)) = 1 ] && grep -q "being written by another run" "$d/a.out" "$d/b.out"; then
        refused=$((refused + 1))
    else
        other=$((other + 1))
    fi
    if [ "$n" = $repeats ]; then whole=$((whole + 1)); else damaged=$((damaged + 1)); fi
done
echo "two runs on one table, $trials trials: $refused refused cleanly (one ran, one refused)," \
     "$both_ok both exited 0, $other otherwise; table whole ($repeats rows) in $whole," \
     "short or mixed in $damaged"

killed=0 marked_whole=0 unmarked=0 marked_short=0
i=0
while [ $i -lt "$trials" ]; do
    i=$((i + 1))
    d=$scratch/kill$i
    mkdir -p "$d"
    cp "$here/examples/data.txt" "$d/"
    params r.txt 3000 > "$d/p.params"
    # A kill moment from 0 to about 1.5 s, the length of a whole run.
    delay=$(awk -v s="$i" 'BEGIN { srand(s); printf "%.2f", rand() * 1.5 }')
    # The inner shell reports the kill, to /dev/null.
    sh -c 'cd "$1" && timeout -s KILL "$2" "$3" --table t.tsv p.params > /dev/null 2>&1
           echo $? > rc' _ "$d" "$delay" "$bin" 2>/dev/null
    [ "$(cat "$d/rc")" -ne 0 ] && killed=$((killed + 1))
    n=$(rows "$d/t.tsv" 2>/dev/null || echo -1)
    if grep -q '^# complete: ' "$d/t.tsv.priors.tsv" 2>/dev/null; then
        if [ "$n" = 3000 ]; then marked_whole=$((marked_whole + 1)); else marked_short=$((marked_short + 1)); fi
    else
        unmarked=$((unmarked + 1))
    fi
done
echo "runs killed at a random moment, $trials trials ($killed killed before the end):" \
     "$unmarked tables left unmarked, $marked_whole marked complete and whole," \
     "$marked_short marked complete but short"
