#!/usr/bin/env python3
"""Runs the command blocks of the README and of the docs pages, in order, and
checks that every output they show is what the commands print.

The pages are run one after the other in one scratch folder that holds
`build/` (a link to the build folder, also put first on the PATH, so that
`build/foundabc` and `foundabc` both work) and a copy of `examples/`: the
layout of a checkout, so the commands run as the pages give them, from the
repository root. Each page starts in that folder; within a page, a block
starts in the folder where the one before it ended (a `cd` carries on).

Markers, each on the line right before a fenced block:

  ```sh                           run (with `sh -e`); a failure fails the test
  <!-- not run: REASON -->        the next ```sh block is not run; REASON is
                                  required (installs packages, runs the test
                                  suite itself, writes outside the folder)
  <!-- run with REPEATS N: REASON -->
                                  the next ```sh block is run with every
                                  parameter file of the folder (.txt files
                                  with a REPEATS line, examples/ included) cut
                                  to N repeats, and the files restored after
                                  it; no output of that block may be shown
  <!-- output -->                 the next plain ``` block is the standard
                                  output of the last block run (trailing
                                  blanks of each line are not compared)

A picture shown by a page (`![...](docs/NAME.png)` in the README,
`![...](NAME.png)` in a docs page) must be written as NAME.png by the
page's commands; --update copies it into docs/.

usage: doc-examples.py BUILD_DIR --check    (exit 1 and a diff when they differ)
       doc-examples.py BUILD_DIR --update   (rewrite the shown outputs and pictures)
"""
import difflib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# In the order they are run: later pages use the files of earlier ones.
PAGES = ["README.md", "docs/worked-example.md", "docs/files.md", "docs/runs.md", "docs/summary.md",
         "docs/table-summary.md", "docs/checking.md", "docs/model-choice.md",
         "docs/genepop.md"]

FENCE = re.compile(r"^```(\w*)\s*$")
MARKER = re.compile(r"^<!-- (not run|run with REPEATS (\d+)|output)(?:: (.*?))? -->\s*$")
PICTURE = re.compile(r"!\[[^\]]*\]\(([^)\s]+\.png)\)")


class Block:
    def __init__(self, kind, marker, start, end, text):
        self.kind, self.marker, self.start, self.end, self.text = kind, marker, start, end, text


def blocks_of(lines):
    """Fenced blocks: kind (the fence's word), the marker line before it (a
    match or None), the index of the first and one past the last text line."""
    found, i = [], 0
    while i < len(lines):
        m = FENCE.match(lines[i].strip()) if lines[i].lstrip().startswith("```") else None
        if not m:
            i += 1
            continue
        j = i + 1
        while j < len(lines) and lines[j].strip() != "```":
            j += 1
        before = lines[i - 1] if i > 0 else ""
        marker = MARKER.match(before.strip())
        found.append(Block(m.group(1), marker, i + 1, j, "".join(lines[i + 1:j])))
        i = j + 1
    return found


def cut_repeats(work, repeats):
    """Sets REPEATS in every parameter file of the folder (build/ aside);
    returns the original texts."""
    saved = {}
    for folder, subfolders, names in os.walk(work):
        subfolders[:] = [s for s in subfolders if os.path.join(folder, s) != os.path.join(work, "build")]
        for name in names:
            if not name.endswith(".txt"):
                continue
            path = os.path.join(folder, name)
            with open(path, errors="replace") as f:
                text = f.read()
            if re.search(r"(?m)^REPEATS\s", text):
                saved[path] = text
                with open(path, "w") as f:
                    f.write(re.sub(r"(?m)^REPEATS\s+\S+", "REPEATS %s" % repeats, text))
    return saved


