#!/bin/sh
# The simulator against msprime with many data sets: the client test
# tests/clients/msprime_vs_program.py at old foundings (and the points of the
# suite), SETS msprime data sets and ROWS program simulations per point.
# Prints the client test's table.
#
# usage: sh bench/msprime_agreement.sh [SETS] [ROWS] [POINTS]
#   defaults: 2000 sets, 20000 rows, old,old-fast,old-narrow,old-alpha1,middle
# FOUNDABC_BIN=path/to/foundabc to measure another build (default build/foundabc).
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${FOUNDABC_BIN:-$ROOT/build/foundabc}
sh "$ROOT/tests/clients/msprime_vs_program.sh" "$BIN" --sets "${1:-2000}" --rows "${2:-20000}" \
    --points "${3:-old,old-fast,old-narrow,old-alpha1,middle}" --seed 101
