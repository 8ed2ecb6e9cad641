#!/bin/sh
# Runs the random-forest recipe of docs/model-choice.md, verbatim, on three
# small tables that the program writes (one per founding model), and checks
# that it prints the out-of-bag confusion matrix and the votes of every tree.
# Exits 77 (skipped) when R's ranger is not installed.
#
# usage: sh tests/clients/model_choice_recipe.sh PATH/TO/foundabc
set -e
Rscript -e 'library(ranger)' > /dev/null 2>&1 || exit 77
BIN=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$ROOT/examples/data.txt" "$work/"
cd "$work"
seed=1
for model in "plain 0 0" "k2 2 0" "two 2 0.2"; do
    set -- $model
    sed -e "s/^REPEATS .*/REPEATS 300 #/" -e "s/^OUTFILE_NAME .*/OUTFILE_NAME $1.txt #/" \
        -e "s/^CONDITIONAL_NUMBER_OF_ORIGINS .*/CONDITIONAL_NUMBER_OF_ORIGINS $2 #/" \
        -e "s/^UNEQUAL_FOUNDING_FRACTIONS .*/UNEQUAL_FOUNDING_FRACTIONS $3 #/" \
        "$ROOT/examples/params.txt" > "$1-params.txt"
    "$BIN" --seed $seed --table "$1.tsv.gz" "$1-params.txt" > /dev/null
    seed=$((seed + 1))
done
awk '/^## The forest in R/ { on = 1 } on && /^```r$/ { grab = 1; next }
     grab && /^```$/ { exit } grab { print }' "$ROOT/docs/model-choice.md" > forest.R
cat forest.R - > check.R <<'CHECK'
stopifnot(nrow(train) == 900, identical(dim(forest$confusion.matrix), c(3L, 3L)),
          sum(table(factor(levels(train$model)[votes], levels = models))) == 500)
cat("random-forest recipe OK\n")
CHECK
Rscript check.R
