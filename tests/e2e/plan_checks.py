"""What the checks that run on plan files share: the plan files of the checks that run on many (those of the cases
of every case file given, written into a scratch folder, and the other files given), tosim's
listing and tosim-report's JSON of each, and the end of a check: its problems, one a line, and the
count."""

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

