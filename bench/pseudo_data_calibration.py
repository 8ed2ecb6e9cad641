#!/usr/bin/env python3
"""One-off study of pseudo-observed data on the shipped example, end to end.

(a) Calibration: 100 data sets simulated (foundabc --simulate-data) at
    parameter values drawn from the example's prior with a fixed seed, each
    estimated (foundabc-summary --table, default local-linear adjustment)
    from one shared reference table of the example; counts, per parameter,
    how many 95 % intervals hold the truth.  A calibrated interval holds it
    Binomial(100, 0.95) times: mean 95, SD 2.2, so 88 (3.2 SD below) is the
    lower bound asked of My.
(b) Goodness of fit (foundabc-summary --table --gfit N): the p-values of
    those data sets from the model, and of data from a clearly different
    model: one founder (CONDITIONAL_NUMBER_OF_ORIGINS 1) and a founding time
    far beyond the prior, against the plain-model table.

Each data set's observed statistics come from a run of foundabc on it with
REPEATS 0 and --table (its FILE.observed.tsv), copied beside the shared
table in a folder of its own.

usage: python3 bench/pseudo_data_calibration.py [BUILD_DIR] [SIMULATIONS] [DATA_SETS]
       (defaults: build 30000 100)
"""
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
SIMS = int(sys.argv[2]) if len(sys.argv) > 2 else 30000
NDATA = int(sys.argv[3]) if len(sys.argv) > 3 else 100
FOUNDABC = os.path.join(BUILD, "foundabc")
SUMMARY = os.path.join(BUILD, "foundabc-summary")
# The clearly different model: one founder, and a founding far older than
# the prior allows, so that the populations have drifted apart (DM2, FST)
# far more than their diversity within lets the plain model explain.
OTHER = [0.005, 20000, 500, 6000, 2, 200]
NAMES = ["My", "TimeToOri", "PopSizeOriTha", "PopSizePreTha", "PopSizeOriSue", "PopSizePreSue"]


def run(cmd, cwd):
    return subprocess.run(cmd, cwd=cwd, check=True, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, text=True).stdout


def settings(path, **changes):
    text = open(os.path.join(ROOT, "examples", "params.txt")).read()
    for key, value in changes.items():
        text = re.sub(r"(?m)^%s\s+\S+" % key, "%s %s" % (key, value), text)
    open(path, "w").write(text)


def draw_prior(rng):
    # The example's priors, as foundabc draws them: a present size never
    # below the drawn founding size.
    my = rng.uniform(0.0001, 0.05)
    t = rng.uniform(50, 500)
    ori_tha = rng.uniform(100, 1000)
    pre_tha = rng.uniform(max(ori_tha, 2000), 10000)
    ori_sue = rng.uniform(2, 50)
    pre_sue = rng.uniform(max(ori_sue, 100), 5000)
    return [my, t, ori_tha, pre_tha, ori_sue, pre_sue]


def observed_for(work, values, seed, folder, **model):
    """Simulates a data set at `values` and leaves its observed statistics
    beside a link to the shared table in `folder`."""
    os.makedirs(folder)
    settings(os.path.join(folder, "simulate.txt"), **model)
    settings(os.path.join(folder, "params.txt"), DATAFILE_NAME="pod.txt", REPEATS=0)
    at = ",".join("%s=%r" % (n, v) for n, v in zip(NAMES, values))
    run([FOUNDABC, "--simulate-data", "pod.txt", "--seed", str(seed), "--at", at,
         "simulate.txt"], folder)
    run([FOUNDABC, "--seed", "1", "--table", "pod.tsv", "params.txt"], folder)
    os.symlink(os.path.join(work, "ref.tsv.gz"), os.path.join(folder, "ref.tsv.gz"))
    shutil.copy(os.path.join(work, "ref.tsv.priors.tsv"), folder)
    shutil.copy(os.path.join(folder, "pod.tsv.observed.tsv"),
                os.path.join(folder, "ref.tsv.observed.tsv"))


def gfit(folder):
    out = run([SUMMARY, "--table", "ref.tsv.gz", "--gfit", "100", "--tsv"], folder)
    head, values = out.splitlines()[:2]
    return float(dict(zip(head.split("\t"), values.split("\t")))["p_value"])


def main():
    work = tempfile.mkdtemp()
    try:
        shutil.copy(os.path.join(ROOT, "examples", "data.txt"), work)
        settings(os.path.join(work, "params.txt"), REPEATS=SIMS)
        run([FOUNDABC, "--seed", "2026", "--threads", "2", "--table", "ref.tsv.gz",
             "params.txt"], work)
        rng = random.Random(2027)
        inside = {n: 0 for n in NAMES}
        pvalues = []
        for i in range(NDATA):
            values = draw_prior(rng)
            folder = os.path.join(work, "pod%d" % i)
            observed_for(work, values, 100 + i, folder)
            out = run([SUMMARY, "--table", "ref.tsv.gz", "--tsv"], folder)
            rows = [l.split("\t") for l in out.splitlines()]
            col = {name: k for k, name in enumerate(rows[0])}
            for row in rows[1:]:
                if row[0] in inside:
                    truth = values[NAMES.index(row[0])]
                    inside[row[0]] += float(row[col["q2.5"]]) <= truth <= float(row[col["q97.5"]])
            pvalues.append(gfit(folder))
        print("(a) calibration: %d data sets from the prior, one table of %d simulations"
              % (NDATA, SIMS))
        print("    95 %% intervals holding the truth (calibrated: about %.0f; bound for My: 88 of 100)"
              % (0.95 * NDATA))
        for n in NAMES:
            print("    %-14s %3d of %d" % (n, inside[n], NDATA))
        below = sum(p < 0.05 for p in pvalues)
        print("(b) goodness of fit, data from the model: %d of %d p-values below 0.05 (expected about %.0f)"
              % (below, NDATA, 0.05 * NDATA))
        print("    p-value deciles: " + " ".join(
            "%.2f" % sorted(pvalues)[int(q * (NDATA - 1))] for q in
            (0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1)))
        other = []
        for i in range(20):
            folder = os.path.join(work, "other%d" % i)
            observed_for(work, OTHER, 500 + i, folder, CONDITIONAL_NUMBER_OF_ORIGINS=1)
            other.append(gfit(folder))
        print("    data from one founder at " + ", ".join(
            "%s %g" % (n, v) for n, v in zip(NAMES, OTHER)) + " (prior of TimeToOri: 50 to 500),"
              " 20 data sets:")
        print("    p-values: " + " ".join("%.2f" % p for p in sorted(other)))
        print("    below 0.05: %d of 20" % sum(p < 0.05 for p in other))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
