#!/usr/bin/env python3
"""tosim-report --moodle writes a quiz that Moodle imports, and its answers are tosim-report's:
for the plan files of every end-to-end case, the example and plans of tosim-gen, the quiz parses
as XML (UTF-8), it holds one Cloze question per plan, every field of every question parses under
Moodle's Cloze grammar (below), and each field's right answer and feedback equal what
tosim-report --json --each-plan-alone says of that plan. One small quiz is also compared whole,
byte for byte, with the one written here by hand.

The grammar, as Moodle reads a field: "{" weight ":" type ":" alternatives "}", alternatives
separated by "~"; an alternative is an optional fraction ("=" or "%50%"), the answer (up to a
"~", "#" or "}" not preceded by "\\" or "&"), and an optional "#" feedback (up to a "~" or "}" not
preceded by "\\"). Answers and feedback are HTML; "}", "#", "~", "/", '"' and "\\" stand escaped
by a backslash.

Usage: moodle_quiz.py TOSIM_REPORT TOSIM_GEN CASE_FILE... [PLAN_FILE...]
"""
import html, os, re, subprocess, sys
import xml.etree.ElementTree as ElementTree

sys.dont_write_bytecode = True  # no __pycache__ beside the cases
from plan_checks import check_plan_files, json_reports

FRACTION = r"=|%(-?[0-9]+(?:[.,][0-9]*)?)%"
ANSWER = r".+?(?<!\\)(?<!&)(?<!&amp;)(?=[~#}]|$)"
FEEDBACK = r".*?(?<!\\)(?=[~}]|$)"
ALTERNATIVE = f"({FRACTION})?({ANSWER})(#({FEEDBACK}))?"
TYPES = "NUMERICAL|NM|MULTICHOICE|MC|MULTICHOICE_V|MCV|MULTICHOICE_H|MCH|SHORTANSWER|SA|MW"
FIELD = re.compile(r"\{([0-9]*):(" + TYPES + r"):(" + ALTERNATIVE + "(?:~" + ALTERNATIVE +
                   r")*)\}", re.S)
NUMBER = re.compile(r"-?(([0-9]+[.,]?[0-9]*|[.,][0-9]+)([eE][-+]?[0-9]+)?)$")
ESCAPED = re.compile(r"\\([}#~/\"\\])")

DECISIONS = {"executed": "ejecutada", "rejected": "rechazada: su transacción aborta",
             "skipped": "ignorada por la regla de Thomas", "aborted": "abortada",
             "committed": "validada", "begun": "iniciada", "error": "error en el plan"}
CHOICES = {"T": ["begun", "error"], "R": ["executed", "rejected", "error"],
           "W": ["executed", "rejected", "skipped", "error"], "C": ["committed", "error"],
           "A": ["aborted", "error"]}


def text_of(field_text):
    return ESCAPED.sub(r"\1", html.unescape(field_text))


def fields(question_text):
    """Each field as (type, [(right, answer, feedback)]), in order, by the grammar; raises
    ValueError where the grammar does not hold."""
    found, rest = [], question_text
    while True:
        match = FIELD.search(rest)
        if not match:
            break
        kind, alternatives, answers = match[2], match[3], []
        while alternatives:
            alternative = re.match("~?" + ALTERNATIVE, alternatives, re.S)
            if not alternative or (answers and not alternatives.startswith("~")):
                raise ValueError(f"not an alternative: {alternatives!r}")
            answers.append((alternative[1] == "=", text_of(alternative[3]),
                            text_of(alternative[5] or "")))
            alternatives = alternatives[alternative.end():]
        if kind == "NUMERICAL" and not all(NUMBER.match(a) or a == "*" for _, a, _ in answers):
            raise ValueError(f"not a number: {match[0]!r}")
        if sum(right for right, _, _ in answers) != 1 or (kind == "MULTICHOICE" and len(answers) < 2):
            raise ValueError(f"not one right answer among the choices: {match[0]!r}")
        found.append((kind, answers))
        rest = rest[:match.start()] + rest[match.end():]
    if re.search(r"\{[0-9]*:", rest):
        raise ValueError(f"a field the grammar does not read: {rest!r}")
    return found


def transactions(numbers, none):
    return " → ".join(f"T{t}" for t in numbers) if numbers else none


