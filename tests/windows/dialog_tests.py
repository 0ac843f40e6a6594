#!/usr/bin/env python3
"""The real open and save dialogs of tosim.exe under wine, driven with xdotool on a virtual
display.

  dialog_tests.py --program build/windows/tosim.exe

Needs DISPLAY (an X server such as Xvfb, started before the first wine program of the session)
and the wine environment (WINEPREFIX ...); tests/windows/run_suite.sh provides both. Each test
starts tosim.exe without arguments in a fresh folder, answers the dialogs with typed keys, then
presses Enter at the final prompt, and compares the console, the listing and the exit status
byte for byte with what the test expects. The last line is "N passed, N failed, N skipped".

There is no window manager: every window is given the keyboard with "xdotool windowfocus
--sync" before keys are sent to it.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

PROMPT = b"\r\nPulsar <CR> para terminar"
PLAN = b"P1; T1\r\n"
TRACE = b"Iniciar P1\tplan P1 iniciado\r\nIniciar T1\tiniciada\r\nfin Plan\r\n\r\n\r\n"
WAIT = 30  # seconds for a window to appear or the program to end


class Failure(Exception):
    pass


def xdotool(*words):
    return subprocess.run(["xdotool", *words], capture_output=True, text=True,
                          timeout=WAIT).stdout.split()


def window_name(window):
    result = subprocess.run(["xdotool", "getwindowname", window], capture_output=True,
                            text=True, timeout=WAIT)
    return result.stdout.strip() if result.returncode == 0 else None


def visible_windows():
    """The program's visible top-level windows, with their names."""
    named = {}
    for window in xdotool("search", "--onlyvisible", "--class", "tosim"):
        name = window_name(window)
        if name is not None and name != "Default IME":
            named[window] = name
    return named


def wait_for_window(title, proc, other_than=()):
    """The window called `title`; for None, any window but those in `other_than` (a message
    box: wine titles some "Error", some not at all)."""
    deadline = time.monotonic() + WAIT
    while time.monotonic() < deadline:
        for window, name in visible_windows().items():
            if (title is None or name == title) and window not in other_than:
                return window
        if proc.poll() is not None:
            raise Failure(f"the program ended (status {proc.returncode}) before the window "
                          f"{title!r} appeared")
        time.sleep(0.1)
    raise Failure(f"no window {title!r} within {WAIT} s; visible: {visible_windows()}")


def wait_until_gone(window):
    deadline = time.monotonic() + WAIT
    while time.monotonic() < deadline:
        if window not in visible_windows():
            return
        time.sleep(0.1)
    raise Failure(f"window {window} did not close")


def send(window, *, text=None, keys=()):
    xdotool("windowfocus", "--sync", window)
    if text is not None:
        xdotool("type", "--delay", "15", text)
    if keys:
        xdotool("key", "--delay", "50", *keys)


class Run:
    """One run of the program without arguments, in its own folder."""

    def __init__(self, program, folder):
        self.folder = folder
        self.console_path = os.path.join(folder, ".console")
        with open(self.console_path, "wb") as console, open(os.path.join(folder, ".stderr"),
                                                            "wb") as errors:
            self.proc = subprocess.Popen(["wine", program], cwd=folder, stdin=subprocess.PIPE,
                                         stdout=console, stderr=errors)

    def windows_path(self, name):
        return "Z:" + os.path.join(self.folder, name).replace("/", "\\")

    def finish(self):
        """Presses Enter at the final prompt; the console and the exit status."""
        self.proc.stdin.write(b"\n")
        self.proc.stdin.close()
        try:
            status = self.proc.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program did not end within {WAIT} s; visible windows: "
                          f"{visible_windows()}")
        with open(self.console_path, "rb") as f:
            return f.read(), status

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def expect_equal(label, expected, actual):
    if expected != actual:
        raise Failure(f"{label}:\n    expected: {expected!r}\n    actual:   {actual!r}")


def expect_file(run, name, expected):
    path = os.path.join(run.folder, name)
    if not os.path.isfile(path):
        raise Failure(f"{name} was not written; files: {sorted(os.listdir(run.folder))}")
    with open(path, "rb") as f:
        expect_equal(name, expected, f.read())


def expect_listings(run, names):
    """The listing-like files in the folder are exactly `names`."""
    found = sorted(n for n in os.listdir(run.folder)
                   if not n.startswith(".") and n != "plan.txt")
    expect_equal("files besides plan.txt", sorted(names), found)


# --- The tests. Each gets a Run whose folder holds plan.txt.

def choose_plan(run):
    """Types plan.txt into the open dialog; returns the save dialog that follows."""
    opened = wait_for_window("Open", run.proc)
    send(opened, text=run.windows_path("plan.txt"), keys=["Return"])
    return wait_for_window("Save As", run.proc)


def test_plan_typed_and_default_listing_accepted(run):
    """The open dialog comes first; the save dialog is pre-filled with the plan's path with
    the extension .lst, in Z: form, and Enter takes it."""
    saved = choose_plan(run)
    send(saved, keys=["Return"])
    wait_until_gone(saved)
    console, status = run.finish()
    expect_equal("console", TRACE + PROMPT, console)
    expect_equal("status", 0, status)
    expect_file(run, "plan.lst", TRACE)
    expect_listings(run, ["plan.lst"])


