// The exercise sheet: per plan its text, the grid to fill in and the questions; the answers on
// pages of their own at the end. Nothing of a decision shows before the answer key.
import { decode1252, el, planLines, scrolling, useLabels, word } from './common.js';
import { parseLine, planSegments, splitFrames } from './trace.js';
import { pairs, serializable, transactions, yesNo } from './verdicts.js';

const QUESTIONS = [
  '¿Qué marca de tiempo recibe cada transacción?',
  '¿Qué operaciones se rechazan (y abortan su transacción) y qué escrituras se ignoran por la ' +
    'regla de Thomas? Complete la tabla: decisión, TS_lect y TS_escr tras cada operación.',
  '¿Qué transacciones se validan y cuáles abortan?',
  'El plan tal como está escrito: ¿es serializable en conflictos? Dé el orden o el ciclo.',
  'El plan tal como está escrito: ¿es serializable en vistas?',
  'El plan tal como está escrito: ¿es recuperable? ¿Evita los abortos en cascada? ¿Es estricto?',
];

function exerciseGrid(ops) {
  const table = el('table', 'grid to-fill');
  table.append(el('caption', '', 'Para rellenar: una fila por operación, en el orden del plan'));
  const head = el('tr');
  for (const title of ['#', 'Operación', 'Decisión', 'TS_lect', 'TS_escr']) head.append(el('th', '', title));
  table.append(head);
  ops.forEach((op, index) => {
    const row = el('tr');
    row.append(el('th', '', String(index + 1)), el('td', '', op.label));
    for (let i = 0; i < 3; i++) row.append(el('td', 'blank', ''));
    table.append(row);
  });
  return table;
}

function operationList(list) {
  return list.length ? list.join(', ') : 'ninguna';
}

// The answers to QUESTIONS, in the same order.
function answers(report, ops) {
  const rejected = ops.filter((op) => op.cls === 'abort').map((op) => op.label);
  return [
    pairs(Object.entries(report.timestamps || {}), '=', word('timestamps.none')),
    'rechazadas: ' + operationList(rejected) + '; ' + word('skipped_writes') + ': ' +
      operationList(report.skipped_writes),
    word('committed') + ': ' + transactions(report.committed, word('committed.none')) + '; ' +
      word('aborted') + ': ' + transactions(report.aborted, word('aborted.none')),
    serializable(report.conflict_serializable,
      report.conflict_serializable ? report.conflict_order : report.conflict_cycle),
    serializable(report.view_serializable, report.view_order),
    [['recoverable', report.recoverable], ['cascadeless', report.cascadeless],
      ['strict', report.strict]].map(([key, yes]) => word(key) + ': ' + yesNo(yes)).join('; '),
  ];
}

export function renderExercises(root, data) {
  useLabels(data.labels);
  root.replaceChildren();
  const frames = splitFrames(decode1252(data.trace));
  const sources = data.plans === undefined ? [] : planLines(decode1252(data.plans));
  const segmentsByLine = new Map();
  const sheet = el('section', 'exercises');
  sheet.append(el('h2', '', 'Hoja de ejercicios'));
  sheet.append(el('p', 'about', 'Ordenación por marcas de tiempo con la regla de escritura de ' +
    'Thomas. ' + (data.name ? 'Fichero de planes: ' + data.name + '. ' : '') +
    'Las soluciones están al final.'));
  const key = el('section', 'answer-key');
  key.append(el('h2', '', 'Soluciones'));
  data.reports.filter((report) => report.plan !== null).forEach((report, index) => {
    if (!segmentsByLine.has(report.line)) {
      segmentsByLine.set(report.line, planSegments(frames[report.line - 1] || []));
    }
    const segments = segmentsByLine.get(report.line);
    const ops = (segments.shift() || []).map(parseLine)
      .filter((op) => op && op.kind !== 'Iniciar P');
    const title = 'Ejercicio ' + (index + 1) + ' (línea ' + report.line + ', plan P' + report.plan + ')';
    const exercise = el('article', 'exercise');
    exercise.append(el('h3', '', title));
    exercise.append(el('pre', 'source', sources[report.line - 1] || ' '));
    exercise.append(scrolling(exerciseGrid(ops), title));
    const questions = el('ol', 'questions');
    for (const question of QUESTIONS) questions.append(el('li', '', question));
    exercise.append(questions);
    sheet.append(exercise);
    const answer = el('article', 'exercise');
    answer.append(el('h3', '', title));
    const list = el('ol', 'answers');
    for (const text of answers(report, ops)) list.append(el('li', '', text));
    answer.append(list);
    key.append(answer);
  });
  root.append(sheet, key);
  root.dataset.complete = 'true';
}
