// The schedule as a grid: a column per transaction, a row per operation of the trace of
// transactions 1 to 10, its decision in colour and, on hover, the rule that decided it.
import { el } from './common.js';
import { DECISION_CLASS } from './trace.js';

export function scheduleGrid(report) {
  const entries = (report.trace || []).filter((entry) => entry.t !== null && entry.t >= 1 && entry.t <= 10);
  const columns = [...new Set([...report.transactions, ...entries.map((entry) => entry.t)])]
    .sort((a, b) => a - b);
  const table = el('table', 'grid');
  table.append(el('caption', '', 'Planificación ejecutada: una columna por transacción, una fila ' +
    'por operación en el orden de la traza'));
  const head = el('tr');
  head.append(el('th', '', '#'));
  for (const t of columns) head.append(el('th', '', 'T' + t));
  table.append(head);
  entries.forEach((entry, index) => {
    const row = el('tr');
    row.append(el('th', '', String(index + 1)));
    for (const t of columns) {
      if (t !== entry.t) {
        row.append(el('td'));
        continue;
      }
      // An operation the reader could not read whole has no label.
      const cell = el('td', DECISION_CLASS[entry.decision] || '', entry.op === null ? '?' : entry.op);
      cell.title = entry.why;
      row.append(cell);
    }
    table.append(row);
  });
  return table;
}
