"""Calibration of the estimates on data sets that msprime simulates, when
the loci mutate as the model says and when they do not.

Each truth is SETS msprime data sets at parameters drawn from the priors of
examples/params.txt (the founding model of tests/clients/msprime_founding.py):
  strict     strict stepwise mutation (the program's model);
  multistep  steps geometric, P(X = k) = (1 - P) P^(k - 1), P = 0.2: a fifth
             of the mutations take more than one step;
  gsm-prior  the same with P drawn per data set from U(0, GSM_UPPER);
  rates      each locus's rate My times a Gamma(shape 2, mean 1) draw.
Each is estimated with reference tables of ROWS simulations by the program:
  strict     the parameter file as it is;
  gsm        with GSM_P_LOWER 0, GSM_P_UPPER GSM_UPPER (when the program knows
             the keys);
  rates      with LOCUS_RATE_SHAPE 2 (when the program knows the key).
For each pair, from the forest estimates of all data sets at once
(foundabc-summary --observed): the share of data sets whose 95 % (q2.5 to
q97.5) and 50 % (q25 to q75) intervals cover the truth, per parameter, and
the bias of the median as a percentage of the prior's range; and the share
that the goodness-of-fit test (--gfit) flags at p < 0.05, on its default
statistics and (gfit-all-N) on all N statistics of a table that has more
than the core twelve; and the share that the fit check (--fit-check, on
every statistic the table holds, as many null simulations as --gfit) flags
at p < 0.05. With 200 sets a
coverage of 0.95 has a standard error of 0.015, and of 0.50 one of 0.035.

usage: python3 bench/mutation_calibration.py [--sets 200] [--rows 20000]
        [--trees 500] [--gfit 500] [--truths LIST] [--work DIR]
        (msprime from $FOUNDABC_PYLIB or ../shared/pylib; the programs from
        build/ or $FOUNDABC_BIN and $FOUNDABC_SUMMARY_BIN)
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no __pycache__ in the checkout
sys.path.insert(0, os.path.join(ROOT, "tests", "clients"))
import msprime_founding as mf  # noqa: E402

PRIOR_KEYS = {"My": "MY", "TimeToOri": "TIME_TO_ORIGIN", "PopSizeOriTha": "POPSIZE_ORIGIN_THA",
              "PopSizePreTha": "POPSIZE_PRESENT_THA", "PopSizeOriSue": "POPSIZE_ORIGIN_SUE",
              "PopSizePreSue": "POPSIZE_PRESENT_SUE"}
# truth: (fixed P or "prior", rate shape); model: extra settings; pairs run.
TRUTHS = {"strict": (0.0, 0.0), "multistep": (0.2, 0.0), "gsm-prior": ("prior", 0.0),
          "rates": (0.0, 2.0)}
PAIRS = [("strict", "strict"), ("multistep", "strict"), ("rates", "strict"),
         ("gsm-prior", "gsm"), ("multistep", "gsm"), ("rates", "rates"), ("strict", "gsm")]


def settings_of(template):
    """The KEY VALUE settings of a parameter file (upper-case keys)."""
    out = {}
    for line in template.splitlines():
        words = line.split()
        if "#" in line and len(words) >= 2 and not line.lstrip().startswith("#"):
            out[words[0].upper()] = words[1]
    return out


def draw_truth(rng, priors, gsm, gsm_upper, shape):
    """One set of true values from uniform priors (the present sizes redrawn
    until above the founding ones), with the mutation process."""
    while True:
        values = {k: float(rng.uniform(lo, hi)) for k, (lo, hi) in priors.items()}
        if (values["PopSizePreTha"] > values["PopSizeOriTha"]
                and values["PopSizePreSue"] > values["PopSizeOriSue"]):
            break
    p = float(rng.uniform(0, gsm_upper)) if gsm == "prior" else gsm
    return values, p, shape


def simulate_truth(msprime, models, name, args, program, template, settings, priors, work):
    """SETS data sets of one truth: writes NAME.observed.tsv (the program's
    statistics of each, one line a set) and returns the true values."""
    import numpy as np
    gsm, shape = TRUTHS[name]
    rng = np.random.default_rng(args.seed + 1000 * list(TRUTHS).index(name))
    n_sue, n_tha = int(settings["NUMBER_OF_SUE_LINES"]), int(settings["NUMBER_OF_THA_LINES"])
    loci, alpha = int(settings["NUMBER_OF_LOCI"]), float(settings["ALPHA"])
    truths, lines, header = [], [], None
    data_path = os.path.join(work, "ms-data.txt")
    for _ in range(args.sets):
        values, p, shape_here = draw_truth(rng, priors, gsm, args.gsm_upper, shape)
        data = mf.simulate_data_set(msprime, models, values, alpha, n_sue, n_tha, loci, rng,
                                    gsm_p=p, rate_shape=shape_here)
        mf.write_data_file(data_path, data, n_sue, n_tha)
        got = mf.observed_statistics(program, template, {}, data_path, work)
        header = header or list(got)
        lines.append("\t".join(repr(got[k]) for k in header))
        truths.append(dict(values, GsmP=p))
    with open(os.path.join(work, name + ".observed.tsv"), "w") as f:
        f.write("\t".join(header) + "\n" + "\n".join(lines) + "\n")
    return truths


def model_settings(name, args):
    if name == "gsm":
        return {"GSM_P_LOWER": 0, "GSM_P_UPPER": args.gsm_upper}
    if name == "rates":
        return {"LOCUS_RATE_SHAPE": 2}
    return {}


def model_known(name, program, template, work):
    if name == "gsm":
        return mf.key_known(program, template, {}, "GSM_P_UPPER", "0.99", work)
    if name == "rates":
        return mf.key_known(program, template, {}, "LOCUS_RATE_SHAPE", "-1", work)
    return True


def make_table(name, args, program, template, work):
    params = os.path.join(work, name + "-params.txt")
    s = dict(model_settings(name, args), REPEATS=args.rows, OUTFILE_NAME=name + "-results.txt")
    with open(params, "w") as f:
        f.write(mf.parameter_file(template, s))
    table = os.path.join(work, name + ".tsv")
    subprocess.run([program, "--seed", str(args.seed), "--threads", str(args.threads),
                    "--table", table, params], cwd=work, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return table


def forest_estimates(summary, table, observed, args):
    """{(point, column): row} of the forest's estimates of every line."""
    out = subprocess.run([summary, "--table", table, "--observed", observed, "--tsv",
                          "--trees", str(args.trees), "--threads", str(args.threads),
                          "--seed", str(args.seed)], check=True, capture_output=True,
                         text=True).stdout.splitlines()
    header = out[0].split("\t")
    rows = {}
    for line in out[1:]:
        row = dict(zip(header, line.split("\t")))
        rows[(int(row["point"]), row["column"])] = row
    return rows


