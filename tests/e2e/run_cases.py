#!/usr/bin/env python3
"""Runs tosim end to end on the cases of one or more .case files and compares, byte for byte,
the console (standard output), the listing file and the exit status with what the case expects.

A .case file holds several cases. Each starts with a line "=== name" and has sections that start
with "--- key [words]". A section runs up to the next header, its empty lines included: the two
empty lines that end a plan's trace stand right before the next header.

  plan [raw]      The plan file plan.txt. Each line of the section ends with CR LF, unless the
                  header says "raw": then the lines are joined with nothing between them and
                  every line end is written as an escape.
  trace           The expected trace: every line ends with CR LF. The console is the trace, a line
                  end and "Pulsar <CR> para terminar"; the listing plan.lst is the trace.
  console         The expected console, when it is not trace + prompt (lines end with CR LF).
  listing [NAME]  The expected listing file NAME (default plan.lst; it may hold spaces), when it
                  is not the trace.
  no-listing NAME The file NAME must not exist afterwards.
  args            The arguments, split like a shell does (default: plan.txt plan.lst).
  stdin [closed]  Bytes for standard input (each line ends with LF), or a closed descriptor.
                  Default: /dev/null. On windows, closed means no standard input handle at all
                  (the program is started through --launcher).
  stdout MODE     file (default), pipe, full (/dev/full), closed-pipe (reader gone), tty,
                  closed (no descriptor 1 at all; on windows no handle, through --launcher).
                  "tty stderr": standard error on the same terminal, in the console.
  stderr          The expected standard error (lines end with CR LF).
  env NAME=VALUE...  Environment settings for the run. On posix the locale is LANG=C unless
                  the case sets LANG (LC_ALL and LC_CTYPE are always removed).
  status N        The expected exit status (default 0).
  setup           Shell lines run in the case folder before the run.
  file-size-limit N  No file the program writes may grow beyond N bytes (RLIMIT_FSIZE).
  hold FILE       An exclusive flock(2) on FILE, held by this runner during the run. On windows
                  the --holder program holds FILE open without sharing instead.
  command-line    Windows only: the whole raw command line, program name first, handed to the
                  program exactly as written (through --launcher); replaces args.
  drives          Windows only: lines "X:\\DIR", each the current directory of drive X for the
                  run (through --launcher).
  only PLATFORM   The case runs only on posix or only on windows.
  skip-on PLATFORM REASON...   The case is reported as skipped there, with the reason.

Escapes in every section but args, setup and drives: \\t TAB, \\r CR, \\n LF, \\xNN a byte, \\\\ a
backslash, and \\c at the end of a line: no line end there. In args, setup, command-line,
drives and expected texts, {dir} is the case folder in the platform's own spelling (Z:\\tmp\\...
under wine) and {folder} the same without a drive letter (\\tmp\\... under wine, {dir} on
posix); they are replaced after the escapes are decoded, in args after the words are split.
In the console, every "$" followed by eight hex digits (a code location of a failure report)
compares equal to "$XXXXXXXX".
The plan file must always be left byte for byte as it was.
"""

import argparse
import fcntl
import os
import pty
import resource
import re
import select
import shlex
import shutil
import subprocess
import sys
import tempfile
import tty

PROMPT = b"\r\nPulsar <CR> para terminar"
ADDRESS = re.compile(rb"\$[0-9A-F]{8}")


def decode(text):
    """Turns escapes into bytes; the text itself is Latin-1, like the program's code page."""
    out = bytearray()
    i = 0
    while i < len(text):
        ch = text[i]
        if ch == "\\" and i + 1 < len(text):
            nxt = text[i + 1]
            simple = {"t": b"\t", "r": b"\r", "n": b"\n", "\\": b"\\"}
            if nxt in simple:
                out += simple[nxt]
                i += 2
                continue
            if nxt == "x":
                out.append(int(text[i + 2 : i + 4], 16))
                i += 4
                continue
        out += ch.encode("latin-1")
        i += 1
    return bytes(out)


def decode_lines(lines, line_end):
    out = bytearray()
    for line in lines:
        if line.endswith("\\c"):
            out += decode(line[:-2])
        else:
            out += decode(line) + line_end
    return bytes(out)


class Case:
    def __init__(self, source, name):
        self.source = source
        self.name = name
        self.sections = {}  # key -> (words, lines)

    def has(self, key):
        return key in self.sections

    def words(self, key):
        return self.sections[key][0]

    def lines(self, key):
        return self.sections[key][1]


