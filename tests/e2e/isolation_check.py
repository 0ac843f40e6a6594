#!/usr/bin/env python3
"""The key "isolation" of tosim-report --json against a second, plain reading of its definitions
(README, "Isolation levels"), on thousands of generated plans.

Every plan is made of a few transactions on a few items, with commits and aborts anywhere,
operations after their transaction's end and transactions that never began. Here every
definition is applied as it is written, by trying every operation, pair of operations and path:
the version each read reads, the dependency graph, every cycle of it, every occurrence of every
pattern. The witness chosen is the one README names: for a cycle the shortest, written from its
smallest first edge, then the smallest edges; for G1a and G1b the earliest read; for a
phenomenon the occurrence that S completes first, then the smallest Ti, Tj, x and y.

Usage: isolation_check.py TOSIM_REPORT
"""
import itertools, json, os, random, sys, tempfile

sys.dont_write_bytecode = True  # no __pycache__ beside the cases
from plan_checks import json_reports

KINDS = ("ww", "wr", "rw")
NEVER = float("inf")


def generate(rng):
    """One plan line: begins, reads, writes, commits and aborts of T1..T4 on A..C; half of the
    plans crowd two or three transactions on two items, where the longer patterns show."""
    crowded = rng.random() < 0.5
    count = rng.randint(2, 3) if crowded else rng.randint(2, 4)
    items = "AB" if crowded else "ABC"[:rng.randint(1, 3)]
    ops = [f"T{t}" for t in range(1, count + 1) if rng.random() < 0.9]
    for _ in range(rng.randint(3, 14)):
        t = rng.randint(1, count)
        roll = rng.random()
        if roll < 0.42:
            ops.append(f"R{t}({rng.choice(items)})")
        elif roll < 0.82:
            ops.append(f"W{t}({rng.choice(items)})")
        elif roll < 0.95:
            ops.append(f"C{t}")
        else:
            ops.append(f"A{t}")
    ops += [f"C{t}" for t in range(1, count + 1) if rng.random() < 0.6]
    return ops


def schedule(ops):
    """S: (kind, t, item) of the plan's operations up to each transaction's end; no begins."""
    ended, s = set(), []
    for op in ops:
        kind, t = op[0], int(op[1:].split("(")[0])
        if t in ended or kind == "T":
            continue
        s.append((kind, t, op[-2] if kind in "RW" else None))
        if kind in "CA":
            ended.add(t)
    return s


def label(op):
    kind, t, x = op
    return f"{kind}{t}({x})" if x else f"{kind}{t}"


