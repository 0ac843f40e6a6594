#!/usr/bin/env python3
"""Checks that tosim's peak resident memory does not grow with its input.

Runs `tosim PLAN LISTING` (standard input /dev/null, standard output /dev/null) three times:
on a one-line plan file, on a generated plan file of more than 100 MB with many lines, and on a
plan file that is a single line of more than 50 MB. The peak resident set size of each run is
measured by GNU time (/usr/bin/time -f %M); the two large runs may exceed the one-line run by at
most 1 MB. Each run
must end with status 0 and a listing whose last frame is the one written below by hand, so that
the whole file was read.

The files are generated into a temporary directory, which is removed afterwards.

With TOSIM_REPORT, `tosim-report --json` runs on the same files (output through a pipe): the
many lines within 1 MB of its one-line peak; the long line, whose lists it prints, must finish.

Usage: memory_bound.py TOSIM [TOSIM_REPORT]
"""

import os
import shutil
import subprocess
import sys
import tempfile

MB = 1 << 20
# GNU time measures the peak of a child that it forks itself. A child forked by this script
# would not do: the peak the kernel reports for a process counts the memory it had before exec,
# here all of Python's.
TIME = "/usr/bin/time"
ALLOWED_GROWTH_KB = 1024  # ru_maxrss is in kilobytes on Linux

# The one-line plan file and its whole trace.
ONE_LINE = b"P1; T1; R1(A); W1(A); C1\r\n"
ONE_LINE_TRACE = (b"Iniciar P1\tplan P1 iniciado\r\n"
                  b"Iniciar T1\tiniciada\r\n"
                  b"T1_Read(A)\tT1 lee de elemento \"A\"\tTStamp T1=1 TS_lect_A=1 TS_escr_A=0\r\n"
                  b"T1_Write(A)\tT1 escribe en \"A\"\tTStamp T1=1 TS_lect_A=1 TS_escr_A=1\r\n"
                  b"Validar T1\tvalidada\r\n"
                  b"fin Plan\r\n\r\n\r\n")

# Lines of every kind for the large file: plans with conflicts, every line end, syntax errors,
# lines that are not plans, long stretches the reader skips, bytes above 127.
MANY_LINES = [
    b"P1; T1; T2; R1(A); R2(B); W2(B); W1(A); C1; C2\r\n",
    b"p2 : t1 : t3 : w3(a) : r1(a) : w1 ( b : c3\n",
    b"P3;T1;X;;C1\r",
    b"\r\n",
    b"T1; C1\r\n",
    b"\tP1\n",
    b"P4; T1 " + b"text the reader skips " * 40 + b"; A1\r\n",
    b" " * 200 + b"P5; T11; R0(A); W1; R1(); C1\r\n",
    b"P6; " + bytes(range(128, 256)) + b"; T2; T2\r\n",
    b"\n\r",
]
# The last line of the large file and the last frame of its trace.
LAST_LINE = b"P9; T1; C1\r\n"
LAST_FRAME = (b"Iniciar P9\tplan P9 iniciado\r\n"
              b"Iniciar T1\tiniciada\r\n"
              b"Validar T1\tvalidada\r\n"
              b"fin Plan\r\n\r\n\r\n")

# The single long line: a plan start, then pieces of every kind that leave the line going (an
# illegal operation leaves its trace line open), then a commit.
LONG_LINE_START = b"P1; T1; "
LONG_LINE_PIECE = (b"R1(A); Q; W1(B; T1 " + b"skipped " * 12 + b"; t2; " + b" " * 40 +
                   b"R3(C);:")
LONG_LINE_END = b"C1\r\n"
LONG_LINE_LAST_FRAME = b"Validar T1\tvalidada\r\nfin Plan\r\n\r\n\r\n"

# The ends of the report's last JSON objects for the three files.
REPORT_END = (b',"cascading":[],"without_thomas":{"committed":[1],"aborted":[]},'
              b'"conflict_serializable":true,"conflict_order":[%s],"conflict_cycle":null,'
              b'"view_serializable":true,"view_order":[%s],"recoverable":true,"cascadeless":true,'
              b'"strict":true,"edges":[]}\n')
ONE_LINE_REPORT_END = b'"executed":["R1(A)","W1(A)"],"to_order":[1]' + REPORT_END % (b"1", b"1")
LAST_REPORT_END = b'"executed":[],"to_order":[1]' + REPORT_END % (b"1", b"1")
LONG_LINE_REPORT_END = b'"W1(B)"],"to_order":[1,2]' + REPORT_END % (b"1,2,3", b"1,2,3")


