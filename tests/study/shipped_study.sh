#!/bin/sh
# The shipped study, end to end: examples/study copied into FOLDER (so that
# the checkout stays clean), run by foundabc-study, run again (every step
# must be kept and every output rewritten with the same bytes), and its
# report checked in headless Chromium by browser_check.py. Exit status 77
# (skipped) when only the browser is missing: the study itself must pass.
# Usage: shipped_study.sh FOUNDABC_STUDY SOURCE_DIR FOLDER
set -e
study=$1
source=$2
folder=$3
rm -rf "$folder"
mkdir -p "$folder/examples"
cp -R "$source/examples/study" "$folder/examples/study"
cp "$source/examples/field.gen" "$source/examples/units.txt" "$folder/examples/"
rm -rf "$folder/examples/study/work" "$folder/examples/study/report"
"$study" "$folder/examples/study/study.toml" > "$folder/first.txt"
cp -R "$folder/examples/study/report" "$folder/first-report"
"$study" "$folder/examples/study/study.toml" > "$folder/second.txt"
if grep -v "unchanged" "$folder/second.txt" | grep -v "^8/8 report"; then
    echo "a second run with nothing changed redid a step" >&2
    exit 1
fi
diff -r "$folder/first-report" "$folder/examples/study/report"
exec python3 "$(dirname "$0")/browser_check.py" "$folder/examples/study/report" --out "$folder/browser"
