#!/usr/bin/env python3
"""Runs a program (tosim, tosim-report, the Windows test helper) on the cases of .case files and
compares, byte for byte, the console (standard output), the listing files and the exit status
with what each case expects.

A case starts with "=== name"; its sections start with "--- key [words]" and run up to the next
header, empty lines included. "#" lines before a case's first section are comments.
  plan [raw|lf]    plan.txt: each line ends with CR LF ("raw": with nothing, "lf": with LF).
  trace            The trace: the console is the trace, CR LF and "Pulsar <CR> para terminar";
                   the listing plan.lst is the trace. Here and in console, listing and stderr
                   every line ends with CR LF, unless the section says "lf".
  console [lf] [contains] [drop KEY]...   The console, when it is not trace and prompt ("lf":
                   its lines end with LF, as do those of "stderr lf"; "contains": these lines are
                   part of it; "drop KEY": the key KEY is left out of every JSON object line
                   first, wherever it stands; repeatable).
  listing [NAME]   The file NAME (default plan.lst), when it is not the trace; repeatable.
  no-listing NAME...   Files that must not exist afterwards.
  args             The arguments, split like a shell does (default: plan.txt plan.lst).
  stdin [closed]   Standard input (lines end with LF), or none. Default: /dev/null.
  stdout MODE      file (default), pipe, full (/dev/full), closed-pipe, tty, closed (none);
                   "tty stderr": standard error on the same terminal, in the console.
  env NAME=VALUE...    Environment settings. On posix the locale is LANG=C unless the case
                   sets LANG (LC_ALL and LC_CTYPE are always removed).
  stderr           Standard error.
  status N         The exit status (default 0).
  setup            Shell lines run in the case folder first.
  file-size-limit N    No file may grow beyond N bytes (RLIMIT_FSIZE, SIGXFSZ ignored).
  hold FILE        FILE held by another process: flock(1), on windows --holder.
  command-line     Windows: the whole raw command line, program name first.
  drives           Windows: lines "X:\\DIR", each drive X's current directory.
  only PLATFORM    The case runs only on posix or only on windows.
  skip-on PLATFORM REASON...   The case is skipped there, for the reason given.
On windows no standard handle, command-line and drives go through --launcher.
Escapes but in args, setup and drives: \\t \\r \\n \\xNN \\\\, and \\c ending a line: no line end.
{dir} is the case folder in the platform's spelling (Z:\\tmp\\... under wine), {folder} the same
without a drive. In the console and standard error "$" and eight hex digits (a code location)
match "$XXXXXXXX".
The plan file must be left as it was.

case_file.py reads the files; this script prepares, runs and compares each case.
"""

import argparse, json, os, pty, re, resource, shlex, shutil, signal, subprocess, sys
import tempfile, tty

sys.dont_write_bytecode = True  # no __pycache__ beside the cases
from case_file import decode_lines, export_plans, parse
from plan_checks import Tally

PROMPT = b"\r\nPulsar <CR> para terminar"
# Seconds a program may take; the sanitizer build, many times slower, sets TOSIM_TIMEOUT_SCALE.
TIMEOUT = 60 * float(os.environ.get("TOSIM_TIMEOUT_SCALE", "1"))


class Outcome(Exception):
    """A verdict reached before the comparison: ("SKIP" or "FAIL", detail)."""


# Preparing the case folder.

class Spelling:
    """Paths as the program sees them: under wine the case folder is Z:\\tmp\\..."""

    def __init__(self, folder, windows):
        self.folder, self.windows = folder, windows

    def path(self, path):
        return "Z:" + path.replace("/", "\\") if self.windows else path

    def __call__(self, text):
        """`text` with {dir} and {folder} replaced."""
        return text.replace("{dir}", self.path(self.folder)).replace(
            "{folder}", self.folder.replace("/", "\\") if self.windows else self.folder)


