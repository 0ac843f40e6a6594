#!/usr/bin/env python3
"""The real open and save dialogs of tosim.exe under wine, driven with xdotool.

  dialog_tests.py --wine WINE --program build/windows/tosim.exe

Needs DISPLAY (an X server started before the first wine program of the session) and the wine
environment, as tests/windows/run_suite.sh provides them.
"""
import argparse, os, shlex, shutil, subprocess, sys, time

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from plan_checks import Failure, Tally

PROMPT = b"\r\nPulsar <CR> para terminar"
PLAN = b"P1; T1\r\n"
TRACE = b"Iniciar P1\tplan P1 iniciado\r\nIniciar T1\tiniciada\r\nfin Plan\r\n\r\n\r\n"
WAIT = 30  # seconds for a window to appear or the program to end


def xdotool(*words):
    result = subprocess.run(["xdotool", *words], capture_output=True, text=True, timeout=WAIT)
    return result.stdout if result.returncode == 0 else None


def windows():
    """The program's visible windows and their names."""
    found = (xdotool("search", "--onlyvisible", "--class", "tosim") or "").split()
    named = {w: xdotool("getwindowname", w) for w in found}
    return {w: n.strip() for w, n in named.items() if n is not None and n.strip() != "Default IME"}


def until(found, what, proc=None):
    """What `found` returns once it is not None; fails after WAIT seconds or once `proc` ends."""
    deadline = time.monotonic() + WAIT
    while time.monotonic() < deadline:
        if (result := found()) is not None:
            return result
        if proc and proc.poll() is not None:
            raise Failure(f"the program ended ({proc.returncode}) before {what}")
        time.sleep(0.1)
    raise Failure(f"no {what} within {WAIT} s; windows: {windows()}")


def wait_for(proc, title, other_than=()):
    """The window called `title`; for None any other than `other_than` (a message box: wine
    titles some "Error", some not at all)."""
    return until(lambda: next((w for w, name in windows().items() if w not in other_than and
                               title in (None, name)), None), f"window {title!r}", proc)


def gone(window):
    until(lambda: None if window in windows() else True, f"closing of window {window}")


def send(window, text=None, *keys):
    xdotool("windowfocus", "--sync", window)
    if text is not None:
        xdotool("type", "--delay", "15", text)
    if keys:
        xdotool("key", "--delay", "50", *keys)


# Each test starts tosim.exe without arguments in a folder of its own with plan.txt and the files
# `before`; each step waits for a window ("Open", "Save As", or None for a message box, which
# must then close), gives it the keyboard (there is no window manager), types the text ("{plan}"
# is plan.txt's full path) and the keys. After Enter at the final prompt the console, the status
# 0 and the files besides plan.txt must be as given, byte for byte.
PLAN_TYPED = ("Open", "{plan}", "Return")
TESTS = {
    "the default listing, the plan's path with the extension .lst, taken with Enter":
        ({}, [PLAN_TYPED, ("Save As", None, "Return")], TRACE + PROMPT, {"plan.lst": TRACE}),
    "a listing typed without extension gets .txt":
        ({}, [PLAN_TYPED, ("Save As", None, "ctrl+a BackSpace"), ("Save As", "{out}", "Return")],
         TRACE + PROMPT, {"out.txt": TRACE}),
    "a missing plan file is refused in a message box, then the open dialog is cancelled":
        ({}, [("Open", "{nope}", "Return"), (None, None, "Return"), ("Open", None, "Escape")],
         PROMPT, {}),
    "an existing listing is replaced when confirmed":
        ({"plan.lst": b"old"}, [PLAN_TYPED, ("Save As", None, "Return"), (None, None, "y")],
         TRACE + PROMPT, {"plan.lst": TRACE}),
    # Cancelled, the save dialog sends the listing to standard output, here a file: the listing's
    # copy when the plan file is done, then the console's with the prompt.
    "a refused replacement keeps the save dialog, which is then cancelled":
        ({"plan.lst": b"old"}, [PLAN_TYPED, ("Save As", None, "Return"), (None, None, "n"),
                                ("Save As", None, "Escape")], TRACE + TRACE + PROMPT,
         {"plan.lst": b"old"}),
}


def run_test(wine, program, folder, before, steps, console, files):
    for name, data in {"plan.txt": PLAN, **before}.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    path = lambda name: "Z:" + os.path.join(folder, name).replace("/", "\\")
    paths = {"plan": path("plan.txt"), "out": path("out"), "nope": path("nope.txt")}
    with open(os.path.join(folder, ".console"), "wb") as out:
        proc = subprocess.Popen([*wine, program], cwd=folder, stdin=subprocess.PIPE, stdout=out,
                                stderr=subprocess.DEVNULL)
    try:
        seen = []
        for title, text, keys in steps:
            seen.append(wait_for(proc, title, seen if title is None else ()))
            send(seen[-1], text and text.format(**paths), *keys.split())
            if title is None:
                gone(seen[-1])
        for window in seen:
            gone(window)
        proc.stdin.write(b"\n")  # Enter at the final prompt
        proc.stdin.close()
        status = proc.wait(timeout=WAIT)
    except subprocess.TimeoutExpired:
        raise Failure(f"the program did not end within {WAIT} s; windows: {windows()}")
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    found = {}
    for name in sorted(set(os.listdir(folder)) - {".console", "plan.txt"}):
        with open(os.path.join(folder, name), "rb") as f:
            found[name] = f.read()
    with open(os.path.join(folder, ".console"), "rb") as f:
        for label, want, got in (("console", console, f.read()), ("status", 0, status),
                                 ("files", files, found)):
            if want != got:
                raise Failure(f"{label}:\n    expected: {want!r}\n    actual:   {got!r}")
    with open(os.path.join(folder, "plan.txt"), "rb") as f:
        if f.read() != PLAN:
            raise Failure("the plan file was changed")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--wine", required=True, help="the wine that runs it")
    parser.add_argument("--program", required=True, help="tosim.exe")
    options = parser.parse_args()
    wine, program = shlex.split(options.wine), os.path.abspath(options.program)
    reason = ("no DISPLAY: the dialogs need an X server" if not os.environ.get("DISPLAY") else
              "xdotool is not installed" if not shutil.which("xdotool") else None)
    tally = Tally()
    for name, test in TESTS.items():
        tally.run(f"dialogs: {name}", reason, lambda folder: run_test(wine, program, folder, *test))
    return tally.summary()


if __name__ == "__main__":
    sys.exit(main())
