#!/bin/sh
# Draws every kind of picture of foundabc-summary, in PNG, SVG and PDF, from
# the shipped example with fixed seeds, so that a change to the pictures can
# be looked at as a whole:
#   scripts/draw-pictures.sh BUILD_DIR OUT_DIR
# BUILD_DIR holds foundabc and foundabc-summary; OUT_DIR receives the
# pictures (and the tables, results and samples they come from, in
# OUT_DIR/work). The example is cut to 6000 repeats and its forests to 200
# trees, which keeps the whole under three minutes on two cores; the
# pictures' layout does not depend on the numbers of rows.
set -eu
if [ $# -ne 2 ]; then
    echo "usage: $0 BUILD_DIR OUT_DIR" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
work=$out/work
rm -rf "$work"
mkdir -p "$work"
run="$build/foundabc"
summary="$build/foundabc-summary"
threads="--threads 2"

# The example's parameter file, with fewer repeats; set KEY VALUE in FILE.
set_key() {
    sed -i "s/^$2 .*/$2 $3 #/" "$1"
}
model() {  # folder, then KEY VALUE pairs
    dir=$work/$1
    shift
    mkdir -p "$dir"
    cp "$here/examples/params.txt" "$here/examples/data.txt" "$dir/"
    set_key "$dir/params.txt" REPEATS 6000
    while [ $# -gt 0 ]; do
        set_key "$dir/params.txt" "$1" "$2"
        shift 2
    done
}

# The plain model, a founder-count model with two founders, and the same
# with unequal founding fractions: three tables of the same data.
model plain
model two CONDITIONAL_NUMBER_OF_ORIGINS 2
model unequal CONDITIONAL_NUMBER_OF_ORIGINS 2 UNEQUAL_FOUNDING_FRACTIONS 0.2
# Log-uniform priors (bounds as log10 values) for the results summary.
model log PRIOR_DISTRIBUTION 1 MY_LOWER -4 MY_UPPER -1.3 TIME_TO_ORIGIN_LOWER 1.7 \
    TIME_TO_ORIGIN_UPPER 2.7 POPSIZE_ORIGIN_THA_LOWER 2 POPSIZE_ORIGIN_THA_UPPER 3 \
    POPSIZE_PRESENT_THA_LOWER 3.3 POPSIZE_PRESENT_THA_UPPER 4 POPSIZE_ORIGIN_SUE_LOWER 0.3 \
    POPSIZE_ORIGIN_SUE_UPPER 1.7 POPSIZE_PRESENT_SUE_LOWER 2 POPSIZE_PRESENT_SUE_UPPER 3.7
seed=2026
for m in plain two unequal log; do
    (cd "$work/$m" && "$run" --seed $seed $threads --table table.tsv.gz params.txt >/dev/null)
    seed=$((seed + 1))
done
(cd "$work/plain" && "$summary" --table table.tsv.gz --trees 200 $threads \
    --sample sample.tsv >/dev/null)
# The predictive table, simulated from the forest's sample into its own
# folder (its results file apart from the estimate's).
mkdir -p "$work/predictive"
cp "$work/plain/params.txt" "$work/plain/data.txt" "$work/plain/sample.tsv" \
    "$work/plain/sample.tsv.origin" "$work/predictive/"
(cd "$work/predictive" && "$run" --seed 7 $threads --from-sample sample.tsv \
    --table predictive.tsv.gz params.txt >/dev/null)

for f in png svg pdf; do
    (
        cd "$work/plain"
        "$summary" --table table.tsv.gz --trees 200 $threads --plot "$out/table-forest.$f"
        "$summary" --table table.tsv.gz --method loclinear --plot "$out/table-loclinear.$f"
        "$summary" --table table.tsv.gz --method rejection --plot "$out/table-rejection.$f"
        "$summary" --table table.tsv.gz --gfit 100 --plot "$out/gfit.$f"
        "$summary" --params params.txt --plot "$out/results.$f" results.txt
    ) >/dev/null
    (cd "$work/log" && "$summary" --params params.txt --plot "$out/results-log.$f" results.txt) \
        >/dev/null
    (cd "$work/predictive" && "$summary" --ppc predictive.tsv.gz --plot "$out/ppc.$f") >/dev/null
    (cd "$work" && "$summary" --choose plain/table.tsv.gz two/table.tsv.gz \
        unequal/table.tsv.gz --names plain,two,unequal --trees 200 $threads \
        --plot "$out/choose.$f") >/dev/null
    (cd "$work" && "$summary" --choose plain/table.tsv.gz two/table.tsv.gz \
        --names plain,two --trees 200 $threads --plot "$out/choose-two.$f") >/dev/null
done
ls "$out"
