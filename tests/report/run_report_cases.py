#!/usr/bin/env python3
"""Runs tosim-report on .case files: "=== name", then sections "--- KEY [VALUE]": args ARGS,
plan (plan.txt: lines end in LF unless they end in \\c; \\r \\n \\t \\xNN), setup (shell lines),
hold FILE (flock), full (stdout is /dev/full), stdout and stderr (exact), stdout-has TEXT,
status N (default 0). --windows skips hold and full, which are not the system's under wine.
Usage: run_report_cases.py [--windows] PROGRAM FILE.case...   (PROGRAM may be "wine X.exe")
"""
import fcntl, os, re, shlex, subprocess, sys, tempfile

ESCAPES = {b"r": b"\r", b"n": b"\n", b"t": b"\t", b"c": b""}


def unescape(line):
    raw = re.sub(rb"\\(x..|.)", lambda m: bytes([int(m[1][1:], 16)]) if len(m[1]) == 3
                 else ESCAPES.get(m[1], m[1]), line)
    return raw if line.endswith(b"\\c") else raw + b"\n"


def cases(path):
    found = []
    for line in open(path, "rb").read().split(b"\n")[:-1]:
        if line.startswith(b"=== "):
            found.append({"name": line[4:].decode(), "stdout": b"", "stderr": b"", "status": "0"})
        elif line.startswith(b"--- "):
            section, _, value = line[4:].decode().partition(" ")
            found[-1][section] = value or b""
        elif found and not line.startswith(b"#"):
            found[-1][section] += unescape(line) if section == "plan" else line + b"\n"
    return found


def run(program, case):
    with tempfile.TemporaryDirectory() as folder:
        if "plan" in case:
            open(os.path.join(folder, "plan.txt"), "wb").write(case["plan"])
        if "setup" in case:
            subprocess.run(case["setup"], shell=True, cwd=folder, check=True)
        if "hold" in case:
            held = open(os.path.join(folder, case["hold"]), "rb")
            fcntl.flock(held, fcntl.LOCK_EX)
        out = open("/dev/full", "wb") if "full" in case else subprocess.PIPE
        done = subprocess.run(program + case.get("args", "").split(), cwd=folder, stdout=out,
                              stderr=subprocess.PIPE, timeout=60)
    problems = [] if done.returncode == int(case["status"]) else [f"status {done.returncode}"]
    if "stdout-has" in case:
        problems += [] if case["stdout-has"].encode() in done.stdout else ["stdout lacks text"]
    elif "full" not in case and done.stdout != case["stdout"]:
        problems.append(f"stdout\n{done.stdout.decode(errors='replace')}")
    if done.stderr != case["stderr"]:
        problems.append(f"stderr {done.stderr!r}")
    return problems


def main():
    windows = sys.argv[1] == "--windows"
    program = shlex.split(sys.argv[1 + windows])
    program[0] = os.path.abspath(program[0]) if os.path.exists(program[0]) else program[0]
    counts = [0, 0, 0]  # passed, failed, skipped
    for case in [case for path in sys.argv[2 + windows:] for case in cases(path)]:
        if windows and ("hold" in case or "full" in case):
            print(f"SKIP {case['name']}: not under wine")
            counts[2] += 1
            continue
        problems = run(program, case)
        print(("FAIL " if problems else "PASS ") + case["name"] + "".join(
            "\n  " + problem for problem in problems))
        counts[bool(problems)] += 1
    print("{} passed, {} failed, {} skipped".format(*counts))
    return 1 if counts[1] else 0


if __name__ == "__main__":
    sys.exit(main())
