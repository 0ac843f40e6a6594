#!/usr/bin/env python3
"""tosim-gen.exe under wine writes the same bytes as the native tosim-gen for the same arguments:
the plans, the exit status and the messages, for requests of every kind, sizes at both ends, a
student's name with an accent as the seed (it reaches the Windows program as UTF-16 and is hashed
as UTF-8), and the seed taken from the clock, which the native program repeats.

Usage: gen_same_bytes.py --wine WINE --program TOSIM_GEN_EXE --native TOSIM_GEN
"""
import argparse, os, re, subprocess, sys

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from plan_checks import Tally

RUNS = [
    ["--seed", "ana.garcia"],
    ["--seed", "ana.garcía", "--property", "thomas,no-csr"],
    ["--property", "thomas,no-csr", "--count", "30", "--seed", "curso 2026"],
    ["--property", "deadlock,wounds", "--count", "10", "--transactions", "4", "--seed", "w"],
    ["--property", "cascade,no-to-rejects", "--count", "5", "--seed", "aborts"],
    ["--property", "vsr-not-csr", "--minimal", "--count", "20", "--seed", "m"],
    ["--transactions", "10", "--items", "26", "--operations", "100", "--count", "3", "--seed", "z"],
    ["--transactions", "2", "--items", "1", "--operations", "2", "--count", "5",
     "--property", "thomas", "--seed", "x"],
    ["--property", "strict,no-cascadeless"],
    ["--count", "1001"],
]


def run(command):
    done = subprocess.run(command, capture_output=True, timeout=300)
    return done.returncode, done.stdout, done.stderr.replace(b"\r\n", b"\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--native", required=True)
    args = parser.parse_args()
    tally = Tally()

    def check(what, windows, native):
        if windows == native:
            tally.record("PASS", what)
        else:
            tally.record("FAIL", what, f"  windows: {windows!r:.300}\n  native:  {native!r:.300}")

    for arguments in RUNS:
        check("tosim-gen " + " ".join(arguments), run([args.wine, args.program, *arguments]),
              run([args.native, *arguments]))
    status, out, err = run([args.wine, args.program, "--count", "4"])
    seed = re.fullmatch(rb"tosim-gen: semilla (\d+) \(la repite --seed \1\)\n", err)
    check("the seed from the clock, printed, repeats the run natively",
          (status, out), run([args.native, "--count", "4", "--seed", seed[1].decode()])[:2]
          if seed else (None, err))
    return tally.summary()


if __name__ == "__main__":
    sys.exit(main())