def drop_key(data, key):
    """`data` with every member "KEY":value, at any depth, taken out of every line that is a JSON
    object (a member that is not its object's first)."""
    lines = data.split(b"\n")
    marker = ',"' + key + '":'
    for i, line in enumerate(lines):
        if not line.startswith(b"{"):
            continue
        text = line.decode("utf-8")
        at = text.find(marker)
        while at >= 0:
            _, end = json.JSONDecoder().raw_decode(text, at + len(marker))
            text = text[:at] + text[end:]
            at = text.find(marker, at)
        lines[i] = text.encode("utf-8")
    return b"\n".join(lines)


def prepare_folder(case, folder, spell):
    """Writes plan.txt and runs the setup lines; returns the plan's bytes, or None."""
    plan = case.plan_bytes()
    if plan is not None:
        with open(os.path.join(folder, "plan.txt"), "wb") as f:
            f.write(plan)
    if case.has("setup"):
        subprocess.run(["bash", "-e", "-c", spell("\n".join(case.lines("setup")))], cwd=folder,
                       check=True)
    return plan


# The command line, its environment and the file held meanwhile.

def environment_of(case, windows):
    """The program's environment, or None for this process's own. On posix a known locale:
    whether the console is converted depends on it."""
    env = case.words("env")
    settings = dict((w.split("=", 1) for w in env),
                    **({} if windows or "LANG=" in " ".join(env) else {"LANG": "C"}))
    if not settings:
        return None
    return {k: v for k, v in os.environ.items() if k not in ("LC_ALL", "LC_CTYPE")} | settings


def command_of(case, program, launcher, holder, spell):
    """(command, environment, launched). On windows a missing standard handle, an exact command
    line and the drives' directories need the launcher inside wine; a file is held there too,
    since wine ignores flock(2)."""
    windows = spell.windows
    args = [spell(w) for w in shlex.split(" ".join(case.lines("args", ["plan.txt plan.lst"])))]
    stdout_mode = (case.words("stdout") or ["file"])[0]
    flags = [f for f, on in (("-no-stdin", "closed" in case.words("stdin")),
                             ("-no-stdout", stdout_mode == "closed")) if on and windows]
    launch = windows and bool(flags or case.has("command-line") or case.has("drives"))
    if (launch and not launcher) or (windows and case.has("hold") and not holder):
        raise Outcome("SKIP", "  needs --launcher and --holder on windows")
    environment = environment_of(case, windows)
    if not launch:
        return program + args, environment, False
    exe = spell.path(program[-1])
    if case.has("command-line"):
        line = spell(decode_lines(case.lines("command-line"), b"").decode("latin-1"))
    else:
        line = " ".join(f'"{w}"' if w == "" or any(ord(c) <= 32 for c in w) else w
                        for w in [exe] + args)
    environment = dict(environment or os.environ, TOSIM_TEST_COMMAND_LINE=line)
    drives = [spell(l) for l in case.lines("drives", []) if l.strip()]
    return launcher + flags + [exe] + drives, environment, True