def parse(path):
    cases = []
    current = None
    lines = None
    with open(path, encoding="latin-1") as f:
        text = f.read()
        if text.endswith("\n"):
            text = text[:-1]
        for raw in text.split("\n"):
            if raw.startswith("=== "):
                current = Case(path, raw[4:].strip())
                cases.append(current)
                lines = None
            elif raw.startswith("--- "):
                words = raw[4:].split()
                lines = []
                current.sections[words[0]] = (words[1:], lines)
            elif lines is not None:
                lines.append(raw)
            elif raw.strip() and not raw.startswith("#"):
                raise SystemExit(f"{path}: text outside a section: {raw!r}")
    return cases


def plan_bytes(case):
    if not case.has("plan"):
        return None
    raw = "raw" in case.words("plan")
    return decode_lines(case.lines("plan"), b"" if raw else b"\r\n")


def platform_dir(folder, platform):
    if platform == "windows":
        return "Z:" + folder.replace("/", "\\")
    return folder


def platform_folder(folder, platform):
    """The case folder without a drive letter."""
    if platform == "windows":
        return folder.replace("/", "\\")
    return folder


def windows_word(word):
    """One argument as a Windows command-line word: quoted when it holds a separator."""
    if word == "" or any(ord(c) <= 32 for c in word):
        return '"' + word + '"'
    return word


def show_difference(label, expected, actual):
    if expected == actual:
        return None
    at = next((i for i, (a, b) in enumerate(zip(expected, actual)) if a != b),
              min(len(expected), len(actual)))
    lo = max(0, at - 40)
    return (f"  {label} differs at byte {at} (expected {len(expected)} bytes, got {len(actual)})\n"
            f"    expected: {expected[lo:at + 40]!r}\n"
            f"    actual:   {actual[lo:at + 40]!r}")


def read_all(fd):
    chunks = []
    while True:
        try:
            chunk = os.read(fd, 65536)
        except OSError:  # a pty reports EIO once the other side is gone
            break
        if not chunk:
            break
        chunks.append(chunk)
    return b"".join(chunks)


