// The part «Aislamiento» of a plan's panel, in the words of tosim-report's summary (the table of
// labels): the strongest level the plan as written meets, the four levels each allowed or not,
// every anomaly and phenomenon with its witness, and the dependency graph with the witness cycle.
import { el, fill, word } from './common.js';
import { drawGraph, figure } from './graph.js';

// Weakest first. The levels that allow the plan are those up to the strongest it meets (for items,
// repeatable read allows what serializable allows): how many, by that level.
const LEVELS = ['read_uncommitted', 'read_committed', 'repeatable_read', 'serializable'];
const ALLOWING = { none: 0, read_uncommitted: 1, read_committed: 2, serializable: 4 };

// "R2(A)" as its transaction and item.
function operation(label) {
  const [, t, item] = /^[A-Z](\d+)(?:\((.)\))?$/.exec(label);
  return { t: Number(t), item };
}

// ": name (KIND)", after a witness.
const named = (kind) => ': ' + word('isolation.' + kind) + ' (' + kind + ')';

// A cycle as one clause per edge, saying why the edge exists.
export const cycleText = (cycle) => cycle.map(([from, kind, x, to]) =>
  fill(word('isolation.edge.' + kind), { from, to, x })).join('; ');

export function anomalyText(anomaly) {
  if (anomaly.cycle) return cycleText(anomaly.cycle) + named(anomaly.kind);
  const read = operation(anomaly.read);
  return fill(word('isolation.' + anomaly.kind + '.witness'),
    { i: anomaly.writer, j: read.t, x: read.item }) + named(anomaly.kind);
}

// A phenomenon's transactions and items from its operations, in the pattern's order: Ti's comes
// first, Tj's second; y is the first item other than x.
export function phenomenonText(phenomenon) {
  const ops = phenomenon.ops.map(operation);
  const x = ops[0].item;
  const y = (ops.find((op) => op.item && op.item !== x) || {}).item;
  return fill(word('isolation.' + phenomenon.kind + '.witness'),
    { i: ops[0].t, j: ops[1].t, x, y }) + named(phenomenon.kind);
}

// The operations behind an edge of the dependency graph.
const EDGE_OPERATIONS = { ww: ['W', 'W'], wr: ['W', 'R'], rw: ['R', 'W'] };

// The dependency graph: one line per pair and kind, naming its items; the first anomaly's cycle,
// the most severe one, is drawn as a cycle.
function dependencyGraph(report) {
  const isolation = report.isolation;
  const witness = isolation.anomalies.find((anomaly) => anomaly.cycle);
  const onWitness = new Set((witness ? witness.cycle : []).map(([from, kind, , to]) =>
    from + kind + to));
  const lines = new Map();
  for (const edge of isolation.dsg) {
    const [from, kind, item, to] = edge;
    const key = from + kind + to;
    if (!lines.has(key)) {
      lines.set(key, { from, to, kind, items: [], clauses: [], cycle: onWitness.has(key) });
    }
    const line = lines.get(key);
    const [first, second] = EDGE_OPERATIONS[kind];
    line.items.push(item);
    line.clauses.push(`${first}${from}(${item}) → ${second}${to}(${item}): ` + cycleText([edge]));
  }
  const edges = [...lines.values()].map((line) => ({ ...line,
    label: line.kind + ' ' + line.items.join(', '), title: line.clauses.join('\n') }));
  const picture = drawGraph({ nodes: report.transactions, edges, name: word('isolation.graph') });
  return figure(picture, word('isolation.graph.caption') +
    (witness ? ' ' + fill(word('isolation.graph.witness'), { kind: witness.kind }) : ''),
  'dependency');
}

// A list of sentences under its title, or the title and what it says when there are none.
function witnessList(title, none, texts, kinds, className) {
  const parts = [];
  if (!texts.length) {
    const line = el('p', className + ' none');
    line.append(el('span', 'title', word(title)), ': ' + word(none));
    return [line];
  }
  parts.push(el('h5', '', word(title)));
  const list = el('ul', className);
  texts.forEach((text, i) => {
    const item = el('li', '', text);
    item.dataset.kind = kinds[i];
    list.append(item);
  });
  parts.push(list);
  return parts;
}

export function isolationSection(report) {
  const isolation = report.isolation;
  const box = el('section', 'isolation');
  box.dataset.level = isolation.level;
  box.append(el('h4', 'schedule-heading', word('isolation')));
  const level = el('dl', 'verdicts');
  const strongest = el('dd', '', word('isolation.level.' + isolation.level));
  strongest.dataset.key = 'level';
  level.append(el('dt', '', word('isolation.level')), strongest);
  box.append(level);

  const table = el('table', 'levels');
  table.append(el('caption', '', word('isolation.levels')));
  for (const name of LEVELS) {
    const allowed = LEVELS.indexOf(name) < ALLOWING[isolation.level];
    const row = el('tr');
    row.dataset.level = name;
    const head = el('th', '', word('isolation.level.' + name));
    head.scope = 'row';
    row.append(head, el('td', allowed ? 'allowed' : 'not-allowed',
      word(allowed ? 'isolation.allowed' : 'isolation.not_allowed')));
    table.append(row);
  }
  box.append(table);

  box.append(...witnessList('isolation.anomalies', 'isolation.anomalies.none',
    isolation.anomalies.map(anomalyText), isolation.anomalies.map((a) => a.kind), 'anomalies'));
  box.append(...witnessList('isolation.phenomena', 'isolation.phenomena.none',
    isolation.phenomena.map(phenomenonText), isolation.phenomena.map((p) => p.kind), 'phenomena'));
  box.append(dependencyGraph(report));
  return box;
}
