#!/usr/bin/env python3
"""Writes a seeded, deterministic plan file of about the requested size for the benchmark.

Most lines are valid plans of 5 to 40 operations over transactions 1..10 and items A..Z, in the
styles people type them (";" or ":" separators, spaces, lower case). Interleaved reads and writes
on a few shared items make the scheduler reject and skip operations; a small share of operations
carry syntax errors, and a few lines do not start with a plan at all.

The same seed and size always give the same bytes, on any Python 3 version: the generator has its
own random number generator instead of the `random` module.

Usage: gen_plans.py SIZE OUTPUT [--seed N] [--eol crlf|lf]
SIZE is in bytes, with an optional K, M or G suffix (powers of 1024).
"""

import argparse
import sys

MASK64 = (1 << 64) - 1

# Distinct lines are made up to this many bytes; larger files draw further lines from this pool.
POOL_BYTES = 4 << 20


class SplitMix64:
    """A small generator defined here in full, so that a seed means the same file everywhere."""

    def __init__(self, seed):
        self.state = seed & MASK64

    def next64(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & MASK64
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK64
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK64
        return z ^ (z >> 31)

    def below(self, n):
        """An integer in 0..n-1 (the tiny modulo bias does not matter here)."""
        return self.next64() % n

    def between(self, low, high):
        """An integer in low..high, both included."""
        return low + self.below(high - low + 1)

    def chance(self, per_mille):
        return self.below(1000) < per_mille

    def pick(self, seq):
        return seq[self.below(len(seq))]

    def sample(self, seq, k):
        pool = list(seq)
        for i in range(k):
            j = i + self.below(len(pool) - i)
            pool[i], pool[j] = pool[j], pool[i]
        return pool[:k]


LETTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"

# Faulty operations: syntax errors, by what the reader will complain about, and numbers beyond the
# transaction table. "{t}" is a transaction number, "{x}" an item letter.
FAULTS = [
    "X{t}",  # no operation letter
    "Q",
    "T {t}",  # space between letter and number
    "C",  # no number
    "R0({x})",  # number 0
    "W{t} {x})",  # no "("
    "R{t}(1)",  # no item letter
    "R{t}( )",
    "W{t}({x}",  # no ")"
    "",  # empty operation between two separators
    "\t",
    "T11",  # beyond the transaction table, no message from the reader
    "R12({x})",
]


def format_item_op(rng, letter, t, x):
    """A read or write, mostly written tightly, sometimes with spaces around the item."""
    style = rng.below(20)
    if style == 0:
        return f"{letter}{t} ( {x} )"
    if style == 1:
        return f"{letter}{t}({x} )"
    return f"{letter}{t}({x})"


def plan_operations(rng):
    """The operations of one plan line after its "P": begins, reads, writes, commits, aborts."""
    # At most this many, and at least 5 with the plan start; a plan whose transactions have all
    # ended may stop early.
    length = rng.between(5, 40) - 1
    count = rng.between(1, 10)
    transactions = rng.sample(range(1, 11), count)
    items = rng.sample(LETTERS, rng.between(2, 8))
    pending = list(transactions)
    active = []
    finished = []
    ops = []
    while len(ops) < length:
        roll = rng.below(100)
        if pending and (not active or roll < 22):
            t = pending.pop(rng.below(len(pending)))
            active.append(t)
            ops.append(f"T{t}")
        elif active and roll < 90:
            # Mostly accesses by active transactions, now and then by one that has ended.
            if finished and rng.chance(40):
                t = rng.pick(finished)
            else:
                t = rng.pick(active)
            letter = "R" if rng.below(100) < 55 else "W"
            ops.append(format_item_op(rng, letter, t, rng.pick(items)))
        elif active:
            t = active.pop(rng.below(len(active)))
            finished.append(t)
            if rng.chance(150):
                ops.append(f"A{t}")
            else:
                ops.append(f"C{t}")
        elif finished and (len(ops) < 4 or rng.chance(300)):
            # Everything has ended: a late commit or a repeated begin, which the scheduler refuses.
            t = rng.pick(finished)
            ops.append(rng.pick([f"C{t}", f"T{t}", f"A{t}"]))
        else:
            break
        if rng.chance(12):
            fault = rng.pick(FAULTS)
            ops[-1] = fault.format(t=rng.between(1, 10), x=rng.pick(items))
    return ops


def separator(rng):
    roll = rng.below(100)
    if roll < 70:
        return "; "
    if roll < 85:
        return ";"
    if roll < 93:
        return " ; "
    if roll < 98:
        return ": "
    return ";; "  # an empty, illegal operation


def make_line(rng, plan_number):
    roll = rng.below(1000)
    if roll < 8:
        return ""  # an empty line: "a plan start was expected"
    if roll < 14:
        return "-- " + " ".join(rng.pick(["plan", "prueba", "de", "conflictos"]) for _ in range(4))
    ops = [f"P{plan_number}"] + plan_operations(rng)
    text = ops[0]
    for op in ops[1:]:
        text += separator(rng) + op
    if roll < 18:
        text = "\t" + text  # a TAB before the plan start makes it illegal
    elif roll < 60:
        text = "  " + text
    if rng.chance(50):
        text = text.lower()
    if rng.chance(100):
        text += ";"
    return text


def parse_size(text):
    units = {"K": 1 << 10, "M": 1 << 20, "G": 1 << 30}
    text = text.strip().upper()
    factor = 1
    if text and text[-1] in units:
        factor = units[text[-1]]
        text = text[:-1]
    return int(float(text) * factor)


def generate(size, out, seed, eol):
    rng = SplitMix64(seed)
    pool = []
    pool_bytes = 0
    written = 0
    chunk = []
    chunk_bytes = 0
    plan_number = 0
    while written + chunk_bytes < size:
        if pool_bytes < POOL_BYTES:
            plan_number += 1
            line = (make_line(rng, plan_number) + eol).encode("latin-1")
            pool.append(line)
            pool_bytes += len(line)
        else:
            line = pool[rng.below(len(pool))]
        chunk.append(line)
        chunk_bytes += len(line)
        if chunk_bytes >= 1 << 20:
            out.write(b"".join(chunk))
            written += chunk_bytes
            chunk = []
            chunk_bytes = 0
    out.write(b"".join(chunk))
    return written + chunk_bytes


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("size", help="target size in bytes, with an optional K, M or G suffix")
    parser.add_argument("output", help="the plan file to write")
    parser.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    parser.add_argument("--eol", choices=["crlf", "lf"], default="crlf", help="line end")
    args = parser.parse_args(argv)
    eol = "\r\n" if args.eol == "crlf" else "\n"
    with open(args.output, "wb") as out:
        total = generate(parse_size(args.size), out, args.seed, eol)
    print(f"{args.output}: {total} bytes", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
