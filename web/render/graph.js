// A graph of transactions: the precedence graph of a plan, and the protocols' waits-for graphs.
import { el, svg } from './common.js';

// The nodes on a circle, a line for every edge with its arrowhead part-way along it (arrowheads
// at the nodes pile up when ten transactions meet), and two opposite edges bent apart into two
// curves. The edges of `cycles` (lists that end where they start) are red and dashed; the nodes
// of `marked` are drawn as victims.
let graphs = 0;
const NODE_RADIUS = 20;
const ARROW_AT = 0.6;
export function drawGraph({ nodes, edges, cycles = [], marked = [], name }) {
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

export function figure(picture, caption, className) {
  const box = el('figure', 'graph-figure ' + className);
  box.append(picture, el('figcaption', '', caption));
  return box;
}

// The precedence graph of the plan as written.
export function precedenceGraph(report) {
  const cycle = report.conflict_cycle || [];
  const picture = drawGraph({ nodes: report.transactions, edges: report.edges || [],
    cycles: cycle.length ? [cycle] : [], name: 'Grafo de precedencia' });
  return figure(picture, 'Grafo de precedencia del plan escrito (sin las transacciones que el ' +
    'plan aborta con A): Ti → Tj si una operación de Ti precede a otra de Tj en conflicto con ' +
    'ella' + (cycle.length ? '; en rojo, un ciclo.' : '.'), 'precedence');
}
