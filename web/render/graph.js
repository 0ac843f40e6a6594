// A graph of transactions: the precedence graph of a plan, and the protocols' waits-for graphs.
import { el, svg } from './common.js';

// The nodes on a circle, a line for every edge with its arrowhead part-way along it (arrowheads
// at the nodes pile up when ten transactions meet), and two opposite edges, or two edges the same
// way, bent apart into curves. An edge is [from, to], or {from, to, kind, label, title, cycle}:
// its kind becomes a class of the line, its label is written beside it, its title shows on hover.
// The edges of `cycles` (lists that end where they start), and those marked `cycle`, are drawn as
// a cycle's; the nodes of `marked` are drawn as victims.
let graphs = 0;
const NODE_RADIUS = 20;
const ARROW_AT = 0.6;
export function drawGraph({ nodes, edges, cycles = [], marked = [], name }) {
  const onCycle = new Set(cycles.flatMap((cycle) => cycle.slice(1).map((t, i) => cycle[i] + '>' + t)));
  const list = edges.map((edge) => (Array.isArray(edge) ? { from: edge[0], to: edge[1] } : edge));
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
  const labels = [];
  for (const edge of list) {
    const { from, to } = edge;
    const p1 = at.get(from) || [0, 0];
    const p2 = at.get(to) || [0, 0];
    const length = Math.hypot(p2[0] - p1[0], p2[1] - p1[1]) || 1;
    // The bend goes to the left of the edge's direction, so two opposite edges part; edges the
    // same way bend further one after the other.
    const sameWay = list.filter((other) => other.from === from && other.to === to);
    const lane = sameWay.indexOf(edge);
    const apart = sameWay.length > 1 || list.some((other) => other.from === to && other.to === from);
    const bend = apart ? Math.min(40, 0.3 * length) * (1 + 0.8 * lane) : 0;
    const middle = between(p1, p2, 0.5);
    const control = [middle[0] - ((p2[1] - p1[1]) / length) * bend,
      middle[1] + ((p2[0] - p1[0]) / length) * bend];
    const start = toward(p1, control, NODE_RADIUS + 3);
    const end = toward(p2, control, NODE_RADIUS + 3);
    // The curve split where the arrowhead goes, which marker-mid then draws there.
    const a = between(start, control, ARROW_AT);
    const b = between(control, end, ARROW_AT);
    const m = between(a, b, ARROW_AT);
    const cycleEdge = edge.cycle ?? onCycle.has(from + '>' + to);
    const point = (p) => p[0].toFixed(1) + ',' + p[1].toFixed(1);
    const d = `M${point(start)}Q${point(a)} ${point(m)}Q${point(b)} ${point(end)}`;
    // What shows on hover, over the line and over its label.
    const titled = (element) => {
      if (edge.title) {
        const title = svg('title', {});
        title.textContent = edge.title;
        element.append(title);
      }
      return element;
    };
    const group = titled(svg('g', { class: 'edge-group' }));
    const line = svg('path', { class: ['edge', edge.kind, cycleEdge && 'cycle'].filter(Boolean).join(' '),
      'data-from': from, 'data-to': to, d, 'marker-mid': `url(#${id}${cycleEdge ? 'cycle' : ''})` });
    if (edge.kind) line.dataset.kind = edge.kind;
    if (edge.items) line.dataset.items = edge.items.join(',');
    // A wider line of no colour under it, to hover on.
    group.append(svg('path', { class: 'hit', d }), line);
    if (edge.label) {
      // Half-way along the curve.
      const [x, y] = between(between(start, control, 0.5), between(control, end, 0.5), 0.5);
      const text = svg('text', { class: 'edge-label', x: x.toFixed(1), y: y.toFixed(1),
        'text-anchor': 'middle', 'dominant-baseline': 'central' });
      text.textContent = edge.label;
      const labelled = titled(svg('g', {}));
      labelled.append(text);
      labels.push(labelled);
    }
    picture.append(group);
  }
  // The labels over every line.
  picture.append(...labels);
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

export function figure(picture, caption, className) {
  const box = el('figure', 'graph-figure ' + className);
  box.append(picture, el('figcaption', '', caption));
  return box;
}

// The precedence graph of the plan as written; each edge names its items, and on hover the
// operations that made it (the key "conflicts").
export function precedenceGraph(report) {
  const cycle = report.conflict_cycle || [];
  const conflicts = report.conflicts || [];
  const edges = (report.edges || []).map(([from, to]) => {
    const own = conflicts.filter(([a, b]) => a === from && b === to);
    const items = own.map(([, , item]) => item);
    return { from, to, items, label: items.join(', '),
      title: own.map(([, , , first, second]) => first + ' → ' + second).join('\n') };
  });
  const picture = drawGraph({ nodes: report.transactions, edges,
    cycles: cycle.length ? [cycle] : [], name: 'Grafo de precedencia' });
  return figure(picture, 'Grafo de precedencia del plan escrito (sin las transacciones que el ' +
    'plan aborta con A): Ti → Tj si una operación de Ti precede a otra de Tj en conflicto con ' +
    'ella; junto a cada arista, los elementos, y al pasar por ella, las operaciones' +
    (cycle.length ? '; en rojo, un ciclo.' : '.'), 'precedence');
}