def gfit_flags(summary, table, observed, args, work, stats=None, check="--gfit"):
    """The p-value of the goodness-of-fit test (or with check="--fit-check"
    the fit check) of each line of `observed`, on the statistics `stats` (a
    list) or the program's default ones."""
    with open(observed) as f:
        lines = f.read().splitlines()
    probe = os.path.join(work, "gfit.tsv")
    for suffix in ("", ".priors.tsv"):
        if os.path.lexists(probe + suffix):
            os.remove(probe + suffix)
        os.symlink(table + suffix, probe + suffix)
    pvalues = []
    for line in lines[1:]:
        with open(probe + ".observed.tsv", "w") as f:
            f.write(lines[0] + "\n" + line + "\n")
        command = [summary, "--table", probe, check, str(args.gfit), "--tsv",
                   "--seed", str(args.seed)]
        if stats:
            command += ["--stats", ",".join(stats)]
        out = subprocess.run(command, check=True, capture_output=True,
                             text=True).stdout.splitlines()
        row = dict(zip(out[0].split("\t"), out[1].split("\t")))
        pvalues.append(float(row["p_value"]))
    return pvalues


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--sets", type=int, default=200)
    ap.add_argument("--rows", type=int, default=20000)
    ap.add_argument("--trees", type=int, default=500)
    ap.add_argument("--gfit", type=int, default=500, help="null simulations of --gfit")
    ap.add_argument("--gsm-upper", type=float, default=0.5, help="upper bound of P's prior")
    ap.add_argument("--threads", type=int, default=2)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--pairs", default=",".join(t + ":" + m for t, m in PAIRS),
                    help="truth:model pairs")
    ap.add_argument("--work", help="keep the files here instead of a scratch folder")
    args = ap.parse_args()

    msprime = mf.import_msprime(ROOT)
    if msprime is None:
        print("skipped: msprime cannot be imported (set FOUNDABC_PYLIB or put it in "
              "../shared/pylib)")
        return 0
    program = os.path.abspath(os.environ.get("FOUNDABC_BIN", os.path.join(ROOT, "build",
                                                                          "foundabc")))
    summary = os.path.abspath(os.environ.get("FOUNDABC_SUMMARY_BIN",
                                             os.path.join(ROOT, "build", "foundabc-summary")))
    with open(os.path.join(ROOT, "examples", "params.txt")) as f:
        template = f.read()
    settings = settings_of(template)
    if settings.get("PRIOR_DISTRIBUTION", "0") == "1":
        raise SystemExit("the priors must be natural (PRIOR_DISTRIBUTION 0)")
    priors = {k: (float(settings[v + "_LOWER"]), float(settings[v + "_UPPER"]))
              for k, v in PRIOR_KEYS.items()}
    priors_with_p = dict(priors, GsmP=(0.0, args.gsm_upper))
    work = args.work or tempfile.mkdtemp()
    os.makedirs(work, exist_ok=True)
    shutil.copy(os.path.join(ROOT, "examples", "data.txt"), os.path.join(work, "data.txt"))
    template = mf.parameter_file(template, {"DATAFILE_NAME": "data.txt"})
    pairs = [tuple(p.split(":")) for p in args.pairs.split(",")]
    started = time.time()
    try:
        models = mf.MutationModels(msprime)
        truths, tables, results = {}, {}, []
        for truth, model in pairs:
            if model not in tables:
                if not model_known(model, program, template, work):
                    print("%s: skipped, the program does not know its keys" % model)
                    tables[model] = None
                else:
                    tables[model] = make_table(model, args, program, template, work)
            if tables[model] is None:
                continue
            if truth not in truths:
                truths[truth] = simulate_truth(msprime, models, truth, args, program, template,
                                               settings, priors, work)
            observed = os.path.join(work, truth + ".observed.tsv")
            est = forest_estimates(summary, tables[model], observed, args)
            # The fit check on its default statistics and, when the table has
            # more than the core twelve, on all of them.
            pvalues = {"gfit": gfit_flags(summary, tables[model], observed, args, work)}
            with open(tables[model]) as f:
                stats = mf.statistic_columns(f.readline().rstrip("\n").split("\t"))
            if len(stats) > len(mf.STRICT_STATISTICS):
                pvalues["gfit-all-%d" % len(stats)] = gfit_flags(summary, tables[model], observed,
                                                                 args, work, stats)
            pvalues["fit-check"] = gfit_flags(summary, tables[model], observed, args, work,
                                              check="--fit-check")
            results.append((truth, model, truths[truth], est, pvalues))
            print("%s / %s done (%.0f s)" % (truth, model, time.time() - started), flush=True)
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)

    print("\n%d msprime data sets per truth, tables of %d rows, %d trees, --gfit %d; "
          "%.0f s in all" % (args.sets, args.rows, args.trees, args.gfit,
                             time.time() - started))
    print("%-10s %-7s %-14s %6s %6s %8s" % ("truth", "model", "parameter", "cov95", "cov50",
                                           "bias%"))
    for truth, model, true_values, est, pvalues in results:
        columns = sorted({c for (_, c) in est if c in priors_with_p},
                         key=list(priors_with_p).index)
        for c in columns:
            lo, hi = priors_with_p[c]
            in95 = in50 = 0
            bias = 0.0
            for i, t in enumerate(true_values):
                row = est[(i + 1, c)]
                v = t[c]
                in95 += float(row["q2.5"]) <= v <= float(row["q97.5"])
                in50 += float(row["q25"]) <= v <= float(row["q75"])
                bias += float(row["median"]) - v
            n = len(true_values)
            print("%-10s %-7s %-14s %6.3f %6.3f %+8.1f" % (truth, model, c, in95 / n, in50 / n,
                                                          100 * bias / n / (hi - lo)))
        for label, ps in pvalues.items():
            flagged = sum(p < 0.05 for p in ps)
            what = "fit check" if label == "fit-check" else "goodness of fit"
            print("%-10s %-7s %-14s %6.3f  (%s flags, p < 0.05: %d of %d)"
                  % (truth, model, label, flagged / len(ps), what, flagged, len(ps)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
