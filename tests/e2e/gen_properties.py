#!/usr/bin/env python3
"""tosim-gen's plans have what was asked, as tosim-report says it: every plan is read back with
tosim-report --json --protocols --each-plan-alone and its properties are taken from the JSON by
their definitions (README, "tosim-gen"), never from the generator. Checked here:

- every property and its negation, 50 seeds each: the plan is well-formed and has the property;
- every pair of properties: refused with status 64 when the rules rule it out, not found with
  status 65 for the two pairs that the exhaustive search of small plans shows not to exist, found
  or not for the rare pairs whose plan is given by hand (the plan has both), and otherwise
  found, with both properties;
- every plan read back keeps the rules tosim-gen refuses by;
- the same arguments give the same bytes; a seed from the clock is printed and repeats the run;
- --count gives plans that differ after renaming transactions and items;
- --minimal: removing any one read or write (what is left still well-formed) loses a property.

Usage: gen_properties.py TOSIM_GEN TOSIM_REPORT [PART...]
PART: literals, pairs, seeds (determinism and distinct plans), minimal; all when none is given.
"""
import itertools, os, re, subprocess, sys, tempfile

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
from plan_checks import json_reports

PROPERTIES = ["thomas", "to-rejects", "cascade", "csr", "vsr-not-csr", "vsr", "recoverable",
              "cascadeless", "strict", "rc-not-aca", "aca-not-strict", "deadlock", "dies",
              "wounds", "occ-fails", "strict-to-waits", "mvto-saves", "level-rc", "g-single",
              "write-skew", "lost-update", "si-commits-not-serializable"]
LITERALS = [n + p for p in PROPERTIES for n in ("", "no-")]
# The pairs that no plan of 3 transactions, 2 items and up to 6 reads and writes has (the unit
# test small_plans_test.cpp searches them all), and that tosim-gen does not find at its default
# sizes either.
NOT_FOUND = {("deadlock", "no-dies"), ("deadlock", "no-wounds")}
# Pairs that tosim-gen's search does not find at its default sizes (nor with 4 transactions and
# 3 items), with a plan of tosim-gen's form that has them, worked out by hand. Here T1 reads B
# before T2 writes it, T3 reads C before T1 writes it, and T2, T3 and T4 write A one after the
# other: a cycle T1 -> T2 -> T3 -> T1 of conflicts, and under si too, where no two writers of
# one item overlap and all commit; the order T3, T1, T2, T4 reads the same and writes A last
# with T4: view-serializable.
RARE = {("vsr-not-csr", "si-commits-not-serializable"):
        "P1; T1; T2; R1(B); W2(A); W2(B); C2; T3; W3(A); R3(C); C3; W1(C); C1; T4; W4(A); C4"}
OP = re.compile(r"([TRWCA])(\d+)(?:\(([A-Z])\))?$")
SEEDS = 50


def causes(protocol, cause):
    return any(c == cause for _, c in protocol["aborted"])


def properties_of(report):
    """The properties of one plan, by their definitions on tosim-report's JSON."""
    lab = report["protocols"]
    csr, vsr = report["conflict_serializable"], report["view_serializable"]
    rc, aca, st = report["recoverable"], report["cascadeless"], report["strict"]
    rejected = {t for t, c in lab["to"]["aborted"] if c == "rejected"}
    isolation = report["isolation"]
    return {
        "thomas": bool(report["skipped_writes"]),
        "to-rejects": bool(rejected),
        "cascade": bool(report["cascading"]),
        "csr": csr, "vsr-not-csr": vsr and not csr, "vsr": vsr,
        "recoverable": rc, "cascadeless": aca, "strict": st,
        "rc-not-aca": rc and not aca, "aca-not-strict": aca and not st,
        "deadlock": bool(lab["2pl"]["deadlocks"]),
        "dies": causes(lab["wait_die"], "died"),
        "wounds": causes(lab["wound_wait"], "wounded"),
        "occ-fails": causes(lab["occ"], "validation"),
        "strict-to-waits": any(step["delayed"] for step in lab["strict_to"]["steps"]),
        "mvto-saves": bool(rejected & set(lab["mvto"]["committed"])),
        "level-rc": isolation["level"] == "read_committed",
        "g-single": any(a["kind"] == "G-single" for a in isolation["anomalies"]),
        "write-skew": any(p["kind"] == "A5B" for p in isolation["phenomena"]),
        "lost-update": any(p["kind"] == "P4" for p in isolation["phenomena"]),
        "si-commits-not-serializable": lab["si"]["committed"] == report["transactions"] and
        lab["si"]["order"] is None,
    }


