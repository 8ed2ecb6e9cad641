#!/bin/bash
# One-off: on a set of odd settings, does `foundabc --check` report a problem
# exactly when the run fails or can accept nothing? For each case it runs the
# check and the run (--seed 1, 60 s at most) in a fresh folder and prints
# AGREE or DISAGREE with both verdicts, then the number of disagreements.
# A run "has a problem" when it ends with a status other than 0, hangs, writes
# into its own input, or leaves no row in a regular results file.
#
# usage: bash bench/check_agreement.sh [PATH/TO/foundabc]   (default build/foundabc)
set -u
cd "$(dirname "$0")/.."
BIN=$(realpath "${1:-build/foundabc}")
DATA='sue sue tha tha tha
10 12 11 13 9
20 20 21 19 22
'
MONO='h
5 5 7 7 7
3 3 3 3 3
'
MISSING='h
-9 -9 -9 -9 -9
-9 -9 -9 -9 -9
'
base() {
    cat <<P
DATAFILE_NAME data.txt #
OUTFILE_NAME results.txt #
NUMBER_OF_SUE_LINES 2 #
NUMBER_OF_THA_LINES 3 #
NUMBER_OF_LOCI 2 #
ALPHA 0.5 #
MY_LOWER 0.0001 #
MY_UPPER 0.01 #
TIME_TO_ORIGIN_LOWER 10 #
TIME_TO_ORIGIN_UPPER 100 #
POPSIZE_ORIGIN_THA_LOWER 100 #
POPSIZE_ORIGIN_THA_UPPER 200 #
POPSIZE_PRESENT_THA_LOWER 1000 #
POPSIZE_PRESENT_THA_UPPER 2000 #
POPSIZE_ORIGIN_SUE_LOWER 10 #
POPSIZE_ORIGIN_SUE_UPPER 20 #
POPSIZE_PRESENT_SUE_LOWER 100 #
POPSIZE_PRESENT_SUE_UPPER 5000 #
PRIOR_DISTRIBUTION 0 #
REPEATS 40 #
EPSILON 50 #
CONDITIONAL_NUMBER_OF_ORIGINS 0 #
UNEQUAL_FOUNDING_FRACTIONS 0 #
P
}
LOG="PRIOR_DISTRIBUTION=1 MY_LOWER=-4 MY_UPPER=-2 TIME_TO_ORIGIN_LOWER=1 TIME_TO_ORIGIN_UPPER=2 POPSIZE_ORIGIN_THA_LOWER=2 POPSIZE_ORIGIN_THA_UPPER=2.3 POPSIZE_PRESENT_THA_LOWER=3 POPSIZE_PRESENT_THA_UPPER=3.3 POPSIZE_ORIGIN_SUE_LOWER=1 POPSIZE_ORIGIN_SUE_UPPER=1.3 POPSIZE_PRESENT_SUE_LOWER=2 POPSIZE_PRESENT_SUE_UPPER=3.7"

# name|settings (KEY=VALUE ...)|data (data, mono, missing, none)|set-up of the folder
CASES=$(cat <<'C'
usable|||
accept all|EPSILON=1e6||
my upper 1e9|MY_UPPER=1e9||
my upper 1|MY_UPPER=1||
time upper 1e300|TIME_TO_ORIGIN_UPPER=1e300||
time upper 1e6|TIME_TO_ORIGIN_UPPER=1e6||
founding sizes 1e12|POPSIZE_ORIGIN_THA_UPPER=1e12 POPSIZE_PRESENT_THA_UPPER=1e13||
present size 1e300|POPSIZE_PRESENT_SUE_UPPER=1e300||
log scale|LOG||
log my upper 400|LOG MY_UPPER=400||
log my upper 9|LOG MY_UPPER=9||
log time upper 400|LOG TIME_TO_ORIGIN_UPPER=400||
log present size upper 400|LOG POPSIZE_PRESENT_SUE_UPPER=400||
log present tha upper 400|LOG POPSIZE_PRESENT_THA_UPPER=400||
log my lower -400|LOG MY_LOWER=-400||
results a fifo|||mkfifo results.txt
results a dangling link, folder missing|||ln -s gone/results.txt results.txt
results a dangling link, folder there|||ln -s elsewhere.txt results.txt
results /dev/full|OUTFILE_NAME=/dev/full||
results /dev/null|OUTFILE_NAME=/dev/null||
results a folder|OUTFILE_NAME=.||
results in a missing folder|OUTFILE_NAME=no/results.txt||
results read-only|||touch results.txt; chmod 444 results.txt
results the data file|OUTFILE_NAME=data.txt||
results the data file, other name|OUTFILE_NAME=./data.txt||
results the parameter file|OUTFILE_NAME=params.txt||
results a hard link to the data|OUTFILE_NAME=copy.txt||ln data.txt copy.txt
monomorphic data||mono|
all missing||missing|
no loci|NUMBER_OF_LOCI=0||
epsilon 0|EPSILON=0||
epsilon negative|EPSILON=-1||
repeats 0|REPEATS=0||
one sue line|NUMBER_OF_SUE_LINES=1||
alpha 0|ALPHA=0||
inverted my range|MY_UPPER=0.00001||
founding size over present bound|POPSIZE_ORIGIN_THA_UPPER=3000||
fraction without two founders|UNEQUAL_FOUNDING_FRACTIONS=0.3||
no data file||none|
too few values|NUMBER_OF_THA_LINES=4||
C
)

