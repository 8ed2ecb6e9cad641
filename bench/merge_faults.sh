#!/bin/sh
# Repeated trials of `foundabc --merge` under faults, run once by hand (not
# part of the test suite): prints counts.
#
#   sh bench/merge_faults.sh [TRIALS]        (default 50)
#   FOUNDABC_BIN=/path/to/foundabc sh bench/merge_faults.sh 20
#
# 1. Two merges of the same shards started together, TRIALS times: exactly
#    one may proceed; the results file and the table must be the one run's.
# 2. A merge killed after a delay spread over its run, TRIALS times, then run
#    again, with its journal kept, and with its journal removed: the results
#    file and the table must be the one run's, never a row lost or repeated.
# 3. A failing open or read of shard 2 at its Nth call (strace -e inject),
#    N = 1..TRIALS: each merge is refused cleanly (status 1, shards kept, and a
#    plain rerun gives the one run's bytes) or completes with them.
set -u
TRIALS=${1:-50}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${FOUNDABC_BIN:-$ROOT/build/foundabc}
# LeakSanitizer (a sanitizer build) cannot work under strace.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

cd "$WORK" || exit 1
cp "$ROOT/examples/params.txt" "$ROOT/examples/data.txt" .
sed -i 's/^REPEATS .*/REPEATS 6000 #/; s/^EPSILON .*/EPSILON 5 #/' params.txt
mkdir ref shards
cp params.txt data.txt ref/
(cd ref && "$BIN" --seed 7 --table t.tsv params.txt >/dev/null) || exit 1
for K in 1 2 3; do "$BIN" --seed 7 --shard $K/3 --table t.tsv params.txt >/dev/null || exit 1; done
mv results.txt.shard-* shards/

fresh() {
    rm -f results.txt results.txt.* t.tsv t.tsv.*
    cp shards/* .
}
same() { cmp -s results.txt ref/results.txt && cmp -s t.tsv ref/t.tsv; }
left() { ls results.txt.shard-*-of-3 2>/dev/null | wc -l; }

# 1. Two merges at once.
clean=0 bad=0
i=0
while [ $i -lt "$TRIALS" ]; do
    fresh
    "$BIN" --merge params.txt >o1 2>&1 &
    "$BIN" --merge params.txt >o2 2>&1 &
    wait
    # The later one is refused as another merge, or, when the first has
    # ended already, because no shard is left.
    refused=$(cat o1 o2 | grep -c "^error: merge: ")
    if same && [ "$refused" -eq 1 ] && [ "$(left)" -eq 0 ]; then
        clean=$((clean + 1))
    else
        bad=$((bad + 1))
    fi
    i=$((i + 1))
done
echo "two merges at once, $TRIALS trials: $clean one merged and one refused, $bad otherwise"

# 2. Kills at spread moments, then a rerun (journal kept / removed). The
# moments are spread over 1.2 times one merge's duration.
fresh
start=$(date +%s%N)
"$BIN" --merge params.txt >/dev/null 2>&1
SPAN=$(awk -v ns=$(($(date +%s%N) - start)) 'BEGIN { printf "%.4f", ns / 1e9 }')
echo "one merge takes ${SPAN} s"
for journal in kept removed; do
    ok=0 bad=0 killed=0
    i=0
    while [ $i -lt "$TRIALS" ]; do
        fresh
        "$BIN" --merge params.txt >/dev/null 2>&1 &
        pid=$!
        sleep "$(awk -v i=$i -v n="$TRIALS" -v t="$SPAN" 'BEGIN { printf "%.4f", 1.2 * t * i / n }')"
        kill -9 $pid 2>/dev/null && killed=$((killed + 1))
        wait $pid 2>/dev/null
        [ $journal = removed ] && rm -f results.txt.merge-journal
        "$BIN" --merge params.txt >/dev/null 2>&1
        if same && [ "$(left)" -eq 0 ]; then ok=$((ok + 1)); else bad=$((bad + 1)); fi
        i=$((i + 1))
    done
    echo "merge killed ($killed of $TRIALS before it ended), journal $journal, rerun: $ok the one run's bytes, $bad otherwise"
done

# 3. Injected open and read failures on shard 2, and kills at the Nth write
#    to the table or the results file, or at the Nth removal (strace).
if command -v strace >/dev/null 2>&1; then
    for target in t.tsv:write results.txt:write results.txt.merge-journal:pwrite64 \
        .:unlink; do
        file=${target%%:*} call=${target#*:}
        for journal in kept removed; do
            ok=0 refused=0 bad=0 killed=0 unreached=0
            n=1
            while [ $n -le "$TRIALS" ]; do
                fresh
                if [ "$file" = . ]; then path=""; else path="-P $WORK/$file"; fi
                # shellcheck disable=SC2086
                if strace -f -o /dev/null $path -e trace=$call \
                    -e inject=$call:error=EIO:signal=KILL:when=$n \
                    "$BIN" --merge params.txt >/dev/null 2>&1; then
                    # Fewer calls than n: the merge ran to its end.
                    if same && [ "$(left)" -eq 0 ]; then unreached=$((unreached + 1)); else bad=$((bad + 1)); fi
                    n=$((n + 1))
                    continue
                fi
                killed=$((killed + 1))
                [ $journal = removed ] && rm -f results.txt.merge-journal
                "$BIN" --merge params.txt >out 2>&1
                status=$?
                if [ $status -eq 0 ] && same && [ "$(left)" -eq 0 ]; then
                    ok=$((ok + 1))
                elif [ $status -eq 1 ] && grep -q "^error: merge: " out && same; then
                    refused=$((refused + 1))  # shards half removed and no journal
                else
                    bad=$((bad + 1))
                fi
                n=$((n + 1))
            done
            echo "merge killed at $call $file call 1..$TRIALS: $killed killed ($unreached times the merge made fewer calls and ended whole); journal $journal, rerun: $ok the one run's bytes, $refused refused with the one run's bytes already in place, $bad otherwise"
        done
    done

    for fault in openat:EACCES read:EIO; do
        call=${fault%%:*} error=${fault#*:}
        refused=0 whole=0 bad=0
        n=1
        while [ $n -le "$TRIALS" ]; do
            fresh
            strace -f -o /dev/null -P results.txt.shard-2-of-3 -e trace=$call \
                -e inject=$call:error=$error:when=$n "$BIN" --merge params.txt >out 2>/dev/null
            status=$?
            if [ $status -eq 0 ] && same && [ "$(left)" -eq 0 ]; then
                whole=$((whole + 1))
            elif [ $status -eq 1 ] && grep -q "^error: merge: " out && [ "$(left)" -eq 3 ] &&
                "$BIN" --merge params.txt >/dev/null 2>&1 && same; then
                refused=$((refused + 1))
            else
                bad=$((bad + 1))
            fi
            n=$((n + 1))
        done
        echo "$call fails ($error) at call 1..$TRIALS: $refused refused cleanly and completed by a rerun, $whole completed (fault not met), $bad otherwise"
    done
else
    echo "strace not installed: injected faults skipped"
fi
