// tosim's trace, shown as it is, cut into the frames of the plan file's lines and coloured from
// the run's data (each plan's "trace" entries), never from the trace's words.
import { el } from './common.js';

// What a decision looks like in the trace, the grid and the legend.
export const DECISION_CLASS = { executed: 'ok', committed: 'ok', begun: 'ok', rejected: 'abort',
  skipped: 'skip', aborted: 'aborted', error: 'err' };
// The rules of an operation the reader could not read whole: its label cell holds the reader's
// message. An illegal operation's label stays on the line of whatever follows it.
const READER_RULES = new Set(['illegal_operation', 'number_expected', 'open_expected', 'letter_expected']);

// Whether an entry is a read or a write read whole: the operations whose trace line shows the
// item's timestamps, when their transaction is active.
export const isAccess = (entry) => entry.op !== null && /^[RW]/.test(entry.op);

// The trace's lines grouped by the plan file's line they come from, each line with the marks of
// its cells ({cell, cls, entry}; cell -1 is the last). A line's frame is its non-empty lines and
// the empty lines after them. A line with plans has, for each plan (each report of the line, in
// order), the plan start's line and a line for every entry but an illegal operation's, then the
// line that ends the plan; any other line of the plan file, one line.
export function traceFrames(text, reports) {
  const lines = text.split('\r\n');
  if (lines[lines.length - 1] === '') lines.pop();
  const byLine = new Map();
  for (const report of reports) {
    if (!byLine.has(report.line)) byLine.set(report.line, []);
    byLine.get(report.line).push(report);
  }
  const frames = [];
  let at = 0;
  for (let number = 1; at < lines.length; number++) {
    const own = byLine.get(number) || [];
    const rows = [];
    const take = (marks) => {
      if (at < lines.length) rows.push({ text: lines[at++], marks });
    };
    const plans = own.filter((report) => report.plan !== null);
    if (!plans.length) {
      take([{ cell: -1, cls: 'err' }]);
    } else {
      // Illegal operations waiting for the line that carries their labels.
      let pending = [];
      const end = (marks) => {
        take([...pending.map((entry, cell) => ({ cell, cls: 'err', entry })), ...marks]);
        pending = [];
      };
      for (const report of plans) {
        end([{ cell: pending.length + 1, cls: 'ok' }]);
        for (const entry of report.trace || []) {
          if (entry.rule === 'illegal_operation') {
            pending.push(entry);
            continue;
          }
          const cell = pending.length;
          const marks = [{ cell: cell + 1, cls: DECISION_CLASS[entry.decision] || '', entry }];
          if (READER_RULES.has(entry.rule)) marks.push({ cell, cls: 'err', entry });
          end(marks);
        }
      }
      end([]);
    }
    while (at < lines.length && lines[at] === '') take([]);
    frames.push({ number, reports: own, rows });
  }
  return frames;
}

// The trace's own label of every entry of `rows` ("T1_Write(B)", "Iniciar T1"): the cell before
// its decision, or an illegal operation's own cell. Shown as it is, never read.
export function traceLabels(rows) {
  const labels = new Map();
  for (const { text, marks } of rows) {
    const cells = text.split('\t');
    for (const { cell, entry } of marks) {
      if (!entry || labels.has(entry)) continue;
      const at = entry.rule === 'illegal_operation' ? cell : cell - 1;
      if (cells[at] !== undefined) labels.set(entry, cells[at]);
    }
  }
  return labels;
}

export function traceTable(rows) {
  const table = el('table', 'trace');
  for (const { text, marks } of rows) {
    const row = el('tr', 'tl');
    for (const part of text.split('\t')) row.append(el('td', '', part));
    for (const { cell, cls, entry } of marks) {
      const td = row.cells[cell < 0 ? row.cells.length - 1 : cell];
      if (!td) continue;
      td.className = cls;
      if (entry) td.title = entry.why;
    }
    table.append(row);
  }
  return table;
}
