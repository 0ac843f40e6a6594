// The exercise sheet: per plan its warnings, its text, the table to fill in (every operation of
// its trace, with tosim's own labels, as the practice mode shows them) and the questions; the
// complete answer key on pages of their own at the end: the filled table and every answer,
// numbered like its question. Nothing of a decision shows before the answer key.
import { decode1252, el, planLines, scrolling, useLabels, word } from './common.js';
import { causesOf, stepCell } from './protocols.js';
import { isAccess, traceFrames, traceLabels } from './trace.js';
import { pairs, serializable, transactions, warningList, yesNo } from './verdicts.js';

const QUESTIONS = [
  '¿Qué marca de tiempo recibe cada transacción?',
  '¿Qué operaciones se rechazan (y abortan su transacción) y qué escrituras se ignoran por la ' +
    'regla de Thomas? Complete la tabla: decisión, TS_lect y TS_escr tras cada operación.',
  '¿Qué transacciones se validan y cuáles abortan?',
  'El plan tal como está escrito: ¿es serializable en conflictos? Dé el orden o el ciclo.',
  'El plan tal como está escrito: ¿es serializable en vistas?',
  'El plan tal como está escrito: ¿es recuperable? ¿Evita los abortos en cascada? ¿Es estricto?',
];


// The label of an entry in the table, marked when the reader could not read it whole.
function rowLabel(entry, labels) {
  const label = labels.get(entry) || entry.op || '?';
  return entry.op === null ? label + ' (' + word('practice.illegal') + ')' : label;
}

// A row per operation of the plan's trace: blank to fill in, or, for the key, filled in.
function traceGrid(report, labels, filled) {
  const table = el('table', filled ? 'grid filled' : 'grid to-fill');
  table.append(el('caption', '', filled ? 'La tabla rellena'
    : 'Para rellenar: una fila por operación, en el orden del plan'));
  const head = el('tr');
  for (const title of ['#', 'Operación', 'Decisión', 'TS_lect', 'TS_escr']) head.append(el('th', '', title));
  table.append(head);
  report.trace.forEach((entry, index) => {
    const row = el('tr');
    row.append(el('th', '', String(index + 1)), el('td', 'op', rowLabel(entry, labels)));
    const stamp = (value) => (value === null ? '—' : String(value));
    if (filled) {
      row.append(el('td', '', word('decision.' + entry.decision)),
        el('td', '', stamp(entry.ts_lect)), el('td', '', stamp(entry.ts_escr)));
    } else {
      row.append(el('td', 'blank', ''));
      // Only a read or a write shows the item's timestamps.
      for (let i = 0; i < 2; i++) row.append(el('td', isAccess(entry) ? 'blank' : 'blank none', ''));
    }
    table.append(row);
  });
  return table;
}

// The step grid of the protocols asked for: blank, or filled in with the lab's cells.
function protocolGrid(report, names, filled) {
  const table = el('table', filled ? 'grid filled' : 'grid to-fill');
  const head = el('tr');
  head.append(el('th', '', word('lab.operation')));
  for (const name of names) head.append(el('th', '', name));
  table.append(head);
  const causes = causesOf(report.protocols);
  report.protocols[names[0]].steps.forEach((first, i) => {
    const row = el('tr');
    row.append(el('td', 'op', first.op));
    for (const name of names) {
      row.append(filled ? el('td', '', stepCell(report.protocols[name].steps[i], causes[name]))
        : el('td', 'blank', ''));
    }
    table.append(row);
  });
  return table;
}

function operationList(list) {
  return list.length ? list.join(', ') : 'ninguna';
}

