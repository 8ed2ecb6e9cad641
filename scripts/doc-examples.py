#!/usr/bin/env python3
"""Regenerates the example output shown in the README from the shipped example
with a fixed seed, or checks that the README still shows exactly that.

Each generated block in the README is a fenced code block directly after a
marker line `<!-- generated: NAME -->`; this script runs the programs and
makes the text of every NAME. Pictures named in the README are regenerated
with --update (they are not compared: their bytes depend on gnuplot's fonts).

usage: doc-examples.py BUILD_DIR --check    (exit 1 and a diff when they differ)
       doc-examples.py BUILD_DIR --update   (rewrite the blocks and pictures)
"""
import difflib
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SEED = "2026"


def run(cmd, cwd):
    return subprocess.run(cmd, cwd=cwd, check=True, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, text=True).stdout


def generate(build, work, pictures):
    for name in ("params.txt", "data.txt"):
        shutil.copy(os.path.join(ROOT, "examples", name), work)
    foundabc = os.path.join(build, "foundabc")
    summary = os.path.join(build, "foundabc-summary")
    out = run([foundabc, "--seed", SEED, "--table", "table.tsv.gz", "params.txt"], work)
    lines = out.splitlines()
    start = next(i for i, l in enumerate(lines) if l.startswith("S_obs_sue"))
    blocks = {"run-stdout": "\n".join(lines[start:]) + "\n"}
    with open(os.path.join(work, "results.txt")) as f:
        head = [l.rstrip() for l in f.readlines()[:7]]
    blocks["results-head"] = "\n".join(head) + "\n...\n"
    blocks["results-summary"] = run([summary, "--params", "params.txt", "results.txt"], work)
    blocks["table-estimate"] = run([summary, "--table", "table.tsv.gz"], work)
    blocks["table-cv"] = run([summary, "--table", "table.tsv.gz", "--cv", "1000", "--seed", "7"],
                             work)
    # Model choice: the plain model, k = 2 founders, and two founders of
    # shares 0.8 and 0.2, each with a seed of its own.
    with open(os.path.join(ROOT, "examples", "params.txt")) as f:
        params = f.read()
    models = {"plain": {}, "k2": {"CONDITIONAL_NUMBER_OF_ORIGINS": "2"},
              "two": {"CONDITIONAL_NUMBER_OF_ORIGINS": "2", "UNEQUAL_FOUNDING_FRACTIONS": "0.2"}}
    for seed, (name, settings) in enumerate(models.items(), start=1):
        text = re.sub(r"(?m)^REPEATS .*$", "REPEATS 10000 #", params)
        text = re.sub(r"(?m)^OUTFILE_NAME .*$", "OUTFILE_NAME %s.txt #" % name, text)
        for key, value in settings.items():
            text = re.sub(r"(?m)^%s .*$" % key, "%s %s #" % (key, value), text)
        with open(os.path.join(work, name + "-params.txt"), "w") as f:
            f.write(text)
        run([foundabc, "--seed", str(seed), "--table", name + ".tsv.gz", name + "-params.txt"], work)
    tables = [name + ".tsv.gz" for name in models]
    blocks["choose"] = run([summary, "--choose"] + tables, work)
    blocks["choose-cv"] = run([summary, "--choose"] + tables + ["--cv", "50"], work)
    blocks.update(worked_example(foundabc, summary, work))
    if pictures:
        run([summary, "--table", "table.tsv.gz", "--plot",
             os.path.join(ROOT, "docs", "table-example.png")], work)
        run([summary, "--params", "params.txt", "--plot",
             os.path.join(ROOT, "docs", "summary-example.png"), "results.txt"], work)
    return blocks


# The worked example: pseudo-observed data at known values, estimated,
# checked predictively and for fit. The commands are the README's.
POD_AT = ("My=0.01,TimeToOri=200,PopSizeOriTha=500,PopSizePreTha=5000,"
          "PopSizeOriSue=10,PopSizePreSue=1000")
POD_PARAMS = ("sed -e 's/^DATAFILE_NAME .*/DATAFILE_NAME pod.txt #/' "
              "-e 's/^OUTFILE_NAME .*/OUTFILE_NAME pod-results.txt #/' "
              "-e 's/^REPEATS .*/REPEATS 10000 #/' params.txt > pod-params.txt")


def worked_example(foundabc, summary, work):
    blocks = {"pod-simulate": run([foundabc, "--simulate-data", "pod.txt", "--seed", "7",
                                   "--at", POD_AT, "params.txt"], work)}
    subprocess.run(POD_PARAMS, shell=True, cwd=work, check=True)
    run([foundabc, "--seed", SEED, "--table", "pod.tsv.gz", "pod-params.txt"], work)
    blocks["pod-estimate"] = run([summary, "--table", "pod.tsv.gz", "--sample", "pod-post.tsv"],
                                 work)
    run([foundabc, "--seed", "1", "--from-sample", "pod-post.tsv", "--table", "ppc.tsv.gz",
         "pod-params.txt"], work)
    blocks["pod-ppc"] = run([summary, "--ppc", "ppc.tsv.gz"], work)
    blocks["pod-gfit"] = run([summary, "--table", "pod.tsv.gz", "--gfit", "100"], work)
    return blocks


MARKER = re.compile(r"^<!-- generated: ([a-z-]+) -->\n```\n(.*?)```\n", re.M | re.S)


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in ("--check", "--update"):
        sys.exit(__doc__)
    build, mode = os.path.abspath(sys.argv[1]), sys.argv[2]
    readme_path = os.path.join(ROOT, "README.md")
    with open(readme_path) as f:
        readme = f.read()
    with tempfile.TemporaryDirectory() as work:
        blocks = generate(build, work, mode == "--update")
    found = MARKER.findall(readme)
    if not found:
        sys.exit("README.md has no generated blocks")
    if mode == "--update":
        def fill(m):
            return "<!-- generated: %s -->\n```\n%s```\n" % (m.group(1), blocks[m.group(1)])
        with open(readme_path, "w") as f:
            f.write(MARKER.sub(fill, readme))
        return
    differ = False
    for name, text in found:
        if text != blocks[name]:
            differ = True
            sys.stdout.writelines(difflib.unified_diff(
                text.splitlines(True), blocks[name].splitlines(True),
                "README.md (" + name + ")", "generated"))
    if differ:
        sys.exit("README.md differs from the example's output; "
                 "run: python3 scripts/doc-examples.py build --update")


if __name__ == "__main__":
    main()
