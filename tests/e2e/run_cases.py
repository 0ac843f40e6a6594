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
  console [lf] [contains] [drop KEY]   The console, when it is not trace and prompt ("lf": its
                   lines end with LF, as do those of "stderr lf"; "contains": these lines are part
                   of it; "drop KEY": the key KEY of every JSON object line is left out first).
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
"""

import argparse, json, os, pty, re, resource, shlex, shutil, signal, subprocess, sys
import tempfile, tty

PROMPT = b"\r\nPulsar <CR> para terminar"
ESCAPE = re.compile(r"\\(x[0-9A-Fa-f]{2}|[trn\\])")


def decode(text):
    """Escapes become bytes; the rest is Latin-1, the program's code page."""
    unescape = lambda m: chr(int(m[1][1:], 16)) if m[1][0] == "x" else {
        "t": "\t", "r": "\r", "n": "\n", "\\": "\\"}[m[1]]
    return ESCAPE.sub(unescape, text).encode("latin-1")


def decode_lines(lines, line_end):
    return b"".join(decode(l[:-2]) if l.endswith("\\c") else decode(l) + line_end for l in lines)


def drop_key(data, key):
    """`data` with the member "KEY":value taken out of every line that is a JSON object."""
    lines = data.split(b"\n")
    marker = b',"' + key.encode() + b'":'
    for i, line in enumerate(lines):
        at = line.find(marker)
        if line.startswith(b"{") and at >= 0:
            text = line.decode("utf-8")
            start = len(line[:at].decode("utf-8"))
            _, end = json.JSONDecoder().raw_decode(text, start + len(marker.decode()))
            lines[i] = (text[:start] + text[end:]).encode("utf-8")
    return b"\n".join(lines)


def parse(path):
    cases, lines = [], None
    with open(path, encoding="latin-1") as f:
        for raw in f.read().removesuffix("\n").split("\n"):
            if raw.startswith("=== "):
                cases.append({"name": raw[4:].strip(), "source": path, "sections": []})
                lines = None
            elif raw.startswith("--- "):
                words, lines = raw[4:].split(), []
                cases[-1]["sections"].append((words[0], words[1:], lines))
            elif lines is not None:
                lines.append(raw)
            elif raw.strip() and not raw.startswith("#"):
                raise SystemExit(f"{path}: text outside a section: {raw!r}")
    return cases


def section(case, key):
    """The (words, lines) of the case's section `key`, or None."""
    return next(((w, l) for k, w, l in case["sections"] if k == key), None)


def plan_bytes(case):
    plan = section(case, "plan")
    if plan is None:
        return None
    line_end = b"" if "raw" in plan[0] else b"\n" if "lf" in plan[0] else b"\r\n"
    return decode_lines(plan[1], line_end)


def difference(label, expected, actual):
    at = next((i for i, (a, b) in enumerate(zip(expected, actual)) if a != b),
              min(len(expected), len(actual)))
    return None if expected == actual else (
        f"  {label} differs at byte {at} (expected {len(expected)} bytes, got {len(actual)})"
        f"\n    expected: {expected[max(0, at - 40):at + 40]!r}"
        f"\n    actual:   {actual[max(0, at - 40):at + 40]!r}")


def read_all(fd):
    data = b""
    try:
        while chunk := os.read(fd, 65536):
            data += chunk
    except OSError:  # a pseudo-terminal reports EIO once the other side is gone
        pass
    os.close(fd)
    return data


