#!/bin/sh
# Whether model choice tells multi-step loci from strict ones: a strict and a
# generalised stepwise table, each made by bench/mutation_calibration.py with
# its own seed and kept with --work, and the forest's choice between them for
# every msprime data set of each truth those runs simulated.
#
#   python3 bench/mutation_calibration.py --seed 11 --pairs strict:strict,multistep:strict,rates:strict --work A
#   python3 bench/mutation_calibration.py --seed 7 --pairs gsm-prior:gsm --work B
#   sh bench/mutation_choice.sh A/strict.tsv B/gsm.tsv A [TREES]
#
# prints, per truth, how many data sets each model was chosen for.
set -eu
[ $# -ge 3 ] || { echo "usage: sh bench/mutation_choice.sh STRICT.tsv GSM.tsv WORK [TREES]" >&2; exit 2; }
strict=$1 gsm=$2 work=$3 trees=${4:-300}
summary=${FOUNDABC_SUMMARY_BIN:-$(dirname "$0")/../build/foundabc-summary}
for observed in "$work"/*.observed.tsv; do
    case $observed in *.tsv.observed.tsv) continue ;; esac
    truth=$(basename "$observed" .observed.tsv)
    "$summary" --choose "$strict" "$gsm" --names strict,gsm --trees "$trees" --threads 1 \
        --observed "$observed" --tsv |
        awk -F'\t' -v t="$truth" 'NR > 1 && $6 == 1 { n++; c[$2]++ }
            END { if (n == 0) { print t ": no choice made" > "/dev/stderr"; exit 1 }
            printf "%-10s %d data sets: strict chosen for %d, gsm for %d (%.3f)\n",
                  t, n, c["strict"], c["gsm"], c["gsm"] / n }'
done
