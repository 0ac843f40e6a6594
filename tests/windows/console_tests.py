#!/usr/bin/env python3
"""tosim.exe and tosim-report.exe on a real terminal under wine: what the screen shows.

  console_tests.py --wine WINE --program build/windows/tosim.exe
                   --report build/windows/tosim-report.exe

Each test runs a program under wine in a pseudo-terminal of tmux (a terminal of 120 columns in a
UTF-8 locale, no tab stops but every eighth column) and compares the characters on the screen,
line by line, with the expected ones; the keys are typed once the screen shows the expected last
line (the final prompt). The exit status and the listing files are checked byte for byte: the
console path converts the program's Windows-1252 texts for the terminal, the listing keeps them.
The expected screens are the bytes that end-to-end cases expect, read as characters.
Needs tmux and the wine environment, as tests/windows/run_suite.sh provides them.
"""
import argparse, itertools, os, shlex, shutil, subprocess, sys, time

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from case_file import decode_lines, parse
from plan_checks import Failure, Tally

WAIT = 30  # seconds for the screen to show the last line, or for the program to end
COLUMNS, ROWS = 120, 50


def from_case(file, name, key, encoding):
    """The plan and the lines of the section `key` of the case `name` in tests/e2e/cases/FILE,
    as characters: what the terminal shows of the bytes that case expects."""
    case = next(c for c in parse(os.path.join(HERE, "..", "e2e", "cases", file)) if c.name == name)
    line_end = case.line_end(key)
    text = decode_lines(case.lines(key), line_end).decode(encoding)
    return case.plan_bytes(), text.split(line_end.decode())[:-1]


# A trace whose error messages carry accents; its lines have no line end of their own.
ACCENTED_PLAN, ACCENTED_TRACE = from_case(
    "terminal.case", "a terminal of another character set gets the bytes as they are", "trace",
    "cp1252")
OUT_OF_RANGE_PLAN, OUT_OF_RANGE_TRACE = from_case(
    "scheduler.case", "transactions and items outside the tables", "trace", "cp1252")
# The usage, with no final prompt after it.
USAGE = from_case("terminal.case", "--help: the usage in Windows-1252, and no final prompt",
                  "console", "cp1252")[1]
# tosim-report's summary, in UTF-8; the screen ends with its last line of text.
SUMMARY_PLAN, SUMMARY = from_case(
    "report/text.case", "a skipped write and a cycle in the precedence graph", "console", "utf-8")
SUMMARY.pop()
PROMPT = ["", "Pulsar <CR> para terminar"]


def listing(trace):
    """The listing file of a trace: Windows-1252, each line ending with CR LF."""
    return "".join(line + "\r\n" for line in trace).encode("cp1252")


# name: (program, arguments, plan.txt, screen lines, keys once the last line shows, status,
#        files the folder must hold afterwards besides plan.txt)
TESTS = {
    "tosim: accented errors in UTF-8 on the screen, the final prompt, the listing in "
    "Windows-1252":
        ("tosim", ["plan.txt"], ACCENTED_PLAN, ACCENTED_TRACE + PROMPT, ["Enter"], 0,
         {"plan.lst": listing(ACCENTED_TRACE)}),
    "tosim: a trace of many lines, tabs and accents, the same on the screen as in the listing":
        ("tosim", ["plan.txt", "salida.lst"], OUT_OF_RANGE_PLAN, OUT_OF_RANGE_TRACE + PROMPT,
         ["Enter"], 0, {"salida.lst": listing(OUT_OF_RANGE_TRACE)}),
    "tosim: --help shows the usage with its accents and ends without the final prompt":
        ("tosim", ["--help"], None, USAGE, [], 0, {}),
    "tosim-report: the summary's accents and arrows on the screen":
        ("report", ["plan.txt"], SUMMARY_PLAN, SUMMARY, [], 0, {}),
}


