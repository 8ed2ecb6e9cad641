#!/usr/bin/env python3
"""Opens a study's report.html in headless Chromium and checks it as a reader
would meet it:

- the browser logs no console error, and the page fetches nothing (no
  resource of any kind, the network being closed to it);
- every picture is drawn: an <img> has naturalWidth > 0, an inline <svg> a
  bounding box of non-zero width and height;
- every link inside the page (href="#ID") leads to an element that exists,
  and no id is given twice;
- every cell marked data-tsv="FILE" data-row="KEY" data-col="COLUMN" shows
  the text of that field of that TSV file (read as pandas and R read it);
- printed to A4 (Page.printToPDF, 8.27 x 11.69 inches), no table and no
  picture is cut across two pages: a mark is put at the top of each and at
  its bottom, and pdftotext must find both on one page (without pdftotext the
  page's print layout is measured instead: each table fits in one page's
  height and may not be broken);
- a screenshot of the first screen is saved as report-screenshot.png.

Usage: browser_check.py REPORT_DIR [--out DIR]  (DIR keeps the PDF and the
screenshot; a temporary folder otherwise). Exit status 0 when every check
passes, 1 on a failure, 77 (skipped) when Chromium, its driver or Selenium is
missing.
"""

import argparse
import base64
import csv
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
SYSTEM_PYTHON = "/usr/bin/python3"

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
except ImportError:
    # Debian's python3-selenium belongs to the system's interpreter, which may
    # not be the first python3 on the PATH.
    if os.path.exists(SYSTEM_PYTHON) and os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON) \
            and not os.environ.get("FOUNDABC_BROWSER_CHECK_REEXEC"):
        os.environ["FOUNDABC_BROWSER_CHECK_REEXEC"] = "1"
        os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON] + sys.argv)
    print("skipped: python3-selenium is not installed")
    sys.exit(SKIP)

# The leading columns whose values, joined by "/", make each TSV row's key.
KEYS = {
    "estimates.tsv": ["model", "parameter"],
    "model-choice.tsv": ["model"],
    "calibration.tsv": ["model", "parameter"],
    "fit.tsv": ["check", "model", "statistic"],
}

A4_INCHES = (8.27, 11.69)


def find(names):
    for name in names:
        path = shutil.which(name)
        if path:
            return path
    return None


def read_tsv(path, failures):
    """The rows of a TSV file by key, each a dict of column -> text."""
    name = os.path.basename(path)
    with open(path, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f, delimiter="\t", quotechar='"'))
    if not rows:
        failures.append(f"{name}: empty")
        return {}
    header, table = rows[0], {}
    for number, row in enumerate(rows[1:], start=2):
        if len(row) != len(header):
            failures.append(f"{name}:{number}: {len(row)} fields, the header has {len(header)}")
            continue
        fields = dict(zip(header, row))
        key = "/".join(fields[k] for k in KEYS[name])
        if key in table:
            failures.append(f"{name}:{number}: a second row of key {key!r}")
        table[key] = fields
    return table


def start_browser():
    chromium = find(["chromium", "chromium-browser", "google-chrome"])
    driver_path = find(["chromedriver"])
    if not chromium or not driver_path:
        print("skipped: chromium or chromedriver is not installed")
        sys.exit(SKIP)
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for flag in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                 "--allow-file-access-from-files", "--window-size=1000,1300",
                 "--hide-scrollbars",
                 # Any fetch from the network fails, and so shows in the log.
                 "--host-resolver-rules=MAP * ~NOTFOUND"]:
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    # A driver named by its path: Selenium never looks for one on the network.
    return webdriver.Chrome(service=Service(executable_path=driver_path), options=options)


MARK_JS = """
const marks = [];
document.querySelectorAll('table, figure').forEach((box, i) => {
  const cells = box.tagName === 'TABLE' ? box.querySelectorAll('th, td') : [box];
  const first = cells[0], last = cells[cells.length - 1];
  const put = (holder, text, edge) => {
    if (getComputedStyle(holder).position === 'static') holder.style.position = 'relative';
    const s = document.createElement('span');
    s.textContent = text;
    s.style.cssText = 'position:absolute;left:0;' + edge + ':0;font-size:2px;line-height:2px;color:#fff';
    holder.appendChild(s);
  };
  put(first, 'QQMARK' + i + 'START', 'top');
  put(last, 'QQMARK' + i + 'END', 'bottom');
  const caption = box.querySelector('caption, figcaption');
  marks.push(box.tagName.toLowerCase() + ' ' + (caption ? caption.textContent.slice(0, 60) : ''));
});
return marks;
"""


