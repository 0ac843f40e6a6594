#!/usr/bin/env python3
"""tosim-report against tosim, and the report's slowest plan on a generated worst case.

1. Side by side on the same plan file (bench/gen_plans.py, 32 MiB, seed 1 by default), in turns,
   after one warm-up run of each:

       tosim PLAN LISTING </dev/null >CONSOLE
       tosim-report --json PLAN </dev/null >REPORT

   Every figure is the median over the runs; the ratio is taken within each turn.

2. The worst case: plans of 10 transactions that write blindly to 3 items, a few reads among
   them, `--ops` operations long, generated with their own seed. Each plan is written to a file
   of its own, `--repeat` times over; tosim-report --json runs on it (the best of 3 runs) and the
   time per plan is that run's time over the number of copies, less the time of a run on a file
   holding one empty plan. The slowest of the `--plans` plans is reported.

It only reports; nothing in it fails on a timing.

With --protocols, tosim-report runs as `tosim-report --json --protocols` in both parts.

Usage: report_bench.py [--size 32M] [--runs 5] [--plans 20] [--ops 400] [--repeat 20]
                       [--protocols] [--tosim PATH] [--report PATH] [--dir DIR]
"""
import argparse
import os
import subprocess
import sys

from gen_plans import SplitMix64, parse_size
from run import GNU_TIME, MIB, REPO, log, median, remove, run


def worst_plan(rng, ops):
    """10 transactions, blind writes over three items and a few reads, then every commit."""
    parts = ["P1"] + [f"T{t}" for t in range(1, 11)]
    for _ in range(ops):
        t, x = rng.between(1, 10), rng.pick("ABC")
        parts.append(f"R{t}({x})" if rng.chance(100) else f"W{t}({x})")
    parts += [f"C{t}" for t in range(1, 11)]
    return ("; ".join(parts) + "\r\n").encode()


def side_by_side(args):
    plan = os.path.join(args.dir, f"plan-{args.size}.txt")
    outputs = [os.path.join(args.dir, name) for name in ("out.lst", "out.con", "out.jsonl")]
    listing, console, jsonl = outputs
    rss_file = os.path.join(args.dir, "rss.txt") if os.access(GNU_TIME, os.X_OK) else None
    subprocess.run([sys.executable, os.path.join(REPO, "bench", "gen_plans.py"), str(args.size),
                    plan, "--seed", "1"], check=True, stderr=subprocess.DEVNULL)
    tosim, report = [], []
    try:
        for turn in range(args.runs + 1):
            t = run([args.tosim, plan, listing], stdout_path=console, rss_file=rss_file)
            r = run([args.report, *args.options, plan], stdout_path=jsonl, rss_file=rss_file)
            if t.status != 0 or r.status != 0:
                sys.exit(f"status {t.status} (tosim), {r.status} (tosim-report)")
            sizes = os.path.getsize(console), os.path.getsize(jsonl)
            remove(*outputs)
            if turn > 0:
                tosim.append(t)
                report.append(r)
                log(f"  turn {turn}: tosim {t.wall:.3f} s, tosim-report {r.wall:.3f} s")
    finally:
        remove(plan, *outputs)
    print(f"Plan file {args.size // MIB} MiB (seed 1), median of {args.runs} turns; tosim's "
          f"console {sizes[0] / MIB:.0f} MiB and listing, the report {sizes[1] / MIB:.0f} MiB.")
    print()
    print("| program | wall s | user s | sys s | peak RSS |")
    print("|---|---|---|---|---|")
    for name, samples in (("tosim", tosim), ("tosim-report " + " ".join(args.options), report)):
        rss = [s.maxrss_kib for s in samples if s.maxrss_kib is not None]
        print(f"| {name} | {median([s.wall for s in samples]):.3f} "
              f"| {median([s.user for s in samples]):.3f} "
              f"| {median([s.system for s in samples]):.3f} "
              f"| {median(rss) / 1024 if rss else float('nan'):.1f} MiB |")
    ratio = median([r.wall / t.wall for r, t in zip(report, tosim)])
    print(f"\nRatio tosim-report / tosim: {ratio:.2f} (goal: at most 1)")


def slowest_plan(args):
    rng = SplitMix64(7)
    path = os.path.join(args.dir, "worst.txt")

    def best_of_three(data):
        with open(path, "wb") as f:
            f.write(data)
        samples = [run([args.report, *args.options, path]) for _ in range(3)]
        if any(s.status != 0 for s in samples):
            sys.exit("tosim-report failed on the worst case")
        return min(s.wall for s in samples)

    try:
        empty = best_of_three(b"P1\r\n")
        times = [(best_of_three(worst_plan(rng, args.ops) * args.repeat) - empty) / args.repeat
                 for _ in range(args.plans)]
    finally:
        remove(path)
    print(f"\nWorst case: {args.plans} plans of 10 transactions, {args.ops} blind writes and "
          f"reads over 3 items; slowest plan {max(times) * 1000:.2f} ms, median "
          f"{median(times) * 1000:.2f} ms (goal: under 10 ms)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", type=parse_size, default=parse_size("32M"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--plans", type=int, default=20)
    parser.add_argument("--ops", type=int, default=400)
    parser.add_argument("--repeat", type=int, default=20)
    parser.add_argument("--protocols", action="store_true")
    parser.add_argument("--tosim", default=os.path.join(REPO, "build", "default", "tosim"))
    parser.add_argument("--report", default=os.path.join(REPO, "build", "default",
                                                         "tosim-report"))
    parser.add_argument("--dir", default="/tmp/tosim-bench")
    args = parser.parse_args()
    args.options = ["--json", "--protocols"] if args.protocols else ["--json"]
    os.makedirs(args.dir, exist_ok=True)
    side_by_side(args)
    slowest_plan(args)


if __name__ == "__main__":
    main()