class Terminal:
    """A tmux server of its own with one window, running one command."""

    def __init__(self, folder):
        self.socket = os.path.join(folder, ".tmux")

    # The server and the program under it run in a UTF-8 locale, whatever the caller's.
    ENVIRONMENT = {k: v for k, v in os.environ.items() if k not in ("TMUX", "LC_CTYPE")} | {
        "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"}

    def tmux(self, *words):
        result = subprocess.run(["tmux", "-S", self.socket, *words], capture_output=True,
                                text=True, encoding="utf-8", timeout=WAIT, env=self.ENVIRONMENT)
        if result.returncode != 0:
            raise Failure(f"tmux {words[0]}: {result.stderr.strip()}")
        return result.stdout

    def start(self, folder, command):
        # The shell leaves the status in a file and stays, so that the screen stays too.
        script = (f"cd {shlex.quote(folder)}; {shlex.join(command)}; echo $? >.status; "
                  f"exec sleep {2 * WAIT}")
        self.tmux("-f", "/dev/null", "new-session", "-d", "-x", str(COLUMNS), "-y", str(ROWS),
                  "sh", "-c", script)

    def screen(self):
        """The lines the terminal shows, without trailing blanks and trailing empty lines."""
        lines = [line.rstrip(" ") for line in self.tmux("capture-pane", "-p").split("\n")]
        while lines and lines[-1] == "":
            lines.pop()
        return lines

    def stop(self):
        subprocess.run(["tmux", "-S", self.socket, "kill-server"], capture_output=True,
                       env=self.ENVIRONMENT)


def until(found, what, terminal):
    deadline = time.monotonic() + WAIT
    while time.monotonic() < deadline:
        if found():
            return
        time.sleep(0.1)
    raise Failure(f"{what} within {WAIT} s; the screen:\n" + "\n".join(terminal.screen()))


def run_test(wine, programs, folder, program, args, plan, lines, keys, status, files):
    if plan is not None:
        with open(os.path.join(folder, "plan.txt"), "wb") as f:
            f.write(plan)
    # A line longer than the terminal is wide goes on in the next row.
    expected = [line.expandtabs(8)[start:start + COLUMNS]
                for line in lines for start in range(0, max(len(line.expandtabs(8)), 1), COLUMNS)]
    terminal = Terminal(folder)
    status_file = os.path.join(folder, ".status")
    try:
        terminal.start(folder, wine + [programs[program]] + args)
        if keys:
            until(lambda: terminal.screen()[-1:] == expected[-1:],
                  f"no {expected[-1]!r} on the screen", terminal)
            terminal.tmux("send-keys", *keys)
        until(lambda: os.path.exists(status_file) and os.path.getsize(status_file) > 0,
              "the program did not end", terminal)
        screen = terminal.screen()
    finally:
        terminal.stop()
    problems = []
    if screen != expected:
        problems.append("the screen:\n" + "\n".join(
            f"    {'  ' if a == b else '≠ '}expected: {a!r}\n      actual:   {b!r}"
            for a, b in itertools.zip_longest(expected, screen)))
    got = int(open(status_file).read())
    if got != status:
        problems.append(f"exit status {got}, expected {status}")
    found = {}
    for name in sorted(set(os.listdir(folder)) - {".status", ".tmux", "plan.txt"}):
        with open(os.path.join(folder, name), "rb") as f:
            found[name] = f.read()
    if found != files:
        problems.append(f"files:\n    expected: {files!r}\n    actual:   {found!r}")
    if plan is not None and open(os.path.join(folder, "plan.txt"), "rb").read() != plan:
        problems.append("the plan file was changed")
    if problems:
        raise Failure("\n  ".join(problems))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--wine", required=True, help="the wine that runs the programs")
    parser.add_argument("--program", required=True, help="tosim.exe")
    parser.add_argument("--report", required=True, help="tosim-report.exe")
    options = parser.parse_args()
    wine = shlex.split(options.wine)
    programs = {"tosim": os.path.abspath(options.program),
                "report": os.path.abspath(options.report)}
    reason = "tmux is not installed" if not shutil.which("tmux") else None
    tally = Tally()
    for name, test in TESTS.items():
        tally.run(f"console: {name}", reason,
                  lambda folder: run_test(wine, programs, folder, *test))
    return tally.summary()


if __name__ == "__main__":
    sys.exit(main())