def expected_fields(report):
    """The fields of a plan's question, as the JSON says: (type, right answer, choices,
    feedback)."""
    expected = []
    for entry in report["trace"]:
        kind = entry["op"][0] if entry["op"] else None
        choices = CHOICES.get(kind, ["executed", "error"])
        expected.append(("MULTICHOICE", DECISIONS[entry["decision"]],
                         [DECISIONS[c] for c in choices], entry["why"]))
        if entry["ts_lect"] is not None:
            for value in (entry["ts_lect"], entry["ts_escr"]):
                expected.append(("NUMERICAL", str(value), [str(value), "*"], entry["why"]))
    begins = {e["t"]: e["why"] for e in report["trace"] if e["decision"] == "begun"}
    for t, timestamp in report["timestamps"].items():
        expected.append(("NUMERICAL", str(timestamp), [str(timestamp), "*"], begins[int(t)]))
    for t in report["timestamps"]:
        t = int(t)
        ends = [e["why"] for e in report["trace"] if e["t"] == t and e["op"] and
                e["decision"] in ("committed", "aborted", "rejected")]
        fate = "validada" if t in report["committed"] else \
            "abortada" if t in report["aborted"] else "activa"
        expected.append(("MULTICHOICE", fate, ["validada", "abortada", "activa"],
                         ends[-1] if ends else ""))
    csr, vsr = report["conflict_serializable"], report["view_serializable"]
    reads = ", ".join(f"T{j} lee {x} de T{i}" for j, i, x in report["reads_from"]) or "ninguna"
    feedback = {
        "conflict_serializable": f"sí, orden {transactions(report['conflict_order'], 'vacío')}"
        if csr else f"no, ciclo {transactions(report['conflict_cycle'], '')}",
        "view_serializable": f"sí, orden {transactions(report['view_order'], 'vacío')}"
        if vsr else "no",
    }
    for key in ("conflict_serializable", "view_serializable", "recoverable", "cascadeless",
                "strict"):
        expected.append(("MULTICHOICE", "sí" if report[key] else "no", ["sí", "no"],
                         feedback.get(key, f"Lecturas de otras transacciones: {reads}")))
    return expected


def problems_of(quiz_path, reports):
    problems = []
    try:
        with open(quiz_path, "rb") as f:
            data = f.read()
        data.decode("utf-8")
        questions = ElementTree.fromstring(data).findall("question")
    except (UnicodeDecodeError, ElementTree.ParseError) as error:
        return [f"not UTF-8 XML: {error}"]
    plans = [r for r in reports if r["plan"] is not None]
    if len(questions) != len(plans):
        return [f"{len(questions)} questions for {len(plans)} plans"]
    for question, report in zip(questions, plans):
        where = f"line {report['line']}, plan {report['plan']}"
        name = question.findtext("name/text")
        if question.get("type") != "cloze" or name != f"Línea {report['line']}, plan P{report['plan']}":
            problems.append(f"{where}: a question {question.get('type')} named {name!r}")
        try:
            found = fields(question.findtext("questiontext/text"))
        except ValueError as error:
            problems.append(f"{where}: {error}")
            continue
        expected = expected_fields(report)
        if len(found) != len(expected):
            problems.append(f"{where}: {len(found)} fields, {len(expected)} expected")
        for number, ((kind, answers), (want_kind, right, choices, why)) in enumerate(
                zip(found, expected), 1):
            given = (kind, [a for r, a, _ in answers if r][0], [a for _, a, _ in answers],
                     {f for _, _, f in answers})
            if given != (want_kind, right, choices, {why}):
                problems.append(f"{where}, field {number}: {given}, expected "
                                f"{(want_kind, right, choices, {why})}")
    return problems


# The quiz of "P1; T1; R1(A); C1" and a line without a plan, as the rules compose it.
SMALL_PLAN = b"P1; T1; R1(A); C1\r\nR1(A)\r\n"
WHY_BEGIN = "T1 empieza: el contador le da la marca de tiempo siguiente, TS(T1)=1"
WHY_READ = ("TS(T1)=1 ≥ TS_escr(A)=0: ninguna transacción más joven ha escrito A, así que T1 "
            "lee A y TS_lect(A) pasa de 0 a 1")