def isolation(s):
    n = len(s)
    end = {t: p for p, (k, t, _) in enumerate(s) if k in "CA"}
    aborts = {t for (k, t, _) in s if k == "A"}
    commits = {t for (_, t, _) in s} - aborts
    with_c = {t for (k, t, _) in s if k == "C"}
    open_at = lambda t, p: end.get(t, NEVER) > p

    # The write each read reads: the last write of x before it by a transaction with no A before.
    read_of = {}
    for p, (k, t, x) in enumerate(s):
        if k == "R":
            read_of[p] = next((q for q in range(p - 1, -1, -1) if s[q][0] == "W" and s[q][2] == x
                               and not (s[q][1] in aborts and end[s[q][1]] < p)), None)
    final = lambda t, x: max(q for q in range(n) if s[q][:3] == ("W", t, x))
    order = {x: sorted((final(t, x), t) for t in commits if ("W", t, x) in s)
             for x in {op[2] for op in s if op[2]}}

    edges = set()
    for x, versions in order.items():
        for (_, a), (_, b) in zip(versions, versions[1:]):
            edges.add((a, "ww", x, b))
    for p, w in read_of.items():
        _, j, x = s[p]
        if j not in commits or (w is not None and (s[w][1] == j or s[w][1] not in commits)):
            continue
        if w is not None:
            edges.add((s[w][1], "wr", x, j))
        writers = [t for (_, t) in order[x]]
        after = 0 if w is None else writers.index(s[w][1]) + 1
        if after < len(writers) and writers[after] != j:
            edges.add((j, "rw", x, writers[after]))
    key = lambda e: (e[0], e[3], e[2], KINDS.index(e[1]))
    dsg = sorted(edges, key=key)

    anomalies = []

    def cycle(kind, first, rest):
        """Every simple cycle: a first edge of the kinds `first`, then edges of `rest`."""
        found = []

        def extend(path):
            at, start = path[-1][3], path[0][0]
            if at == start:
                found.append(path)
                return
            for e in dsg:
                if e[0] == at and e[1] in rest and (e[3] == start or
                                                    e[3] not in {f[3] for f in path}):
                    extend(path + [e])

        for e in dsg:
            if e[1] in first:
                extend([e])
        if found:
            best = min(found, key=lambda c: (len(c), [key(e) for e in c]))
            anomalies.append({"kind": kind, "cycle": [list(e) for e in best]})

    def earliest_read(kind, fits):
        reads = [p for p, w in read_of.items() if w is not None and s[p][1] in commits
                 and s[w][1] != s[p][1] and fits(w)]
        if reads:
            p = min(reads)
            anomalies.append({"kind": kind, "read": label(s[p]), "writer": s[read_of[p]][1]})

    cycle("G0", {"ww"}, {"ww"})
    earliest_read("G1a", lambda w: s[w][1] in aborts)
    earliest_read("G1b", lambda w: s[w][1] in commits and final(s[w][1], s[w][2]) != w)
    cycle("G1c", {"ww", "wr"}, {"ww", "wr"})
    cycle("G-single", {"rw"}, {"ww", "wr"})
    cycle("G2-item", {"rw"}, set(KINDS))
    kinds = {a["kind"] for a in anomalies}
    g1 = kinds & {"G0", "G1a", "G1b", "G1c"}
    level = ("serializable" if not g1 and "G2-item" not in kinds else
             "read_committed" if not g1 else
             "read_uncommitted" if "G0" not in kinds else "none")

    # Every occurrence of every pattern: (last position, Ti, Tj, x, y, labels).
    ops = list(enumerate(s))
    at = lambda kind: [(p, t, x) for p, (k, t, x) in ops if k == kind]
    found = {k: [] for k in ("P0", "P1", "P2", "P4", "A5A", "A5B")}
    for (a, i, x), (b, j, x2) in itertools.product(at("W"), at("W")):
        if a < b and i != j and x == x2 and open_at(i, b):
            found["P0"].append((b, i, j, x, "", [f"W{i}({x})", f"W{j}({x})"]))
    for (a, i, x), (b, j, x2) in itertools.product(at("W"), at("R")):
        if a < b and i != j and x == x2 and open_at(i, b):
            found["P1"].append((b, i, j, x, "", [f"W{i}({x})", f"R{j}({x})"]))
    for (a, i, x), (b, j, x2) in itertools.product(at("R"), at("W")):
        if a < b and i != j and x == x2 and open_at(i, b):
            found["P2"].append((b, i, j, x, "", [f"R{i}({x})", f"W{j}({x})"]))
    for (a, i, x) in at("R"):
        for (b, j, xb) in at("W"):
            for (c, ic, xc) in at("W"):
                for (d, id_, _) in at("C"):
                    if (a < b < c < d and j != i and ic == i == id_ and x == xb == xc):
                        found["P4"].append((d, i, j, x, "", [f"R{i}({x})", f"W{j}({x})",
                                                             f"W{i}({x})", f"C{i}"]))
    for (a, i, x) in at("R"):
        for (e, ie, y) in at("R"):
            for (d, j, _) in at("C"):
                writes = {w for (q, t, w) in at("W") if t == j and a < q < d}
                if ie == i and j != i and x != y and a < d < e and {x, y} <= writes:
                    found["A5A"].append((e, i, j, x, y, [f"R{i}({x})", f"W{j}({x})", f"W{j}({y})",
                                                         f"C{j}", f"R{i}({y})"]))
    for (a, i, x), (b, j, y) in itertools.product(at("R"), at("R")):
        if i >= j or x == y or not {i, j} <= with_c:
            continue
        for (c, _, _), (d, _, _) in itertools.product(
                [w for w in at("W") if w[1:] == (i, y)], [w for w in at("W") if w[1:] == (j, x)]):
            if max(a, b) < min(c, d):
                found["A5B"].append((max(c, d), i, j, x, y, [f"R{i}({x})", f"R{j}({y})",
                                                             f"W{i}({y})", f"W{j}({x})"]))
    phenomena = [{"kind": k, "ops": min(v, key=lambda o: o[:5])[5]} for k, v in found.items() if v]
    return {"level": level, "anomalies": anomalies, "phenomena": phenomena,
            "dsg": [list(e) for e in dsg]}


def main():
    rng = random.Random(25)
    plans = [generate(rng) for _ in range(6000)]
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "plans.txt")
        with open(path, "w") as f:
            f.writelines(f"P{n + 1}; " + "; ".join(ops) + "\n" for n, ops in enumerate(plans))
        reports = json_reports(sys.argv[1], path)
    assert len(reports) == len(plans), "one report per plan"
    failures = 0
    for ops, report in zip(plans, reports):
        expected = isolation(schedule(ops))
        if report["isolation"] != expected:
            failures += 1
            if failures <= 5:
                print(f"FAIL P{report['plan']}: {'; '.join(ops)}\n  expected {json.dumps(expected)}"
                      f"\n  got      {json.dumps(report['isolation'])}")
    kinds = {}
    for report in reports:
        for entry in report["isolation"]["anomalies"] + report["isolation"]["phenomena"]:
            kinds[entry["kind"]] = kinds.get(entry["kind"], 0) + 1
    print(f"{len(plans) - failures} of {len(plans)} plans as defined; plans showing each kind: "
          + ", ".join(f"{k} {v}" for k, v in sorted(kinds.items())))
    missing = {"G0", "G1a", "G1b", "G1c", "G-single", "G2-item", "P0", "P1", "P2", "P4", "A5A",
               "A5B"} - set(kinds)
    if missing:
        print(f"FAIL: no plan shows {sorted(missing)}")
    return 1 if failures or missing else 0


if __name__ == "__main__":
    sys.exit(main())
