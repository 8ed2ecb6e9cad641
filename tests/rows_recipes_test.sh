#!/bin/sh
# Runs the R and pandas recipes of docs/files.md for the table of rows verbatim, on a
# results file with two runs and a row cut short by a killed run, and checks
# what they read: the row count and that every column is numeric. A recipe
# whose language is not installed is skipped (exit 77 when neither is).
#
# usage: rows_recipes_test.sh FOUNDABC_SUMMARY docs/files.md
set -eu
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
SUMMARY=$(absolute "$1")
PAGE=$(absolute "$2")
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

header() {
    printf '%-8s%-15s%-15s%-15s%-15s%-15s%-15s%-15s%-15s\n\n' 'Rep#' My TimeToOri \
        PopSizeOriTha PopSizePreTha PopSizeOriSue PopSizePreSue FracSueMono DS
}
row() {  # rep, then the eight values
    printf '%-8d%-15.2e%-15.2e%-15.2e%-15.2e%-15.2e%-15.2e%-15.5f%-15.2e\n' "$@"
}
{
    header
    row 1 1.2e-3 120 500 5000 20 800 1 0.5
    row 2 3.4e-3 240 700 6000 12 900 0.9 0.7
    # A killed run's last row, ended by the next run's line end.
    row 3 5.6e-3 360 900 7000 30 950 0.8 0.9 | cut -c 1-60
    header
    row 1 2.2e-3 150 550 5500 22 1800 1 0.4
    row 2 4.4e-3 250 750 6500 14 1900 0.7 0.6
    row 3 6.6e-3 350 950 7500 33 1950 0.5 0.8
} > results.txt
"$SUMMARY" --all --rows rows.tsv results.txt > /dev/null 2> warnings.txt
grep -q 'row skipped' warnings.txt || { echo "no warning for the cut row"; exit 1; }

# The code block that follows the marker line `<!-- rows recipe: NAME -->`.
recipe() {
    awk -v marker="<!-- rows recipe: $1 -->" '
        $0 == marker { found = 1; next }
        found && /^```/ { if (inside) exit; inside = 1; next }
        inside { print }' "$PAGE"
}

ran=0
if command -v Rscript > /dev/null 2>&1; then
    recipe R > recipe.R
    [ -s recipe.R ] || { echo "docs/files.md has no R recipe"; exit 1; }
    cat >> recipe.R <<'CHECK'
stopifnot(nrow(res) == 5, ncol(res) == 10, all(sapply(res, is.numeric)))
stopifnot(identical(as.integer(table(res$run)), c(2L, 3L)))
stopifnot(isTRUE(all.equal(res$PopSizePreSue[5], 1950)))
CHECK
    Rscript recipe.R > r-output.txt 2>&1 || { cat r-output.txt; echo "R recipe failed"; exit 1; }
    echo "R recipe: 5 rows, numeric columns"
    ran=1
else
    echo "R recipe skipped: Rscript not installed"
fi

PYTHON=
for candidate in python3 /usr/bin/python3; do
    if command -v "$candidate" > /dev/null 2>&1 && "$candidate" -c 'import pandas' 2> /dev/null; then
        PYTHON=$candidate
        break
    fi
done
if [ -n "$PYTHON" ]; then
    recipe pandas > recipe.py
    [ -s recipe.py ] || { echo "docs/files.md has no pandas recipe"; exit 1; }
    cat >> recipe.py <<'CHECK'
from pandas.api.types import is_numeric_dtype
assert len(res) == 5 and len(res.columns) == 10, res.shape
assert all(is_numeric_dtype(res[c]) for c in res.columns), res.dtypes
assert list(res.groupby("run").size()) == [2, 3]
assert res["PopSizePreSue"].iloc[4] == 1950
CHECK
    "$PYTHON" recipe.py > py-output.txt 2>&1 || { cat py-output.txt; echo "pandas recipe failed"; exit 1; }
    echo "pandas recipe: 5 rows, numeric columns"
    ran=1
else
    echo "pandas recipe skipped: no python3 with pandas"
fi
[ "$ran" = 1 ] || exit 77
