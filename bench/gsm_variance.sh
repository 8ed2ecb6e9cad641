#!/bin/sh
# The generalised stepwise model end to end: a strict run and runs with a
# fixed multi-step chance P (GSM_P_LOWER = GSM_P_UPPER = P) of one seed draw
# the same parameters and genealogies, and differ only in the jumps. The
# variance in repeat number of a population is linear in the squared jumps,
# so over the table the mean of VAR_sue and VAR_tha of the P run, divided by
# that of the strict run, estimates E[X^2] = (1 + P) / (1 - P)^2. With
# LOCUS_RATE_SHAPE the mean rate stays My, so the ratio stays too, while the
# spread of the variance over data sets grows.
#
# usage: sh bench/gsm_variance.sh [REPEATS]   (default 4000; prints a table)
# FOUNDABC_BIN=path/to/foundabc uses another build.
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BIN=${FOUNDABC_BIN:-$ROOT/build/foundabc}
REPEATS=${1:-4000}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cp examples/data.txt "$WORK/"
cd "$WORK"

# The shipped example with REPEATS cut and the mutation keys given.
params() { # P SHAPE NAME
    sed "s/^REPEATS .*/REPEATS $REPEATS #/" "$ROOT/examples/params.txt" > "$3"
    if [ "$1" != strict ]; then
        printf 'GSM_P_LOWER %s #\nGSM_P_UPPER %s #\n' "$1" "$1" >> "$3"
    fi
    if [ "$2" != 0 ]; then printf 'LOCUS_RATE_SHAPE %s #\n' "$2" >> "$3"; fi
}

# Mean of column NAME of table FILE.
mean() {
    awk -v name="$2" -F'\t' 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == name) c = i; next }
        { s += $c; n++ } END { printf "%.6g", s / n }' "$1"
}

# Standard deviation over the table of column NAME.
spread() {
    awk -v name="$2" -F'\t' 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == name) c = i; next }
        { s += $c; q += $c * $c; n++ } END { m = s / n; printf "%.6g", sqrt(q / n - m * m) }' "$1"
}

params strict 0 strict.txt
"$BIN" strict.txt --seed 7 --table strict.tsv > /dev/null 2>&1
s_sue=$(mean strict.tsv VAR_sue); s_tha=$(mean strict.tsv VAR_tha)
printf '%-6s %-6s %12s %12s %12s %14s\n' P shape "E[X^2]" "VAR_sue ratio" "VAR_tha ratio" "sd VAR_tha"
printf '%-6s %-6s %12s %12s %12s %14s\n' 0 0 1 1 1 "$(spread strict.tsv VAR_tha)"
for run in "0.1 0" "0.3 0" "0.5 0" "0.3 2" "0 1"; do
    set -- $run
    name="p$1_s$2"
    if [ "$1" = 0 ]; then params strict "$2" "$name.txt"; else params "$1" "$2" "$name.txt"; fi
    "$BIN" "$name.txt" --seed 7 --table "$name.tsv" > /dev/null 2>&1
    theory=$(awk -v p="$1" 'BEGIN { printf "%.4g", (1 + p) / ((1 - p) * (1 - p)) }')
    r_sue=$(awk -v a="$(mean "$name.tsv" VAR_sue)" -v b="$s_sue" 'BEGIN { printf "%.4g", a / b }')
    r_tha=$(awk -v a="$(mean "$name.tsv" VAR_tha)" -v b="$s_tha" 'BEGIN { printf "%.4g", a / b }')
    printf '%-6s %-6s %12s %12s %12s %14s\n' "$1" "$2" "$theory" "$r_sue" "$r_tha" \
        "$(spread "$name.tsv" VAR_tha)"
done
