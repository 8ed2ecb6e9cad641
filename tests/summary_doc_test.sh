#!/bin/sh
# Keeps the worked example of docs/summary.md true: takes its results file
# from the page, runs every `$ ...` command shown in the page's code blocks
# with this build's foundabc-summary, and fails when the output differs from
# the lines the page shows under that command.
#
# usage: summary_doc_test.sh FOUNDABC_SUMMARY docs/summary.md
set -eu
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
SUMMARY=$(absolute "$1")
DOC=$(absolute "$2")
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
mkdir bin
ln -s "$SUMMARY" bin/foundabc-summary

# The page shows the results file without trailing blanks; a run writes each
# complete row padded to its full width of 128 characters, so the rows of
# nine fields get their blanks back (a cut row, of fewer fields, stays cut).
awk '/^## Worked example/ { section = 1 }
     section && /^```/ { if (inside) exit; inside = 1; next }
     inside { if (NF == 9 && $1 != "Rep#") printf "%-128s\n", $0; else print }' "$DOC" > results.txt
[ -s results.txt ] || { echo "no results file in the worked example"; exit 1; }

# Every block from the worked example on: "$ command" lines and the lines
# each should print, as pairs of files cmd.N and expected.N.
awk '/^## Worked example/ { section = 1 }
     !section { next }
     /^```/ { inside = !inside; next }
     inside && /^\$ / { n++; print substr($0, 3) > ("cmd." n); printf "" > ("expected." n); next }
     inside && n { print > ("expected." n) }' "$DOC"

count=0
failed=0
for cmd in cmd.*; do
    [ -f "$cmd" ] || continue
    n=${cmd#cmd.}
    count=$((count + 1))
    PATH="$WORK/bin:$PATH" sh "$cmd" > actual."$n" 2>&1 || true
    if ! diff -u expected."$n" actual."$n" > diff."$n"; then
        echo "docs/summary.md: the output of '$(cat "$cmd")' differs:"
        cat diff."$n"
        failed=1
    fi
done
[ "$count" -ge 4 ] || { echo "only $count commands found in the worked example"; exit 1; }
[ "$failed" = 0 ] || exit 1
echo "$count commands of the worked example give the output shown"
