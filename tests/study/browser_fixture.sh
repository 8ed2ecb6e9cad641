#!/bin/sh
# The report of the test fixture (StudyReport.FixtureForTheBrowser), written
# into FOLDER and checked in headless Chromium by browser_check.py, whose PDF
# and screenshot go to FOLDER-browser. Exit status 77 (skipped) without
# Chromium, its driver or Selenium.
# Usage: browser_fixture.sh FOUNDABC_TESTS FOLDER
set -e
tests=$1
folder=$2
rm -rf "$folder" "$folder-browser"
FOUNDABC_STUDY_REPORT_DIR="$folder" "$tests" --gtest_filter=StudyReport.FixtureForTheBrowser >/dev/null
exec python3 "$(dirname "$0")/browser_check.py" "$folder" --out "$folder-browser"
