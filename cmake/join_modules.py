#!/usr/bin/env python3
"""Joins the page's own JavaScript modules into one classic script, for the report page, which
must open from disk as one file: the modules that ENTRY imports, and theirs, each once, every
module after those it imports, with the import lines and the `export` keywords taken out, all
inside one function.

    join_modules.py ENTRY OUTPUT

It reads only what the page's modules are written in: imports of the form
`import { a, b } from './file.js';` and exports of the form `export function|const|let|class`.
Anything else that imports or exports, an import of a name the module does not export, a cycle,
or two modules declaring the same top-level name (they end up in one scope) stops the join.
"""

import os
import re
import sys

IMPORT = re.compile(r"^import\s*\{([^}]*)\}\s*from\s*'(\./[\w./-]+\.js)';[ \t]*\n", re.M)
EXPORT = re.compile(r"^export (?=(?:async )?function |const |let |class )", re.M)
DECLARED = re.compile(r"^(?:export )?(?:(?:async )?function\*?|const|let|var|class)\s+([\w$]+)",
                      re.M)


def fail(message):
    sys.exit(f"join_modules.py: {message}")


def read_module(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    imports = []
    for match in IMPORT.finditer(text):
        names = [name.strip() for name in match[1].split(",") if name.strip()]
        for name in names:
            if not re.fullmatch(r"[\w$]+", name):
                fail(f"{path}: an import this joiner does not read: {name!r}")
        imports.append((os.path.normpath(os.path.join(os.path.dirname(path), match[2])), names))
    body = IMPORT.sub("", text)
    for line in body.splitlines():
        if re.match(r"(import|export)\b", line) and not EXPORT.match(line):
            fail(f"{path}: a line this joiner does not read: {line!r}")
    exported = {m[1] for m in DECLARED.finditer(body) if m[0].startswith("export ")}
    return {"imports": imports, "body": EXPORT.sub("", body), "exports": exported,
            "declared": [m[1] for m in DECLARED.finditer(body)]}


def join(entry):
    modules, order, visiting = {}, [], []

    def visit(path):
        if path in visiting:
            fail("an import cycle: " + " -> ".join(visiting[visiting.index(path):] + [path]))
        if path in modules:
            return
        visiting.append(path)
        modules[path] = module = read_module(path)
        for imported, names in module["imports"]:
            visit(imported)
            missing = [n for n in names if n not in modules[imported]["exports"]]
            if missing:
                fail(f"{path}: {imported} does not export {', '.join(missing)}")
        visiting.pop()
        order.append(path)

    visit(os.path.normpath(entry))
    owner = {}
    for path in order:
        for name in modules[path]["declared"]:
            if name in owner:
                fail(f"{name} is declared in both {owner[name]} and {path}")
            owner[name] = path
    root = os.path.dirname(os.path.normpath(entry))
    parts = [f"// ---- {os.path.relpath(path, root)}\n{modules[path]['body'].strip()}\n"
             for path in order]
    return "(function () {\n'use strict';\n\n" + "\n".join(parts) + "})();\n"


if __name__ == "__main__":
    if len(sys.argv) != 3:
        fail("usage: join_modules.py ENTRY OUTPUT")
    script = join(sys.argv[1])
    os.makedirs(os.path.dirname(os.path.abspath(sys.argv[2])), exist_ok=True)
    with open(sys.argv[2], "w", encoding="utf-8", newline="\n") as f:
        f.write(script)
