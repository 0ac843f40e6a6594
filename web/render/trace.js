// tosim's trace: split into the frames of the plan file's lines, each line a row of cells.
import { el } from './common.js';

const PLAN_START_ERROR = 'ERR: se esperaba accion de inicio de un plan';
// A label at the end of a cell: a reader's message may stand in front of it.
const LABEL = /(Iniciar P|Iniciar T|Validar T|Abortar T|T)(-?\d+)(?:_(Read|Write)\((.)\))?$/;

// The trace's lines grouped by the plan file's line they come from: a plan ends with
// "fin Plan" and two empty lines, any other line with the plan start error and one.
export function splitFrames(trace) {
  const lines = trace.split('\r\n');
  if (lines[lines.length - 1] === '') lines.pop();
  const frames = [];
  let frame = [];
  let emptyLeft = -1;
  for (const line of lines) {
    frame.push(line);
    if (emptyLeft > 0 && line === '') {
      if (--emptyLeft === 0) {
        frames.push(frame);
        frame = [];
        emptyLeft = -1;
      }
    } else if (line.endsWith('fin Plan')) {
      emptyLeft = 2;
    } else if (line.endsWith(PLAN_START_ERROR)) {
      emptyLeft = 1;
    }
  }
  if (frame.length) frames.push(frame);
  return frames;
}

// How the page reads decisions out of tosim's trace text: what became of an operation
// (decisionClass) and which operation a trace line executed (parseLine).
function decisionClass(text) {
  if (text === undefined) return '';
  if (text.startsWith('ERR:')) return 'err';
  if (text.includes('abortada')) return 'abort';
  if (text.includes('no escribe')) return 'skip';
  return 'ok';
}

// The executed operation of a trace line: its label, what it names and the decision.
export function parseLine(line) {
  const cells = line.split('\t');
  for (let i = cells.length - 2; i >= 0; i--) {
    const match = LABEL.exec(cells[i]);
    if (match) {
      const label = match[0];
      return { kind: match[1], number: Number(match[2]), label, at: i + 1,
               decision: cells[i + 1], cls: decisionClass(cells[i + 1]) };
    }
  }
  return null;
}

function traceRow(line) {
  const row = el('tr', 'tl');
  for (const part of line.split('\t')) row.append(el('td', part.startsWith('ERR:') ? 'err' : '', part));
  const op = parseLine(line);
  if (op) row.cells[op.at].className = op.cls;
  return row;
}

export function traceTable(lines) {
  const table = el('table', 'trace');
  for (const line of lines) table.append(traceRow(line));
  return table;
}

// The trace lines of each plan started on one plan file line.
export function planSegments(lines) {
  const segments = [];
  for (const line of lines) {
    const op = parseLine(line);
    if (op && op.kind === 'Iniciar P') segments.push([]);
    if (segments.length) segments[segments.length - 1].push(line);
  }
  return segments;
}