disagree=0; total=0
while IFS='|' read -r name settings data setup; do
    dir=$(mktemp -d)
    settings=${settings/LOG/$LOG}
    text=$(base)
    for kv in $settings; do
        key=${kv%%=*}; value=${kv#*=}
        text=$(printf '%s\n' "$text" | sed "s|^$key .*|$key $value #|")
    done
    printf '%s\n' "$text" > "$dir/params.txt"
    case $data in
        mono) printf '%s' "$MONO" > "$dir/data.txt" ;;
        missing) printf '%s' "$MISSING" > "$dir/data.txt" ;;
        none) ;;
        *) printf '%s' "$DATA" > "$dir/data.txt" ;;
    esac
    (cd "$dir" && eval "$setup")
    # Both as an unprivileged user (when started as root), for whom
    # permissions hold.
    runner=""
    if [ "$(id -u)" = 0 ]; then
        chown -hR 65534:65534 "$dir"; chmod 755 "$dir"
        runner="setpriv --reuid=65534 --regid=65534 --clear-groups --"
    fi
    inputs=$(cd "$dir" && cat params.txt data.txt 2>/dev/null | md5sum)
    (cd "$dir" && timeout 60 $runner "$BIN" --check params.txt >check.out 2>&1); check=$?
    out=$(sed -n 's/^OUTFILE_NAME \([^ ]*\) .*/\1/p' "$dir/params.txt")
    before=0; [ -f "$dir/$out" ] && [ ! -L "$dir/$out" ] && before=$(wc -l < "$dir/$out")
    (cd "$dir" && timeout 60 $runner "$BIN" --seed 1 params.txt >run.out 2>&1); status=$?
    after=$before; [ -f "$dir/$out" ] && after=$(wc -l < "$dir/$out" 2>/dev/null || echo "$before")
    problem=0
    [ $status -ne 0 ] && problem=1
    [ "$(cd "$dir" && cat params.txt data.txt 2>/dev/null | md5sum)" != "$inputs" ] && problem=1
    if [ $problem = 0 ] && [ -f "$dir/$out" -o ! -e "$dir/$out" ] && [ "$after" = "$before" ]; then
        case $out in /dev/*) ;; *) problem=1 ;; esac
    fi
    reported=$([ $check -ne 0 ] && echo 1 || echo 0)
    total=$((total + 1))
    verdict=AGREE
    if [ "$reported" != "$problem" ]; then verdict=DISAGREE; disagree=$((disagree + 1)); fi
    why=$(tail -n 1 "$dir/run.out" | cut -c1-70)
    [ $status = 124 ] && why="(hung: killed after 60 s)"
    printf '%-8s %-40s check %-7s run %-7s %s\n' "$verdict" "$name" \
        "$([ $reported = 1 ] && echo problem || echo OK)" \
        "$([ $problem = 1 ] && echo problem || echo OK)" "$why"
    rm -rf "$dir"
done <<< "$CASES"
echo "$disagree disagreements in $total settings"
