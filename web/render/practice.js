// Practice: a plan's cells for the student to fill in (the timestamps, the trace row by row, the
// verdicts, and one protocol of the lab if chosen), the answers in the form of tosim-report
// --check's answer file, and the marks the engine sends back, drawn on the cells with their
// reasons. The page judges nothing: every mark and every reason comes from the engine.
import { el, scrolling, word } from './common.js';
import { PROTOCOLS } from './protocols.js';
import { isAccess } from './trace.js';
// The values of the answer form, in the order of the table of labels' decision.* and step.*.
const DECISIONS = ['executed', 'rejected', 'skipped', 'aborted', 'committed', 'begun', 'error'];
const RESULTS = ['executed', 'skipped', 'rejected', 'ignored', 'pending', 'dropped'];
const MARK = { right: '✓', wrong: '✗', consistent: '≈' };

// The transactions 1 to 10 whose begin the trace holds, in order.
const begun = (report) => [...new Set(report.trace.filter((entry) => entry.op !== null &&
  /^T\d+$/.test(entry.op)).map((entry) => entry.t).filter((t) => t >= 1 && t <= 10))];

// The numbers a text names ("T1, T3", "1 3"); null for an empty text.
function numbersOf(text) {
  if (!text.trim()) return null;
  return [...text.matchAll(/\d+/g)].map((m) => Number(m[0]));
}
// "W1(A), w2 (b)" as ["W1(A)", "W2(B)"]; null for an empty text.
function writesOf(text) {
  if (!text.trim()) return null;
  return [...text.matchAll(/([RW])\s*(\d+)\s*\(\s*([A-Z])\s*\)/gi)]
    .map((m) => m[1].toUpperCase() + m[2] + '(' + m[3].toUpperCase() + ')');
}
const numberOf = (text) => (/^\s*-?\d+\s*$/.test(text) ? Number(text) : null);

// The answer object of one report from the values its cells hold (key -> text), in the form of
// the answer file: only what is filled in; the trace whole (an empty entry for a row left out)
// when any of it is.
export function answerOf(report, values) {
  const answer = { line: report.line, plan: report.plan };
  const get = (key) => (values && values[key]) || '';
  const stamps = {};
  for (const t of begun(report)) {
    const stamp = numberOf(get('timestamps.' + t));
    if (stamp !== null) stamps[t] = stamp;
  }
  if (Object.keys(stamps).length) answer.timestamps = stamps;
  for (const key of ['committed', 'aborted']) {
    const list = numbersOf(get(key));
    if (list) answer[key] = list;
  }
  const writes = writesOf(get('skipped_writes'));
  if (writes) answer.skipped_writes = writes;
  for (const [verdict, ordered, cycled, field] of [
    ['conflict_serializable', 'conflict_order', 'conflict_cycle', 'conflict_list'],
    ['view_serializable', 'view_order', null, 'view_list']]) {
    if (!get(verdict)) continue;
    const yes = get(verdict) === 'yes';
    answer[verdict] = yes;
    const list = numbersOf(get(field));
    if (!list) continue;
    if (yes) answer[ordered] = list;
    else if (cycled) answer[cycled] = list;
    if (cycled) answer[yes ? cycled : ordered] = null;
  }
  for (const key of ['recoverable', 'cascadeless', 'strict']) {
    if (get(key)) answer[key] = get(key) === 'yes';
  }
  const rows = report.trace.map((entry, i) => {
    const row = {};
    const decision = get(`trace[${i}].decision`);
    if (decision) row.decision = decision;
    for (const key of ['ts_lect', 'ts_escr']) {
      const stamp = numberOf(get(`trace[${i}].${key}`));
      if (stamp !== null) row[key] = stamp;
    }
    return row;
  });
  if (rows.some((row) => Object.keys(row).length)) answer.trace = rows;
  const protocol = get('protocol');
  if (protocol && report.protocols) {
    const steps = report.protocols[protocol].steps.map((_, i) => {
      const step = {};
      const result = get(`protocols.${protocol}.steps[${i}].result`);
      if (result) step.result = result;
      const waited = numbersOf(get(`protocols.${protocol}.steps[${i}].waited_for`));
      if (waited) step.waited_for = waited;
      return step;
    });
    if (steps.some((step) => Object.keys(step).length)) answer.protocols = { [protocol]: { steps } };
  }
  return answer;
}

