"""The program's simulator against msprime on the same founding model.

At each parameter point (the parameters held fixed by priors of relative
width 1e-6) the statistics of SETS data sets that msprime simulates, computed
by the program from their data files as it computes real data, are compared
with the statistics of the program's own reference table at that point:
  - means: z = difference / its standard error; |z| > 3 is flagged;
  - distributions: two-sample Kolmogorov-Smirnov test.
With m comparisons (statistics x points) the test fails when some |z|
exceeds the Bonferroni bound of a family-wise 1 % (3.64 for m = 36), when
more |z| exceed 3 than m agreeing comparisons exceed with probability 1 %
(each does with probability 0.0027: one for m = 36, two for m = 90), or when
some KS p-value lies below 0.01 / m.

Multi-step mutations and per-locus rates are compared only when the
program knows their keys (it rejects an out-of-range value of each);
otherwise those points are skipped with a message. Statistics are matched
by column name, so new table columns join the comparison by themselves.

usage: msprime_vs_program.py FOUNDABC [--sets N] [--rows N] [--points a,b]
                             [--seed S] [--work DIR]
Exits 77 when msprime cannot be imported.
"""

import argparse
import math
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.dont_write_bytecode = True  # no __pycache__ in the checkout
sys.path.insert(0, HERE)
import msprime_founding as mf  # noqa: E402

# The points: the six parameters, then the mutation process (step parameter P
# of multi-step mutations, shape of the per-locus rate Gamma; 0 = off), and
# ALPHA where it is not ALPHA below.
BASE = dict(My=0.005, TimeToOri=200, PopSizeOriTha=500, PopSizePreTha=5000,
            PopSizeOriSue=20, PopSizePreSue=1000)
POINTS = {
    "middle": (BASE, 0.0, 0.0),
    "old": (dict(BASE, TimeToOri=500), 0.0, 0.0),
    "young": (dict(BASE, My=0.01, TimeToOri=50, PopSizeOriSue=5, PopSizePreSue=500), 0.0, 0.0),
    "multistep": (BASE, 0.3, 0.0),
    "rates": (BASE, 0.0, 2.0),
    # Old foundings that the bench studies with many more sets.
    "old-fast": (dict(BASE, TimeToOri=500, My=0.02), 0.0, 0.0),
    "old-narrow": (dict(BASE, TimeToOri=500, PopSizeOriSue=3, PopSizePreSue=3000), 0.0, 0.0),
    "old-alpha1": (dict(BASE, TimeToOri=500), 0.0, 0.0, 1.0),
    "very-old": (dict(BASE, TimeToOri=2000, My=0.002), 0.0, 0.0),
    "very-old-narrow": (dict(BASE, TimeToOri=2000, My=0.002, PopSizeOriSue=3), 0.0, 0.0),
}
DEFAULT_POINTS = "middle,old,young,multistep,rates"
ALPHA, SUE, THA, LOCI = 0.5, 20, 30, 10


def normal_quantile(p):
    """The standard normal quantile, by bisection on erfc (p in (0, 1))."""
    lo, hi = -40.0, 40.0
    for _ in range(200):
        mid = (lo + hi) / 2
        if 0.5 * math.erfc(-mid / math.sqrt(2)) < p:
            lo = mid
        else:
            hi = mid
    return (lo + hi) / 2


def ks_two_sample(a, b):
    """The two-sample Kolmogorov-Smirnov statistic and its p-value: scipy's
    when installed, otherwise the asymptotic Kolmogorov distribution."""
    try:
        from scipy.stats import ks_2samp
        r = ks_2samp(a, b)
        return float(r.statistic), float(r.pvalue)
    except ImportError:
        pass
    a, b = sorted(a), sorted(b)
    i = j = 0
    d = 0.0
    while i < len(a) and j < len(b):
        x = min(a[i], b[j])
        while i < len(a) and a[i] == x:
            i += 1
        while j < len(b) and b[j] == x:
            j += 1
        d = max(d, abs(i / len(a) - j / len(b)))
    n = len(a) * len(b) / (len(a) + len(b))
    lam = (math.sqrt(n) + 0.12 + 0.11 / math.sqrt(n)) * d
    p = 2 * sum((-1) ** (k - 1) * math.exp(-2 * k * k * lam * lam) for k in range(1, 101))
    return d, min(1.0, max(0.0, p))


def allowance(m, p3=0.0027, level=0.01):
    """The number of |z| > 3 among m agreeing comparisons that is exceeded
    with probability below `level` (binomial, each |z| > 3 with p3)."""
    k = 0
    while True:
        tail = 1 - sum(math.comb(m, j) * p3 ** j * (1 - p3) ** (m - j) for j in range(k + 1))
        if tail < level:
            return k
        k += 1


def mean_se(xs):
    n = len(xs)
    m = sum(xs) / n
    var = sum((x - m) ** 2 for x in xs) / (n - 1) if n > 1 else 0.0
    return m, math.sqrt(var / n)


def point_settings(values, gsm_p, rate_shape, alpha):
    s = mf.narrow_priors(values)
    s.update(ALPHA=alpha, NUMBER_OF_SUE_LINES=SUE, NUMBER_OF_THA_LINES=THA,
             NUMBER_OF_LOCI=LOCI, CONDITIONAL_NUMBER_OF_ORIGINS=0,
             UNEQUAL_FOUNDING_FRACTIONS=0, EPSILON=0.1)
    if gsm_p > 0:
        s.update(GSM_P_LOWER=repr(gsm_p * (1 - 1e-6)), GSM_P_UPPER=repr(gsm_p * (1 + 1e-6)))
    if rate_shape > 0:
        s.update(LOCUS_RATE_SHAPE=repr(rate_shape))
    return s