def write_repeated(path, pieces, size, head=b"", tail=b""):
    """Writes head, then the pieces over and over until `size` bytes are reached, then tail."""
    block = b"".join(pieces)
    block = block * max(1, MB // len(block))
    written = 0
    with open(path, "wb") as f:
        f.write(head)
        while written < size:
            f.write(block)
            written += len(block)
        f.write(tail)
    return os.path.getsize(path)


def peak_kb(tosim, folder, plan, expected_tail):
    """Runs tosim on `plan` and returns its peak resident set size in kilobytes."""
    listing = os.path.join(folder, "plan.lst")
    report = os.path.join(folder, "peak.txt")
    with open(os.devnull, "rb") as stdin, open(os.devnull, "wb") as stdout:
        status = subprocess.run([TIME, "-f", "%M", "-o", report, tosim, plan, listing],
                                cwd=folder, stdin=stdin, stdout=stdout, timeout=120).returncode
    if status != 0:
        raise SystemExit(f"FAIL: {os.path.basename(plan)}: exit status {status}")
    with open(listing, "rb") as f:
        f.seek(max(0, os.path.getsize(listing) - len(expected_tail)))
        if f.read() != expected_tail:
            raise SystemExit(f"FAIL: {os.path.basename(plan)}: the listing does not end with "
                             f"{expected_tail!r}")
    os.remove(listing)
    with open(report) as f:
        return int(f.read().split()[-1])


def report_peak_kb(report, folder, plan, expected_tail):
    """Runs tosim-report --json on `plan`, its output in a pipe; returns its peak in kilobytes."""
    peak = os.path.join(folder, "peak.txt")
    child = subprocess.Popen([TIME, "-f", "%M", "-o", peak, report, "--json", plan],
                             stdout=subprocess.PIPE)
    tail = b""
    while chunk := child.stdout.read(MB):
        tail = (tail + chunk)[-len(expected_tail):]
    if child.wait(timeout=300) != 0 or tail != expected_tail:
        raise SystemExit(f"FAIL: report of {os.path.basename(plan)}: status {child.returncode}, "
                         f"output ends with {tail!r}")
    with open(peak) as f:
        return int(f.read().split()[-1])


def check_report(report, folder, one_line, many_lines, long_line):
    base = report_peak_kb(report, folder, one_line, ONE_LINE_REPORT_END)
    peak = report_peak_kb(report, folder, many_lines, LAST_REPORT_END)
    ok = peak <= base + ALLOWED_GROWTH_KB
    long_peak = report_peak_kb(report, folder, long_line, LONG_LINE_REPORT_END)
    print(f"report: one line: peak {base} kB; many lines: {peak} kB, {peak - base:+} kB: "
          f"{'ok' if ok else 'FAIL'}; one long line: {long_peak} kB")
    return ok


def main():
    if len(sys.argv) not in (2, 3):
        raise SystemExit(__doc__.strip().splitlines()[-1])
    tosim = os.path.abspath(sys.argv[1])
    if not os.access(TIME, os.X_OK):
        print(f"SKIP: {TIME} (GNU time) is not installed")
        return 77
    folder = tempfile.mkdtemp(prefix="tosim-memory-")
    try:
        one_line = os.path.join(folder, "one_line.txt")
        with open(one_line, "wb") as f:
            f.write(ONE_LINE)
        many_lines = os.path.join(folder, "many_lines.txt")
        many_size = write_repeated(many_lines, MANY_LINES, 100 * MB, tail=LAST_LINE)
        long_line = os.path.join(folder, "long_line.txt")
        long_size = write_repeated(long_line, [LONG_LINE_PIECE], 50 * MB, head=LONG_LINE_START,
                                   tail=LONG_LINE_END)
        assert many_size >= 100 * MB and long_size >= 50 * MB

        base = peak_kb(tosim, folder, one_line, ONE_LINE_TRACE)
        print(f"one line: peak {base} kB")
        failed = False
        for name, plan, tail, size in [("many lines", many_lines, LAST_FRAME, many_size),
                                       ("one long line", long_line, LONG_LINE_LAST_FRAME,
                                        long_size)]:
            peak = peak_kb(tosim, folder, plan, tail)
            verdict = "ok" if peak <= base + ALLOWED_GROWTH_KB else "FAIL"
            print(f"{name} ({size // MB} MB): peak {peak} kB, {peak - base:+} kB: {verdict}")
            failed |= verdict != "ok"
        if len(sys.argv) == 3:
            failed |= not check_report(os.path.abspath(sys.argv[2]), folder, one_line,
                                       many_lines, long_line)
        if failed:
            print(f"FAIL: the peak may exceed the one-line run's by {ALLOWED_GROWTH_KB} kB at most")
            return 1
        return 0
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
