#!/usr/bin/env python3
"""What tosim-report --json writes is a perfect answer file: for the plan files of every
end-to-end case and the example, `--check` of the report's own JSON Lines marks every cell right
(the timestamps, three cells per trace entry, the eleven verdict cells, and with --protocols two
cells per step of each protocol), with timestamps running on and from 1 in every plan, and with
the protocol lab. A "no" for a "yes" to conflict serializability, the order and the cycle swapped
to go with it, is one wrong mark and two consistent ones, on every plan.

Usage: check_own_answers.py TOSIM_REPORT CASE_FILE... [PLAN_FILE...]
"""
import json, os, subprocess, sys

sys.dont_write_bytecode = True  # no __pycache__ beside the cases
from plan_checks import check_plan_files, json_reports

VERDICTS = 11  # committed, aborted, skipped_writes, 3 conflict, 2 view, 3 recoverability


def cells_of(report):
    """How many cells the report's own answers hold."""
    steps = sum(len(run["steps"]) for run in report.get("protocols", {}).values())
    return len(report["timestamps"]) + 3 * len(report["trace"]) + VERDICTS + 2 * steps


def swapped(report):
    """The answers with the conflict verdict turned round, the order and cycle following it."""
    answer = dict(report)
    if report["conflict_serializable"]:
        answer.update(conflict_serializable=False, conflict_order=None, conflict_cycle=[1, 2, 1])
    else:
        answer.update(conflict_serializable=True, conflict_order=[1, 2], conflict_cycle=None)
    return answer


def check(report_program, folder, plan, options, answers):
    path = os.path.join(folder, "answers.jsonl")
    with open(path, "w", encoding="utf-8") as f:
        f.writelines(json.dumps(a, ensure_ascii=False) + "\n" for a in answers)
    done = subprocess.run([report_program, "--json", "--check", path, *options, plan],
                          capture_output=True)
    marks = [json.loads(line) for line in done.stdout.decode("utf-8").splitlines()]
    return done.returncode, done.stderr.decode("utf-8"), marks


def problems_of(report_program, folder, plan):
    problems = []
    for options in ([], ["--each-plan-alone"], ["--protocols"]):
        reports = json_reports(report_program, plan, *options)
        checking = [o for o in options if o != "--protocols"]
        status, stderr, marks = check(report_program, folder, plan, checking, reports)
        where = f"{' '.join(options) or 'no options'}"
        if status != 0 or stderr:
            problems.append(f"{where}: status {status}: {stderr}")
        if len(marks) != len(reports):
            problems.append(f"{where}: {len(reports)} plans answered, {len(marks)} checked")
            continue
        for report, mark in zip(reports, marks):
            expected = {"line": report["line"], "plan": report["plan"],
                        "right": cells_of(report), "wrong": 0, "consistent": 0, "cells": []}
            if mark != expected:
                problems.append(f"{where}: line {report['line']}, plan {report['plan']}: {mark}")
        if options:
            continue
        status, stderr, marks = check(report_program, folder, plan, checking,
                                      [swapped(r) for r in reports])
        for report, mark in zip(reports, marks):
            counts = (mark["wrong"], mark["consistent"])
            keys = [cell["key"] for cell in mark["cells"]]
            if counts != (1, 2) or keys != ["conflict_serializable", "conflict_order",
                                            "conflict_cycle"]:
                problems.append(f"swapped verdict: line {report['line']}: {counts} {keys}")
    return problems


def main():
    report_program = sys.argv[1]
    return check_plan_files(sys.argv[2:],
                            lambda plan, folder: problems_of(report_program, folder, plan))


if __name__ == "__main__":
    sys.exit(main())
