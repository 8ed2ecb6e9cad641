#!/bin/sh
# One-off study of the reference-table estimate on the shipped example: how
# much of the adjusted posterior's weight lies outside the prior on the log
# scale and on the logit scale, the estimate with and without the
# heteroscedastic correction, cross-validation's coverage columns, and how
# the prediction error and its standard error move between seeds.
#
# usage: sh bench/posterior_calibration.sh [BUILD_DIR]   (default build)
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$ROOT/examples/data.txt" "$work/"
cd "$work"

# Weighted share of each adjusted column outside the priors file's bounds.
outside() {
    awk -F'\t' -v priors="$2" '
        BEGIN { while ((getline line < priors) > 0) {
                    split(line, f, "\t"); if (f[1] != "parameter" && f[1] !~ /^#/) { lo[f[1]] = f[3]; hi[f[1]] = f[4] } } }
        NR == 1 { for (i = 1; i <= NF; i++) if ($i ~ /_adj$/) { name[i] = substr($i, 1, length($i) - 4) }; next }
        { total += $3; for (i in name) if ($i + 0 <= lo[name[i]] || $i + 0 >= hi[name[i]]) out[name[i]] += $3 }
        END { for (i in name) printf "  %-14s %5.1f %%\n", name[i], 100 * out[name[i]] / total }' "$1" | sort
}

for n in 20000 50000; do
    sed "s/^REPEATS .*/REPEATS $n #/" "$ROOT/examples/params.txt" > params.txt
    rm -f results.txt
    "$BUILD/foundabc" --seed 2026 --table t$n.tsv.gz params.txt > /dev/null
    for transform in log logit; do
        "$BUILD/foundabc-summary" --table t$n.tsv.gz --transform $transform \
            --sample s.tsv > /dev/null 2>&1
        echo "== $n simulations, --transform $transform: weight outside the prior"
        outside s.tsv t$n.tsv.priors.tsv
    done
    echo "== $n simulations: default estimate, then with --hcorr"
    "$BUILD/foundabc-summary" --table t$n.tsv.gz | tail -8
    "$BUILD/foundabc-summary" --table t$n.tsv.gz --hcorr | tail -8
done

echo "== cross-validation, 20000 simulations, N = 100, seeds 1 to 5"
for seed in 1 2 3 4 5; do
    echo "-- seed $seed"
    "$BUILD/foundabc-summary" --table t20000.tsv.gz --cv 100 --seed $seed | tail -7
done
