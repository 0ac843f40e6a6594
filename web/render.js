// The renderer of the playground and of the HTML report: draws tosim's trace and, for every plan,
// its schedule, precedence graph and verdicts. A classic script without imports, so that the
// report can carry it inline. Text from the plan file only ever goes in through textContent.
(function () {
  'use strict';

  const SVG = 'http://www.w3.org/2000/svg';
  const FRAMES_PER_CHUNK = 25;
  const PLAN_START_ERROR = 'ERR: se esperaba accion de inicio de un plan';
  // A label at the end of a cell: a reader's message may stand in front of it.
  const LABEL = /(Iniciar P|Iniciar T|Validar T|Abortar T|T)(-?\d+)(?:_(Read|Write)\((.)\))?$/;

  // Windows-1252 bytes as text; the bytes come as an array or as a "byte string" (one
  // character a byte), as the report carries them.
  const decoder = new TextDecoder('windows-1252');
  function decode1252(bytes) {
    if (typeof bytes === 'string') {
      const array = new Uint8Array(bytes.length);
      for (let i = 0; i < bytes.length; i++) array[i] = bytes.charCodeAt(i);
      bytes = array;
    }
    return decoder.decode(bytes);
  }

  // The plan file's lines as tosim reads them: a line ends at LF, at CR or at CR LF, and a
  // Ctrl-Z ends the data.
  function planLines(text) {
    const end = text.indexOf('\x1a');
    const lines = (end >= 0 ? text.slice(0, end) : text).split(/\r\n|\r|\n/);
    if (lines.length && lines[lines.length - 1] === '') lines.pop();
    return lines;
  }

  function plural(count, one, many) {
    return count + ' ' + (count === 1 ? one : many);
  }

  function el(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  }

  function svg(tag, attributes) {
    const node = document.createElementNS(SVG, tag);
    for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value);
    return node;
  }

  // The trace's lines grouped by the plan file's line they come from: a plan ends with
  // "fin Plan" and two empty lines, any other line with the plan start error and one.
  function splitFrames(trace) {
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
  // (decisionClass) and which operation a trace line executed (parseLine). Everything the page
  // derives from the trace's wording goes through these two.
  function decisionClass(text) {
    if (text === undefined) return '';
    if (text.startsWith('ERR:')) return 'err';
    if (text.includes('abortada')) return 'abort';
    if (text.includes('no escribe')) return 'skip';
    return 'ok';
  }

  // The executed operation of a trace line: its label, what it names and the decision.
  function parseLine(line) {
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

  // The report's words: the table of labels that tosim-report's summary uses too (the data
  // carries it as "labels"), so that the summary, the page and the report page say the same.
  let L = {};
  const word = (key) => (key in L ? L[key] : key);

  function transactions(list, none = word('transactions.none'), between = ', ') {
    return list && list.length ? list.map((t) => 'T' + t).join(between) : none;
  }
  function order(list, none = word('order.empty')) {
    return transactions(list, none, ' → ');
  }
  function yesNo(value) {
    return word(value ? 'yes' : 'no');
  }
  function serializable(yes, orderOrCycle) {
    if (yes) return yesNo(true) + ', ' + word('order') + ' ' + order(orderOrCycle);
    return orderOrCycle && orderOrCycle.length
      ? yesNo(false) + ', ' + word('cycle') + ' ' + order(orderOrCycle, '') : yesNo(false);
  }
  function pairs(list, between, none) {
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

  // The warnings of a plan, first in its panel: what the reader skipped or flagged and what makes
  // the plan suspicious as an exercise.
  function warningList(report) {
    const box = el('section', 'warnings');
    box.setAttribute('role', 'alert');
    box.append(el('h4', '', word('warnings')));
    const items = el('ul');
    for (const w of report.warnings) items.append(el('li', '', word('position') + ' ' + w.position + ': ' + w.text));
    box.append(items);
    return box;
  }

  // The schedule as a grid: a column per transaction, a row per operation.
  function scheduleGrid(report, lines) {
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

  // A graph of transactions: the nodes on a circle, a line for every edge with its arrowhead
  // part-way along it (arrowheads at the nodes pile up when ten transactions meet), and two
  // opposite edges bent apart into two curves. The edges of `cycles` (lists that end where they
  // start) are red and dashed; the nodes of `marked` are drawn as victims.
  let graphs = 0;
  const NODE_RADIUS = 20;
  const ARROW_AT = 0.6;
  function drawGraph({ nodes, edges, cycles = [], marked = [], name }) {
    const onCycle = new Set(cycles.flatMap((cycle) => cycle.slice(1).map((t, i) => cycle[i] + '>' + t)));
    const radius = nodes.length > 1 ? 30 + 16 * nodes.length : 0;
    const size = 2 * radius + 2 * NODE_RADIUS + 24;
    const picture = svg('svg', { class: 'graph', viewBox: `0 0 ${size} ${size}`,
      width: size, height: size, role: 'img', 'aria-label': name });
    const id = 'tosim-arrow-' + ++graphs;
    const defs = svg('defs', {});
    for (const kind of ['', 'cycle']) {
      const marker = svg('marker', { id: id + kind, viewBox: '0 0 10 10', refX: 5, refY: 5,
        markerWidth: 6, markerHeight: 6, orient: 'auto' });
      marker.append(svg('path', { d: 'M0,0L10,5L0,10z', class: 'tip ' + kind }));
      defs.append(marker);
    }
    picture.append(defs);
    const at = new Map(nodes.map((t, i) => {
      const angle = -Math.PI / 2 + (2 * Math.PI * i) / nodes.length;
      return [t, [size / 2 + radius * Math.cos(angle), size / 2 + radius * Math.sin(angle)]];
    }));
    const toward = ([x1, y1], [x2, y2], distance) => {
      const length = Math.hypot(x2 - x1, y2 - y1) || 1;
      return [x1 + ((x2 - x1) / length) * distance, y1 + ((y2 - y1) / length) * distance];
    };
    const between = ([x1, y1], [x2, y2], t) => [x1 + (x2 - x1) * t, y1 + (y2 - y1) * t];
    for (const [from, to] of edges) {
      const p1 = at.get(from) || [0, 0];
      const p2 = at.get(to) || [0, 0];
      const length = Math.hypot(p2[0] - p1[0], p2[1] - p1[1]) || 1;
      // The bend goes to the left of the edge's direction, so two opposite edges part.
      const bend = edges.some(([a, b]) => a === to && b === from) ? Math.min(40, 0.3 * length) : 0;
      const middle = between(p1, p2, 0.5);
      const control = [middle[0] - ((p2[1] - p1[1]) / length) * bend,
        middle[1] + ((p2[0] - p1[0]) / length) * bend];
      const start = toward(p1, control, NODE_RADIUS + 3);
      const end = toward(p2, control, NODE_RADIUS + 3);
      // The curve split where the arrowhead goes, which marker-mid then draws there.
      const a = between(start, control, ARROW_AT);
      const b = between(control, end, ARROW_AT);
      const m = between(a, b, ARROW_AT);
      const cycleEdge = onCycle.has(from + '>' + to);
      const point = (p) => p[0].toFixed(1) + ',' + p[1].toFixed(1);
      picture.append(svg('path', { class: 'edge' + (cycleEdge ? ' cycle' : ''),
        'data-from': from, 'data-to': to,
        d: `M${point(start)}Q${point(a)} ${point(m)}Q${point(b)} ${point(end)}`,
        'marker-mid': `url(#${id}${cycleEdge ? 'cycle' : ''})` }));
    }
    for (const t of nodes) {
      const [x, y] = at.get(t);
      const victim = marked.includes(t);
      const node = svg('g', { class: 'node' + (victim ? ' victim' : ''), 'data-t': t });
      node.append(svg('circle', { cx: x, cy: y, r: NODE_RADIUS }));
      if (victim) node.append(svg('circle', { class: 'ring', cx: x, cy: y, r: NODE_RADIUS - 4 }));
      const label = svg('text', { x, y, 'text-anchor': 'middle', 'dominant-baseline': 'central' });
      label.textContent = 'T' + t;
      node.append(label);
      picture.append(node);
    }
    return picture;
  }

  function figure(picture, caption, className) {
    const box = el('figure', 'graph-figure ' + className);
    box.append(picture, el('figcaption', '', caption));
    return box;
  }

  // The precedence graph of the plan as written.
  function graph(report) {
    const cycle = report.conflict_cycle || [];
    const picture = drawGraph({ nodes: report.transactions, edges: report.edges || [],
      cycles: cycle.length ? [cycle] : [], name: 'Grafo de precedencia' });
    return figure(picture, 'Grafo de precedencia del plan escrito (sin las transacciones que el ' +
      'plan aborta con A): Ti → Tj si una operación de Ti precede a otra de Tj en conflicto con ' +
      'ella' + (cycle.length ? '; en rojo, un ciclo.' : '.'), 'precedence');
  }

  // The protocol lab: what each of eight protocols does with the plan as written, in the words
  // of tosim-report --protocols.
  const PROTOCOLS = ['to', 'to_basic', 'strict_to', 'mvto', '2pl', 'wait_die', 'wound_wait', 'occ'];
  const CAUSES = { abort: 'abortada', rejected: 'rechazada', cascade: 'en cascada',
    victim: 'víctima', died: 'muere', wounded: 'herida', validation: 'validación fallida' };
  const RESULT_CLASS = { executed: 'ok', skipped: 'skip', rejected: 'abort', ignored: 'ignored',
    pending: 'pending', dropped: 'dropped' };

  const stepTransaction = (op) => Number(/\d+/.exec(op)[0]);
  const setText = (list, none) => (list.length ? list.map((t) => 'T' + t).join(', ') : none);
  const chain = (list) => list.map((t) => 'T' + t).join(' → ');

  // What became of one operation, in a few words: how it waited, then how it ended.
  function stepCell(step, causes) {
    let cell = '';
    if (step.waited_for.length) {
      cell = 'espera a ' + setText(step.waited_for, '');
      if (step.result === 'pending') return cell;
      cell += ' → ';
    } else if (step.delayed && step.result !== 'pending') {
      cell = 'en cola → ';
    }
    const cause = causes.get(stepTransaction(step.op));
    const ending = {
      executed: 'ejecutada',
      skipped: 'ignorada (Thomas)',
      rejected: cause === 'died' ? 'muere' : cause === 'validation' ? 'validación fallida' : 'rechazada',
      ignored: 'ignorada',
      pending: 'pendiente',
      dropped: cause === 'victim' ? 'víctima' : cause === 'wounded' ? 'herida' : 'descartada',
    }[step.result];
    return cell + ending;
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
    table.append(el('caption', '', 'Una fila por operación del plan escrito, una columna por ' +
      'protocolo: lo que el protocolo hizo con ella. «espera a T2 → …»: esperó a T2 y después se ' +
      'decidió; «en cola → …»: esperó detrás de otra operación de su transacción.'));
    const head = el('tr');
    head.append(el('th', '', 'Operación'));
    for (const name of PROTOCOLS) {
      const th = el('th', '', name);
      th.dataset.protocol = name;
      head.append(th);
    }
    table.append(head);
    const causes = Object.fromEntries(PROTOCOLS.map((name) => [name, new Map(lab[name].aborted)]));
    lab[PROTOCOLS[0]].steps.forEach((first, i) => {
      const row = el('tr');
      row.append(el('th', '', first.op));
      for (const name of PROTOCOLS) {
        const step = lab[name].steps[i];
        const cell = el('td', RESULT_CLASS[step.result] + (step.waited_for.length ? ' waited' : ''),
          stepCell(step, causes[name]));
        cell.dataset.protocol = name;
        const from = readFrom(step);
        if (from) cell.title = from;
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
    const aborted = run.aborted.map(([t, cause]) => 'T' + t + ' (' + CAUSES[cause] + ')');
    const rows = [
      ['history', 'Historia', run.history.join(' ') || 'vacía'],
      ['committed', 'Validadas', setText(run.committed, 'ninguna')],
      ['aborted', 'Abortadas', aborted.join(', ') || 'ninguna'],
      ['waiting', 'En espera al final', run.waiting.length ? setText(run.waiting, '') : null],
      ['active', 'Activas al final', run.active.length ? setText(run.active, '') : null],
      ['unrecoverable', 'Irrecuperables',
        run.unrecoverable.length ? setText(run.unrecoverable, '') : null],
      ['deadlocks', 'Interbloqueos', run.deadlocks.map((deadlock) => chain(deadlock.cycle) +
        ' (víctima T' + deadlock.victim + ')').join(', ') || 'ninguno'],
      ['order', 'Orden serie', run.order === null ? 'no hay (ciclo)' : chain(run.order) || 'vacío'],
    ];
    for (const [key, title, text] of rows) {
      if (text === null) continue;
      const value = el('dd', '', text);
      value.dataset.key = key;
      list.append(el('dt', '', title), value);
    }
    box.append(list);
    const waits = waitsForGraph(name, run);
    if (waits) box.append(waits);
    return box;
  }

  // The choice of protocols shown: all at first; a protocol left out leaves the grid and the
  // histories.
  function protocolChoice(view) {
    const box = el('fieldset', 'choice');
    box.append(el('legend', '', 'Protocolos que se muestran'));
    for (const name of PROTOCOLS) {
      const label = el('label');
      const shown = el('input');
      shown.type = 'checkbox';
      shown.checked = true;
      shown.value = name;
      shown.addEventListener('change', () => {
        for (const part of view.querySelectorAll(`[data-protocol="${name}"]`)) {
          part.hidden = !shown.checked;
        }
      });
      label.append(shown, name);
      box.append(label);
    }
    return box;
  }

  let rulesLink = null;
  function protocolView(report, source) {
    const view = el('details', 'protocols');
    view.append(el('summary', '', 'Protocolos: el plan con ocho protocolos de control de concurrencia'));
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
      about.append('están en la página de manual tosim-report(1) y en la página «Protocolos» del ' +
        'playground.');
    }
    view.append(about, protocolChoice(view));
    view.append(scrolling(stepGrid(report.protocols), 'Protocolos del plan P' + report.plan));
    const histories = el('div', 'histories');
    for (const name of PROTOCOLS) histories.append(labHistory(name, report.protocols[name]));
    view.append(histories);
    return view;
  }

  // What is wider than its panel scrolls sideways inside it, with a hint that it does; while it
  // overflows it can also take the focus, to be scrolled with the arrow keys.
  const overflow = typeof ResizeObserver === 'undefined' ? null : new ResizeObserver((entries) => {
    for (const { target } of entries) {
      const overflowing = target.scrollWidth > target.clientWidth + 1;
      target.parentNode.classList.toggle('overflowing', overflowing);
      if (overflowing) target.tabIndex = 0;
      else target.removeAttribute('tabindex');
    }
  });
  function scrolling(content, name) {
    const box = el('div', 'scroll-box');
    const area = el('div', 'scroll');
    area.setAttribute('role', 'region');
    area.setAttribute('aria-label', name);
    area.append(content);
    box.append(el('p', 'scroll-hint', '↔ Deslice a los lados para ver todas las columnas'), area);
    if (overflow) overflow.observe(area);
    return box;
  }

  function planPanel(report, lines, source) {
    const panel = el('section', report.plan === null ? 'plan no-plan' : 'plan');
    panel.dataset.line = report.line;
    if (report.plan === null) {
      panel.append(el('h3', '', word('line') + ' ' + report.line + ', ' + word('no_plan')));
      if ((report.warnings || []).length) panel.append(warningList(report));
      return panel;
    }
    panel.dataset.plan = report.plan;
    panel.append(el('h3', '', 'Plan P' + report.plan));
    if ((report.warnings || []).length) panel.append(warningList(report));
    const pictures = el('div', 'pictures');
    pictures.append(scrolling(scheduleGrid(report, lines), 'Planificación'), graph(report));
    panel.append(pictures);
    for (const [heading, rows] of verdicts(report)) {
      panel.append(el('h4', 'schedule-heading', heading));
      const list = el('dl', 'verdicts');
      for (const [key, title, text] of rows) {
        const term = el('dt', '', title);
        const value = el('dd', '', text);
        value.dataset.key = key;
        list.append(term, value);
      }
      panel.append(list);
    }
    if (report.protocols) panel.append(protocolView(report, source));
    return panel;
  }

  // The trace lines of each plan started on one plan file line.
  function planSegments(lines) {
    const segments = [];
    for (const line of lines) {
      const op = parseLine(line);
      if (op && op.kind === 'Iniciar P') segments.push([]);
      if (segments.length) segments[segments.length - 1].push(line);
    }
    return segments;
  }

  function frameSection(lines, number, reports, source) {
    const section = el('article', 'frame');
    section.append(el('h2', '', 'Línea ' + number));
    if (source !== undefined) section.append(el('pre', 'source', source || ' '));
    const table = el('table', 'trace');
    for (const line of lines) table.append(traceRow(line));
    section.append(scrolling(table, 'Traza de la línea ' + number));
    const segments = planSegments(lines);
    reports.forEach((report, i) => section.append(planPanel(report, segments[i] || [], source)));
    return section;
  }

  // What the colours and marks mean, once above the output.
  function legend(withProtocols) {
    const box = el('div', 'legend');
    box.append(el('strong', '', 'Leyenda:'));
    for (const [cls, text] of [['ok', 'ejecutada o validada'],
      ['abort', 'rechazada: su transacción aborta'],
      ['skip', 'escritura ignorada (regla de Thomas)'], ['err', 'error en el plan']]) {
      box.append(el('span', 'key ' + cls, text));
    }
    box.append(el('span', 'key cycle-edge', 'arista de un ciclo del grafo'));
    if (withProtocols) {
      for (const [cls, text] of [['dropped', 'descartada (víctima, herida o aborto)'],
        ['ignored', 'ignorada'], ['pending', 'pendiente al final'],
        ['waited', 'esperó antes de decidirse']]) {
        box.append(el('span', 'key ' + cls, text));
      }
    }
    return box;
  }

  let observer = null;
  let renderRest = () => {};
  addEventListener('beforeprint', () => renderRest());

  // Draws `data` ({trace: bytes or byte string, reports: [...]}) into `root`, a chunk of plan file lines
  // at a time as the reader scrolls towards them.
  // `options.rules`: the address of the page with the protocols' rules, when there is one.
  function render(root, data, options = {}) {
    rulesLink = options.rules || null;
    L = data.labels || {};
    if (observer) observer.disconnect();
    root.replaceChildren();
    root.removeAttribute('data-complete');
    const frames = splitFrames(decode1252(data.trace));
    // The plan file itself, when the data carries it: each line is shown above its trace.
    const sources = data.plans === undefined ? null : planLines(decode1252(data.plans));
    if (data.name || data.made) {
      root.append(el('p', 'about', [data.name && 'Fichero de planes: ' + data.name,
        data.made && 'generado el ' + data.made].filter(Boolean).join(', ')));
    }
    root.append(legend(data.reports.some((report) => report.protocols)));
    const byLine = new Map();
    for (const report of data.reports) {
      if (!byLine.has(report.line)) byLine.set(report.line, []);
      byLine.get(report.line).push(report);
    }
    let next = 0;
    const sentinel = el('div', 'sentinel');
    const more = () => {
      const end = Math.min(frames.length, next + FRAMES_PER_CHUNK);
      const chunk = document.createDocumentFragment();
      for (; next < end; next++) {
        chunk.append(frameSection(frames[next], next + 1, byLine.get(next + 1) || [],
          sources ? sources[next] : undefined));
      }
      root.insertBefore(chunk, sentinel);
      if (next >= frames.length) {
        observer.disconnect();
        sentinel.remove();
        root.dataset.complete = 'true';
      }
    };
    root.append(sentinel);
    // Printing shows the whole output, not just what scrolling has drawn so far.
    renderRest = () => {
      while (next < frames.length) more();
    };
    observer = new IntersectionObserver((entries) => {
      if (!entries.some((entry) => entry.isIntersecting)) return;
      more();
      // Observed anew, the sentinel is reported again if it is still in reach.
      if (next < frames.length) {
        observer.unobserve(sentinel);
        observer.observe(sentinel);
      }
    }, { rootMargin: '1500px' });
    more();
    if (next < frames.length) observer.observe(sentinel);
  }

  // The exercise sheet: per plan its text, the grid to fill in and the questions; the answers on
  // pages of their own at the end. Nothing of a decision shows before the answer key.
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

  function labels(list) {
    return list.length ? list.join(', ') : 'ninguna';
  }

  // The answers to QUESTIONS, in the same order.
  function answers(report, ops) {
    const rejected = ops.filter((op) => op.cls === 'abort').map((op) => op.label);
    return [
      pairs(Object.entries(report.timestamps || {}), '=', word('timestamps.none')),
      'rechazadas: ' + labels(rejected) + '; ' + word('skipped_writes') + ': ' +
        labels(report.skipped_writes),
      word('committed') + ': ' + transactions(report.committed, word('committed.none')) + '; ' +
        word('aborted') + ': ' + transactions(report.aborted, word('aborted.none')),
      serializable(report.conflict_serializable,
        report.conflict_serializable ? report.conflict_order : report.conflict_cycle),
      serializable(report.view_serializable, report.view_order),
      [['recoverable', report.recoverable], ['cascadeless', report.cascadeless],
        ['strict', report.strict]].map(([key, yes]) => word(key) + ': ' + yesNo(yes)).join('; '),
    ];
  }

  function renderExercises(root, data) {
    L = data.labels || {};
    if (observer) observer.disconnect();
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

  // The report page: the data travels inside it.
  function showReport() {
    const data = JSON.parse(document.getElementById('tosim-data').textContent);
    if (data.mode === 'exercises') {
      // The sheet says what it is itself; the report's header would give the game away.
      document.title = 'Hoja de ejercicios de tosim';
      document.querySelector('header').hidden = true;
      renderExercises(document.getElementById('out'), data);
    } else {
      render(document.getElementById('out'), data);
    }
  }

  globalThis.TosimRender = { render, renderExercises, decode1252, splitFrames, planLines, plural };
  if (document.getElementById('tosim-data')) showReport();
})();
