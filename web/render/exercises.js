// The exercise sheet: per plan its text, the grid to fill in and the questions; the answers on
// pages of their own at the end. Nothing of a decision shows before the answer key.
import { decode1252, el, planLines, scrolling, useLabels, word } from './common.js';
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

// A row per operation of the plan's trace that names one.
function exerciseGrid(ops) {
  const table = el('table', 'grid to-fill');
  table.append(el('caption', '', 'Para rellenar: una fila por operación, en el orden del plan'));
  const head = el('tr');
  for (const title of ['#', 'Operación', 'Decisión', 'TS_lect', 'TS_escr']) head.append(el('th', '', title));
  table.append(head);
  ops.forEach((op, index) => {
    const row = el('tr');
    row.append(el('th', '', String(index + 1)), el('td', '', op));
    for (let i = 0; i < 3; i++) row.append(el('td', 'blank', ''));
    table.append(row);
  });
  return table;
}

function operationList(list) {
  return list.length ? list.join(', ') : 'ninguna';
}

// The answers to QUESTIONS, in the same order. A rejection is an operation that aborted its
// transaction; the plan's own A is not one.
function answers(report) {
  const rejected = report.trace.filter((entry) => entry.decision === 'rejected').map((entry) => entry.op);
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
  const sources = data.plans === undefined ? [] : planLines(decode1252(data.plans));
  const sheet = el('section', 'exercises');
  sheet.append(el('h2', '', 'Hoja de ejercicios'));
  sheet.append(el('p', 'about', 'Ordenación por marcas de tiempo con la regla de escritura de ' +
    'Thomas. ' + (data.name ? 'Fichero de planes: ' + data.name + '. ' : '') +
    'Las soluciones están al final.'));
  const key = el('section', 'answer-key');
  key.append(el('h2', '', 'Soluciones'));
  const plans = data.reports.filter((report) => report.plan !== null);
  if (!plans.length) sheet.append(el('p', 'no-plans', word('plans.none')));
  plans.forEach((report, index) => {
    const ops = report.trace.filter((entry) => entry.op !== null).map((entry) => entry.op);
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
    for (const text of answers(report)) list.append(el('li', '', text));
    answer.append(list);
    key.append(answer);
  });
  root.append(sheet);
  if (plans.length) root.append(key);
  root.dataset.complete = 'true';
}
