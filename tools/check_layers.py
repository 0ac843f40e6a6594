#!/usr/bin/env python3
"""Checks that every #include goes down the layers: reads the include lines of each folder's
sources and fails on one that names a layer the folder may not use, or a project header without
its folder ("streams.h" instead of "trace/streams.h").

    tools/check_layers.py [REPO]

The table below is the one in README's Layout section.
"""

import pathlib, re, sys

# Folder -> the layers its files may include (besides their own and the shared include/tosim).
ALLOWED = {
    "include/tosim": set(),
    "src/plan": set(),
    "src/scheduler": set(),
    "src/trace": {"plan", "scheduler"},
    "src/platform": set(),
    "src/analysis": {"plan", "scheduler"},
    "src/protocols": {"plan", "scheduler"},
    "src/run": {"plan", "scheduler", "trace", "platform"},
    "src/report": {"plan", "scheduler", "trace", "analysis", "protocols", "platform"},
    # No platform code in the browser, none in the fuzzers.
    "web": {"plan", "scheduler", "trace", "analysis", "protocols", "report"},
    "fuzz": {"plan", "scheduler", "trace", "analysis", "protocols", "report"},
}
# Files of a folder that a layer above it may not reach although the folder is allowed: the
# report's program files, which need the platform, are not for the browser or the fuzzers.
PROGRAM_ONLY = {"report/options.h", "report/report_run.h"}
LAYERS = {"tosim", "plan", "scheduler", "trace", "platform", "analysis", "protocols", "run",
          "report"}
GENERATED = {"report_page_template.h"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
# The libraries, by layer.
LIBRARIES = {"tosim_plan": "plan", "tosim_scheduler": "scheduler", "tosim_trace": "trace",
             "tosim_platform": "platform", "tosim_analysis": "analysis",
             "tosim_protocols": "protocols", "tosim_run": "run", "tosim_report_format": "report",
             "tosim_report_run": "report"}
LINK = re.compile(r"target_link_libraries\(\s*(\S+)([^)]*)\)")


def main():
    repo = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    problems = []
    for folder, allowed in ALLOWED.items():
        own = folder.split("/")[-1]
        for path in sorted((repo / folder).glob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for header in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
                layer = header.split("/")[0] if "/" in header else None
                where = f"{path.relative_to(repo)}: \"{header}\""
                if header in GENERATED:
                    continue
                if layer not in LAYERS:
                    problems.append(f"{where}: a project header is named with its folder")
                elif layer not in allowed | {own, "tosim"}:
                    problems.append(f"{where}: {folder} may not use the {layer} layer")
                elif header in PROGRAM_ONLY and folder in ("web", "fuzz"):
                    problems.append(f"{where}: tosim-report's program files stay out of {folder}")
        cmake = repo / folder / "CMakeLists.txt"
        if cmake.exists():
            for target, libraries in LINK.findall(cmake.read_text()):
                for library in libraries.split():
                    layer = LIBRARIES.get(library)
                    if layer and layer != own and layer not in allowed:
                        problems.append(f"{cmake.relative_to(repo)}: {target} links {library}")
    for problem in problems:
        print(problem)
    print(f"layers: {len(problems)} forbidden dependencies")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
