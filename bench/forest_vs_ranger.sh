#!/bin/sh
# One-off comparison of this project's random forests with R's ranger
# (and their shared settings: 500 trees, mtry = floor(sqrt(12)) = 3, node
# size 5 for regression and 1 for classification, 2 threads):
# 1. fit time (growing and the out-of-bag answers; reading the table is
#    left out), out-of-bag error of both and peak resident memory, on
#    synthetic tables of 20 000 and 100 000 rows of 12 features (Friedman's
#    first function of 5 of them plus noise for regression, 3 classes cut
#    from a noisy linear score for classification);
# 2. the out-of-bag error of exact splits against the default 256 bins
#    (20 000 rows: one bin per distinct value is exact);
# 3. our fit time and peak memory at 10^6 rows (TREES_BIG trees; memory
#    grows about linearly with the trees).
#
# usage: sh bench/forest_vs_ranger.sh [ROWS...]   (default 20000 100000)
#        TREES_BIG=100 sh bench/forest_vs_ranger.sh
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SIZES=${*:-20000 100000}
TREES=500
THREADS=2
TREES_BIG=${TREES_BIG:-100}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The driver, with the project's release flags (-O3, no contraction).
g++ -O3 -DNDEBUG -std=c++17 -ffp-contract=off -I"$ROOT/src" "$ROOT/bench/forest_driver.cpp" \
    "$ROOT"/src/abc/*.cpp -lgsl -lgslcblas -pthread -o "$work/forest_driver"

cat > "$work/ranger.R" <<'REOF'
suppressMessages(library(ranger))
a <- commandArgs(TRUE)
d <- read.delim(a[1])
x <- as.matrix(d[, 1:12])
y <- if (a[2] == "r") d$y else factor(d$class)
t <- system.time(f <- ranger(x = x, y = y, num.trees = as.integer(a[3]),
                             num.threads = as.integer(a[4]), seed = 1, verbose = FALSE))
cat(sprintf("%.2f %.5f\n", t[["elapsed"]], f$prediction.error))
REOF

# run NAME COMMAND...: prints NAME, the program's "seconds error" line, the
# CPU seconds (user + system) and peak resident MB of the whole process.
run() {
    name=$1
    shift
    /usr/bin/time -f "%U %S %M" -o "$work/time" "$@" > "$work/out"
    printf '%-34s %s %s\n' "$name" "$(cat "$work/out")" \
        "$(awk '{ printf "%.1f %.0f", $1 + $2, $3 / 1024 }' "$work/time")"
}

echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== fit seconds (wall), out-of-bag error (MSE / misclassification), CPU seconds, peak MB"
for rows in $SIZES; do
    "$work/forest_driver" write "$rows" "$work/t$rows.tsv"
    for kind in r c; do
        run "ours   $kind $rows rows" "$work/forest_driver" fit "$work/t$rows.tsv" $kind $TREES $THREADS
        run "ranger $kind $rows rows" Rscript "$work/ranger.R" "$work/t$rows.tsv" $kind $TREES $THREADS
    done
done
echo "== exact splits against 256 bins, 20000 rows (variance of y in the last line)"
"$work/forest_driver" write 20000 "$work/t20000.tsv"
for kind in r c; do
    run "ours   $kind exact" "$work/forest_driver" fit "$work/t20000.tsv" $kind $TREES $THREADS 65535
    run "ours   $kind 256 bins" "$work/forest_driver" fit "$work/t20000.tsv" $kind $TREES $THREADS 256
done
Rscript -e "cat('var(y)', var(read.delim('$work/t20000.tsv')\$y), '\n')"
echo "== 10^6 rows, $TREES_BIG trees"
run "ours   r 1000000 rows" "$work/forest_driver" fit 1000000 r "$TREES_BIG" $THREADS