// The cells an answer object fills, by the keys of the page's cells.
export function answeredKeys(answer) {
  const keys = [];
  for (const t of Object.keys(answer.timestamps || {})) keys.push('timestamps.' + t);
  for (const key of ['committed', 'aborted', 'skipped_writes', 'conflict_serializable',
    'view_serializable', 'recoverable', 'cascadeless', 'strict']) {
    if (key in answer) keys.push(key);
  }
  if (answer.conflict_order || answer.conflict_cycle) keys.push('conflict_list');
  if (answer.view_order) keys.push('view_list');
  (answer.trace || []).forEach((row, i) => {
    for (const key of Object.keys(row)) keys.push(`trace[${i}].${key}`);
  });
  for (const [name, run] of Object.entries(answer.protocols || {})) {
    run.steps.forEach((step, i) => {
      for (const key of Object.keys(step)) keys.push(`protocols.${name}.steps[${i}].${key}`);
    });
  }
  return keys;
}

// The cell a mark's key names: an order and a cycle share the one list of their verdict.
const CELL_OF_KEY = { conflict_order: 'conflict_list', conflict_cycle: 'conflict_list',
  view_order: 'view_list' };

// One plan's practice: `state` holds what the student wrote (values: key -> text), the last marks
// of the engine and whether the solution is shown; `labelOf(entry)` the trace's own label of an
// entry; `hooks.check()` asks the engine to check this plan, `hooks.changed()` that the state
// changed, `hooks.solution(shown)` that the solution is to be shown or hidden.
export function practiceForm(report, state, labelOf, hooks) {
  state.values = state.values || {};
  const values = state.values;
  const form = el('form', 'practice');
  form.noValidate = true;
  form.dataset.line = report.line;
  form.dataset.plan = report.plan;
  const cells = new Map();  // key -> the input or select
  const named = new Map();  // key -> the cell's accessible name
  const signs = new Map();  // key -> the mark shown beside the cell

  const bind = (control, key, name) => {
    control.name = key;
    control.dataset.key = key;
    control.setAttribute('aria-label', name);
    control.value = values[key] || '';
    control.addEventListener('change', () => {
      values[key] = control.value;
      hooks.changed();
    });
    control.addEventListener('input', () => {
      values[key] = control.value;
    });
    cells.set(key, control);
    named.set(key, name);
    // The cell and its mark (✓, ✗, ≈), so that it reads without colour and in print.
    const box = el('span', 'cell-box');
    const sign = el('span', 'sign');
    sign.setAttribute('aria-hidden', 'true');
    signs.set(key, sign);
    box.append(control, sign);
    return box;
  };
  const input = (key, name, { size = 4, hint = '', numeric = false } = {}) => {
    const box = el('input', 'cell');
    box.type = 'text';
    box.size = size;
    box.autocomplete = 'off';
    box.spellcheck = false;
    if (numeric) box.inputMode = 'numeric';
    if (hint) box.placeholder = hint;
    return bind(box, key, name);
  };
  const choice = (key, name, options) => {
    const box = el('select', 'cell');
    box.append(el('option', '', ''));
    for (const [value, text] of options) {
      const option = el('option', '', text);
      option.value = value;
      box.append(option);
    }
    return bind(box, key, name);
  };
  const yesNo = [['yes', word('yes')], ['no', word('no')]];

  form.append(el('p', 'practice-intro', word('practice.intro')));
  const counter = report.counter;
  if (counter !== undefined) {
    form.append(el('p', 'counter', counter === 0 ? word('practice.counter.one')
      : word('practice.counter').replace('{counter}', String(counter))));
  }

  // The timestamps.
  const stamps = el('fieldset', 'stamps');
  stamps.append(el('legend', '', word('practice.timestamps')));
  for (const t of begun(report)) {
    const label = el('label', '', 'T' + t + ' ');
    label.append(input('timestamps.' + t, 'T' + t + ': ' + word('check.timestamp'), { numeric: true }));
    stamps.append(label);
  }
  form.append(stamps);

  // The trace, row by row.
  const table = el('table', 'practice-run');
  table.append(el('caption', '', word('practice.run')));
  const head = el('tr');
  for (const title of ['#', word('lab.operation'), word('check.decision'), word('check.ts_lect'),
    word('check.ts_escr')]) head.append(el('th', '', title));
  table.append(head);
  const decisions = DECISIONS.map((d) => [d, word('decision.' + d)]);
  report.trace.forEach((entry, i) => {
    const row = el('tr');
    const label = labelOf(entry) || entry.op || '?';
    const name = el('th', 'op', label);
    name.scope = 'row';
    if (entry.op === null) name.title = word('practice.illegal');
    row.append(el('td', 'n', String(i + 1)), name);
    const cell = (control) => {
      const td = el('td');
      if (control) td.append(control);
      return td;
    };
    row.append(cell(choice(`trace[${i}].decision`, label + ': ' + word('check.decision'), decisions)));
    for (const key of ['ts_lect', 'ts_escr']) {
      row.append(cell(isAccess(entry)
        ? input(`trace[${i}].${key}`, label + ': ' + word('check.' + key), { numeric: true }) : null));
    }
    table.append(row);
  });
  const where = ', plan P' + report.plan + ', línea ' + report.line;
  form.append(scrolling(table, word('practice.run') + where));

  // What the run ends with.
  const ends = el('fieldset', 'ends');
  ends.append(el('legend', '', word('executed_heading')));
  for (const [key, hint] of [['committed', 'practice.transactions.hint'],
    ['aborted', 'practice.transactions.hint'], ['skipped_writes', 'practice.writes.hint']]) {
    const label = el('label', '', word(key) + ' ');
    label.append(input(key, word(key), { size: 16, hint: word(hint) }));
    ends.append(label);
  }
  form.append(ends);

  // The plan as written.
  const written = el('fieldset', 'written');
  written.append(el('legend', '', word('practice.written')));
  for (const [verdict, list, hint] of [['conflict_serializable', 'conflict_list', 'practice.order_or_cycle'],
    ['view_serializable', 'view_list', 'practice.view_order']]) {
    const label = el('label', '', word(verdict) + ' ');
    label.append(choice(verdict, word(verdict), yesNo), ' ',
      input(list, word(verdict) + ': ' + word(hint), { size: 14, hint: word(hint) }));
    written.append(label);
  }
  for (const key of ['recoverable', 'cascadeless', 'strict']) {
    const label = el('label', '', word(key) + ' ');
    label.append(choice(key, word(key), yesNo));
    written.append(label);
  }
  form.append(written);

  // One protocol of the lab, if chosen: its column of the step grid.
  if (report.protocols) {
    const lab = el('fieldset', 'practice-lab');
    lab.append(el('legend', '', word('practice.protocol')));
    const chosen = choice('protocol', word('practice.protocol'), PROTOCOLS.map((name) => [name, name]));
    const which = cells.get('protocol');
    which.options[0].textContent = word('practice.protocol.none');
    lab.append(chosen);
    const steps = el('div', 'lab-steps');
    const drawSteps = () => {
      steps.replaceChildren();
      for (const key of [...cells.keys()].filter((k) => k.startsWith('protocols.'))) {
        cells.delete(key);
        signs.delete(key);
      }
      const name = values.protocol;
      if (!name) return;
      const grid = el('table', 'practice-steps');
      grid.append(el('caption', '', word('lab.heading') + ': ' + name));
      const top = el('tr');
      for (const title of [word('lab.operation'), word('practice.result'), word('step.waits')]) {
        top.append(el('th', '', title));
      }
      grid.append(top);
      const results = RESULTS.map((r) => [r, word('step.' + r)]);
      report.protocols[name].steps.forEach((step, i) => {
        const row = el('tr');
        const op = el('th', 'op', step.op);
        op.scope = 'row';
        const base = `protocols.${name}.steps[${i}].`;
        const result = el('td');
        result.append(choice(base + 'result', step.op + ': ' + word('practice.result') + ' (' + name + ')', results));
        const waited = el('td');
        waited.append(input(base + 'waited_for', step.op + ': ' + word('step.waits') + ' (' + name + ')',
          { size: 8, hint: word('practice.transactions.hint') }));
        row.append(op, result, waited);
        grid.append(row);
      });
      steps.append(scrolling(grid, word('lab.heading') + ': ' + name + where));
    };
    which.addEventListener('change', drawSteps);
    drawSteps();
    lab.append(steps);
    form.append(lab);
  }

  // Check, score, solution.
  const bar = el('div', 'practice-bar');
  const check = el('button', 'primary', word('practice.check'));
  check.type = 'submit';
  const solution = el('button', 'solution', word(state.solution ? 'practice.solution.hide' : 'practice.solution'));
  solution.type = 'button';
  solution.setAttribute('aria-expanded', String(Boolean(state.solution)));
  const score = el('p', 'score');
  score.setAttribute('role', 'status');
  bar.append(check, solution, score);
  form.append(bar);
  const review = el('section', 'review');
  form.append(review);

  form.addEventListener('submit', (event) => {
    event.preventDefault();
    hooks.check();
  });
  // Enter checks from any cell, a choice included.
  form.addEventListener('keydown', (event) => {
    if (event.key === 'Enter' && event.target.tagName === 'SELECT') {
      event.preventDefault();
      hooks.check();
    }
  });
  solution.addEventListener('click', () => {
    state.solution = !state.solution;
    solution.textContent = word(state.solution ? 'practice.solution.hide' : 'practice.solution');
    solution.setAttribute('aria-expanded', String(state.solution));
    hooks.solution(state.solution);
    hooks.changed();
  });

  // The engine's marks on the cells: those answered and not listed are right.
  const draw = () => {
    for (const control of cells.values()) {
      control.classList.remove('right', 'wrong', 'consistent');
      control.removeAttribute('aria-describedby');
      control.removeAttribute('aria-invalid');
      control.title = '';
      signs.get(control.dataset.key).textContent = '';
    }
    review.replaceChildren();
    score.textContent = '';
    const marks = state.marks;
    if (!marks) return;
    const listed = new Map(marks.cells.map((cell) => [CELL_OF_KEY[cell.key] || cell.key, cell]));
    for (const key of state.checked || []) {
      const control = cells.get(key);
      if (control && !listed.has(key)) {
        control.classList.add('right');
        signs.get(key).textContent = MARK.right;
      }
    }
    const items = el('ul');
    marks.cells.forEach((cell, n) => {
      const key = CELL_OF_KEY[cell.key] || cell.key;
      const control = cells.get(key);
      const id = `why-${report.line}-${report.plan}-${state.index}-${n}`;
      const item = el('li', cell.mark);
      item.id = id;
      item.append(el('strong', '', (named.get(key) || cell.key) + ': '),
        MARK[cell.mark] + ' ' + word(cell.mark === 'wrong' ? 'check.wrong' : 'check.consistent') + '. ',
        cell.why);
      items.append(item);
      if (!control) return;
      control.classList.add(cell.mark);
      signs.get(key).textContent = MARK[cell.mark];
      control.title = cell.why;
      control.setAttribute('aria-describedby', id);
      if (cell.mark === 'wrong') control.setAttribute('aria-invalid', 'true');
    });
    const marked = marks.right + marks.wrong + marks.consistent;
    score.textContent = word('practice.score') + ': ' + (marks.right + marks.consistent) + ' ' +
      word('check.of') + ' ' + marked + (marks.wrong ? '; ' + marks.wrong + ' ' + word('check.wrong') : '') +
      (marks.consistent ? '; ' + marks.consistent + ' ' + word('check.consistent') : '');
    if (marks.cells.length) {
      review.append(el('h4', '', word('practice.review')), items);
    }
  };
  draw();
  return { element: form, draw };
}
