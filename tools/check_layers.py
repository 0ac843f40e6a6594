#!/usr/bin/env python3
"""Checks that every #include and every link goes down the layers, as README's Layout table says:
reads the table (folder, library, the layers it may use), then the include lines of each folder's
sources and the target_link_libraries of its CMakeLists.txt, and fails on one that names a layer
the folder may not use, or a project header without its folder ("streams.h" instead of
"trace/streams.h").

    tools/check_layers.py [REPO]
"""

import pathlib, re, sys

GENERATED = {"report_page_template.h"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
LINK = re.compile(r"target_link_libraries\(\s*(\S+)([^)]*)\)")
ROW = re.compile(r"^\| `([^`]+)/` \|(.*)\|(.*)\|(.*)\|\s*$")
NAME = re.compile(r"`([^`]+)`")


def layer_of(folder):
    """The name by which the folder's headers are included: "src/plan" -> "plan"."""
    return folder.split("/")[-1]


def read_layout(readme):
    """Folder -> (the layers it may use, its libraries), from README's Layout table."""
    text = readme.read_text(encoding="utf-8")
    section = text[text.index("\n## Layout\n"):]
    section = section[:section.index("\n## ", 1)]
    layout = {}
    for line in section.splitlines():
        row = ROW.match(line)
        if row:
            folder, _, libraries, may_use = row.groups()
            layout[folder] = (set(NAME.findall(may_use)), set(NAME.findall(libraries)))
    if not layout:
        sys.exit("README.md: no Layout table found")
    return layout


def main():
    repo = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    layout = read_layout(repo / "README.md")
    layers = {layer_of(folder) for folder in layout}
    libraries = {library: layer_of(folder) for folder, (_, libs) in layout.items()
                 for library in libs}
    problems = []
    for folder, (allowed, _) in layout.items():
        own = layer_of(folder)
        unknown = allowed - layers
        if unknown:
            problems.append(f"README.md: {folder} may use unknown layers {sorted(unknown)}")
        for path in sorted((repo / folder).glob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for header in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
                layer = header.split("/")[0] if "/" in header else None
                where = f"{path.relative_to(repo)}: \"{header}\""
                if header in GENERATED:
                    continue
                if layer not in layers:
                    problems.append(f"{where}: a project header is named with its folder")
                elif layer not in allowed | {own, "tosim"}:
                    problems.append(f"{where}: {folder} may not use the {layer} layer")
        cmake = repo / folder / "CMakeLists.txt"
        if cmake.exists():
            for target, linked in LINK.findall(cmake.read_text()):
                for library in linked.split():
                    layer = libraries.get(library)
                    if layer and layer != own and layer not in allowed:
                        problems.append(f"{cmake.relative_to(repo)}: {target} links {library}")
    for problem in problems:
        print(problem)
    print(f"layers: {len(layout)} folders, {len(problems)} forbidden dependencies")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