WHY_COMMIT = "T1 está activa, así que se valida: validar no comprueba nada más"
SMALL_QUIZ = f"""<?xml version="1.0" encoding="UTF-8"?>
<quiz>
  <question type="cloze">
    <name><text>Línea 1, plan P1</text></name>
    <questiontext format="html"><text><![CDATA[<p>El plan va solo, como si fuera la única línea de su fichero: sus marcas de tiempo empiezan en 1.</p>
<pre>P1; T1; R1(A); C1</pre>
<p>Para cada operación, lo que decide la ordenación por marcas de tiempo con la regla de Thomas y, tras cada lectura o escritura de una transacción activa, TS_lect y TS_escr del elemento:</p>
<table>
<tr><th>Operación</th><th>Decisión</th><th>TS_lect después</th><th>TS_escr después</th></tr>
<tr><td>T1</td><td>{{1:MULTICHOICE:=iniciada#{WHY_BEGIN}~error en el plan#{WHY_BEGIN}}}</td><td></td><td></td></tr>
<tr><td>R1(A)</td><td>{{1:MULTICHOICE:=ejecutada#{WHY_READ}~rechazada: su transacción aborta#{WHY_READ}~error en el plan#{WHY_READ}}}</td><td>{{1:NUMERICAL:=1#{WHY_READ}~*#{WHY_READ}}}</td><td>{{1:NUMERICAL:=0#{WHY_READ}~*#{WHY_READ}}}</td></tr>
<tr><td>C1</td><td>{{1:MULTICHOICE:=validada#{WHY_COMMIT}~error en el plan#{WHY_COMMIT}}}</td><td></td><td></td></tr>
</table>
<p>Marcas de tiempo:</p>
<ul>
<li>T1: {{1:NUMERICAL:=1#{WHY_BEGIN}~*#{WHY_BEGIN}}}</li>
</ul>
<p>Al final del plan, cada transacción está:</p>
<ul>
<li>T1: {{1:MULTICHOICE:=validada#{WHY_COMMIT}~abortada#{WHY_COMMIT}~activa#{WHY_COMMIT}}}</li>
</ul>
<p>El plan tal como está escrito:</p>
<ul>
<li>Serializable en conflictos: {{1:MULTICHOICE:=sí#sí, orden T1~no#sí, orden T1}}</li>
<li>Serializable en vistas: {{1:MULTICHOICE:=sí#sí, orden T1~no#sí, orden T1}}</li>
<li>Recuperable: {{1:MULTICHOICE:=sí#Lecturas de otras transacciones: ninguna~no#Lecturas de otras transacciones: ninguna}}</li>
<li>Sin abortos en cascada: {{1:MULTICHOICE:=sí#Lecturas de otras transacciones: ninguna~no#Lecturas de otras transacciones: ninguna}}</li>
<li>Estricto: {{1:MULTICHOICE:=sí#Lecturas de otras transacciones: ninguna~no#Lecturas de otras transacciones: ninguna}}</li>
</ul>]]></text></questiontext>
    <generalfeedback format="html"><text></text></generalfeedback>
    <penalty>0.3333333</penalty>
    <hidden>0</hidden>
  </question>
</quiz>
""".encode()


def main():
    report, gen = sys.argv[1:3]

    def more_plans(folder):
        """Plans of tosim-gen, and the small plan whose quiz is written here by hand."""
        plans = []
        for number, args in enumerate((["--property", "to-rejects,thomas", "--count", "20"],
                                       ["--property", "cascade,no-to-rejects", "--count", "5"],
                                       ["--transactions", "10", "--items", "26", "--count", "3"])):
            plans.append(os.path.join(folder, f"generated-{number}.txt"))
            with open(plans[-1], "wb") as f:
                f.write(subprocess.run([gen, *args, "--seed", "quiz"], check=True,
                                       capture_output=True).stdout)
        plans.append(os.path.join(folder, "small.txt"))
        with open(plans[-1], "wb") as f:
            f.write(SMALL_PLAN)
        return plans

    def problems_of_plan(plan, folder):
        quiz = os.path.join(folder, "quiz.xml")
        subprocess.run([report, "--moodle", quiz, plan], check=True)
        problems = problems_of(quiz, json_reports(report, plan, "--each-plan-alone"))
        with open(quiz, "rb") as f:
            if os.path.basename(plan) == "small.txt" and f.read() != SMALL_QUIZ:
                problems.append("the quiz is not the one composed by hand")
        return problems

    return check_plan_files(sys.argv[3:], problems_of_plan, more_plans)


if __name__ == "__main__":
    sys.exit(main())
