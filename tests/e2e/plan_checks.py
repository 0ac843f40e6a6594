"""What the test scripts share. For the checks that run on many plan files: the plan files (those
of the cases of every case file given, written into a scratch folder, and the other files given),
tosim's listing and tosim-report's JSON of each, and the end of a check: its problems, one a line,
and the count. For the scripts of named tests: each verdict and the summary line that
tests/windows/run_suite.sh adds up."""

import json, os, shutil, subprocess, tempfile

from case_file import export_plans, parse


def json_reports(report_program, plan, *options):
    """The objects of `tosim-report --json OPTIONS PLAN`."""
    done = subprocess.run([report_program, "--json", *options, plan], check=True,
                          capture_output=True)
    return [json.loads(line) for line in done.stdout.decode("utf-8").splitlines()]


def tosim_listing(tosim, plan, listing):
    """The bytes of the listing that `tosim PLAN LISTING` writes."""
    subprocess.run([tosim, plan, listing], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   check=True)
    with open(listing, "rb") as f:
        return f.read()


def check_plan_files(arguments, problems_of, more_plans=lambda folder: []):
    """Calls problems_of(plan, folder) for every plan file of `arguments` and of
    more_plans(folder), `folder` being the scratch folder; prints the problems (the first fifty)
    and the count. Returns the exit status: 1 for a problem, or for no plan file at all."""
    folder = tempfile.mkdtemp(prefix="tosim-plans-")
    try:
        export_plans([case for path in arguments if path.endswith(".case")
                      for case in parse(path)], folder)
        plans = sorted(os.path.join(folder, f) for f in os.listdir(folder))
        plans += [a for a in arguments if not a.endswith(".case")] + more_plans(folder)
        problems = []
        for plan in plans:
            problems += [f"{os.path.basename(plan)}: {p}" for p in problems_of(plan, folder)]
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    for problem in problems[:50]:
        print(problem)
    print(f"{len(plans)} plan files, {len(problems)} problems")
    return 1 if problems or not plans else 0


class Failure(Exception):
    """A named test's failure: what differs."""


class Tally:
    """The verdicts of named tests, each printed as it comes, and the summary line
    "N passed, N failed, N skipped"."""

    def __init__(self):
        self.counts = {"PASS": 0, "FAIL": 0, "SKIP": 0}

    def record(self, verdict, name, detail=""):
        self.counts[verdict] += 1
        print(f"{verdict} {name}" + (f"\n{detail}" if detail else ""), flush=True)

    def run(self, name, skip_reason, test):
        """Records test(folder), run in an empty scratch folder of its own: PASS, or FAIL with the
        failure it raised; SKIP when there is a reason to."""
        if skip_reason:
            self.record("SKIP", name, f"  {skip_reason}")
            return
        folder = tempfile.mkdtemp(prefix="tosim-test-")
        try:
            test(folder)
            self.record("PASS", name)
        except (Failure, subprocess.SubprocessError, OSError, ValueError) as failure:
            self.record("FAIL", name, f"  {failure}")
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def summary(self):
        """Prints the summary line; returns 1 when a test failed, else 0."""
        print(f"{self.counts['PASS']} passed, {self.counts['FAIL']} failed, "
              f"{self.counts['SKIP']} skipped")
        return 1 if self.counts["FAIL"] else 0