def run_case(case, program, windows, holder, launcher, folder):
    get = lambda key, default=None: (section(case, key) or (None, default))[1]
    words = lambda key: (section(case, key) or ([], None))[0]
    spell = lambda path: "Z:" + path.replace("/", "\\") if windows else path
    subst = lambda s: s.replace("{dir}", spell(folder)).replace(
        "{folder}", folder.replace("/", "\\") if windows else folder)
    plan = plan_bytes(case)
    if plan is not None:
        with open(os.path.join(folder, "plan.txt"), "wb") as f:
            f.write(plan)
    if section(case, "setup"):
        subprocess.run(["bash", "-e", "-c", subst("\n".join(get("setup")))], cwd=folder,
                       check=True)
    args = [subst(w) for w in shlex.split(" ".join(get("args", ["plan.txt plan.lst"])))]
    stdin_closed = "closed" in words("stdin")
    stdout_mode = (words("stdout") or ["file"])[0]

    # On windows a missing standard handle, an exact command line and the drives' directories
    # need the launcher inside wine; a file is held there too, since wine ignores flock(2).
    flags = [f for f, on in (("-no-stdin", stdin_closed), ("-no-stdout", stdout_mode == "closed"))
             if on and windows]
    launch = windows and bool(flags or section(case, "command-line") or section(case, "drives"))
    if (launch and not launcher) or (windows and section(case, "hold") and not holder):
        return "SKIP", "  needs --launcher and --holder on windows"
    # A known locale: whether the console is converted depends on it.
    environment = dict((w.split("=", 1) for w in words("env")),
                       **({} if windows or "LANG=" in " ".join(words("env")) else {"LANG": "C"}))
    environment = {k: v for k, v in os.environ.items() if k not in ("LC_ALL", "LC_CTYPE")} | (
        environment) if environment else None
    command = program + args
    if launch:
        exe = spell(program[-1])
        line = subst(decode_lines(get("command-line"), b"").decode("latin-1")) if section(
            case, "command-line") else " ".join(
                f'"{w}"' if w == "" or any(ord(c) <= 32 for c in w) else w for w in [exe] + args)
        environment = dict(environment or os.environ, TOSIM_TEST_COMMAND_LINE=line)
        command = launcher + flags + [exe] + [subst(l) for l in get("drives", []) if l.strip()]

    holding = None  # a process holding a file: flock(1) here, the holder on windows
    if section(case, "hold"):
        path = os.path.join(folder, words("hold")[0])
        holding = subprocess.Popen(holder + [spell(path)] if windows else [
            "flock", "-x", path, "sh", "-c", "echo held; cat >/dev/null"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        if holding.stdout.readline().rstrip() != b"held":
            holding.kill()
            return "FAIL", f"  {path} could not be held"

    stdin = subprocess.DEVNULL
    if section(case, "stdin") and not stdin_closed:
        stdin, write_end = os.pipe()
        os.write(write_end, decode_lines(get("stdin"), b"\n"))  # small: fits in the pipe
        os.close(write_end)
    console_path = os.path.join(folder, ".console")
    reader, stdout = None, subprocess.DEVNULL  # "closed": closed in the child, below
    if stdout_mode in ("file", "full"):
        stdout = open(console_path if stdout_mode == "file" else "/dev/full", "wb")
    elif stdout_mode in ("pipe", "closed-pipe", "tty"):
        reader, stdout = pty.openpty() if stdout_mode == "tty" else os.pipe()
        if stdout_mode == "tty":
            tty.setraw(stdout)  # no LF to CR LF translation: the bytes as the program wrote them
        if stdout_mode == "closed-pipe":
            os.close(reader)
            reader = None
    elif stdout_mode != "closed":
        raise SystemExit(f"unknown stdout mode {stdout_mode}")
    # Standard input or output closed, as the shell's 0<&- and 1>&- leave them.
    closed = [] if launch else [fd for fd, gone in ((0, stdin_closed),
                                                    (1, stdout_mode == "closed")) if gone]
    limit = section(case, "file-size-limit") and int(words("file-size-limit")[0])

    def prepare():
        for fd in closed:
            os.close(fd)
        if limit:
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

    with open(os.path.join(folder, ".stderr"), "wb+") as stderr:
        on_tty = stdout_mode == "tty" and "stderr" in words("stdout")
        proc = subprocess.Popen(command, cwd=folder, stdin=stdin, stdout=stdout,
                                stderr=stdout if on_tty else stderr, preexec_fn=prepare,
                                env=environment)
        for end in (stdin, stdout):  # the child's ends
            if hasattr(end, "close"):
                end.close()
            elif end >= 0:
                os.close(end)
        console = read_all(reader) if reader is not None else b""
        try:
            status = proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            return "FAIL", "  did not finish within 60 s"
        stderr.seek(0)
        errors = stderr.read()
    if holding:
        holding.stdin.close()
        holding.wait(timeout=60)
    contents = lambda name: open(os.path.join(folder, name), "rb").read()
    if stdout_mode == "file":
        console = contents(".console")

    line_end = lambda key: b"\n" if "lf" in words(key) else b"\r\n"
    text = lambda key: subst(decode_lines(get(key), line_end(key)).decode("latin-1")).encode(
        "latin-1")
    trace = section(case, "trace") and decode_lines(get("trace"), b"\r\n")
    expected = text("console") if section(case, "console") else None if trace is None else trace + PROMPT
    mask = lambda data: re.sub(rb"\$[0-9A-F]{8}", b"$XXXXXXXX", data)
    problems = [difference("stderr", text("stderr"), mask(errors)) if section(case, "stderr")
                else None]
    if "drop" in words("console"):
        dropped = words("console")[words("console").index("drop") + 1]
        console = drop_key(console, dropped)
    if expected is not None and stdout_mode not in ("full", "closed-pipe", "closed"):
        if "contains" in words("console"):
            problems.append(None if expected in mask(console) else
                            f"  console lacks {expected!r}\n    console: {console[:200]!r}")
        else:
            problems.append(difference("console", expected, mask(console)))
    listings = [(" ".join(w) or "plan.lst", decode_lines(l, b"\r\n"))
                for k, w, l in case["sections"] if k == "listing"]
    for name, bytes_ in listings or ([("plan.lst", trace)] if trace is not None else []):
        problems.append(difference(f"listing {name}", bytes_, contents(name)) if os.path.isfile(
            os.path.join(folder, name)) else f"  listing {name} was not written")
    problems += [f"  {name} exists, but no listing may be written there"
                 for name in words("no-listing") if os.path.lexists(os.path.join(folder, name))]
    if status != int((words("status") or [0])[0]):
        problems.append(f"  exit status {status}, expected {(words('status') or [0])[0]}\n"
                        f"    console: {console[-200:]!r}\n    stderr: {errors[-200:]!r}")
    if plan is not None and contents("plan.txt") != plan:
        problems.append("  the plan file was changed")
    problems = [p for p in problems if p]
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
        os.makedirs(options.export_plans, exist_ok=True)
        for index, case in enumerate(cases):
            if (plan := plan_bytes(case)) is not None:
                base = os.path.splitext(os.path.basename(case["source"]))[0]
                with open(os.path.join(options.export_plans, f"{base}-{index:03}.txt"), "wb") as f:
                    f.write(plan)
        return 0
    windows = options.platform == "windows"
    counts = {"PASS": 0, "FAIL": 0, "SKIP": 0}
    for case in cases:
        only, skip = section(case, "only"), section(case, "skip-on")
        if only and options.platform not in only[0]:
            continue
        if skip and skip[0][0] == options.platform:
            verdict, detail = "SKIP", "  " + " ".join(skip[0][1:])
        else:
            if not windows and (section(case, "command-line") or section(case, "drives")):
                raise SystemExit(f"{case['name']}: command-line and drives are for windows only")
            folder = tempfile.mkdtemp(prefix="tosim-e2e-")
            try:
                verdict, detail = run_case(case, command(options.program), windows,
                                           command(options.holder), command(options.launcher),
                                           folder)
            finally:
                shutil.rmtree(folder, ignore_errors=True)
        counts[verdict] += 1
        print(f"{verdict} {os.path.basename(case['source'])}: {case['name']}" +
              (f"\n{detail}" if detail else ""))
    print(f"{counts['PASS']} passed, {counts['FAIL']} failed, {counts['SKIP']} skipped")
    return 1 if counts["FAIL"] else 77 if counts["PASS"] == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
