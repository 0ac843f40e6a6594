// The schedule as a grid: a column per transaction, a row per operation.
import { el } from './common.js';
import { parseLine } from './trace.js';

export function scheduleGrid(report, lines) {
  const ops = lines.map(parseLine).filter((op) => op && op.kind !== 'Iniciar P' &&
    op.number >= 1 && op.number <= 10);
  const columns = [...new Set([...report.transactions, ...ops.map((op) => op.number)])]
    .sort((a, b) => a - b);
  const table = el('table', 'grid');
  table.append(el('caption', '', 'Planificación ejecutada: una columna por transacción, una fila ' +
    'por operación en el orden de la traza'));
  const head = el('tr');
  head.append(el('th', '', '#'));
  for (const t of columns) head.append(el('th', '', 'T' + t));
  table.append(head);
  ops.forEach((op, index) => {
    const row = el('tr');
    row.append(el('th', '', String(index + 1)));
    for (const t of columns) {
      const cell = el('td', t === op.number ? op.cls : '');
      if (t === op.number) {
        // "T10_" and "Write(A)" may go on two lines when printed.
        const [name, action] = op.label.split('_');
        if (action) cell.append(el('span', '', name + '_'), el('span', '', action));
        else cell.append(name);
        cell.title = op.decision;
      }
      row.append(cell);
    }
    table.append(row);
  });
  return table;
}
