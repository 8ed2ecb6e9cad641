#!/bin/sh
# The time of each step of the shipped study (examples/study/study.toml) at
# a given number of simulations per model, the rest as shipped:
#   sh bench/study_time.sh [SIMULATIONS...]     (default: 20000 100000)
# Each size runs in a fresh copy of the study under a scratch folder, so the
# tables are made anew; the step lines of foundabc-study are printed as they
# come, then its total time.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
bin=${FOUNDABC_STUDY_BIN:-$here/build/foundabc-study}
[ -x "$bin" ] || { echo "build foundabc-study first (make build)" >&2; exit 1; }
[ $# -gt 0 ] || set -- 20000 100000
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for n in "$@"; do
    dir=$scratch/$n
    mkdir -p "$dir/study"
    cp "$here/examples/field.gen" "$here/examples/units.txt" "$dir/"
    cp "$here/examples/study/base.txt" "$dir/study/"
    sed "s/^simulations = [0-9]*/simulations = $n/" "$here/examples/study/study.toml" >"$dir/study/study.toml"
    echo "== $n simulations per model ($(nproc) cores)"
    start=$(date +%s)
    "$bin" "$dir/study/study.toml"
    echo "total $(( $(date +%s) - start )) s"
done
