// The protocol lab's view of a plan: what each of nine protocols does with the plan as written,
// in the words of tosim-report --protocols (the table of labels).
import { el, hasWord, scrolling, word } from './common.js';
import { drawGraph, figure } from './graph.js';

export const PROTOCOLS = ['to', 'to_basic', 'strict_to', 'mvto', '2pl', 'wait_die', 'wound_wait',
  'occ', 'si'];
const RESULT_CLASS = { executed: 'ok', skipped: 'skip', rejected: 'abort', ignored: 'ignored',
  pending: 'pending', dropped: 'dropped' };

const stepTransaction = (op) => Number(/\d+/.exec(op)[0]);
const setText = (list, none) => (list.length ? list.map((t) => 'T' + t).join(', ') : none);
const chain = (list) => list.map((t) => 'T' + t).join(' → ');

// What became of one operation, in a few words: whom it wounded, how it waited, then how it
// ended. The ending is "step.RESULT.CAUSE" where the table has it (CAUSE: why the step's
// transaction aborted, if it did), else "step.RESULT".
export function stepCell(step, causes) {
  let cell = '';
  const then = ' ' + word('step.then') + ' ';
  if ((step.wounded || []).length) cell = word('step.wounds') + ' ' + setText(step.wounded, '') + then;
  if (step.waited_for.length) {
    cell += word('step.waits') + ' ' + setText(step.waited_for, '');
    if (step.result === 'pending') return cell;
    cell += then;
  } else if (step.delayed) {
    cell += word('step.queued') + then;
  }
  const key = 'step.' + step.result;
  const cause = causes.get(stepTransaction(step.op));
  return cell + word(cause && hasWord(key + '.' + cause) ? key + '.' + cause : key);
}

// Each protocol's aborted transactions and their causes, for stepCell().
export function causesOf(lab) {
  return Object.fromEntries(PROTOCOLS.map((name) => [name, new Map(lab[name].aborted)]));
}

// What an executed read returned, for the cell's tooltip.
function readFrom(step) {
  if (step.from === null || step.from === undefined) return '';
  return step.from === 0 ? 'lee el valor inicial' : step.from === stepTransaction(step.op)
    ? 'lee su propia escritura' : 'lee lo que escribió T' + step.from;
}

// The step grid: a row per operation of the plan, a column per protocol.
function stepGrid(lab) {
  const table = el('table', 'steps');
  const then = ' ' + word('step.then') + ' …';
  table.append(el('caption', '', 'Una fila por operación del plan escrito, una columna por ' +
    'protocolo: lo que el protocolo hizo con ella. «' + word('step.waits') + ' T2' + then +
    '»: esperó a T2 y después se decidió; «' + word('step.queued') + then + '»: esperó detrás ' +
    'de otra operación de su transacción.'));
  const head = el('tr');
  head.append(el('th', '', word('lab.operation')));
  for (const name of PROTOCOLS) {
    const th = el('th', '', name);
    th.dataset.protocol = name;
    head.append(th);
  }
  table.append(head);
  const causes = causesOf(lab);
  lab[PROTOCOLS[0]].steps.forEach((first, i) => {
    const row = el('tr');
    row.append(el('th', '', first.op));
    for (const name of PROTOCOLS) {
      const step = lab[name].steps[i];
      const cell = el('td', RESULT_CLASS[step.result] + (step.waited_for.length ? ' waited' : ''),
        stepCell(step, causes[name]));
      cell.dataset.protocol = name;
      // On hover: why it went so, with the numbers, and whose write a read returned.
      cell.title = [step.why, readFrom(step)].filter(Boolean).join('. ');
      row.append(cell);
    }
    table.append(row);
  });
  return table;
}

// The transactions of the plan that a protocol saw.
function labTransactions(run) {
  return [...new Set(run.steps.map((step) => stepTransaction(step.op)))].sort((a, b) => a - b);
}

// The waits-for graph of a protocol that waited: Ti → Tj when an operation of Ti waited for Tj,
// with every deadlock's cycle in red and its victim marked.
function waitsForGraph(name, run) {
  const edges = [];
  const add = (from, to) => {
    if (!edges.some(([a, b]) => a === from && b === to)) edges.push([from, to]);
  };
  for (const step of run.steps) {
    for (const t of step.waited_for) add(stepTransaction(step.op), t);
  }
  for (const { cycle } of run.deadlocks) cycle.slice(1).forEach((t, i) => add(cycle[i], t));
  if (!edges.length) return null;
  const victims = run.deadlocks.map((deadlock) => deadlock.victim);
  const picture = drawGraph({ nodes: labTransactions(run), edges,
    cycles: run.deadlocks.map((deadlock) => deadlock.cycle), marked: victims,
    name: 'Grafo de esperas de ' + name });
  return figure(picture, 'Grafo de esperas de ' + name + ': Ti → Tj si una operación de Ti ' +
    'esperó a Tj' + (victims.length ? '; en rojo, los ciclos de los interbloqueos, y con doble ' +
    'círculo, la víctima de cada uno.' : '.'), 'waits-for');
}

