#!/usr/bin/env python3
"""Throughput and start-up benchmark of tosim against the cost of its own input and output.

For every size a seeded plan file is generated (gen_plans.py), then each repetition runs

    tosim PLAN LISTING </dev/null >CONSOLE

and, right after it, the floor: the least work any program must do to produce the same result,
namely reading the plan with 256-byte reads and writing as many bytes as tosim wrote to the
console and to the listing, with 256-byte writes, to two new files:

    dd if=PLAN      of=/dev/null ibs=256 obs=1M
    dd if=/dev/zero of=NEW1 ibs=1M obs=256 count=CONSOLE_SIZE iflag=count_bytes
    dd if=/dev/zero of=NEW2 ibs=1M obs=256 count=LISTING_SIZE iflag=count_bytes

What the bytes are does not change what writing them costs; taking them from /dev/zero spares the
floor the reading of tosim's files (about a tenth of the floor at 256 MiB when they are read back
in 1 MiB blocks), and tosim's files are deleted first, so that the floor, like tosim, has two
files of the trace's size in the page cache and no more. The floor's two new files exist side by
side, as tosim's do. Before the measured repetitions of a size, one unmeasured run of tosim warms
up the page cache and the memory behind it: on a virtual machine the first use of memory can cost
more than the writes themselves. dd's own copying between its blocks makes the floor a few per
cent higher than the bare writes.

Every figure is the median over the repetitions; the ratio is taken within each repetition and its
median reported. Times are wall-clock; user and system CPU time come from wait4(), the peak
resident memory from GNU time. Nothing here fails on a timing: it only reports.

Start-up: the whole run on a one-line plan file, against /bin/true with the same redirections
(hyperfine when it is installed, else a timed loop).

Usage: run.py [--quick] [--sizes 1M,32M,256M] [--runs N] [--tosim PATH] [--dir DIR] [--keep]
"""

import argparse
import json
import os
import platform
import shlex
import shutil
import statistics
import subprocess
import sys
import time

from gen_plans import parse_size

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
MIB = 1 << 20
PROMPT = b"\r\nPulsar <CR> para terminar"
GNU_TIME = "/usr/bin/time"
ONE_LINE_PLAN = b"P1; T1; T2; R1(A); R2(B); W2(B); W1(A); C1; C2\r\n"


def size_label(size):
    if size % MIB == 0:
        return f"{size // MIB} MiB"
    return f"{size / MIB:.1f} MiB"


def log(text):
    print(text, file=sys.stderr, flush=True)


def remove(*paths):
    for path in paths:
        try:
            os.remove(path)
        except FileNotFoundError:
            pass


class Sample:
    """Finished child processes: wall time, CPU times, peak resident memory and exit status."""

    def __init__(self, wall, user, system, maxrss_kib=None, status=0):
        self.wall = wall
        self.user = user
        self.system = system
        self.maxrss_kib = maxrss_kib
        self.status = status

    def __add__(self, other):
        return Sample(
            self.wall + other.wall,
            self.user + other.user,
            self.system + other.system,
            None,
            self.status or other.status,
        )