def test_open_dialog_cancelled(run):
    """Only the prompt; no save dialog, no listing."""
    opened = wait_for_window("Open", run.proc)
    send(opened, keys=["Escape"])
    wait_until_gone(opened)
    console, status = run.finish()
    expect_equal("console", PROMPT, console)
    expect_equal("status", 0, status)
    expect_listings(run, [])


def test_save_dialog_cancelled(run):
    """The plans still run; the trace is shown twice on standard output (here a file: the
    listing copy when the plan file is done, then the console copy with the prompt) and no
    listing is written."""
    saved = choose_plan(run)
    send(saved, keys=["Escape"])
    wait_until_gone(saved)
    console, status = run.finish()
    expect_equal("console", TRACE + TRACE + PROMPT, console)
    expect_equal("status", 0, status)
    expect_listings(run, [])


def test_listing_typed_without_extension_gets_txt(run):
    """In the save dialog a name typed without extension receives ".txt"."""
    saved = choose_plan(run)
    send(saved, keys=["ctrl+a", "BackSpace"])
    send(saved, text=run.windows_path("out"), keys=["Return"])
    wait_until_gone(saved)
    console, status = run.finish()
    expect_equal("console", TRACE + PROMPT, console)
    expect_equal("status", 0, status)
    expect_file(run, "out.txt", TRACE)
    expect_listings(run, ["out.txt"])


def test_missing_plan_file_is_refused(run):
    """A plan file must exist: the open dialog says so in a message box and stays open."""
    opened = wait_for_window("Open", run.proc)
    send(opened, text=run.windows_path("nope.txt"), keys=["Return"])
    message = wait_for_window(None, run.proc, other_than=[opened])
    send(message, keys=["Return"])
    wait_until_gone(message)
    if opened not in visible_windows():
        raise Failure("the open dialog closed on a file that does not exist")
    send(opened, keys=["Escape"])
    wait_until_gone(opened)
    console, status = run.finish()
    expect_equal("console", PROMPT, console)
    expect_listings(run, [])


def test_existing_listing_replaced_when_confirmed(run):
    """An existing listing is replaced only after the save dialog's question is answered yes."""
    with open(os.path.join(run.folder, "plan.lst"), "wb") as f:
        f.write(b"old")
    saved = choose_plan(run)
    send(saved, keys=["Return"])
    question = wait_for_window(None, run.proc, other_than=[saved])
    send(question, keys=["y"])
    wait_until_gone(saved)
    console, status = run.finish()
    expect_equal("console", TRACE + PROMPT, console)
    expect_file(run, "plan.lst", TRACE)


def test_existing_listing_kept_when_refused(run):
    """Answered no, the save dialog stays; cancelled then, the old listing is left alone."""
    with open(os.path.join(run.folder, "plan.lst"), "wb") as f:
        f.write(b"old")
    saved = choose_plan(run)
    send(saved, keys=["Return"])
    question = wait_for_window(None, run.proc, other_than=[saved])
    send(question, keys=["n"])
    wait_until_gone(question)
    if saved not in visible_windows():
        raise Failure("the save dialog closed although the replacement was refused")
    send(saved, keys=["Escape"])
    wait_until_gone(saved)
    console, status = run.finish()
    expect_equal("console", TRACE + TRACE + PROMPT, console)
    expect_file(run, "plan.lst", b"old")


TESTS = [value for name, value in list(globals().items()) if name.startswith("test_")]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--program", required=True, help="tosim.exe")
    parser.add_argument("names", nargs="*", help="run only the tests whose names hold these")
    options = parser.parse_args()
    program = os.path.abspath(options.program)

    tests = [t for t in TESTS if not options.names or any(n in t.__name__ for n in options.names)]
    counts = {"PASS": 0, "FAIL": 0, "SKIP": 0}
    reason = None
    if not os.environ.get("DISPLAY"):
        reason = "no DISPLAY: the dialogs need an X server (Xvfb)"
    elif shutil.which("xdotool") is None:
        reason = "xdotool is not installed"
    for test in tests:
        name = test.__name__[len("test_"):].replace("_", " ")
        if reason:
            counts["SKIP"] += 1
            print(f"SKIP dialogs: {name}\n  {reason}")
            continue
        folder = tempfile.mkdtemp(prefix="tosim-dialog-")
        with open(os.path.join(folder, "plan.txt"), "wb") as f:
            f.write(PLAN)
        started = time.monotonic()
        run = Run(program, folder)
        try:
            test(run)
            verdict, detail = "PASS", ""
        except (Failure, subprocess.SubprocessError, OSError) as failure:
            verdict, detail = "FAIL", f"  {failure}"
        finally:
            run.kill()
            with open(os.path.join(folder, "plan.txt"), "rb") as f:
                if f.read() != PLAN and not detail:
                    verdict, detail = "FAIL", "  the plan file was changed"
            shutil.rmtree(folder, ignore_errors=True)
        counts[verdict] += 1
        print(f"{verdict} dialogs: {name} ({time.monotonic() - started:.1f} s)")
        if detail:
            print(detail)
        sys.stdout.flush()
    print(f"{counts['PASS']} passed, {counts['FAIL']} failed, {counts['SKIP']} skipped")
    return 1 if counts["FAIL"] else 0


if __name__ == "__main__":
    sys.exit(main())
