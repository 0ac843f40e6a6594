#!/usr/bin/env python3
"""tosim's peak resident memory does not grow with its input: `tosim PLAN LISTING` on a generated
plan file of more than 100 MB with lines of every kind, and on one plan line of more than 50 MB,
peaks at most 1 MB above its run on a one-line plan file (GNU time's %M, measured on a child it
forks itself: a child of this script would count Python's memory too). Every run must end with
status 0 and a listing that ends with the last frame written below, so the whole file was read.

`tosim-report --json` runs on the same files, its output through a pipe: the many lines within
1 MB of its one-line peak; the long line, whose lists it prints, must finish.
`tosim-report --json --protocols` runs on the one-line file and the many lines too, with the same
bound: the protocol lab's tables do not grow with the file either.

Usage: memory_bound.py TOSIM TOSIM_REPORT
"""
import os, shutil, subprocess, sys, tempfile

MB = 1 << 20
TIME = "/usr/bin/time"
# The keys "isolation" and "conflicts" of a plan in which no two transactions touch the same item.
ISOLATED = (b'"isolation":{"level":"serializable","anomalies":[],"phenomena":[],"dsg":[]},'
            b'"conflicts":[]}\n')
# The ends of tosim-report's last JSON object: `executed` and `to_order`, then the rest, for a
# plan without warnings, up to its trace, and its isolation.
REPORT_END = (b',"cascading":[],"without_thomas":{"committed":[%s],"aborted":[]},'
              b'"conflict_serializable":true,"conflict_order":[%s],"conflict_cycle":null,'
              b'"view_serializable":true,"view_order":[%s],"recoverable":true,"cascadeless":true,'
              b'"strict":true,"edges":[],"warnings":[],"active":[],"reads_from":[],"trace":[%s],' +
              ISOLATED)
# The trace of a begin of T1 that received timestamp %d, and of the commit of T1 at position %d.
BEGIN_T1 = (b'{"position":2,"op":"T1","t":1,"decision":"begun","ts":null,"ts_lect":null,'
            b'"ts_escr":null,"rule":"begin","why":"T1 empieza: el contador le da la marca de tiempo '
            b'siguiente, TS(T1)=%d"}')
COMMIT_T1 = (b'{"position":%d,"op":"C1","t":1,"decision":"committed","ts":null,"ts_lect":null,'
             b'"ts_escr":null,"rule":"commit","why":"T1 est\xc3\xa1 activa, as\xc3\xad que se valida: '
             b'validar no comprueba nada m\xc3\xa1s"}')
# The end of the key "protocols", the last of the object, whose last protocol is si: for a plan
# without operations; and for «P9; T1; C1», whose commit si explains after validating.
EMPTY_RUN = (b'"si":{"steps":[],"history":[],"committed":[],"aborted":[],"waiting":[],"active":[],'
             b'"deadlocks":[],"unrecoverable":[],"order":[]}}}\n')
T1_C1_RUN = (b'"si":{"steps":[{"op":"T1","result":"executed","delayed":false,"waited_for":[],'
             b'"from":null,"wounded":[],"why":"T1 empieza con TS(T1)=%d"},{"op":"C1",'
             b'"result":"executed","delayed":false,"waited_for":[],"from":null,"wounded":[],'
             b'"why":"ninguna transacci\xc3\xb3n validada desde que T1 empez\xc3\xb3 escribi\xc3\xb3 '
             b'algo que T1 escribi\xc3\xb3: T1 se valida y sus escrituras entran en la historia"}],'
             b'"history":["C1"],"committed":[1],"aborted":[],"waiting":[],"active":[],'
             b'"deadlocks":[],"unrecoverable":[],"order":[1]}}}\n')


ONE_LINE = (b"P1\r\n", b"Iniciar P1\tplan P1 iniciado\r\nfin Plan\r\n\r\n\r\n",
            b'"executed":[],"to_order":[]' + REPORT_END % (b"", b"", b"", b""), EMPTY_RUN)
# Plans with conflicts, every line end, syntax errors, lines that are not plans, long stretches
# the reader skips, bytes above 127; then a last line whose frame ends the listing.
MANY_LINES = (b"P1; T1; T2; R1(A); R2(B); W2(B); W1(A); C1; C2\r\n"
              b"p2 : t1 : t3 : w3(a) : r1(a) : w1 ( b : c3\nP3;T1;X;;C1\r\r\nT1; C1\r\n\tP1\n"
              b"P4; T1 " + b"text the reader skips " * 40 + b"; A1\r\n" + b" " * 200 +
              b"P5; T11; R0(A); W1; R1(); C1\r\nP6; " + bytes(range(128, 256)) + b"; T2; T2\r\n\n\r")