def holds(literal, properties):
    return not properties[literal[3:]] if literal.startswith("no-") else properties[literal]


# The rules tosim-gen refuses by, as clauses: some literal of each is true of every plan.
RULES = [("cascadeless", "no-strict"), ("recoverable", "no-cascadeless"), ("vsr", "no-csr"),
         ("vsr", "no-vsr-not-csr"), ("no-vsr-not-csr", "no-csr"), ("csr", "vsr-not-csr", "no-vsr"),
         ("recoverable", "no-rc-not-aca"), ("no-rc-not-aca", "no-cascadeless"),
         ("cascadeless", "rc-not-aca", "no-recoverable"), ("cascadeless", "no-aca-not-strict"),
         ("no-aca-not-strict", "no-strict"), ("strict", "aca-not-strict", "no-cascadeless"),
         ("to-rejects", "no-mvto-saves"), ("to-rejects", "thomas", "csr"),
         ("no-strict-to-waits", "no-strict"), ("no-g-single", "no-csr"),
         ("no-level-rc", "no-csr"), ("no-write-skew", "no-csr"), ("to-rejects", "no-write-skew"),
         ("occ-fails", "no-write-skew"), ("occ-fails", "no-si-commits-not-serializable"),
         ("no-si-commits-not-serializable", "no-thomas"),
         ("no-si-commits-not-serializable", "no-lost-update"),
         ("no-si-commits-not-serializable", "no-aca-not-strict")]


def negation(literal):
    return literal[3:] if literal.startswith("no-") else "no-" + literal


def refused(literals):
    """Whether the rules rule the literals out: no assignment of the properties keeps them all.
    A plain search: take a literal of a clause not yet kept, and try it and its negation."""
    def satisfiable(assigned):
        left = [[l for l in rule if negation(l) not in assigned] for rule in RULES
                if not any(l in assigned for l in rule)]
        if any(not rule for rule in left):
            return False
        return not left or any(satisfiable(assigned | {l}) for l in (left[0][0], negation(left[0][0])))
    return not satisfiable(frozenset(literals))


def plan_ops(line):
    """The operations after the plan start of a line "P1; T1; R1(A); ...", as (kind, t, item)."""
    parts = line.split("; ")
    ops = []
    for part in parts[1:]:
        match = OP.match(part)
        if not match:
            raise ValueError(f"not an operation: {part!r} in {line!r}")
        ops.append((match[1], int(match[2]), match[3]))
    return parts[0], ops


def well_formed(ops, transactions=3, items=2, operations=9):
    """tosim-gen's plans: T1..Tk begun in number order, each with at least one read or write
    after its begin and one commit or abort at its end; items named in order of first use."""
    state, begun, accesses, next_item = {}, 0, 0, "A"
    for kind, t, item in ops:
        if not 1 <= t <= transactions:
            return False
        if kind == "T":
            if t in state or t != begun + 1:
                return False
            begun, state[t] = t, "begun"
        elif kind in "RW":
            if state.get(t) not in ("begun", "accessed") or item > next_item or \
                    ord(item) - ord("A") >= items:
                return False
            next_item = max(next_item, chr(ord(item) + 1))
            accesses += 1
            state[t] = "accessed"
        elif state.get(t) != "accessed":
            return False
        else:
            state[t] = "ended"
    return begun == transactions and accesses <= operations and \
        all(s == "ended" for s in state.values())


