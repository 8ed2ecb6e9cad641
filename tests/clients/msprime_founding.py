"""The founding model of foundabc, simulated by msprime as an independent
second simulator, and the data files and statistics of its data sets.

The demography, going back in time from the present (generations; ploidy 1,
so every size is in gene copies and a pair of lines coalesces at rate 1/N per
generation, as in foundabc):
  - sue and tha each shrink exponentially from their present size to their
    founding size over the growth phase, ALPHA * TimeToOri generations;
  - each keeps its founding size from there back to TimeToOri;
  - at TimeToOri both split from one ancestral population of
    PopSizeOriSue + PopSizeOriTha.
Each locus is an independent genealogy with its own mutations (rate My per
locus and generation, or My times a Gamma(shape, mean 1) draw per locus), by
msprime's strict stepwise model or its microsatellite model with geometric
steps: with p = 0 every step is geometric with success probability m, so
m = 1 - P gives P(X = k) = (1 - P) P^(k - 1), signs equally likely.

Used by tests/clients/msprime_vs_program.py and bench/mutation_calibration.py.
"""

import gzip
import os
import shutil
import subprocess
import sys
import warnings

PARAMETERS = ("My", "TimeToOri", "PopSizeOriTha", "PopSizePreTha", "PopSizeOriSue",
              "PopSizePreSue")
STRICT_STATISTICS = ("S_sue", "S_tha", "NAL_sue", "NAL_tha", "HET_sue", "HET_tha",
                     "VAR_sue", "VAR_tha", "MGW_sue", "MGW_tha", "DM2", "FST")

# Repeat numbers lo..hi with every locus starting at the middle: far enough
# from the bounds that no data set of the priors used here reaches them (a
# mutation past a bound would be silent); every data set is checked.
LOWEST, HIGHEST = 0, 400
ROOT = (LOWEST + HIGHEST) // 2


def import_msprime(root):
    """msprime and numpy from $FOUNDABC_PYLIB or ROOT/../shared/pylib (the
    build beside the checkout), or None when they cannot be imported."""
    for path in (os.environ.get("FOUNDABC_PYLIB"),
                 os.path.join(root, "..", "shared", "pylib")):
        if path and os.path.isdir(path) and path not in sys.path:
            sys.path.insert(0, path)
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            import msprime  # noqa: F401
            import numpy  # noqa: F401
    except Exception:  # an incomplete build fails in many ways
        return None
    # tskit warns about its table views on older numpy; harmless here.
    warnings.filterwarnings("ignore", message="Immutable table views")
    return msprime


def demography(msprime, values, alpha):
    """The founding model at the six parameter values (a dict keyed by
    PARAMETERS), as an msprime.Demography with populations sue, tha, anc."""
    if not 0 < alpha <= 1:
        raise ValueError("ALPHA must lie in (0, 1]")
    import math
    T = values["TimeToOri"]
    growth_time = alpha * T
    d = msprime.Demography()
    for pop in ("Sue", "Tha"):
        present, founding = values["PopSizePre" + pop], values["PopSizeOri" + pop]
        if not present > founding:
            raise ValueError("present size must exceed the founding size")
        d.add_population(name=pop.lower(), initial_size=present,
                         growth_rate=math.log(present / founding) / growth_time)
        d.add_population_parameters_change(time=growth_time, population=pop.lower(),
                                           initial_size=founding, growth_rate=0)
    d.add_population(name="anc",
                     initial_size=values["PopSizeOriSue"] + values["PopSizeOriTha"])
    d.add_population_split(time=T, derived=["sue", "tha"], ancestral="anc")
    d.sort_events()
    return d


class MutationModels:
    """msprime mutation models by step parameter P, built once each (a
    model's matrix takes a fraction of a second to build)."""

    def __init__(self, msprime):
        import numpy as np
        self.msprime = msprime
        self.root = np.zeros(HIGHEST - LOWEST + 1)
        self.root[ROOT - LOWEST] = 1.0
        self.cache = {}

    def get(self, gsm_p):
        key = round(float(gsm_p), 12)
        if key not in self.cache:
            if len(self.cache) > 64:
                self.cache.clear()
            if key == 0:
                model = self.msprime.SMM(lo=LOWEST, hi=HIGHEST, root_distribution=self.root)
            else:
                model = self.msprime.MicrosatMutationModel(
                    s=0, u=0.5, v=0, p=0, m=1 - key, lo=LOWEST, hi=HIGHEST,
                    root_distribution=self.root)
            self.cache[key] = model
        return self.cache[key]