def hold_file(case, holder, spell):
    """A process holding the case's "hold" file (flock(1) here, the holder on windows), or
    None."""
    if not case.has("hold"):
        return None
    path = os.path.join(spell.folder, case.words("hold")[0])
    holding = subprocess.Popen(holder + [spell.path(path)] if spell.windows else [
        "flock", "-x", path, "sh", "-c", "echo held; cat >/dev/null"],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    if holding.stdout.readline().rstrip() != b"held":
        holding.kill()
        raise Outcome("FAIL", f"  {path} could not be held")
    return holding


def let_go(holding):
    if holding:
        holding.stdin.close()
        holding.wait(timeout=TIMEOUT)


# The standard streams.

class Streams:
    """The program's standard streams as the case asks: the child's ends (stdin, stdout, and
    stderr when it goes to the terminal too), the end to read the console from, and the
    descriptors to close in the child (the shell's 0<&- and 1>&-)."""

    def __init__(self, case, folder, launch):
        stdin_closed = "closed" in case.words("stdin")
        self.mode = (case.words("stdout") or ["file"])[0]
        self.stdin = subprocess.DEVNULL
        if case.has("stdin") and not stdin_closed:
            self.stdin, write_end = os.pipe()
            os.write(write_end, decode_lines(case.lines("stdin"), b"\n"))  # small: fits the pipe
            os.close(write_end)
        self.reader, self.stdout = None, subprocess.DEVNULL  # "closed": closed in the child
        if self.mode in ("file", "full"):
            self.stdout = open(os.path.join(folder, ".console") if self.mode == "file"
                               else "/dev/full", "wb")
        elif self.mode in ("pipe", "closed-pipe", "tty"):
            self.reader, self.stdout = pty.openpty() if self.mode == "tty" else os.pipe()
            if self.mode == "tty":
                tty.setraw(self.stdout)  # no LF to CR LF: the bytes as the program wrote them
            if self.mode == "closed-pipe":
                os.close(self.reader)
                self.reader = None
        elif self.mode != "closed":
            raise SystemExit(f"unknown stdout mode {self.mode}")
        self.stderr_on_tty = self.mode == "tty" and "stderr" in case.words("stdout")
        self.closed = [] if launch else [fd for fd, gone in (
            (0, stdin_closed), (1, self.mode == "closed")) if gone]

    def close_child_ends(self):
        for end in (self.stdin, self.stdout):
            if hasattr(end, "close"):
                end.close()
            elif end >= 0:
                os.close(end)


# Running the program.

def read_all(fd):
    data = b""
    try:
        while chunk := os.read(fd, 65536):
            data += chunk
    except OSError:  # a pseudo-terminal reports EIO once the other side is gone
        pass
    os.close(fd)
    return data


def run_program(command, folder, streams, environment, file_size_limit):
    """Runs the program to its end; returns (console, standard error, exit status). The console
    is what the pipe or terminal received; a console written to a file is read afterwards."""

    def in_child():
        for fd in streams.closed:
            os.close(fd)
        if file_size_limit:
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))

    with open(os.path.join(folder, ".stderr"), "wb+") as stderr:
        proc = subprocess.Popen(command, cwd=folder, stdin=streams.stdin, stdout=streams.stdout,
                                stderr=streams.stdout if streams.stderr_on_tty else stderr,
                                preexec_fn=in_child, env=environment)
        streams.close_child_ends()
        console = read_all(streams.reader) if streams.reader is not None else b""
        try:
            status = proc.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            raise Outcome("FAIL", f"  did not finish within {TIMEOUT:g} s")
        stderr.seek(0)
        return console, stderr.read(), status


# Comparing the results.

def difference(label, expected, actual):
    at = next((i for i, (a, b) in enumerate(zip(expected, actual)) if a != b),
              min(len(expected), len(actual)))
    return None if expected == actual else (
        f"  {label} differs at byte {at} (expected {len(expected)} bytes, got {len(actual)})"
        f"\n    expected: {expected[max(0, at - 40):at + 40]!r}"
        f"\n    actual:   {actual[max(0, at - 40):at + 40]!r}")


def mask(data):
    """Code locations ("$" and eight hex digits) as "$XXXXXXXX"."""
    return re.sub(rb"\$[0-9A-F]{8}", b"$XXXXXXXX", data)