def run_case(case, program, platform, holder=None, launcher=None):
    folder = tempfile.mkdtemp(prefix="tosim-e2e-")
    try:
        return run_in(case, program, platform, folder, holder, launcher)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def run_in(case, program, platform, folder, holder=None, launcher=None):
    subst = lambda s: s.replace("{dir}", platform_dir(folder, platform)).replace(
        "{folder}", platform_folder(folder, platform))
    subst_bytes = lambda b: subst(b.decode("latin-1")).encode("latin-1")
    plan = plan_bytes(case)
    if plan is not None:
        with open(os.path.join(folder, "plan.txt"), "wb") as f:
            f.write(plan)
    if case.has("setup"):
        script = "\n".join(subst(line) for line in case.lines("setup"))
        subprocess.run(["bash", "-e", "-c", script], cwd=folder, check=True)

    args = [subst(word) for word in shlex.split(" ".join(case.lines("args")))] if case.has(
        "args") else ["plan.txt", "plan.lst"]

    stdin_mode = case.words("stdin") if case.has("stdin") else []
    stdout_mode = case.words("stdout")[0] if case.has("stdout") else "file"

    # On Windows a missing standard handle, an exact command line and the drives' directories
    # need a launcher inside wine; a file is held there too, since wine ignores flock(2).
    launch_flags = []
    if platform == "windows":
        launch_flags = [flag for flag, wanted in (("-no-stdin", "closed" in stdin_mode),
                                                  ("-no-stdout", stdout_mode == "closed"))
                        if wanted]
        if (launch_flags or case.has("command-line") or case.has("drives")) and not launcher:
            return "SKIP", "  needs --launcher on windows"
        if case.has("hold") and not holder:
            return "SKIP", "  needs --holder on windows"
    elif case.has("command-line") or case.has("drives"):
        raise SystemExit(f"{case.name}: command-line and drives are for windows cases only")
    use_launcher = platform == "windows" and (
        launch_flags or case.has("command-line") or case.has("drives"))

    held = None
    holding = None
    if case.has("hold"):
        held_path = os.path.join(folder, case.words("hold")[0])
        if platform == "windows":
            holding = subprocess.Popen(holder + [platform_dir(held_path, platform)],
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                       stderr=subprocess.PIPE)
            if holding.stdout.readline().rstrip() != b"held":
                holding.stdin.close()
                holding.wait(timeout=60)
                return "FAIL", f"  the holder could not hold {held_path}: {holding.stderr.read()!r}"
        else:
            held = open(held_path, "rb")
            fcntl.flock(held, fcntl.LOCK_EX)
    stdin_data = decode_lines(case.lines("stdin"), b"\n") if case.has("stdin") else None

    stdin_read = None
    if "closed" in stdin_mode:
        stdin_arg = None
    elif stdin_data is not None:
        stdin_read, stdin_write = os.pipe()
        os.write(stdin_write, stdin_data)  # small: fits in the pipe
        os.close(stdin_write)
        stdin_arg = stdin_read
    else:
        stdin_arg = subprocess.DEVNULL

    console_path = os.path.join(folder, ".console")
    stderr_path = os.path.join(folder, ".stderr")
    stdout_file = None
    master = None
    pipe_read = None
    if stdout_mode == "file":
        stdout_file = open(console_path, "wb")
        stdout_arg = stdout_file
    elif stdout_mode == "full":
        stdout_file = open("/dev/full", "wb")
        stdout_arg = stdout_file
    elif stdout_mode in ("pipe", "closed-pipe"):
        pipe_read, pipe_write = os.pipe()
        stdout_arg = pipe_write
        if stdout_mode == "closed-pipe":
            os.close(pipe_read)
            pipe_read = None
    elif stdout_mode == "closed":
        stdout_arg = subprocess.DEVNULL  # closed in the child, below
    elif stdout_mode == "tty":
        master, slave = pty.openpty()
        tty.setraw(slave)  # no LF to CR LF translation: the bytes as the program wrote them
        stdout_arg = slave
    else:
        raise SystemExit(f"unknown stdout mode {stdout_mode}")

    command = program + args
    environment = None
    settings = dict(word.split("=", 1) for word in case.words("env")) if case.has("env") else {}
    if platform == "posix" or settings:
        environment = {k: v for k, v in os.environ.items() if k not in ("LC_ALL", "LC_CTYPE")}
        if platform == "posix":
            environment["LANG"] = "C"
        environment.update(settings)
    if use_launcher:
        line = subst(decode_lines(case.lines("command-line"), b"").decode(
            "latin-1")) if case.has("command-line") else " ".join(
                windows_word(word) for word in [platform_dir(program[-1], platform)] + args)
        environment = dict(environment or os.environ, TOSIM_TEST_COMMAND_LINE=line)
        drives = [subst(l) for l in case.lines("drives") if l.strip()] if case.has(
            "drives") else []
        command = launcher + launch_flags + [platform_dir(program[-1], platform)] + drives
    with open(stderr_path, "wb") as stderr_file:
        # Standard input or output closed, as the shell's 0<&- and 1>&- leave them.
        closed = [fd for fd, gone in ((0, stdin_arg is None), (1, stdout_mode == "closed"))
                  if gone and not use_launcher]
        size_limit = int(case.words("file-size-limit")[0]) if case.has("file-size-limit") else None

        def preexec():
            for fd in closed:
                os.close(fd)
            if size_limit is not None:
                resource.setrlimit(resource.RLIMIT_FSIZE, (size_limit, size_limit))
        close_fds = True
        if stdin_arg is None:
            stdin_arg = subprocess.DEVNULL
        on_tty = stdout_mode == "tty" and "stderr" in case.words("stdout")
        proc = subprocess.Popen(command, cwd=folder, stdin=stdin_arg, stdout=stdout_arg,
                                stderr=stdout_arg if on_tty else stderr_file, preexec_fn=preexec, close_fds=close_fds,
                                env=environment)
        if stdout_mode in ("pipe", "closed-pipe"):
            os.close(stdout_arg)
        if stdout_mode == "tty":
            os.close(stdout_arg)
        console = b""
        if pipe_read is not None:
            console = read_all(pipe_read)
            os.close(pipe_read)
        if master is not None:
            console = read_all(master)
            os.close(master)
        try:
            status = proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            return "FAIL", "  did not finish within 60 s"
    if stdin_read is not None:
        os.close(stdin_read)
    if stdout_file is not None:
        stdout_file.close()
    if held is not None:
        held.close()
    if holding is not None:
        holding.stdin.close()
        holding.wait(timeout=60)
    if stdout_mode == "file":
        with open(console_path, "rb") as f:
            console = f.read()
    with open(stderr_path, "rb") as f:
        stderr = f.read()

    problems = []
    trace = decode_lines(case.lines("trace"), b"\r\n") if case.has("trace") else None
    expected_console = None
    if case.has("console"):
        expected_console = subst_bytes(decode_lines(case.lines("console"), b"\r\n"))
    elif trace is not None:
        expected_console = trace + PROMPT
    if expected_console is not None and stdout_mode not in ("full", "closed-pipe", "closed"):
        problems.append(show_difference("console", expected_console,
                                        ADDRESS.sub(b"$XXXXXXXX", console)))

    listing_name = "plan.lst"
    expected_listing = trace
    if case.has("listing"):
        if case.words("listing"):
            listing_name = " ".join(case.words("listing"))
        expected_listing = decode_lines(case.lines("listing"), b"\r\n")
    if expected_listing is not None:
        listing_path = os.path.join(folder, listing_name)
        if not os.path.isfile(listing_path):
            problems.append(f"  listing {listing_name} was not written")
        else:
            with open(listing_path, "rb") as f:
                problems.append(show_difference(f"listing {listing_name}", expected_listing,
                                                f.read()))
    if case.has("no-listing"):
        for name in case.words("no-listing"):
            if os.path.lexists(os.path.join(folder, name)):
                problems.append(f"  {name} exists, but no listing may be written there")

    if case.has("stderr"):
        expected_stderr = subst_bytes(decode_lines(case.lines("stderr"), b"\r\n"))
        problems.append(show_difference("stderr", expected_stderr, stderr))

    expected_status = int(case.words("status")[0]) if case.has("status") else 0
    if status != expected_status:
        problems.append(f"  exit status {status}, expected {expected_status}\n"
                        f"    console: {console[-200:]!r}\n    stderr: {stderr[-200:]!r}")

    if plan is not None:
        with open(os.path.join(folder, "plan.txt"), "rb") as f:
            if f.read() != plan:
                problems.append("  the plan file was changed")

    problems = [p for p in problems if p]
    if problems:
        return "FAIL", "\n".join(problems)
    return "PASS", ""


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--program", required=True,
                        help="the program to run, with any wrapper: 'wine tosim.exe'")
    parser.add_argument("--platform", choices=["posix", "windows"], default="posix")
    parser.add_argument("--holder", metavar="CMD",
                        help="windows: a program given FILE that holds it open without sharing, "
                             "writes 'held' and a line end, and lets go at the end of its input")
    parser.add_argument("--launcher", metavar="CMD",
                        help="windows: a program given [-no-stdin] [-no-stdout] EXE [X:DIR]... "
                             "that runs EXE with the command line in TOSIM_TEST_COMMAND_LINE")
    parser.add_argument("--export-plans", metavar="DIR",
                        help="write every case's plan file into DIR and run nothing")
    parser.add_argument("case_files", nargs="+")
    options = parser.parse_args()
    wrapper = lambda text: [os.path.abspath(word) if os.path.exists(word) else word
                            for word in shlex.split(text)] if text else None
    program = wrapper(options.program)

    cases = [case for path in options.case_files for case in parse(path)]
    if options.export_plans:
        os.makedirs(options.export_plans, exist_ok=True)
        for index, case in enumerate(cases):
            plan = plan_bytes(case)
            if plan is not None:
                base = os.path.splitext(os.path.basename(case.source))[0]
                with open(os.path.join(options.export_plans, f"{base}-{index:03}.txt"),
                          "wb") as f:
                    f.write(plan)
        return 0

    counts = {"PASS": 0, "FAIL": 0, "SKIP": 0}
    for case in cases:
        if case.has("only") and options.platform not in case.words("only"):
            continue
        verdict, detail = "SKIP", ""
        skip = case.words("skip-on") if case.has("skip-on") else []
        if skip and skip[0] == options.platform:
            detail = "  " + " ".join(skip[1:])
        else:
            verdict, detail = run_case(case, program, options.platform,
                                       wrapper(options.holder), wrapper(options.launcher))
        counts[verdict] += 1
        print(f"{verdict} {os.path.basename(case.source)}: {case.name}")
        if detail:
            print(detail)
    print(f"{counts['PASS']} passed, {counts['FAIL']} failed, {counts['SKIP']} skipped")
    if counts["FAIL"]:
        return 1
    return 77 if counts["PASS"] == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
