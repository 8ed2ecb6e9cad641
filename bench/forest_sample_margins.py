#!/usr/bin/env python3
"""The forest's --sample against its printed table: for each column the
weighted mean and the 2.5, 50 and 97.5 % quantiles of the sample, beside the
table's. Usage: forest_sample_margins.py SAMPLE.tsv TABLE_OUTPUT.txt"""
import sys

def quantile(pairs, p):
    total = sum(w for _, w in pairs)
    acc = 0.0
    for v, w in pairs:
        acc += w
        if acc >= p * total:
            return v
    return pairs[-1][0]

sample_path, table_path = sys.argv[1], sys.argv[2]
lines = open(sample_path).read().splitlines()
lines = [l for l in lines if not l.startswith('#')]
header = lines[0].split('\t')
rows = [l.split('\t') for l in lines[1:]]
printed = {}
for line in open(table_path):
    cells = line.split()
    if len(cells) >= 9 and cells[0] in header and cells[0] not in printed:
        printed[cells[0]] = cells[3:]
print("%-14s %10s %10s  %10s %10s  %10s %10s  %10s %10s" %
      ("column", "mean", "printed", "q2.5", "printed", "median", "printed", "q97.5", "printed"))
for k, name in enumerate(header[2:], start=2):
    pairs = sorted((float(r[k]), float(r[1])) for r in rows)
    total = sum(w for _, w in pairs)
    mean = sum(v * w for v, w in pairs) / total
    p = printed.get(name, ["?"] * 6)
    lo, med, hi = (quantile(pairs, q) for q in (0.025, 0.5, 0.975))
    print("%-14s %10.4g %10s  %10.4g %10s  %10.4g %10s  %10.4g %10s" %
          (name, mean, p[0], lo, p[2], med, p[3], hi, p[4]))
