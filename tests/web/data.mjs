// The page draws from the run's data, not from the trace's words: on every case file, each
// decision it colours in the trace agrees with what tosim's trace text says there, the trace is
// cut into the plan file's lines, and a trace whose wording is changed in the page's data leaves
// every decision on the page as it was.
import { shownAnswerKey } from './exercises.mjs';
import { check, same } from './setup.mjs';

// What a decision text of tosim's trace means, read from its words (which only this test reads),
// as the class the page gives it; null for a cell that is no decision text.
function decisionClassOf(text) {
  if (text.startsWith('ERR:')) return 'err';
  if (/^plan P-?\d+ iniciado$/.test(text) || text === 'iniciada' || text === 'validada') return 'ok';
  if (text === 'abortada') return 'aborted';
  if (/^T-?\d+ abortada al (leer|escribir)/.test(text)) return 'abort';
  if (/^T-?\d+ no escribe /.test(text)) return 'skip';
  if (/^T-?\d+ (lee de elemento|escribe en) "/.test(text)) return 'ok';
  return null;
}
// A label cell, possibly after a reader's message: "T1_Read(A)", "Iniciar T2", "operación ilegal".
const LABEL = /(Iniciar [PT]|Validar T|Abortar T|T)-?\d+(_(Read|Write)\(.\))?$|operación ilegal$/;

// The trace as the page cuts and colours it: for each "Línea n", its rows' cells, each with its
// text and class.
export const shownFrames = (page) => page.$$eval('#out .frame', (frames) => frames.map((frame) => ({
  title: frame.querySelector('h2').textContent,
  rows: [...frame.querySelectorAll('tr.tl')].map((row) =>
    [...row.cells].map((cell) => ({ text: cell.textContent, cls: cell.className }))),
})));

// Where the page's trace of one case file disagrees with its words or with its plan file's lines
// (`json`: the reports of --json).
export function traceProblems(frames, json) {
  const problems = [];
  const lines = Math.max(0, ...json.map((r) => r.line));
  if (frames.length < lines) problems.push(`${frames.length} frames for ${lines} lines`);
  frames.forEach(({ title, rows }, i) => {
    if (title !== 'Línea ' + (i + 1)) problems.push(`frame ${i + 1} is «${title}»`);
    // A frame: its non-empty lines, then one or two empty ones.
    const empty = rows.findIndex((row) => row.length === 1 && row[0].text === '');
    if (empty < 1 || rows.slice(empty).some((row) => row.length !== 1 || row[0].text !== '') ||
        rows.length - empty > 2) {
      problems.push(`${title}: not a frame: ${rows.map((row) => row.map((c) => c.text).join('|')).join(' / ')}`);
    }
    const plans = json.filter((r) => r.line === i + 1 && r.plan !== null);
    const first = rows[0] ? rows[0][0].text : '';
    if (plans.length ? !first.endsWith('Iniciar P' + plans[0].plan) : !first.startsWith('ERR:')) {
      problems.push(`${title} starts with «${first}»`);
    }
    for (const row of rows) {
      row.forEach(({ text, cls }, at) => {
        const meaning = decisionClassOf(text);
        // A label cell is marked only when the reader could not read it whole.
        const ok = meaning && !LABEL.test(text) ? cls === meaning
          : LABEL.test(text) ? cls === '' || (cls === 'err' && text.startsWith('ERR:')) : cls === '';
        if (!ok) problems.push(`${title}: «${text}» (cell ${at}) is ${cls ? '«' + cls + '»' : 'unmarked'}`);
      });
    }
  });
  return problems;
}

// The trace of a plan file with its words changed: a byte string, as the report page carries it.
const EDITS = [['abortada', 'cancelada'], ['no escribe', 'se salta'], ['ERR:', 'FALLO:'],
  ['fin Plan', 'Fin del plan'], ['Iniciar', 'Empezar'], ['iniciada', 'empezada'], ['validada', 'hecha']];
export const editedWords = (trace) => EDITS.reduce((text, [from, to]) => text.split(from).join(to), trace);

// Draws `data` with the renderer's own modules, off the playground's output, and reads back every
// decision it shows: the classes of the trace's cells and of the grids' cells, and the exercise
// sheet's table and answer key.
export async function drawnDecisions(page, data) {
  const drawn = await page.evaluate(async (data) => {
    const { render } = await import('/render/output.js');
    const { renderExercises } = await import('/render/exercises.js');
    const report = document.createElement('div');
    const sheet = document.createElement('div');
    sheet.id = 'drawn-sheet';
    document.body.append(report, sheet);
    render(report, data);
    // The rest of the lines, drawn at once as for printing.
    dispatchEvent(new Event('beforeprint'));
    renderExercises(sheet, data);
    // The sheet's tables without their operation column: the labels are tosim's own, shown as
    // they are.
    const cells = (root, selector) => [...root.querySelectorAll(selector)].map((row) =>
      [...row.cells].filter((cell) => !cell.classList.contains('op'))
        .map((cell) => cell.className + ' ' + cell.textContent + ' ' + cell.title).join(' | '));
    const drawn = {
      trace: [...report.querySelectorAll('tr.tl')].map((row) => [...row.cells].map((cell) => cell.className).join(' ')),
      grids: cells(report, '.grid tr'),
      table: cells(sheet, '.exercises .grid tr'),
      text: [...report.querySelectorAll('tr.tl')].map((row) => row.textContent).join('\n'),
    };
    report.remove();
    return drawn;
  }, data);
  const key = await shownAnswerKey(page, '#drawn-sheet');
  await page.$eval('#drawn-sheet', (sheet) => sheet.remove());
  return { ...drawn, ...key };
}

// The page's decisions for one case file's data and for the same data with the trace's words
// changed: the same, though the trace shown is not.
export function checkWordsChanged(name, original, edited) {
  const changed = original.text !== edited.text || !/abortada|no escribe|ERR:|fin Plan|Iniciar/.test(original.text);
  check(`${name}: the trace's words changed in the data, every decision on the page the same`,
    changed && same(original.trace, edited.trace) && same(original.grids, edited.grids) &&
    same(original.table, edited.table) && same(original.answers, edited.answers) &&
    same(original.keyTables, edited.keyTables),
    JSON.stringify(edited).slice(0, 300));
}