def run_page(page, work, env, problems, outputs, pictures):
    with open(os.path.join(ROOT, page)) as f:
        lines = f.readlines()
    state = os.path.join(work, ".cwd")
    cwd, last = work, None
    ran = 0
    for b in blocks_of(lines):
        where = "%s:%d" % (page, b.start)
        kind = b.marker.group(1) if b.marker else None
        if kind == "not run" or (kind and kind.startswith("run with")):
            if not (b.marker.group(3) or "").strip():
                problems.append("%s: the marker gives no reason" % where)
        if kind == "output":
            if b.kind:
                problems.append("%s: an output block must be a plain ``` block" % where)
            if last is None:
                problems.append("%s: an output with no command block run before it" % where)
                continue
            if last.marker and last.marker.group(1).startswith("run with"):
                problems.append("%s: shows the output of a block run with fewer repeats" % where)
            outputs.append((page, b, last_stdout))
            last = None
            continue
        if b.kind != "sh" or kind == "not run":
            continue
        saved = cut_repeats(work, b.marker.group(2)) if kind and kind.startswith("run with") else {}
        script = 'cd "%s"\n%s\npwd > "%s"\n' % (cwd, b.text, state)
        began = time.time()
        done = subprocess.run(["sh", "-e", "-c", script], cwd=work, env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        for path, text in saved.items():
            with open(path, "w") as f:
                f.write(text)
        ran += 1
        if done.returncode != 0:
            problems.append("%s: the block failed (status %d):\n%s%s" % (
                where, done.returncode, b.text, done.stderr))
            return
        if os.environ.get("DOC_EXAMPLES_TIMES"):
            print("%6.1fs %s" % (time.time() - began, where), file=sys.stderr)
        with open(state) as f:
            cwd = f.read().strip()
        last, last_stdout = b, done.stdout
    for m in PICTURE.finditer("".join(lines)):
        target = os.path.normpath(os.path.join(os.path.dirname(page), m.group(1)))
        made = os.path.join(work, os.path.basename(target))
        if not os.path.isfile(made) or os.path.getsize(made) == 0:
            problems.append("%s: no command of the page writes %s" % (page, os.path.basename(target)))
        else:
            pictures.append((made, os.path.join(ROOT, target)))
    if ran == 0 and page == "README.md":
        problems.append("README.md: no command block was run")


def stripped(text):
    return "".join(l.rstrip() + "\n" for l in text.splitlines())


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in ("--check", "--update"):
        sys.exit(__doc__)
    build, mode = os.path.abspath(sys.argv[1]), sys.argv[2]
    problems, outputs, pictures = [], [], []
    with tempfile.TemporaryDirectory() as work:
        os.symlink(build, os.path.join(work, "build"))
        shutil.copytree(os.path.join(ROOT, "examples"), os.path.join(work, "examples"))
        env = dict(os.environ, PATH=build + os.pathsep + os.environ.get("PATH", ""), LC_ALL="C")
        for page in PAGES:
            run_page(page, work, env, problems, outputs, pictures)
            if problems:
                break
        if mode == "--update" and not problems:
            for made, target in pictures:
                shutil.copyfile(made, target)
    if problems:
        sys.exit("\n".join(problems))
    by_page = {}
    for page, block, text in outputs:
        by_page.setdefault(page, []).append((block, stripped(text)))
    differ = False
    for page, shown in by_page.items():
        path = os.path.join(ROOT, page)
        with open(path) as f:
            lines = f.readlines()
        if mode == "--update":
            for block, text in reversed(shown):
                lines[block.start:block.end] = [text] if text else []
            with open(path, "w") as f:
                f.write("".join(lines))
            continue
        for block, text in shown:
            if stripped(block.text) != text:
                differ = True
                sys.stdout.writelines(difflib.unified_diff(
                    stripped(block.text).splitlines(True), text.splitlines(True),
                    "%s:%d (shown)" % (page, block.start), "printed"))
    if differ:
        sys.exit("the pages differ from what their commands print; after a deliberate "
                 "change run: python3 scripts/doc-examples.py build --update")


if __name__ == "__main__":
    main()
