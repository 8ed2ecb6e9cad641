#!/bin/sh
# Rewrites the expected outputs of every golden configuration from the given
# program: its standard output (stdout.txt) and, when the run accepted a
# repeat, its results file under the current model (results.txt) and with
# --legacy-model (legacy-results.txt). Each configuration folder holds the
# parameter file, the data file and the fixed clock that seeds the run
# (--clock-seed).
# Only for a deliberate change of what a run produces; the golden test exists
# to catch every other change.
#
# usage: sh tests/golden/regenerate.sh PATH/TO/foundabc
set -e
[ $# -eq 1 ] || { echo "usage: $0 PATH/TO/foundabc"; exit 2; }
BIN=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
cd "$(dirname "$0")"
for dir in */; do
    name=${dir%/}
    for model in current legacy; do
        work=$(mktemp -d)
        cp "$name/params.txt" "$name/data.txt" "$work/"
        clock=$(cat "$name/clock")
        option=""; results=results.txt
        [ "$model" = legacy ] && { option=--legacy-model; results=legacy-results.txt; }
        (cd "$work" && TZ=UTC faketime -f "$clock" "$BIN" --clock-seed $option params.txt > stdout.txt)
        cp "$work/stdout.txt" "$name/stdout.txt"
        rm -f "$name/$results"
        [ -f "$work/results.txt" ] && cp "$work/results.txt" "$name/$results"
        rm -rf "$work"
    done
    echo "$name: $(wc -l < "$name/stdout.txt") output lines, $( [ -f "$name/results.txt" ] && wc -l < "$name/results.txt" || echo no) results lines"
done