MANY_SIZE = 100 * MB
# Each copy of MANY_LINES begins seven transactions: two in P1, two in p2, one each in P3, P4 and
# P6 (T11 is out of range, the second T2 of P6 is refused); the counter runs on into P9.
MANY_BEGINS = 7 * -(-MANY_SIZE // len(MANY_LINES))
MANY_END = (b"P9; T1; C1\r\n",
            b"Iniciar P9\tplan P9 iniciado\r\nIniciar T1\tiniciada\r\nValidar T1\tvalidada\r\n"
            b"fin Plan\r\n\r\n\r\n",
            b'"executed":[],"to_order":[1]' + REPORT_END % (
                b"1", b"1", b"1", BEGIN_T1 % (MANY_BEGINS + 1) + b"," + COMMIT_T1 % 3))
MANY_END += (T1_C1_RUN % (MANY_BEGINS + 1),)
# One line: pieces of every kind that leave the line going (an illegal operation leaves its trace
# line open), then a commit.
LONG_PIECE = b"R1(A); Q; W1(B; T1 " + b"skipped " * 12 + b"; t2; " + b" " * 40 + b"R3(C);:"
# Its report ends with the trace of the commit, after the line's other operations: "P1", "T1",
# then 7 a piece. T1 is never aborted; T1 reads A and writes B, T3 reads C.
LONG_SIZE = 50 * MB
LONG_END = (b"C1\r\n", b"Validar T1\tvalidada\r\nfin Plan\r\n\r\n\r\n",
            COMMIT_T1 % (3 + 7 * -(-LONG_SIZE // len(LONG_PIECE))) + b"]," + ISOLATED)


def peak_kb(tosim, folder, head, piece, size, end, report_tool):
    """The peaks of tosim and tosim-report on head, `piece` up to `size` bytes and end[0]; the
    listing must end with end[1], the report with end[2], and, when there is an end[3], the
    report with --protocols with that (its peak is the third value)."""
    plan, listing, report = (os.path.join(folder, n) for n in ("plan.txt", "plan.lst", "peak"))
    with open(plan, "wb") as f:
        f.write(head + (piece * -(-size // len(piece)) if piece else b"") + end[0])
    report_peak = report_peak_kb(report_tool, plan, report, end[2])
    lab_peak = (report_peak_kb(report_tool, plan, report, end[3], ["--protocols"])
                if len(end) > 3 else None)
    status = subprocess.run([TIME, "-f", "%M", "-o", report, tosim, plan, listing], cwd=folder,
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL).returncode
    with open(listing, "rb") as f:
        if status != 0 or not f.read().endswith(end[1]):
            raise SystemExit(f"FAIL: status {status}, or the listing does not end with {end[1]!r}")
    with open(report) as f:
        return int(f.read().split()[-1]), report_peak, lab_peak


def report_peak_kb(tool, plan, report, expected_tail, options=()):
    """The peak of `tool --json plan`, whose output, read through a pipe, must end so."""
    child = subprocess.Popen([TIME, "-f", "%M", "-o", report, tool, "--json", *options, plan],
                             stdout=subprocess.PIPE)
    tail = b""
    while chunk := child.stdout.read(MB):
        tail = (tail + chunk)[-len(expected_tail):]
    if child.wait() != 0 or tail != expected_tail:
        raise SystemExit(f"FAIL: tosim-report: status {child.returncode}, output ends {tail!r}")
    with open(report) as f:
        return int(f.read().split()[-1])


def main():
    tosim = os.path.abspath(sys.argv[1])
    tool = os.path.abspath(sys.argv[2])
    if not os.access(TIME, os.X_OK):
        print(f"SKIP: {TIME} (GNU time) is not installed")
        return 77
    folder = tempfile.mkdtemp(prefix="tosim-memory-")
    try:
        base = peak_kb(tosim, folder, b"", b"", 0, ONE_LINE, tool)
        peaks = {"many lines": peak_kb(tosim, folder, b"", MANY_LINES, MANY_SIZE, MANY_END, tool),
                 "one long line": peak_kb(tosim, folder, b"P1; T1; ", LONG_PIECE, LONG_SIZE,
                                          LONG_END, tool)}
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    print(f"one line: peak {base[0]} kB; " + "; ".join(f"{name}: {peak[0] - base[0]:+} kB"
                                                        for name, peak in peaks.items()))
    failed = max(peak[0] for peak in peaks.values()) > base[0] + 1024
    # The long line's report prints every accepted read and write: only the many lines count.
    many, long = peaks["many lines"][1], peaks["one long line"][1]
    print(f"tosim-report: one line: peak {base[1]} kB; many lines: {many - base[1]:+} kB; "
          f"one long line: {long} kB")
    failed |= many > base[1] + 1024
    lab = peaks["many lines"][2]
    print(f"tosim-report --protocols: one line: peak {base[2]} kB; many lines: "
          f"{lab - base[2]:+} kB")
    failed |= lab > base[2] + 1024
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
