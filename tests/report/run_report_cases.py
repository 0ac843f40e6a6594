#!/usr/bin/env python3
"""Runs tosim-report on the cases of .case files and compares stdout, stderr and exit status.

A case starts with "=== name"; its sections start with "--- ":
  args ARGS     the arguments, split at spaces
  plan          the bytes of plan.txt: each line followed by LF unless it ends in \\c;
                \\r \\n \\t \\\\ and \\xNN stand for their bytes
  setup         shell lines run in the case's folder first
  hold FILE     FILE is held under an exclusive lock by this runner during the run
  full          standard output is /dev/full
  stdout, stderr  the exact text (UTF-8), each line followed by LF; left out: must be empty
  stdout-has TEXT  standard output must contain TEXT
  status N      the exit status (default 0)
Usage: run_report_cases.py PROGRAM FILE.case...
"""
import fcntl, os, re, subprocess, sys, tempfile


def unescape(line):
    raw = re.sub(rb"\\(x[0-9a-fA-F]{2}|.)", lambda m: bytes([int(m[1][1:], 16)]) if m[1][:1] == b"x"
                 else {b"r": b"\r", b"n": b"\n", b"t": b"\t", b"c": b""}.get(m[1], m[1]), line)
    return raw if line.endswith(b"\\c") else raw + b"\n"


def cases(path):
    case, found = None, []
    for line in open(path, "rb").read().split(b"\n")[:-1]:
        if line.startswith(b"=== "):
            case = {"name": line[4:].decode(), "stdout": b"", "stderr": b"", "status": "0"}
            found.append(case)
        elif line.startswith(b"--- "):
            key, _, value = line[4:].decode().partition(" ")
            section = key
            case[key] = value if value else case.get(key, b"")
        elif case is not None and not line.startswith(b"#"):
            case[section] += unescape(line) if section == "plan" else line + b"\n"
    return found


def run(program, case):
    with tempfile.TemporaryDirectory() as folder:
        if "plan" in case:
            open(os.path.join(folder, "plan.txt"), "wb").write(case["plan"])
        if "setup" in case:
            subprocess.run(case["setup"], shell=True, cwd=folder, check=True)
        held = open(os.path.join(folder, case["hold"]), "rb") if "hold" in case else None
        if held:
            fcntl.flock(held, fcntl.LOCK_EX)
        out = open("/dev/full", "wb") if "full" in case else subprocess.PIPE
        done = subprocess.run([program] + case.get("args", "").split(), cwd=folder, stdout=out,
                              stderr=subprocess.PIPE, timeout=60)
        problems = []
        if done.returncode != int(case["status"]):
            problems.append(f"status {done.returncode}, expected {case['status']}")
        if "stdout-has" in case:
            if case["stdout-has"].encode() not in done.stdout:
                problems.append(f"stdout lacks {case['stdout-has']!r}: {done.stdout!r}")
        elif "full" not in case and done.stdout != case["stdout"]:
            problems.append(f"stdout\n{done.stdout.decode(errors='replace')}expected\n"
                            f"{case['stdout'].decode()}")
        if done.stderr != case["stderr"]:
            problems.append(f"stderr {done.stderr!r}, expected {case['stderr']!r}")
        return problems


def main():
    program, failed, count = os.path.abspath(sys.argv[1]), 0, 0
    for path in sys.argv[2:]:
        for case in cases(path):
            count += 1
            problems = run(program, case)
            print(("FAIL " if problems else "PASS ") + case["name"])
            for problem in problems:
                print("  " + problem)
            failed += bool(problems)
    print(f"{count - failed} passed, {failed} failed, 0 skipped")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