// Each protocol's history and outcome, as the lines of tosim-report --protocols.
function labHistory(name, run) {
  const box = el('section', 'history');
  box.dataset.protocol = name;
  box.append(el('h5', '', name));
  const list = el('dl', 'verdicts');
  const aborted = run.aborted.map(([t, cause]) => 'T' + t + ' (' + word('cause.' + cause) + ')');
  // Each row: its key, and its text (null: the row is left out).
  const rows = [
    ['history', run.history.join(' ') || word('lab.history.none')],
    ['committed', setText(run.committed, word('lab.committed.none'))],
    ['aborted', aborted.join(', ') || word('lab.aborted.none')],
    ['waiting', run.waiting.length ? setText(run.waiting, '') : null],
    ['active', run.active.length ? setText(run.active, '') : null],
    ['unrecoverable', run.unrecoverable.length ? setText(run.unrecoverable, '') : null],
    ['deadlocks', run.deadlocks.map((deadlock) => chain(deadlock.cycle) + ' (' + word('lab.victim') +
      ' T' + deadlock.victim + ')').join(', ') || word('lab.deadlocks.none')],
    ['order', run.order === null ? word('lab.order.none') : chain(run.order) || word('lab.order.empty')],
  ];
  for (const [key, text] of rows) {
    if (text === null) continue;
    const value = el('dd', '', text);
    value.dataset.key = key;
    list.append(el('dt', '', word('lab.' + key)), value);
  }
  box.append(list);
  const waits = waitsForGraph(name, run);
  if (waits) box.append(waits);
  return box;
}

// The choice of protocols shown: `shown` at first (all when not given); a protocol left out
// leaves the grid and the histories, and `onShown` hears of every change.
function protocolChoice(view, shown, onShown) {
  const box = el('fieldset', 'choice');
  box.append(el('legend', '', 'Protocolos que se muestran'));
  const apply = (name, visible) => {
    for (const part of view.querySelectorAll(`[data-protocol="${name}"]`)) part.hidden = !visible;
  };
  for (const name of PROTOCOLS) {
    const label = el('label');
    const choice = el('input');
    choice.type = 'checkbox';
    choice.checked = !shown || shown.has(name);
    choice.value = name;
    choice.addEventListener('change', () => {
      apply(name, choice.checked);
      if (onShown) onShown(name, choice.checked);
    });
    label.append(choice, name);
    box.append(label);
  }
  // Applied once the view is whole.
  box.applyShown = () => {
    for (const name of PROTOCOLS) if (shown && !shown.has(name)) apply(name, false);
  };
  return box;
}

// `options.rules`: the address of the page of the rules, when there is one; `options.shown`, the
// protocols shown at first, and `options.onShown(name, shown)`, who hears of a change.
export function protocolView(report, source, options = {}) {
  const rulesLink = options.rules || null;
  const view = el('details', 'protocols');
  view.append(el('summary', '', word('lab.heading') + ': el plan con nueve protocolos de control de ' +
    'concurrencia'));
  // The plan's own text stays at the top while the grid scrolls by.
  view.append(el('p', 'plan-text', source || 'P' + report.plan + '; ' +
    report.protocols.to.steps.map((step) => step.op).join('; ')));
  const about = el('p', 'rules-note', 'Cada casilla sale de las reglas de la reproducción y del ' +
    'protocolo; ');
  if (rulesLink) {
    const link = el('a', '', 'las reglas, en una página');
    link.href = rulesLink;
    // A page of its own, so that the output stays where it is.
    link.target = '_blank';
    link.rel = 'noopener';
    about.append(link, '.');
  } else {
    about.append('están en la página de las reglas de los protocolos (protocolos.html) del ' +
      'playground, que el paquete de tosim instala en /usr/share/doc/tosim/.');
  }
  const choice = protocolChoice(view, options.shown, options.onShown);
  view.append(about, choice);
  view.append(scrolling(stepGrid(report.protocols), 'Protocolos del plan P' + report.plan +
    ', línea ' + report.line));
  const histories = el('div', 'histories');
  for (const name of PROTOCOLS) histories.append(labHistory(name, report.protocols[name]));
  view.append(histories);
  choice.applyShown();
  return view;
}
