#!/bin/sh
# The Makefile's user-facing targets, run for real:
# - `make install PREFIX=...` puts the four programs, their man pages and the
#   section-5 pages of the input files under the prefix, and the installed
#   programs run;
# - `make run` replaces the example's params.txt and data.txt in its folder
#   but leaves the user's other files there, and appends to results.txt.
# Arguments: source folder, build folder, then the targets to check.
set -e
source_dir=$1
build_dir=$2
shift 2
targets=" $* "
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

prefix=$scratch/prefix
make -s -C "$source_dir" install BUILD="$build_dir" PREFIX="$prefix" >/dev/null
for f in bin/foundabc bin/foundabc-summary bin/foundabc-import bin/foundabc-study \
         share/man/man1/foundabc.1 share/man/man1/foundabc-summary.1 \
         share/man/man1/foundabc-import.1 share/man/man1/foundabc-study.1 \
         share/man/man5/foundabc-params.5 share/man/man5/foundabc-data.5; do
    if [ ! -s "$prefix/$f" ]; then
        echo "missing after make install: $f"
        exit 1
    fi
done
grep -q 'check' "$prefix/share/man/man1/foundabc.1" || { echo "man page lacks the options"; exit 1; }
if grep -q 'PARAMS_FILE.*\.\.\.' "$prefix/share/man/man1/foundabc.1"; then
    echo "man page of foundabc shows more than one parameter file"; exit 1
fi
# The table options of foundabc-summary, each with its explanation.
for text in 'Share of the simulations to accept' 'Cross.*validate instead' 'Statistics to compare'; do
    grep -q "$text" "$prefix/share/man/man1/foundabc-summary.1" ||
        { echo "man page of foundabc-summary lacks a table option ($text)"; exit 1; }
done
# `make run` builds the programs, not the test suite.
make -n -C "$source_dir" run BUILD="$build_dir" |
    grep -q -- '--target foundabc foundabc-summary foundabc-import foundabc-study$' ||
    { echo "make run builds more than the programs"; exit 1; }
"$prefix/bin/foundabc" --version >/dev/null
"$prefix/bin/foundabc-summary" --version >/dev/null
"$prefix/bin/foundabc-import" --version >/dev/null
grep -q "repeat.*units" "$prefix/share/man/man1/foundabc-import.1" || { echo "import man page lacks the options"; exit 1; }
"$prefix/bin/foundabc-study" --version >/dev/null
grep -q "redo" "$prefix/share/man/man1/foundabc-study.1" || { echo "study man page lacks the options"; exit 1; }
# Every installed page reads on a terminal of 80 columns.
if command -v man >/dev/null 2>&1; then
    for page in "$prefix"/share/man/man*/*; do
        wide=$(MANWIDTH=80 man -l "$page" 2>/dev/null | awk 'length($0) > 80' | head -n 1)
        [ -z "$wide" ] || { echo "$(basename "$page") has a line wider than 80 columns: $wide"; exit 1; }
    done
fi

case $targets in *" run "*) ;; *) echo "make install behaves"; exit 0 ;; esac

run_dir=$scratch/example-run
mkdir -p "$run_dir"
echo "my notes" > "$run_dir/notes.txt"
echo "old settings" > "$run_dir/params.txt"
printf 'earlier rows\n' > "$run_dir/results.txt"
make -s -C "$source_dir" run BUILD="$build_dir" RUN_DIR="$run_dir" >/dev/null
[ "$(cat "$run_dir/notes.txt")" = "my notes" ] || { echo "make run removed a user's file"; exit 1; }
cmp -s "$run_dir/params.txt" "$source_dir/examples/params.txt" || { echo "params.txt not replaced"; exit 1; }
[ "$(head -n 1 "$run_dir/results.txt")" = "earlier rows" ] || { echo "results.txt not appended to"; exit 1; }
grep -q '^Rep#' "$run_dir/results.txt" || { echo "make run wrote no table"; exit 1; }
echo "make install and make run behave"
