#!/usr/bin/env python3
"""The key `trace` of tosim-report --json says what tosim's trace shows: for the plan files of
every end-to-end case and the example, each operation's label, decision and numbers are read back
from tosim's own listing (its wording, which the page never reads) and compared with the entry.
The listing is matched to the entries by structure alone, as the page does: a plan file line's
frame is its non-empty lines and the empty ones after them; each plan in it starts with its plan
start line, every entry but an illegal operation ends a line, and "fin Plan" ends the frame.

Usage: trace_data.py TOSIM TOSIM_REPORT CASE_FILE... [PLAN_FILE...]
"""
import os, re, sys

sys.dont_write_bytecode = True  # no __pycache__ beside the cases
from plan_checks import check_plan_files, json_reports, tosim_listing

LABEL = re.compile(r"(Iniciar T|Validar T|Abortar T|T)(-?\d+)(?:_(Read|Write)\((.)\))?$")
STATUS = re.compile(r"TStamp T-?\d+=(-?\d+) TS_lect_.=(-?\d+) TS_escr_.=(-?\d+)$")
# The decision texts of tosim's trace, by what they mean.
DECISIONS = [("ERR:", "error"), ("iniciada", "begun"), ("validada", "committed"),
             ("abortada al leer", "rejected"), ("abortada", "aborted"), ("lee de elemento", "executed"),
             ("escribe en", "executed"), ("no escribe", "skipped")]


def op_of(label):
    """The report's label of a trace label: "T1_Read(A)" is "R1(A)", "Validar T1" is "C1"."""
    match = LABEL.search(label)
    if not match:
        return None
    kind, number, access, item = match.groups()
    if access:
        return f"{access[0]}{number}({item})"
    return {"Iniciar T": "T", "Validar T": "C", "Abortar T": "A"}[kind] + number


def decision_of(text):
    return next(meaning for start, meaning in DECISIONS
                if text.startswith(start) or (start[0] != "E" and f" {start}" in f" {text}"))


def frames(listing):
    lines = listing.split("\r\n")[:-1]
    result, frame = [], []
    for i, line in enumerate(lines):
        frame.append(line)
        if line == "" and (i + 1 == len(lines) or lines[i + 1] != ""):
            result.append([l for l in frame if l])
            frame = []
    return result


def problems_of(listing, reports):
    problems = []
    by_line = {}
    for report in reports:
        by_line.setdefault(report["line"], []).append(report)
    for number, frame in enumerate(frames(listing), 1):
        at = 0
        for report in by_line.get(number, []):
            if report["plan"] is None:
                continue
            at += 1  # the plan start's line
            illegal = 0
            for entry in report["trace"]:
                where = f"line {number}, plan {report['plan']}, position {entry['position']}"
                cells = frame[at].split("\t")
                if entry["rule"] == "illegal_operation":
                    illegal += 1
                    if entry["op"] is not None or entry["decision"] != "error":
                        problems.append(f"{where}: an illegal operation as {entry}")
                    continue
                label, decision = cells[illegal], cells[illegal + 1]
                status = STATUS.match(cells[illegal + 2]) if len(cells) > illegal + 2 else None
                numbers = [int(n) for n in status.groups()] if status else [None] * 3
                shown = {"op": op_of(label) if entry["op"] is not None else None,
                         "decision": decision_of(decision), "ts": numbers[0],
                         "ts_lect": numbers[1], "ts_escr": numbers[2]}
                given = {key: entry[key] for key in shown}
                if shown != given:
                    problems.append(f"{where}: the trace shows {shown}, the report says {given}")
                at += 1
                illegal = 0
        if at + 1 != len(frame) and by_line.get(number, [{}])[0].get("plan") is not None:
            problems.append(f"line {number}: {len(frame)} trace lines, {at + 1} accounted for")
    return problems


def main():
    tosim, report = sys.argv[1:3]

    def problems_of_plan(plan, folder):
        listing = tosim_listing(tosim, plan, os.path.join(folder, "listing.lst"))
        return problems_of(listing.decode("cp1252", errors="replace"), json_reports(report, plan))

    return check_plan_files(sys.argv[3:], problems_of_plan)


if __name__ == "__main__":
    sys.exit(main())