def spawn(argv, stdin_path, stdout_path):
    stdin_fd = os.open(stdin_path, os.O_RDONLY)
    stdout_fd = os.open(stdout_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    try:
        actions = [(os.POSIX_SPAWN_DUP2, stdin_fd, 0), (os.POSIX_SPAWN_DUP2, stdout_fd, 1)]
        return os.posix_spawn(argv[0], argv, os.environ, file_actions=actions)
    finally:
        os.close(stdin_fd)
        os.close(stdout_fd)


def run(argv, stdout_path="/dev/null", rss_file=None):
    """Runs argv with standard input from /dev/null and measures it.

    A child's peak resident memory as wait4() reports it includes the spawning Python process,
    whose memory the child holds until its exec. With `rss_file`, argv is therefore started
    through GNU time, which forks it from a small process and writes its peak to that file; the
    wall and CPU times then include time's own share, about a millisecond.
    """
    if rss_file is not None:
        argv = [GNU_TIME, "-f", "%M", "-o", rss_file] + argv
    start = time.perf_counter()
    pid = spawn(argv, "/dev/null", stdout_path)
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    maxrss = None
    if rss_file is not None:
        with open(rss_file, encoding="ascii") as f:
            words = f.read().split()
        # GNU time puts a line about a non-zero exit status before the figure.
        maxrss = int(words[-1]) if words and words[-1].isdigit() else None
        remove(rss_file)
    return Sample(wall, usage.ru_utime, usage.ru_stime, maxrss, os.waitstatus_to_exitcode(status))


def same_prefix(console, listing):
    """True when CONSOLE is LISTING followed by the final prompt, as the program promises."""
    listing_size = os.path.getsize(listing)
    if os.path.getsize(console) != listing_size + len(PROMPT):
        return False
    cmp = subprocess.run(["cmp", "-s", "-n", str(listing_size), console, listing], check=False)
    if cmp.returncode != 0:
        return False
    with open(console, "rb") as f:
        f.seek(listing_size)
        return f.read() == PROMPT


def floor_run(dd, plan, console_size, listing_size, scratch):
    """The floor of one repetition: read the plan, write as many bytes as tosim wrote to its two
    files, in 256-byte blocks, to two new files, which then exist side by side like tosim's."""
    total = run([dd, f"if={plan}", "of=/dev/null", "ibs=256", "obs=1M", "status=none"])
    copies = [(scratch + ".1", console_size), (scratch + ".2", listing_size)]
    remove(*[name for name, _ in copies])
    for name, size in copies:
        total = total + run([dd, "if=/dev/zero", f"of={name}", "ibs=1M", "obs=256",
                             f"count={size}", "iflag=count_bytes", "status=none"])
    remove(*[name for name, _ in copies])
    return total


def median(values):
    return statistics.median(values)


def plan_path(args, size):
    return os.path.join(args.dir, f"plan-{size}-s{args.seed}.txt")


def output_paths(args):
    """The listing, the console file and the floor's scratch files, reused by every run."""
    names = ("out.lst", "out.con", "floor", "floor.1", "floor.2", "rss.txt")
    return [os.path.join(args.dir, name) for name in names]


def bench_size(args, size, dd):
    plan = plan_path(args, size)
    listing, console, scratch, _, _, rss_file = output_paths(args)
    if not os.access(GNU_TIME, os.X_OK):
        rss_file = None
    if not os.path.exists(plan):
        start = time.perf_counter()
        subprocess.run(
            [sys.executable, os.path.join(HERE, "gen_plans.py"), str(size), plan, "--seed",
             str(args.seed)],
            check=True,
            stderr=subprocess.DEVNULL,
        )
        log(f"  generated {plan} in {time.perf_counter() - start:.1f} s")
    plan_bytes = os.path.getsize(plan)
    tosim, floor = [], []
    console_bytes = trace_bytes = 0
    for rep in range(args.runs + 1):
        remove(listing, console)
        sample = run([args.tosim, plan, listing], stdout_path=console, rss_file=rss_file)
        if sample.status != 0:
            sys.exit(f"tosim ended with status {sample.status} on {plan}")
        if rep == 0 and not same_prefix(console, listing):
            sys.exit(f"the console output of {plan} is not the listing followed by the prompt")
        sizes = (os.path.getsize(console), os.path.getsize(listing))
        if rep > 0 and sizes != (console_bytes, trace_bytes):
            sys.exit(f"the output of {plan} changed size between runs")
        console_bytes, trace_bytes = sizes
        remove(listing, console)
        if rep == 0:
            # An unmeasured first run: on a virtual machine the first use of memory for the
            # page cache can cost more than the writes themselves, and the measured runs and
            # floors then reuse the memory this run has used.
            log(f"  warm-up run: tosim {sample.wall:.3f} s")
            continue
        sample_floor = floor_run(dd, plan, console_bytes, trace_bytes, scratch)
        if sample_floor.status != 0:
            sys.exit("dd failed while measuring the floor")
        tosim.append(sample)
        floor.append(sample_floor)
        log(
            f"  run {rep}/{args.runs}: tosim {sample.wall:.3f} s (user {sample.user:.3f}, "
            f"sys {sample.system:.3f}), floor {sample_floor.wall:.3f} s, ratio "
            f"{sample.wall / sample_floor.wall:.2f}"
        )
    wall = median([s.wall for s in tosim])
    rss = [s.maxrss_kib for s in tosim if s.maxrss_kib is not None]
    return {
        "size": size_label(size),
        "trace": trace_bytes,
        "wall": wall,
        "plan_rate": plan_bytes / MIB / wall,
        "trace_rate": trace_bytes / MIB / wall,
        "user": median([s.user for s in tosim]),
        "sys": median([s.system for s in tosim]),
        "rss": median(rss) / 1024 if rss else None,
        "floor": median([s.wall for s in floor]),
        "floor_user": median([s.user for s in floor]),
        "floor_sys": median([s.system for s in floor]),
        "ratio": median([t.wall / f.wall for t, f in zip(tosim, floor)]),
    }


def bench_startup(args):
    """The whole run on a one-line plan against /bin/true, both with the same redirections."""
    plan = os.path.join(args.dir, "one-line.txt")
    listing = os.path.join(args.dir, "one-line.lst")
    console = os.path.join(args.dir, "one-line.con")
    with open(plan, "wb") as f:
        f.write(ONE_LINE_PLAN)
    true = shutil.which("true") or "/bin/true"
    try:
        hyperfine = shutil.which("hyperfine")
        if hyperfine is not None:
            return startup_with_hyperfine(args, hyperfine, [args.tosim, plan, listing], true,
                                          console)
        return startup_with_loop(args, [args.tosim, plan, listing], true, console)
    finally:
        remove(plan, listing, console)


def startup_with_hyperfine(args, hyperfine, tosim, true, console):
    export = os.path.join(args.dir, "startup.json")
    try:
        subprocess.run(
            [hyperfine, "-N", "--style", "none", "--warmup", "20", "--runs",
             str(args.startup_runs), f"--output={console}", "--export-json", export,
             shlex.join(tosim), true],
            check=True,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,  # its advice about outliers
        )
        with open(export, encoding="utf-8") as f:
            results = json.load(f)["results"]
    finally:
        remove(export)
    return {
        "tool": "hyperfine",
        "runs": args.startup_runs,
        "tosim": results[0]["median"],
        "true": results[1]["median"],
        "ratio": results[0]["median"] / results[1]["median"],
        "user": results[0]["user"],
        "sys": results[0]["system"],
    }


def startup_with_loop(args, tosim, true, console):
    tosim_runs, true_runs = [], []
    for _ in range(args.startup_runs):
        sample = run(tosim, stdout_path=console)
        if sample.status != 0:
            sys.exit(f"tosim ended with status {sample.status} on the one-line plan")
        tosim_runs.append(sample)
        true_runs.append(run([true], stdout_path=console))
    tosim_wall = median([s.wall for s in tosim_runs])
    true_wall = median([s.wall for s in true_runs])
    return {
        "tool": "a timed loop",
        "runs": args.startup_runs,
        "tosim": tosim_wall,
        "true": true_wall,
        "ratio": tosim_wall / true_wall,
        "user": statistics.mean([s.user for s in tosim_runs]),
        "sys": statistics.mean([s.system for s in tosim_runs]),
    }


def machine():
    model = platform.processor() or "unknown"
    try:
        out = subprocess.run(["lscpu"], capture_output=True, text=True, check=False).stdout
        for line in out.splitlines():
            if line.startswith("Model name:"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    return f"{os.cpu_count()} CPUs (nproc), {model}, Linux {platform.release()}"


def filesystem(path):
    try:
        out = subprocess.run(["df", "-T", path], capture_output=True, text=True, check=False)
        return out.stdout.splitlines()[1].split()[1]
    except (OSError, IndexError):
        return "unknown"


def report(args, results, startup, fs_type):
    print(f"Machine: {machine()}")
    print(f"Program: {args.tosim}")
    print(f"Data: {args.dir} ({fs_type}), seed {args.seed}, median of {args.runs} runs after a "
          "warm-up run")
    print()
    print("| plan | trace (one copy) | plan MiB/s | trace MiB/s | tosim s | user s | sys s "
          "| peak RSS | floor s (user/sys) | ratio to floor |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for r in results:
        rss = "n/a" if r["rss"] is None else f"{r['rss']:.1f} MiB"
        print(
            f"| {r['size']} | {r['trace'] / MIB:.0f} MiB | {r['plan_rate']:.1f} "
            f"| {r['trace_rate']:.0f} | {r['wall']:.3f} | {r['user']:.3f} | {r['sys']:.3f} "
            f"| {rss} | {r['floor']:.3f} ({r['floor_user']:.3f}/{r['floor_sys']:.3f}) "
            f"| {r['ratio']:.2f} |"
        )
    if startup:
        print()
        print(
            f"Start-up, one-line plan, median of {startup['runs']} runs ({startup['tool']}): "
            f"tosim {startup['tosim'] * 1000:.2f} ms (mean user {startup['user'] * 1000:.2f} ms, "
            f"sys {startup['sys'] * 1000:.2f} ms), /bin/true {startup['true'] * 1000:.2f} ms, "
            f"ratio {startup['ratio']:.2f}"
        )


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="sizes 1M,32M and 3 runs each")
    parser.add_argument("--sizes", help="comma-separated plan sizes (default 1M,32M,256M)")
    parser.add_argument("--runs", type=int, help="repetitions per size (default 5)")
    parser.add_argument("--startup-runs", type=int, help="runs of the start-up case (default 200)")
    parser.add_argument(
        "--tosim",
        default=os.path.join(REPO, "build", "default", "tosim"),
        help="the program to measure (default build/default/tosim)",
    )
    parser.add_argument("--dir", default="/tmp/tosim-bench", help="scratch directory for data")
    parser.add_argument("--seed", type=int, default=1, help="seed of the plan files")
    parser.add_argument("--keep", action="store_true", help="keep the generated plan files")
    args = parser.parse_args(argv)
    if args.sizes is None:
        args.sizes = "1M,32M" if args.quick else "1M,32M,256M"
    if args.runs is None:
        args.runs = 3 if args.quick else 5
    if args.startup_runs is None:
        args.startup_runs = 50 if args.quick else 200
    if args.runs < 1 or args.startup_runs < 1:
        sys.exit("--runs and --startup-runs must be at least 1")
    args.tosim = os.path.abspath(args.tosim)
    if not os.access(args.tosim, os.X_OK):
        sys.exit(f"{args.tosim} not found: build it first (cmake --preset default && "
                 "cmake --build --preset default -j2) or pass --tosim")
    dd = shutil.which("dd")
    if dd is None:
        sys.exit("dd not found")
    sizes = [parse_size(s) for s in args.sizes.split(",") if s]
    os.makedirs(args.dir, exist_ok=True)
    fs_type = filesystem(args.dir)

    results = []
    try:
        for size in sizes:
            log(f"size {size_label(size)}:")
            results.append(bench_size(args, size, dd))
            if not args.keep:
                remove(plan_path(args, size))
        log("start-up:")
        startup = bench_startup(args)
    finally:
        remove(*output_paths(args))
        if not args.keep:
            remove(*[plan_path(args, size) for size in sizes])
        try:
            os.rmdir(args.dir)
        except OSError:
            pass
    report(args, results, startup, fs_type)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
