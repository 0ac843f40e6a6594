#!/usr/bin/env python3
"""tosim-report --each-plan-alone traces every plan as tosim traces a file that holds that plan's
line alone: the trace inside the page of `tosim-report --html --each-plan-alone` must equal, byte
for byte, the listings tosim writes for each line of the plan file on its own, one after the
other. Without the option the page's trace must differ (the timestamps run on), so the
comparison can fail. The page's data also says which options made it. An exercise sheet is made
so by default; with --each-plan-alone=no it states each plan's counter at its start.

Usage: each_plan_alone.py TOSIM TOSIM_REPORT PLAN_FILE
"""
import json, os, re, shutil, subprocess, sys, tempfile

DATA = re.compile(rb'<script type="application/json" id="tosim-data">(.*?)</script>', re.S)


def page_data(report, folder, plans, *options):
    page = os.path.join(folder, "page.html")
    subprocess.run([report, "--html", page, *options, plans], check=True)
    with open(page, "rb") as f:
        return json.loads(DATA.search(f.read())[1])


def listing_of_line(tosim, folder, line):
    plan, listing = os.path.join(folder, "line.txt"), os.path.join(folder, "line.lst")
    with open(plan, "wb") as f:
        f.write(line)
    subprocess.run([tosim, plan, listing], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   check=True)
    with open(listing, "rb") as f:
        return f.read()


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
        if [r["timestamps"] for r in alone["reports"]][:2] != [{"1": 1, "2": 2}] * 2:
            failures.append("the first two plans' timestamps do not both start at 1")
        run_on = page_data(report, folder, plans)
        if run_on["trace"].encode("latin-1") == expected:
            failures.append("without --each-plan-alone the trace is the same: nothing is proved")
        if run_on["each_plan_alone"] is not False:
            failures.append("page data: each_plan_alone without the option")
        # An exercise sheet numbers every plan from 1 unless asked for the running counter, and
        # then says where the counter stands when each plan starts.
        sheet = page_data(report, folder, plans, "--exercises")
        if sheet["mode"] != "exercises" or sheet["labels"] != run_on["labels"]:
            failures.append("page data: --exercises")
        if sheet["trace"] != alone["trace"] or sheet["each_plan_alone"] is not True:
            failures.append("the exercise sheet does not number each plan from 1")
        starts = [c for c, r in zip(sheet["sheet"]["counters"], sheet["reports"]) if r["plan"]]
        if sheet["sheet"]["protocols"] != [] or starts != [0] * len(starts):
            failures.append(f"page data: --exercises: sheet {sheet['sheet']}")
        counted = page_data(report, folder, plans, "--exercises", "--each-plan-alone=no")
        if counted["trace"] != run_on["trace"] or counted["each_plan_alone"] is not False:
            failures.append("--each-plan-alone=no: the sheet does not run the counter on")
        begun = 0
        for n, plan in enumerate(counted["reports"]):
            if counted["sheet"]["counters"][n] != begun:
                failures.append(f"report {n}: the counter starts at "
                                f"{counted['sheet']['counters'][n]}, not {begun}")
            begun += len(plan["timestamps"])
        lab = page_data(report, folder, plans, "--exercises=wound_wait")
        if lab["sheet"]["protocols"] != ["wound_wait"] or "protocols" not in lab["reports"][0]:
            failures.append("--exercises=wound_wait: the sheet does not ask for its grid")
        every = page_data(report, folder, plans, "--exercises", "--protocols")
        if every["sheet"]["protocols"] != list(every["reports"][0]["protocols"]):
            failures.append("--exercises --protocols: the sheet does not ask for every protocol")
        last = page_data(report, folder, plans, "--exercises=si")
        if last["sheet"]["protocols"] != ["si"]:
            failures.append("--exercises=si: the sheet does not ask for the last protocol's grid")
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"PASS: {len(lines)} lines of {os.path.basename(plans)}, each as tosim runs it alone")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
