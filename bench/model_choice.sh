#!/bin/sh
# One-off study of model choice on tables the program writes:
# 1. speed: --choose and --cv 100 on three tables of 10^5 rows each (the
#    plain, k = 2 and two-founder models of the shipped example);
# 2. power: k = 1 founder against the plain model with large founding sizes
#    (the confusion matrix should put at least 80 % on its diagonal), and the
#    plain model against itself (near 50 %).
#
# usage: sh bench/model_choice.sh [BUILD_DIR] [ROWS]   (defaults: build, 100000)
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
ROWS=${2:-100000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$ROOT/examples/data.txt" "$work/"
cd "$work"

# params NAME ROWS KEY=VALUE...: a parameter file from the shipped example.
params() {
    name=$1 rows=$2
    shift 2
    printf 's/^REPEATS .*/REPEATS %s #/\ns/^OUTFILE_NAME .*/OUTFILE_NAME %s.txt #/\n' \
        "$rows" "$name" > edits.sed
    for kv in "$@"; do
        printf 's/^%s .*/%s %s #/\n' "${kv%%=*}" "${kv%%=*}" "${kv#*=}" >> edits.sed
    done
    sed -f edits.sed "$ROOT/examples/params.txt" > "$name-params.txt"
}
table() { "$BUILD/foundabc" --seed "$2" --table "$1.tsv.gz" "$1-params.txt" > /dev/null; }
cpu() { /usr/bin/time -f "%U s user, %e s wall" "$@"; }

params plain $ROWS
params k2 $ROWS CONDITIONAL_NUMBER_OF_ORIGINS=2
params two $ROWS CONDITIONAL_NUMBER_OF_ORIGINS=2 UNEQUAL_FOUNDING_FRACTIONS=0.2
table plain 1; table k2 2; table two 3
echo "== --choose on three tables of $ROWS rows"
cpu "$BUILD/foundabc-summary" --choose plain.tsv.gz k2.tsv.gz two.tsv.gz > /dev/null
echo "== --cv 100 on the same"
cpu "$BUILD/foundabc-summary" --choose plain.tsv.gz k2.tsv.gz two.tsv.gz --cv 100 | tail -1

params one 20000 CONDITIONAL_NUMBER_OF_ORIGINS=1 TIME_TO_ORIGIN_LOWER=50 TIME_TO_ORIGIN_UPPER=100
params wide 20000 POPSIZE_ORIGIN_SUE_LOWER=40 POPSIZE_ORIGIN_SUE_UPPER=50 TIME_TO_ORIGIN_LOWER=50 TIME_TO_ORIGIN_UPPER=100
params same 20000 POPSIZE_ORIGIN_SUE_LOWER=40 POPSIZE_ORIGIN_SUE_UPPER=50 TIME_TO_ORIGIN_LOWER=50 TIME_TO_ORIGIN_UPPER=100
table one 4; table wide 5; table same 6
echo "== one founder against the plain model with large founding sizes"
"$BUILD/foundabc-summary" --choose one.tsv.gz wide.tsv.gz --cv 100 | tail -14
echo "== the plain model against itself"
"$BUILD/foundabc-summary" --choose wide.tsv.gz same.tsv.gz --names plain,again --cv 100 | tail -14
