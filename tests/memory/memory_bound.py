#!/usr/bin/env python3
"""tosim's peak resident memory does not grow with its input: `tosim PLAN LISTING` on a generated
plan file of more than 100 MB with lines of every kind, and on one plan line of more than 50 MB,
peaks at most 1 MB above its run on a one-line plan file (GNU time's %M, measured on a child it
forks itself: a child of this script would count Python's memory too). Every run must end with
status 0 and a listing that ends with the last frame written below, so the whole file was read.

Usage: memory_bound.py TOSIM
"""
import os, shutil, subprocess, sys, tempfile

MB = 1 << 20
TIME = "/usr/bin/time"
ONE_LINE = (b"P1\r\n", b"Iniciar P1\tplan P1 iniciado\r\nfin Plan\r\n\r\n\r\n")
# Plans with conflicts, every line end, syntax errors, lines that are not plans, long stretches
# the reader skips, bytes above 127; then a last line whose frame ends the listing.
MANY_LINES = (b"P1; T1; T2; R1(A); R2(B); W2(B); W1(A); C1; C2\r\n"
              b"p2 : t1 : t3 : w3(a) : r1(a) : w1 ( b : c3\nP3;T1;X;;C1\r\r\nT1; C1\r\n\tP1\n"
              b"P4; T1 " + b"text the reader skips " * 40 + b"; A1\r\n" + b" " * 200 +
              b"P5; T11; R0(A); W1; R1(); C1\r\nP6; " + bytes(range(128, 256)) + b"; T2; T2\r\n\n\r")
MANY_END = (b"P9; T1; C1\r\n",
            b"Iniciar P9\tplan P9 iniciado\r\nIniciar T1\tiniciada\r\nValidar T1\tvalidada\r\n"
            b"fin Plan\r\n\r\n\r\n")
# One line: pieces of every kind that leave the line going (an illegal operation leaves its trace
# line open), then a commit.
LONG_PIECE = b"R1(A); Q; W1(B; T1 " + b"skipped " * 12 + b"; t2; " + b" " * 40 + b"R3(C);:"
LONG_END = (b"C1\r\n", b"Validar T1\tvalidada\r\nfin Plan\r\n\r\n\r\n")


def peak_kb(tosim, folder, head, piece, size, end):
    """The peak of a run on head, `piece` up to `size` bytes and end[0]; the listing must end
    with end[1]."""
    plan, listing, report = (os.path.join(folder, n) for n in ("plan.txt", "plan.lst", "peak"))
    with open(plan, "wb") as f:
        f.write(head + (piece * -(-size // len(piece)) if piece else b"") + end[0])
    status = subprocess.run([TIME, "-f", "%M", "-o", report, tosim, plan, listing], cwd=folder,
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL).returncode
    with open(listing, "rb") as f:
        if status != 0 or not f.read().endswith(end[1]):
            raise SystemExit(f"FAIL: status {status}, or the listing does not end with {end[1]!r}")
    with open(report) as f:
        return int(f.read().split()[-1])


def main():
    tosim = os.path.abspath(sys.argv[1])
    if not os.access(TIME, os.X_OK):
        print(f"SKIP: {TIME} (GNU time) is not installed")
        return 77
    folder = tempfile.mkdtemp(prefix="tosim-memory-")
    try:
        base = peak_kb(tosim, folder, b"", b"", 0, ONE_LINE)
        peaks = {"many lines": peak_kb(tosim, folder, b"", MANY_LINES, 100 * MB, MANY_END),
                 "one long line": peak_kb(tosim, folder, b"P1; T1; ", LONG_PIECE, 50 * MB,
                                          LONG_END)}
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    print(f"one line: peak {base} kB; " + "; ".join(f"{name}: {peak - base:+} kB"
                                                     for name, peak in peaks.items()))
    return 1 if max(peaks.values()) > base + 1024 else 0


if __name__ == "__main__":
    sys.exit(main())