def canonical(ops):
    """The plan with transactions and items renamed in the order they first occur."""
    names = {}
    def name(key):
        return names.setdefault(key, len([k for k in names if k[0] == key[0]]))
    return tuple((kind, name(("t", t)), item and name(("x", item))) for kind, t, item in ops)


class Checker:
    def __init__(self, gen, report):
        self.gen, self.report, self.failures, self.checks = gen, report, [], 0
        self.folder = tempfile.mkdtemp(prefix="tosim-gen-")

    def fail(self, what):
        self.failures.append(what)

    def run_gen(self, *args):
        run = subprocess.run([self.gen, *args], capture_output=True)
        return run.returncode, run.stdout, run.stderr.decode("utf-8")

    def reports(self, lines):
        """tosim-report's JSON object for each of the plan lines, in order."""
        path = os.path.join(self.folder, "plans.txt")
        with open(path, "wb") as f:
            f.write(b"".join(l.encode() + b"\r\n" for l in lines))
        return json_reports(self.report, path, "--protocols", "--each-plan-alone")

    def generated(self, what, args, count=1):
        """The plan lines tosim-gen writes for `args`, checked for their form."""
        status, out, err = self.run_gen(*args)
        self.checks += 1
        if status != 0:
            self.fail(f"{what}: status {status}: {err}")
            return []
        text = out.decode("ascii")
        lines = text.split("\r\n")
        if lines[-1] != "" or len(lines) != count + 1 or "\n" in text.replace("\r\n", ""):
            self.fail(f"{what}: not {count} lines ending with CR LF: {text!r}")
            return []
        lines.pop()
        for i, line in enumerate(lines, 1):
            number, ops = plan_ops(line)
            if number != f"P{i}" or not well_formed(ops, *self.sizes(args)):
                self.fail(f"{what}: not well-formed: {line}")
        return lines

    @staticmethod
    def sizes(args):
        value = lambda name, default: int(args[args.index(name) + 1]) if name in args else default
        k = value("--transactions", 3)
        return k, value("--items", 2), value("--operations", 3 * k)

    def confirm(self, what, plans):
        """Each plan, given as (line, literals), has its literals and keeps the rules."""
        for (line, literals), report in zip(plans, self.reports([l for l, _ in plans])):
            properties = properties_of(report)
            for literal in literals:
                self.checks += 1
                if not holds(literal, properties):
                    self.fail(f"{what}: {line} does not have {literal}")
            for rule in RULES:
                self.checks += 1
                if not any(holds(l, properties) for l in rule):
                    self.fail(f"{what}: {line} breaks the rule {' or '.join(rule)}")

    def every_literal(self):
        self.confirm("--property", [
            (line, [literal]) for literal in LITERALS for seed in range(1, SEEDS + 1)
            for line in self.generated(f"{literal}, seed {seed}",
                                       ["--property", literal, "--seed", f"s{seed}"])])

    def every_pair(self):
        for a, b in itertools.combinations(LITERALS, 2):
            if a.removeprefix("no-") == b.removeprefix("no-"):
                continue
            what = f"{a},{b}"
            if refused([a, b]):
                status, out, err = self.run_gen("--property", what, "--seed", "pair")
                self.checks += 1
                if status != 64 or out or not err.startswith(
                        f"tosim-gen: ningún plan puede ser a la vez {a}, {b}: "):
                    self.fail(f"{what}: refused with {status} {err!r}")
            elif (a, b) in RARE:
                self.confirm(f"{what}, by hand", [(RARE[(a, b)], [a, b])])
                status, out, err = self.run_gen("--property", what, "--seed", "pair")
                self.checks += 1
                if status == 0:
                    self.confirm(what, [(out.decode("ascii").split("\r\n")[0], [a, b])])
                elif status != 65:
                    self.fail(f"{what}: {status} {err!r}")
            elif (a, b) in NOT_FOUND:
                status, out, err = self.run_gen("--property", what, "--seed", "pair")
                self.checks += 1
                expected = (f"tosim-gen: no se encontró ningún plan con {a}, {b} en 500000 "
                            "intentos, con 3 transacciones, 2 elementos y hasta 9 lecturas y "
                            "escrituras (más transacciones, elementos u operaciones pueden "
                            "bastar)\n")
                if status != 65 or out or err != expected:
                    self.fail(f"{what}: {status} {err!r}")
            else:
                self.confirm(what, [(line, [a, b]) for line in self.generated(
                    what, ["--property", what, "--seed", "pair"])])

    def determinism(self):
        args = ["--property", "thomas,no-csr", "--count", "30", "--seed", "ana.garcia"]
        first = self.run_gen(*args)
        self.checks += 1
        if first[0] != 0 or first != self.run_gen(*args) or \
                first != self.run_gen(*args[4:], *args[2:4], *args[:2]):
            self.fail("two runs with the same arguments differ")
        status, out, err = self.run_gen("--count", "3")
        seed = re.fullmatch(r"tosim-gen: semilla (\d+) \(la repite --seed \1\)\n", err)
        self.checks += 1
        if status != 0 or not seed or self.run_gen("--count", "3", "--seed", seed[1])[1] != out:
            self.fail(f"the clock's seed does not repeat the run: {status} {err!r}")
        self.checks += 1
        if self.run_gen("--seed", "ana.garcia")[1] == self.run_gen("--seed", "ana.garcía")[1]:
            self.fail("two students' seeds give the same plan")

    def distinct(self):
        for literals, count, sizes in ((["thomas"], 100, []),
                                       (["no-csr", "deadlock"], 30, ["--transactions", "4"]),
                                       (["strict"], 40, ["--minimal"]),
                                       ([], 60, ["--items", "3", "--operations", "5"])):
            args = ["--count", str(count), "--seed", "d", *sizes]
            args += ["--property", ",".join(literals)] if literals else []
            what = " ".join(args)
            lines = self.generated(what, args, count)
            forms = {canonical(plan_ops(l)[1]) for l in lines}
            self.checks += 1
            if len(forms) != len(lines):
                self.fail(f"{what}: {len(lines) - len(forms)} repeated after renaming")
            self.confirm(what, [(line, literals) for line in lines])

    def minimal(self):
        plans, variants = [], []
        for literal in LITERALS:
            for seed in range(1, 11):
                for line in self.generated(f"{literal} --minimal",
                                           ["--property", literal, "--minimal", "--seed", str(seed)]):
                    plans.append((literal, line))
                    number, ops = plan_ops(line)
                    for i, (kind, t, _) in enumerate(ops):
                        less = ops[:i] + ops[i + 1:]
                        if kind in "RW" and well_formed(less):
                            text = "; ".join([number] + [f"{k}{n}" + (f"({x})" if x else "")
                                                         for k, n, x in less])
                            variants.append((literal, line, text))
        self.confirm("--minimal", [(line, [literal]) for literal, line in plans])
        for (literal, line, text), report in zip(variants, self.reports([v for _, _, v in variants])):
            self.checks += 1
            if holds(literal, properties_of(report)):
                self.fail(f"{literal} --minimal: {line} keeps it without an operation: {text}")


def main():
    checker = Checker(*sys.argv[1:3])
    parts = {"literals": [checker.every_literal], "pairs": [checker.every_pair],
             "seeds": [checker.determinism, checker.distinct], "minimal": [checker.minimal]}
    for name in sys.argv[3:] or list(parts):
        for part in parts[name]:
            part()
    for failure in checker.failures[:50]:
        print(failure)
    print(f"{checker.checks} checks, {len(checker.failures)} failures")
    return 1 if checker.failures else 0


if __name__ == "__main__":
    sys.exit(main())