def problems_of(case, folder, spell, plan, stdout_mode, console, errors, status):
    """What differs from the case's expectations, one text each."""
    contents = lambda name: open(os.path.join(folder, name), "rb").read()
    text = lambda key: spell(decode_lines(case.lines(key), case.line_end(key)).decode(
        "latin-1")).encode("latin-1")
    trace = decode_lines(case.lines("trace"), b"\r\n") if case.has("trace") else None
    expected = text("console") if case.has("console") else (
        None if trace is None else trace + PROMPT)
    problems = [difference("stderr", text("stderr"), mask(errors)) if case.has("stderr")
                else None]
    words = case.words("console")
    for i, word in enumerate(words[:-1]):
        if word == "drop":
            console = drop_key(console, words[i + 1])
    if expected is not None and stdout_mode not in ("full", "closed-pipe", "closed"):
        if "contains" in case.words("console"):
            problems.append(None if expected in mask(console) else
                            f"  console lacks {expected!r}\n    console: {console[:200]!r}")
        else:
            problems.append(difference("console", expected, mask(console)))
    listings = [(" ".join(w) or "plan.lst", decode_lines(l, b"\r\n"))
                for w, l in case.every("listing")]
    for name, bytes_ in listings or ([("plan.lst", trace)] if trace is not None else []):
        problems.append(difference(f"listing {name}", bytes_, contents(name)) if os.path.isfile(
            os.path.join(folder, name)) else f"  listing {name} was not written")
    problems += [f"  {name} exists, but no listing may be written there"
                 for name in case.words("no-listing") if os.path.lexists(os.path.join(folder, name))]
    expected_status = (case.words("status") or [0])[0]
    if status != int(expected_status):
        problems.append(f"  exit status {status}, expected {expected_status}\n"
                        f"    console: {console[-200:]!r}\n    stderr: {errors[-200:]!r}")
    if plan is not None and contents("plan.txt") != plan:
        problems.append("  the plan file was changed")
    return [p for p in problems if p]


# One case, all cases.

def run_case(case, program, windows, holder, launcher, folder):
    """(verdict, detail) of one case run in the empty `folder`."""
    spell = Spelling(folder, windows)
    plan = prepare_folder(case, folder, spell)
    try:
        command, environment, launch = command_of(case, program, launcher, holder, spell)
        holding = hold_file(case, holder, spell)
        try:
            streams = Streams(case, folder, launch)
            limit = case.has("file-size-limit") and int(case.words("file-size-limit")[0])
            console, errors, status = run_program(command, folder, streams, environment, limit)
        finally:
            let_go(holding)
    except Outcome as outcome:
        return outcome.args
    if streams.mode == "file":
        console = open(os.path.join(folder, ".console"), "rb").read()
    problems = problems_of(case, folder, spell, plan, streams.mode, console, errors, status)
    return ("FAIL", "\n".join(problems)) if problems else ("PASS", "")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--program", required=True, help="with any wrapper: 'wine tosim.exe'")
    parser.add_argument("--platform", choices=["posix", "windows"], default="posix")
    parser.add_argument("--holder", help="windows: CMD FILE holds FILE, prints 'held' and "
                        "lets go at the end of its input")
    parser.add_argument("--launcher", help="windows: CMD [-no-stdin] [-no-stdout] EXE [X:DIR]...")
    parser.add_argument("--export-plans", metavar="DIR", help="only write the plans into DIR")
    parser.add_argument("case_files", nargs="+")
    options = parser.parse_args()
    command = lambda text: text and [os.path.abspath(w) if os.path.exists(w) else w
                                     for w in shlex.split(text)]
    cases = [case for path in options.case_files for case in parse(path)]
    if options.export_plans:
        export_plans(cases, options.export_plans)
        return 0
    windows = options.platform == "windows"
    tally = Tally()
    for case in cases:
        if case.has("only") and options.platform not in case.words("only"):
            continue
        skip = case.words("skip-on")
        if skip and skip[0] == options.platform:
            verdict, detail = "SKIP", "  " + " ".join(skip[1:])
        else:
            folder = tempfile.mkdtemp(prefix="tosim-e2e-")
            try:
                verdict, detail = run_case(case, command(options.program), windows,
                                           command(options.holder), command(options.launcher),
                                           folder)
            finally:
                shutil.rmtree(folder, ignore_errors=True)
        tally.record(verdict, f"{os.path.basename(case.source)}: {case.name}", detail)
    return tally.summary() or (77 if tally.counts["PASS"] == 0 else 0)


if __name__ == "__main__":
    sys.exit(main())
