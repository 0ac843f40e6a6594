#!/usr/bin/env python3
"""tosim.exe and tosim-report.exe on a real terminal under wine: what the screen shows.

  console_tests.py --wine WINE --program build/windows/tosim.exe
                   --report build/windows/tosim-report.exe

Each test runs a program under wine in a pseudo-terminal of tmux (a terminal of 120 columns in a
UTF-8 locale, no tab stops but every eighth column) and compares the characters on the screen,
line by line, with the expected ones; the keys are typed once the screen shows the expected last
line (the final prompt). The exit status and the listing files are checked byte for byte: the
console path converts the program's Windows-1252 texts for the terminal, the listing keeps them.
Needs tmux and the wine environment, as tests/windows/run_suite.sh provides them.
"""
import argparse, os, shlex, shutil, subprocess, sys, time

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from case_file import decode_lines, parse
from plan_checks import Failure, Tally

WAIT = 30  # seconds for the screen to show the last line, or for the program to end
COLUMNS, ROWS = 120, 50

# The usage, as the terminal shows it: UTF-8 characters, with no final prompt after it.
USAGE = [
    "Uso: tosim [FICHERO_DE_PLANES [FICHERO_DE_LISTADO]]",
    "     tosim --help | -h | --version",
    "",
    "Simula el control de concurrencia por marcas de tiempo (con la regla de",
    "escritura de Thomas) sobre los planes de un fichero de texto, uno por línea,",
    "y escribe la traza de cada operación en la consola y en un fichero de listado.",
    "",
    "  FICHERO_DE_PLANES   el fichero de planes que se lee.",
    "  FICHERO_DE_LISTADO  el fichero donde se escribe la traza; por omisión, el",
    "                      fichero de planes con la extensión \".lst\" (plans.txt",
    "                      da plans.lst, en la misma carpeta).",
    "",
    "Sin argumentos, tosim pregunta por el fichero de planes y por el de listado",
    "(en Windows, con los diálogos Abrir y Guardar como; en otros sistemas, en la",
    "consola). Al terminar, espera la tecla Intro.",
    "",
    "Estado de salida: 0 al terminar; si falla una operación de entrada/salida, el",
    "número del error (2 fichero no encontrado, 3 ruta no encontrada, 5 acceso",
    "denegado, 101 error de escritura), tras el mensaje \"Runtime error\".",
]

# A trace whose error messages carry accents; its lines have no line end of their own.
ACCENTED_TRACE = [
    "ERR: se esperaba un número > 0Iniciar P0\tplan P0 iniciado",
    "ERR: operación ilegaloperación ilegal\tfin Plan",
    "",
    "",
]

OUT_OF_RANGE_TRACE = [
    "Iniciar P1\tplan P1 iniciado",
    "Iniciar T10\tiniciada",
    "Iniciar T11\tERR: transaccion fuera de rango",
    "ERR: se esperaba un número > 0Iniciar T0\tERR: transaccion fuera de rango",
    "ERR: se esperaba un número > 0Iniciar T-1\tERR: transaccion fuera de rango",
    "T11_Read(A)\tERR: transaccion no en estado activo",
    "ERR: se esperaba un número > 0T0_Write( )\tERR: transaccion no en estado activo",
    "Validar T11\tERR: no estaba activa",
    "Abortar T12\tERR: no estaba activa",
    "ERR: se esperaba una letra mayúsculaT10_Read( )\tERR: elemento fuera de rango",
    "T10_Write(A)\tT10 escribe en \"A\"\tTStamp T10=1 TS_lect_A=0 TS_escr_A=1",
    "fin Plan",
    "",
    "",
]

PROMPT = ["", "Pulsar <CR> para terminar"]


def summary_case():
    """The plan and the summary lines of report/text.case's case of a skipped write and a cycle;
    the terminal shows its UTF-8 as characters."""
    case = next(c for c in parse(os.path.join(HERE, "..", "e2e", "cases", "report", "text.case"))
                if c.name == "a skipped write and a cycle in the precedence graph")
    console = decode_lines(case.lines("console"), b"\n").decode("utf-8")
    return case.plan_bytes(), console.rstrip("\n").split("\n")


SUMMARY = summary_case()


def listing(trace):
    """The listing file of a trace: Windows-1252, each line ending with CR LF."""
    return "".join(line + "\r\n" for line in trace).encode("cp1252")


# name: (program, arguments, plan.txt, screen lines, keys once the last line shows, status,
#        files the folder must hold afterwards besides plan.txt)
TESTS = {
    "tosim: accented errors in UTF-8 on the screen, the final prompt, the listing in "
    "Windows-1252":
        ("tosim", ["plan.txt"], b"P0; X\r\n", ACCENTED_TRACE + PROMPT, ["Enter"], 0,
         {"plan.lst": listing(ACCENTED_TRACE)}),
    "tosim: a trace of many lines, tabs and accents, the same on the screen as in the listing":
        ("tosim", ["plan.txt", "salida.lst"],
         b"P1; T10; T11; T0; T4294967295; R11(A); W0(A); C11; A12; R10( ); W10(A)\r\n",
         OUT_OF_RANGE_TRACE + PROMPT, ["Enter"], 0, {"salida.lst": listing(OUT_OF_RANGE_TRACE)}),
    "tosim: --help shows the usage with its accents and ends without the final prompt":
        ("tosim", ["--help"], None, USAGE, [], 0, {}),
    "tosim-report: the summary's accents and arrows on the screen, as report/text.case has it":
        ("report", ["plan.txt"], *SUMMARY, [], 0, {}),
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
            for a, b in zip_longest(expected, screen)))
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


def zip_longest(a, b):
    return [(a[i] if i < len(a) else None, b[i] if i < len(b) else None)
            for i in range(max(len(a), len(b)))]


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
