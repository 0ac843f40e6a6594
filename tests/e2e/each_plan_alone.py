#!/usr/bin/env python3
"""tosim-report --each-plan-alone traces every plan as tosim traces a file that holds that plan's
line alone: the trace inside the page of `tosim-report --html --each-plan-alone` must equal, byte
for byte, the listings tosim writes for each line of the plan file on its own, one after the
other. Without the option the page's trace must differ (the timestamps run on), so the
comparison can fail. The page's data also says which options made it, and an exercise sheet with
--protocols asks for every protocol's grid (tests/web/exercises.mjs reads the sheets themselves).

Usage: each_plan_alone.py TOSIM TOSIM_REPORT PLAN_FILE
"""
import json, os, re, shutil, subprocess, sys, tempfile

sys.dont_write_bytecode = True  # no __pycache__ beside the cases
from plan_checks import tosim_listing

DATA = re.compile(rb'<script type="application/json" id="tosim-data">(.*?)</script>', re.S)


def page_data(report, folder, plans, *options):
    page = os.path.join(folder, "page.html")
    subprocess.run([report, "--html", page, *options, plans], check=True)
    with open(page, "rb") as f:
        return json.loads(DATA.search(f.read())[1])


def listing_of_line(tosim, folder, line):
    plan = os.path.join(folder, "line.txt")
    with open(plan, "wb") as f:
        f.write(line)
    return tosim_listing(tosim, plan, os.path.join(folder, "line.lst"))


def main():
    tosim, report, plans = (os.path.abspath(a) for a in sys.argv[1:4])
    folder = tempfile.mkdtemp(prefix="tosim-alone-")
    failures = []
    try:
        with open(plans, "rb") as f:
            lines = f.read().splitlines(keepends=True)
        expected = b"".join(listing_of_line(tosim, folder, line) for line in lines)
        alone = page_data(report, folder, plans, "--each-plan-alone")
        # The page holds the trace as a string of one character a byte.
        if alone["trace"].encode("latin-1") != expected:
            failures.append("the trace of --each-plan-alone is not tosim's, line by line")
        if alone["each_plan_alone"] is not True or alone["mode"] != "report":
            failures.append(f"page data: each_plan_alone {alone['each_plan_alone']!r}, "
                            f"mode {alone['mode']!r}")
        run_on = page_data(report, folder, plans)
        if run_on["trace"].encode("latin-1") == expected:
            failures.append("without --each-plan-alone the trace is the same: nothing is proved")
        if run_on["each_plan_alone"] is not False:
            failures.append("page data: each_plan_alone without the option")
        every = page_data(report, folder, plans, "--exercises", "--protocols")
        if every["sheet"]["protocols"] != list(every["reports"][0]["protocols"]):
            failures.append("--exercises --protocols: the sheet does not ask for every protocol")
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"PASS: {len(lines)} lines of {os.path.basename(plans)}, each as tosim runs it alone")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