// The answers to QUESTIONS, in the same order: each a text, and for the second the filled table.
// A rejection is an operation that aborted its transaction; the plan's own A is not one.
function answers(report, labels) {
  const rejected = report.trace.filter((entry) => entry.decision === 'rejected').map((entry) => entry.op);
  return [
    [pairs(Object.entries(report.timestamps || {}), '=', word('timestamps.none'))],
    ['rechazadas: ' + operationList(rejected) + '; ' + word('skipped_writes') + ': ' +
      operationList(report.skipped_writes), traceGrid(report, labels, true)],
    [word('committed') + ': ' + transactions(report.committed, word('committed.none')) + '; ' +
      word('aborted') + ': ' + transactions(report.aborted, word('aborted.none'))],
    [serializable(report.conflict_serializable,
      report.conflict_serializable ? report.conflict_order : report.conflict_cycle)],
    [serializable(report.view_serializable, report.view_order)],
    [[['recoverable', report.recoverable], ['cascadeless', report.cascadeless],
      ['strict', report.strict]].map(([key, yes]) => word(key) + ': ' + yesNo(yes)).join('; ')],
  ];
}

export function renderExercises(root, data) {
  useLabels(data.labels);
  root.replaceChildren();
  const sources = data.plans === undefined ? [] : planLines(decode1252(data.plans));
  const labels = new Map();
  for (const frame of traceFrames(decode1252(data.trace), data.reports)) {
    for (const [entry, label] of traceLabels(frame.rows)) labels.set(entry, label);
  }
  const sheetData = data.sheet || { protocols: [], counters: [] };
  const asked = sheetData.protocols || [];
  const sheet = el('section', 'exercises');
  sheet.append(el('h1', '', 'Hoja de ejercicios'));
  sheet.append(el('p', 'about', 'Ordenación por marcas de tiempo con la regla de escritura de ' +
    'Thomas. ' + (data.name ? 'Fichero de planes: ' + data.name + '. ' : '') +
    'Las soluciones están al final.'));
  const key = el('section', 'answer-key');
  key.append(el('h2', '', 'Soluciones'));
  const plans = data.reports.map((report, index) => ({ report, index }))
    .filter(({ report }) => report.plan !== null);
  if (!plans.length) sheet.append(el('p', 'no-plans', word('plans.none')));
  plans.forEach(({ report, index }, number) => {
    const title = 'Ejercicio ' + (number + 1) + ' (línea ' + report.line + ', plan P' + report.plan + ')';
    const exercise = el('article', 'exercise');
    exercise.append(el('h2', '', title));
    if ((report.warnings || []).length) exercise.append(warningList(report, 'h3'));
    exercise.append(el('pre', 'source', sources[report.line - 1] || ' '));
    // Each exercise stands alone: where its timestamps start.
    const counter = data.each_plan_alone ? 0 : (sheetData.counters || [])[index] || 0;
    exercise.append(el('p', 'counter', counter === 0 ? word('practice.counter.one')
      : word('practice.counter').replace('{counter}', String(counter))));
    exercise.append(scrolling(traceGrid(report, labels, false), title));
    const questions = el('ol', 'questions');
    for (const question of QUESTIONS) questions.append(el('li', '', question));
    const lab = asked.length && report.protocols ? asked : [];
    if (lab.length) {
      const item = el('li', '', word('sheet.protocol_question').replace('{protocol}', lab.join(', ')));
      item.append(scrolling(protocolGrid(report, lab, false), title + ': ' + lab.join(', ')));
      questions.append(item);
    }
    exercise.append(questions);
    sheet.append(exercise);

    const answer = el('article', 'exercise');
    answer.append(el('h3', '', title));
    const list = el('ol', 'answers');
    for (const [text, table] of answers(report, labels)) {
      const item = el('li');
      item.append(el('p', 'answer-text', text));
      if (table) item.append(scrolling(table, title + ': solución'));
      list.append(item);
    }
    if (lab.length) {
      const item = el('li');
      item.append(el('p', 'answer-text', lab.join(', ')));
      item.append(scrolling(protocolGrid(report, lab, true),
        title + ': ' + lab.join(', ') + ', solución'));
      list.append(item);
    }
    answer.append(list);
    key.append(answer);
  });
  root.append(sheet);
  if (plans.length) root.append(key);
  root.dataset.complete = 'true';
}
