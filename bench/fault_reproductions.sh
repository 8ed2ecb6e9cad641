#!/bin/sh
# Reruns, on the programs of BUILD, the reproductions of faults reported by
# users and testers: each line gives the case, the exit status and the first
# line of the message. Usage: sh bench/fault_reproductions.sh BUILD SHARED
# (SHARED: the folder holding repro/choose-cv). Takes a few minutes.
set -u
B=$(cd "$1" && pwd); SHARED=$(cd "$2" && pwd); SRC=$(cd "$(dirname "$0")/.." && pwd)
W=$(mktemp -d); trap 'rm -rf "$W"' EXIT; cd "$W"
show() { name=$1; shift; "$@" >out.txt 2>err.txt; rc=$?
  printf '%-44s exit %s  %s\n' "$name" "$rc" "$(last err.txt || last out.txt)"; }
# The message of a case: the last line of standard error, else of standard
# output, that says what happened.
last() { grep -i -E 'error|warning|note|refus|cannot|could not|verdict|is a directory|did you mean|too few|need' "$1" | tail -n 1 | cut -c1-150 | grep .; }
cp "$SRC/examples/data.txt" .
sed 's/^REPEATS .*/REPEATS 2000 #/' "$SRC/examples/params.txt" > params.txt
"$B/foundabc" --seed 9 --table t.tsv params.txt >/dev/null 2>&1
# 1. GSL aborts in model choice
cp -r "$SHARED/repro/choose-cv" cc && (cd cc && "$B/foundabc" --seed 101 --threads 2 --table plain.tsv.gz plain.txt >/dev/null 2>&1 &&
  "$B/foundabc" --seed 202 --threads 2 --table k2.tsv.gz k2.txt >/dev/null 2>&1)
show "choose-cv: --choose --cv 50" "$B/foundabc-summary" --choose cc/plain.tsv.gz cc/k2.tsv.gz --cv 50
sed -e 's/^MY_UPPER .*/MY_UPPER 0.003 #/' -e 's/^POPSIZE_ORIGIN_SUE_UPPER .*/POPSIZE_ORIGIN_SUE_UPPER 5 #/' \
  -e 's/^OUTFILE_NAME .*/OUTFILE_NAME r1.txt #/' params.txt > m1.txt
sed -e 's/^CONDITIONAL_NUMBER_OF_ORIGINS .*/CONDITIONAL_NUMBER_OF_ORIGINS 2 #/' -e 's/r1.txt/r2.txt/' m1.txt > m2.txt
"$B/foundabc" --seed 9 --table m1.tsv m1.txt >/dev/null 2>&1; "$B/foundabc" --seed 21 --table m2.tsv m2.txt >/dev/null 2>&1
show "mnlogistic --tol 0.001" "$B/foundabc-summary" --choose m1.tsv m2.tsv --method mnlogistic --tol 0.001
# 2. directories where files are read
mkdir d; show "import DIR" "$B/foundabc-import" d --sue 1 --tha 2
show "--params DIR" "$B/foundabc-summary" r1.txt --params d
cp t.tsv u.tsv; cp t.tsv.observed.tsv u.tsv.observed.tsv; mkdir u.tsv.priors.tsv
show "TABLE.priors.tsv a directory (--table)" "$B/foundabc-summary" --table u.tsv
# 3-5. provenance
"$B/foundabc-summary" --table t.tsv --sample s.tsv >/dev/null 2>&1
"$B/foundabc" --seed 2 --from-sample s.tsv --table ppc.tsv params.txt >/dev/null 2>&1
sed -i 's/^# made from/# Made from/' ppc.tsv.priors.tsv
show "'# Made from' predictive table (--table)" "$B/foundabc-summary" --table ppc.tsv
show "--from-sample --table s.tsv.origin" "$B/foundabc" --seed 3 --from-sample s.tsv --table s.tsv.origin params.txt
# 7-10. forests
head -1 t.tsv.observed.tsv > two.tsv; sed -n 2p t.tsv.observed.tsv | awk -F'\t' -v OFS='\t' '{$1="nan"; print}' >> two.tsv
sed -n 2p t.tsv.observed.tsv >> two.tsv
show "--observed with a NaN point" "$B/foundabc-summary" --table t.tsv --observed two.tsv --tsv
head -4 t.tsv > tiny.tsv; cp t.tsv.observed.tsv tiny.tsv.observed.tsv
show "a 3-row table" "$B/foundabc-summary" --table tiny.tsv
cp t.tsv c2.tsv; cp t.tsv.observed.tsv c2.tsv.observed.tsv; cp t.tsv.priors.tsv c2.tsv.priors.tsv
show "--choose with two copies of one table" "$B/foundabc-summary" --choose t.tsv c2.tsv
# 13-14. outputs
show "picture cut by a file-size limit" sh -c "ulimit -f 8; exec '$B/foundabc-summary' --table t.tsv --trees 50 --plot p.png"
ls p.png 2>/dev/null && echo "  (a picture was left)"
mkfifo ff.tsv; show "--sample into a FIFO without a reader" "$B/foundabc-summary" --table t.tsv --trees 50 --sample ff.tsv
# 18-20. messages and the data file
cp data.txt data2.txt; echo "1 2 3" >> data2.txt
sed 's/^DATAFILE_NAME .*/DATAFILE_NAME data2.txt #/' params.txt > p2.txt
show "a line after the last locus (--check)" "$B/foundabc" --check p2.txt
sed 's/^DATAFILE_NAME .*/DATAFILE_NAME nothere.txt #/' params.txt > p3.txt
show "missing data file, output to a file" sh -c "'$B/foundabc' --seed 1 p3.txt > run.txt"
show "--methd" "$B/foundabc-summary" --table t.tsv --methd forest
show "--sed" "$B/foundabc" --sed 1 params.txt
