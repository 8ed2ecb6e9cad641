#!/bin/sh
# Runs the R and pandas recipes of docs/table-summary.md for the reference
# table, verbatim, on
# a small table that the program writes, and checks what they read: the
# table's dimensions and column names, and one target value per statistic.
# Exits 77 (skipped) when neither R nor pandas is installed.
#
# usage: sh tests/clients/table_recipes.sh PATH/TO/foundabc
set -e
BIN=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$ROOT/examples/data.txt" "$work/"
sed 's/^REPEATS .*/REPEATS 60 #/' "$ROOT/examples/params.txt" > "$work/params.txt"
cd "$work"
"$BIN" --seed 3 --table table.tsv.gz params.txt > /dev/null

# The first fenced R block of the page: the one of its section on writing the table.
awk '/^## Writing a reference table/ { on = 1 } on && /^```r$/ { grab = 1; next }
     grab && /^```$/ { exit } grab { print }' "$ROOT/docs/table-summary.md" > recipe.R
ran=0
if command -v Rscript > /dev/null; then
    cat recipe.R - > check.R <<'CHECK'
stopifnot(nrow(tab) == 60, ncol(tab) == 28)
stopifnot(identical(names(tab)[c(1, 8, 9, 20, 21, 26, 27, 28)],
                    c("sim", "FracSueMono", "S_sue", "FST", "SDHET_sue", "GAP_tha", "DS", "accepted")))
stopifnot(length(target) == 18, identical(names(target), names(sumstat)))
stopifnot(all(sapply(sumstat, is.numeric)), nrow(param) == 60, ncol(param) == 6)
cat("R recipe OK\n")
CHECK
    Rscript check.R
    # The abc() recipe, with a stand-in for the package (not in Debian) that
    # checks what the recipe hands it: logit bounds on the scale of param.
    awk '/^## Estimates from a reference table/ { on = 1 } on && /^```r$/ { grab = 1; next }
         grab && /^```$/ { exit } grab { print }' "$ROOT/docs/table-summary.md" > abc.R
    cat - abc.R > stub.R <<'STUB'
library <- function(...) invisible(NULL)
abc <- function(target, param, sumstat, tol, method, transf, logit.bounds, hcorr) {
    stopifnot(length(target) == ncol(sumstat), ncol(param) == 6, transf == "logit", !hcorr,
              all(apply(param, 2, min) >= logit.bounds[, 1]),
              all(apply(param, 2, max) <= logit.bounds[, 2]))
    list(adj.values = param[1:3, ])
}
STUB
    cat stub.R - > check-abc.R <<'CHECK'
stopifnot(identical(pri$parameter, names(tab)[2:7]), nrow(post) == 3, all(post > 0))
cat("R abc recipe OK\n")
CHECK
    Rscript check-abc.R
    ran=1
fi
PY=/usr/bin/python3
if [ -x "$PY" ] && "$PY" -c 'import pandas' 2> /dev/null; then
    line=$(grep -o 'tab = pd.read_csv([^`]*)' "$ROOT/docs/table-summary.md" | head -1)
    obs=$(grep -o 'obs = pd.read_csv([^`]*)' "$ROOT/docs/table-summary.md" | head -1)
    "$PY" - <<PYTHON
import pandas as pd
$line
$obs
assert tab.shape == (60, 28), tab.shape
assert list(obs.columns) == list(tab.columns[8:26]), list(obs.columns)
assert all(pd.api.types.is_numeric_dtype(tab[c]) for c in tab.columns)
print("pandas recipe OK")
PYTHON
    ran=1
fi
[ "$ran" = 1 ] || exit 77
