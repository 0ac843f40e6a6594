// A plan's verdicts and warnings, in the words of tosim-report's summary.
import { el, word } from './common.js';

export function transactions(list, none = word('transactions.none'), between = ', ') {
  return list && list.length ? list.map((t) => 'T' + t).join(between) : none;
}
export function order(list, none = word('order.empty')) {
  return transactions(list, none, ' → ');
}
export function yesNo(value) {
  return word(value ? 'yes' : 'no');
}
export function serializable(yes, orderOrCycle) {
  if (yes) return yesNo(true) + ', ' + word('order') + ' ' + order(orderOrCycle);
  return orderOrCycle && orderOrCycle.length
    ? yesNo(false) + ', ' + word('cycle') + ' ' + order(orderOrCycle, '') : yesNo(false);
}
export function pairs(list, between, none) {
  return list && list.length ? list.map(([a, b]) => 'T' + a + between + b).join(', ') : none;
}

// The verdicts of one report, under the two headings of the summary: what timestamp ordering
// executed, and the plan as written. Each row: key, title and text.
function verdicts(r) {
  const wt = r.without_thomas || { committed: [], aborted: [] };
  const none = (key) => word(key + '.none');
  const list = (key) => transactions(r[key], none(key));
  const accesses = (key) => (r[key].length ? r[key].join(' ') : none(key));
  return [
    [word('executed_heading'), [
      ['timestamps', word('timestamps'), pairs(Object.entries(r.timestamps || {}), '=', none('timestamps'))],
      ['committed', word('committed'), list('committed')],
      ['aborted', word('aborted'), list('aborted')],
      ['active', word('active'), transactions(r.active || [], none('active'))],
      ['executed', word('executed'), accesses('executed')],
      ['to_order', word('to_order'), order(r.to_order, none('to_order'))],
      ['skipped_writes', word('skipped_writes'), accesses('skipped_writes')],
      ['cascading', word('cascading'), list('cascading')],
      ['without_thomas', word('without_thomas'),
        word('without_thomas.committed') + ': ' + transactions(wt.committed, none('committed')) +
        '; ' + word('without_thomas.aborted') + ': ' + transactions(wt.aborted, none('aborted'))],
    ]],
    [word('written_heading'), [
      ['transactions', word('transactions'), list('transactions')],
      ['edges', word('edges'), pairs(r.edges, ' → T', none('edges'))],
      ['conflict_serializable', word('conflict_serializable'),
        serializable(r.conflict_serializable, r.conflict_serializable ? r.conflict_order : r.conflict_cycle)],
      ['view_serializable', word('view_serializable'), serializable(r.view_serializable, r.view_order)],
      ['reads_from', word('reads_from'), (r.reads_from || []).length
        ? r.reads_from.map(([reader, writer, item]) => 'T' + reader + ' ' + word('reads_from.reads') +
          ' ' + item + ' ' + word('reads_from.from') + ' T' + writer).join(', ') : none('reads_from')],
      ['recoverable', word('recoverable'), yesNo(r.recoverable)],
      ['cascadeless', word('cascadeless'), yesNo(r.cascadeless)],
      ['strict', word('strict'), yesNo(r.strict)],
    ]],
  ];
}

// A list of terms and values; each value names its key for the tests.
export function termList(rows, className = 'verdicts') {
  const list = el('dl', className);
  for (const [key, title, text] of rows) {
    const value = el('dd', '', text);
    value.dataset.key = key;
    list.append(el('dt', '', title), value);
  }
  return list;
}

// The verdicts under their headings, for a plan's panel.
export function verdictSections(report) {
  const parts = [];
  for (const [heading, rows] of verdicts(report)) {
    parts.push(el('h4', 'schedule-heading', heading), termList(rows));
  }
  return parts;
}

// The warnings of a plan, first in its panel: what the reader skipped or flagged and what makes
// the plan suspicious as an exercise. `heading`: the level of their title, below the plan's.
export function warningList(report, heading = 'h4') {
  const box = el('section', 'warnings');
  box.setAttribute('role', 'alert');
  box.append(el(heading, '', word('warnings')));
  const items = el('ul');
  for (const w of report.warnings) items.append(el('li', '', word('position') + ' ' + w.position + ': ' + w.text));
  box.append(items);
  return box;
}
