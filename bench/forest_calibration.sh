#!/bin/sh
# Calibration of the estimation methods on the shipped example: the
# reference table of docs/runs.md (20 000 simulations, seed 2026) and 2 000 of its rows taken
# in turn as the observed data. Prints, per parameter, the prediction error
# and the coverage of the 50 % and 95 % intervals of the forest (out of bag),
# of plain rejection and of the local-linear adjustment. Calibrated intervals
# cover 0.50 and 0.95, within about 0.02 and 0.01 (two standard errors).
#
# usage: sh bench/forest_calibration.sh [BUILD_DIR]   (run once; takes minutes)
set -e
BUILD=$(cd "${1:-build}" && pwd)
ROOT=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$ROOT/examples/params.txt" "$ROOT/examples/data.txt" "$work/"
cd "$work"
"$BUILD/foundabc" --seed 2026 --table table.tsv.gz params.txt > /dev/null
echo "== forest, out of bag"
/usr/bin/time -f "%e s, %M KiB" "$BUILD/foundabc-summary" --table table.tsv.gz --method forest \
    --cv 2000 --seed 7
echo "== rejection and local-linear (tolerance 0.01)"
/usr/bin/time -f "%e s, %M KiB" "$BUILD/foundabc-summary" --table table.tsv.gz \
    --method loclinear --cv 2000 --seed 7