def simulate_data_set(msprime, models, values, alpha, n_sue, n_tha, loci, rng,
                      gsm_p=0.0, rate_shape=0.0):
    """One data set: a list of `loci` lists of n_sue + n_tha repeat numbers
    (sue first), each locus shifted so that its smallest value is 1. `rng` is
    a numpy Generator that seeds msprime and draws the per-locus rates."""
    demo = demography(msprime, values, alpha)
    model = models.get(gsm_p)
    rates = [values["My"]] * loci
    if rate_shape > 0:
        rates = [values["My"] * g for g in rng.gamma(rate_shape, 1.0 / rate_shape, size=loci)]
    trees = msprime.sim_ancestry(samples={"sue": n_sue, "tha": n_tha}, ploidy=1,
                                 demography=demo, sequence_length=1, num_replicates=loci,
                                 random_seed=int(rng.integers(1, 2**31 - 1)))
    data = []
    for tree, rate in zip(trees, rates):
        tree = msprime.sim_mutations(tree, rate=rate, model=model, discrete_genome=True,
                                     random_seed=int(rng.integers(1, 2**31 - 1)))
        # Samples are numbered in the order of the samples dict: sue, then tha.
        here = [ROOT] * (n_sue + n_tha)
        for variant in tree.variants():
            alleles = [int(a) for a in variant.alleles]
            here = [alleles[g] for g in variant.genotypes]
        if min(here) <= LOWEST or max(here) >= HIGHEST:
            raise RuntimeError("a locus reached the bound of the repeat numbers")
        low = min(here)
        data.append([v - low + 1 for v in here])
    return data


def write_data_file(path, data, n_sue, n_tha):
    """The program's data file: a header naming the lines, one locus a line."""
    with open(path, "w") as out:
        out.write("locus sue1..sue%d tha1..tha%d\n" % (n_sue, n_tha))
        for locus in data:
            out.write(" ".join(str(v) for v in locus) + "\n")


def parameter_file(template, settings):
    """The text of a parameter file: `template`'s lines with each KEY of
    `settings` set to its value (appended when the template lacks it)."""
    lines, seen = [], set()
    for line in template.splitlines():
        words = line.split()
        key = words[0].upper() if words and "#" in line else None
        if key in settings:
            line = "%s %s #" % (key, settings[key])
            seen.add(key)
        lines.append(line)
    for key, value in settings.items():
        if key not in seen:
            lines.append("%s %s #" % (key, value))
    return "\n".join(lines) + "\n"


def narrow_priors(values, width=1e-6):
    """Priors of relative width `width` around each value (the program needs
    upper > lower): in effect the parameters fixed at `values`."""
    keys = {"My": "MY", "TimeToOri": "TIME_TO_ORIGIN", "PopSizeOriTha": "POPSIZE_ORIGIN_THA",
            "PopSizePreTha": "POPSIZE_PRESENT_THA", "PopSizeOriSue": "POPSIZE_ORIGIN_SUE",
            "PopSizePreSue": "POPSIZE_PRESENT_SUE"}
    out = {"PRIOR_DISTRIBUTION": 0}
    for name, key in keys.items():
        out[key + "_LOWER"] = repr(values[name] * (1 - width))
        out[key + "_UPPER"] = repr(values[name] * (1 + width))
    return out


def read_tsv(path):
    """A tab-separated file with a header (plain or .gz; lines starting with
    '#' skipped) as a dict of column name to list of strings."""
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rt") as f:
        rows = [line.rstrip("\n").split("\t") for line in f if not line.startswith("#")]
    header = rows[0]
    return {name: [r[i] for r in rows[1:]] for i, name in enumerate(header)}


def statistic_columns(header):
    """The statistics of a reference table, by its header: the columns after
    the estimated parameters, up to the distance DS (so that columns added
    later are picked up by name)."""
    start = header.index("S_sue")
    end = header.index("DS") if "DS" in header else len(header)
    return header[start:end]


def observed_statistics(program, template, settings, data_path, work):
    """The statistics the program computes of the data file `data_path`, as
    it does of real data: a one-repeat run whose reference table writes the
    observed statistics beside it. Returns a dict of name to float."""
    params = os.path.join(work, "obs-params.txt")
    table = os.path.join(work, "obs-table.tsv")
    s = dict(settings)
    s.update({"DATAFILE_NAME": os.path.basename(data_path), "OUTFILE_NAME": "obs-results.txt",
              "REPEATS": 1})
    with open(params, "w") as f:
        f.write(parameter_file(template, s))
    if os.path.dirname(os.path.abspath(data_path)) != os.path.abspath(work):
        shutil.copy(data_path, os.path.join(work, os.path.basename(data_path)))
    subprocess.run([program, "--seed", "1", "--table", table, params], cwd=work, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    observed = read_tsv(table + ".observed.tsv")
    for suffix in ("", ".observed.tsv", ".priors.tsv"):
        if os.path.exists(table + suffix):
            os.remove(table + suffix)
    results = os.path.join(work, "obs-results.txt")
    if os.path.exists(results):
        os.remove(results)
    return {k: float(v[0]) for k, v in observed.items()}


def program_accepts(program, template, settings, work):
    """Whether `foundabc --check` accepts a parameter file with `settings`
    (for keys that older builds do not know)."""
    params = os.path.join(work, "check-params.txt")
    with open(params, "w") as f:
        f.write(parameter_file(template, settings))
    return subprocess.run([program, "--check", params], cwd=work, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def key_known(program, template, settings, key, bad, work):
    """Whether the program knows `key`: it accepts `settings` and refuses
    them with the out-of-range value `bad` of `key` (a program that ignores
    unknown keys accepts both)."""
    return (program_accepts(program, template, settings, work)
            and not program_accepts(program, template, dict(settings, **{key: bad}), work))
