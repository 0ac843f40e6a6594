"""Reading .case files (the format is described at the top of run_cases.py): the cases, their
sections, and the escapes that turn a section's text into the bytes a program reads or writes;
and the cases' plan files, written out for the checks that run on every plan file."""

import os, re

ESCAPE = re.compile(r"\\(x[0-9A-Fa-f]{2}|[trn\\])")


def decode(text):
    """Escapes become bytes; the rest is Latin-1, the program's code page."""
    unescape = lambda m: chr(int(m[1][1:], 16)) if m[1][0] == "x" else {
        "t": "\t", "r": "\r", "n": "\n", "\\": "\\"}[m[1]]
    return ESCAPE.sub(unescape, text).encode("latin-1")


def decode_lines(lines, line_end):
    """The lines as bytes, each ending with `line_end` unless it ends with the escape \\c."""
    return b"".join(decode(l[:-2]) if l.endswith("\\c") else decode(l) + line_end for l in lines)


class Case:
    """One case: its name, the file it comes from, and its sections in order, each a key, the
    words after the key and the lines up to the next header."""

    def __init__(self, name, source):
        self.name, self.source, self.sections = name, source, []

    def has(self, key):
        return any(k == key for k, _, _ in self.sections)

    def words(self, key):
        """The words after the first section `key`; [] when there is none."""
        return next((w for k, w, _ in self.sections if k == key), [])

    def lines(self, key, default=None):
        """The lines of the first section `key`, or `default` when there is none."""
        return next((l for k, _, l in self.sections if k == key), default)

    def every(self, key):
        """(words, lines) of every section `key`, for the repeatable ones."""
        return [(w, l) for k, w, l in self.sections if k == key]

    def line_end(self, key):
        """The line end of a section that states its own: LF when it says "lf", else CR LF."""
        return b"\n" if "lf" in self.words(key) else b"\r\n"

    def plan_bytes(self):
        """plan.txt's bytes, or None for a case without a plan."""
        if not self.has("plan"):
            return None
        words = self.words("plan")
        line_end = b"" if "raw" in words else b"\n" if "lf" in words else b"\r\n"
        return decode_lines(self.lines("plan"), line_end)


def parse(path):
    """The cases of the file at `path`, in order."""
    cases, lines = [], None
    with open(path, encoding="latin-1") as f:
        for raw in f.read().removesuffix("\n").split("\n"):
            if raw.startswith("=== "):
                cases.append(Case(raw[4:].strip(), path))
                lines = None
            elif raw.startswith("--- "):
                words, lines = raw[4:].split(), []
                cases[-1].sections.append((words[0], words[1:], lines))
            elif lines is not None:
                lines.append(raw)
            elif raw.strip() and not raw.startswith("#"):
                raise SystemExit(f"{path}: text outside a section: {raw!r}")
    return cases


def export_plans(cases, folder):
    """Writes every case's plan file into `folder`, named after its case file and its index."""
    os.makedirs(folder, exist_ok=True)
    for index, case in enumerate(cases):
        if (plan := case.plan_bytes()) is not None:
            base = os.path.splitext(os.path.basename(case.source))[0]
            with open(os.path.join(folder, f"{base}-{index:03}.txt"), "wb") as f:
                f.write(plan)