def compare_point(msprime, models, program, template, name, work, sets, rows, seed):
    """The comparison rows of one point: (point, statistic, mean msprime, mean
    program, z, KS D, KS p), or a string saying why the point is skipped."""
    import numpy as np
    values, gsm_p, rate_shape = POINTS[name][:3]
    alpha = POINTS[name][3] if len(POINTS[name]) > 3 else ALPHA
    settings = point_settings(values, gsm_p, rate_shape, alpha)
    base = point_settings(values, 0.0, 0.0, alpha)
    if gsm_p > 0 and not mf.key_known(program, template, base, "GSM_P_UPPER", "0.99", work):
        return "skipped: the program does not know GSM_P_LOWER/GSM_P_UPPER"
    if rate_shape > 0 and not mf.key_known(program, template, base, "LOCUS_RATE_SHAPE", "-1",
                                           work):
        return "skipped: the program does not know LOCUS_RATE_SHAPE"

    # The program's reference table at the point.
    params = os.path.join(work, name + "-params.txt")
    s = dict(settings, REPEATS=rows, DATAFILE_NAME="data.txt", OUTFILE_NAME=name + "-results.txt")
    with open(params, "w") as f:
        f.write(mf.parameter_file(template, s))
    table = os.path.join(work, name + ".tsv")
    subprocess.run([program, "--seed", str(seed), "--table", table, params], cwd=work,
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    program_table = mf.read_tsv(table)
    stats = mf.statistic_columns(list(program_table.keys()))

    # msprime's data sets, their statistics computed by the program.
    rng = np.random.default_rng(seed)
    observed = {k: [] for k in stats}
    data_path = os.path.join(work, "ms-data.txt")
    for _ in range(sets):
        data = mf.simulate_data_set(msprime, models, values, alpha, SUE, THA, LOCI, rng,
                                    gsm_p=gsm_p, rate_shape=rate_shape)
        mf.write_data_file(data_path, data, SUE, THA)
        got = mf.observed_statistics(program, template, settings, data_path, work)
        for k in stats:
            observed[k].append(got.get(k))

    out = []
    for k in stats:
        if None in observed[k]:
            continue  # a table column that the observed statistics lack
        # A statistic undefined for some data sets (no variation at any
        # locus, say) is compared over the sets where it is defined.
        ours = [x for x in (float(v) for v in program_table[k]) if math.isfinite(x)]
        observed[k] = [x for x in observed[k] if math.isfinite(x)]
        if len(ours) < 2 or len(observed[k]) < 2:
            continue
        m1, se1 = mean_se(observed[k])
        m2, se2 = mean_se(ours)
        se = math.hypot(se1, se2)
        z = (m1 - m2) / se if se > 0 else (0.0 if m1 == m2 else math.inf)
        d, p = ks_two_sample(observed[k], ours)
        out.append((name, k, m1, m2, z, d, p))
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("program")
    ap.add_argument("--sets", type=int, default=200, help="msprime data sets per point")
    ap.add_argument("--rows", type=int, default=4000, help="program simulations per point")
    ap.add_argument("--points", default=DEFAULT_POINTS,
                    help="of " + ", ".join(POINTS))
    ap.add_argument("--seed", type=int, default=11)
    ap.add_argument("--work", help="keep the files here instead of a scratch folder")
    args = ap.parse_args()

    msprime = mf.import_msprime(ROOT)
    if msprime is None:
        print("skipped: msprime cannot be imported (set FOUNDABC_PYLIB or put it in "
              "../shared/pylib)")
        return 77
    program = os.path.abspath(args.program)
    with open(os.path.join(ROOT, "examples", "params.txt")) as f:
        template = f.read()
    work = args.work or tempfile.mkdtemp()
    os.makedirs(work, exist_ok=True)
    shutil.copy(os.path.join(ROOT, "examples", "data.txt"), os.path.join(work, "data.txt"))
    try:
        models = mf.MutationModels(msprime)
        rows = []
        for i, name in enumerate(args.points.split(",")):
            got = compare_point(msprime, models, program, template, name, work, args.sets,
                                args.rows, args.seed + i)
            if isinstance(got, str):
                print("%-15s %s" % (name, got))
            else:
                rows += got
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)

    m = len(rows)
    if m == 0:
        print("skipped: no point compared")
        return 77
    bound = normal_quantile(1 - 0.01 / (2 * m))
    allowed = allowance(m)
    print("%d comparisons; |z| > 3 flagged (*); fails at |z| > %.2f, more than %d |z| > 3, "
          "or KS p < %.2g" % (m, bound, allowed, 0.01 / m))
    print("%-15s %-10s %12s %12s %7s %6s %8s" % ("point", "statistic", "msprime", "program", "z",
                                                  "KS D", "KS p"))
    beyond3 = 0
    failed = False
    for name, k, m1, m2, z, d, p in rows:
        flag = ""
        if abs(z) > 3:
            beyond3 += 1
            flag = " *"
        if abs(z) > bound or p < 0.01 / m:
            failed = True
            flag += " FAIL"
        print("%-15s %-10s %12.6g %12.6g %7.2f %6.3f %8.3g%s" % (name, k, m1, m2, z, d, p, flag))
    if beyond3 > allowed:
        failed = True
    print("%d of %d |z| > 3: %s" % (beyond3, m, "FAIL" if failed else "agree"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