def check_print(driver, out, failures):
    """Prints to A4 and checks that no table or figure is cut."""
    marks = driver.execute_script(MARK_JS)
    pdf = driver.execute_cdp_cmd("Page.printToPDF", {
        "paperWidth": A4_INCHES[0], "paperHeight": A4_INCHES[1], "printBackground": True,
        "preferCSSPageSize": True})
    pdf_path = os.path.join(out, "report.pdf")
    with open(pdf_path, "wb") as f:
        f.write(base64.b64decode(pdf["data"]))
    pdftotext = find(["pdftotext"])
    if not pdftotext:
        return check_print_layout(driver, failures, "pdftotext missing")
    text = subprocess.run([pdftotext, pdf_path, "-"], capture_output=True, text=True,
                          check=True).stdout
    pages = text.split("\f")
    if pages and not pages[-1].strip():
        pages.pop()
    where = {}
    for number, page in enumerate(pages, start=1):
        for i in range(len(marks)):
            for edge in ("START", "END"):
                if f"QQMARK{i}{edge}" in page:
                    where.setdefault((i, edge), number)
    for i, what in enumerate(marks):
        start, end = where.get((i, "START")), where.get((i, "END"))
        if start is None or end is None:
            failures.append(f"print: the marks of {what!r} are not in the PDF")
        elif start != end:
            failures.append(f"print: {what!r} is cut across pages {start} and {end}")
    return f"{len(pages)} A4 pages, {len(marks)} tables and figures, checked by pdftotext"


def check_print_layout(driver, failures, why):
    """Without pdftotext: in print media, each table must fit one page's
    height and be kept from breaking."""
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"media": "print"})
    page_px = (A4_INCHES[1] - 2 * 15 / 25.4) * 96
    found = driver.execute_script("""
      return [...document.querySelectorAll('table, figure')].map(t =>
        [t.getBoundingClientRect().height, getComputedStyle(t).breakInside]);""")
    for i, (height, rule) in enumerate(found):
        if height > page_px or rule != "avoid":
            failures.append(f"print: table or figure {i} ({height:.0f} px, break-inside {rule}) "
                            "can be cut")
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"media": ""})
    return f"{len(found)} tables and figures fit one page and avoid breaks ({why})"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("report_dir")
    parser.add_argument("--out", help="folder for report.pdf and report-screenshot.png")
    args = parser.parse_args()
    report = os.path.abspath(os.path.join(args.report_dir, "report.html"))
    if not os.path.isfile(report):
        print(f"no report: {report}")
        return 1
    out = args.out or tempfile.mkdtemp(prefix="browser-check-")
    os.makedirs(out, exist_ok=True)
    failures, notes = [], []
    tables = {name: read_tsv(os.path.join(args.report_dir, name), failures) for name in KEYS}

    driver = start_browser()
    try:
        driver.get("file://" + report)
        # The first screen, for the docs.
        driver.save_screenshot(os.path.join(out, "report-screenshot.png"))

        fetched = driver.execute_script(
            "return performance.getEntriesByType('resource').map(r => r.name);")
        for name in fetched:
            failures.append(f"the page fetched {name}")

        pictures = driver.execute_script("""
          const imgs = [...document.images].map(i => ['img ' + i.src.slice(0, 60), i.complete && i.naturalWidth > 0]);
          const svgs = [...document.querySelectorAll('svg')].filter(s => !s.parentElement.closest('svg'))
            .map((s, i) => { const r = s.getBoundingClientRect();
                             return ['svg ' + i, r.width > 0 && r.height > 0]; });
          return imgs.concat(svgs);""")
        for what, drawn in pictures:
            if not drawn:
                failures.append(f"picture not drawn: {what}")
        notes.append(f"{sum(1 for _, drawn in pictures if drawn)} of {len(pictures)} pictures drawn")

        links = driver.execute_script("""
          return [...document.querySelectorAll('a[href^="#"]')].map(a => {
            const id = decodeURIComponent(a.getAttribute('href').slice(1));
            return [a.getAttribute('href'), document.getElementById(id) !== null]; });""")
        for href, exists in links:
            if not exists:
                failures.append(f"link {href} leads nowhere")
        notes.append(f"{sum(1 for _, exists in links if exists)} of {len(links)} links inside the "
                     "page lead to their targets")
        # Inline pictures keep ids of their own: a shared one would make a
        # picture clip or draw with another's parts.
        twice = driver.execute_script("""
          const seen = new Set(), twice = new Set();
          document.querySelectorAll('[id]').forEach(e => seen.has(e.id) ? twice.add(e.id) : seen.add(e.id));
          return [...twice];""")
        for name in twice:
            failures.append(f"the id {name!r} is given twice")

        cells = driver.execute_script("""
          return [...document.querySelectorAll('[data-tsv]')].map(c =>
            [c.dataset.tsv, c.dataset.row, c.dataset.col, c.textContent.trim()]);""")
        equal = 0
        for file, key, column, shown in cells:
            row = tables.get(file, {}).get(key)
            if row is None or column not in row:
                failures.append(f"{file}: no row {key!r} with column {column!r} for a shown value")
            elif row[column] != shown:
                failures.append(f"{file} {key} {column}: the page shows {shown!r}, the file holds "
                                f"{row[column]!r}")
            else:
                equal += 1
        if not cells:
            failures.append("no cell carries data-tsv")
        notes.append(f"{equal} of {len(cells)} values shown equal their TSV fields")

        notes.append(check_print(driver, out, failures))

        for entry in driver.get_log("browser"):
            if entry.get("level") == "SEVERE":
                failures.append(f"console: {entry.get('message')}")
        notes.append("no console error" if not any(f.startswith("console") for f in failures)
                     else "console errors")
    finally:
        driver.quit()

    for note in notes:
        print(note)
    for failure in failures:
        print("FAIL:", failure)
    if not args.out:
        shutil.rmtree(out, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
