// The part «Aislamiento» of each plan's panel: on every case file the summary's lines and the
// dependency graph of --json, with the witness cycle marked, and the precedence graph's edges
// naming their items and operations; on the write skew and on a plan with all three kinds of
// edge, what only the drawing shows: the edges' labels, lines and hover texts, and the caption.
import path from 'node:path';
import { check, runTyped, same } from './setup.mjs';

// What the page shows of every plan's part: its lines as the summary writes them, the
// dependency graph's edges as [from, kind, item, to], those drawn as the witness cycle, and the
// edges of both graphs with their labels and what shows on hover.
export const shownIsolation = (page) => page.$$eval('#out .plan', (plans) => plans.map((plan) => {
  const part = plan.querySelector('.isolation');
  if (!part) return null;
  const lines = [];
  for (const child of part.children) {
    if (child.matches('dl')) {
      lines.push(...[...child.querySelectorAll('dd')].map((d) => d.previousElementSibling.textContent + ': ' + d.textContent));
    } else if (child.matches('table')) {
      lines.push(child.caption.textContent + ':',
        ...[...child.rows].map((row) => row.cells[0].textContent + ': ' + row.cells[1].textContent));
    } else if (child.matches('h5')) {
      lines.push(child.textContent + ':');
    } else if (child.matches('ul')) {
      lines.push(...[...child.children].map((item) => item.textContent));
    } else if (child.matches('p')) {
      lines.push(child.textContent);
    }
  }
  const line = (edge) => ({ from: Number(edge.dataset.from), to: Number(edge.dataset.to),
    kind: edge.dataset.kind, items: edge.dataset.items,
    title: edge.parentNode.querySelector(':scope > title')?.textContent,
    dash: getComputedStyle(edge).strokeDasharray, width: getComputedStyle(edge).strokeWidth });
  return {
    heading: part.querySelector('h4').textContent,
    lines,
    dependency: [...part.querySelectorAll('.dependency .edge')].map(line),
    witness: [...part.querySelectorAll('.dependency .edge.cycle')].map((e) => [Number(e.dataset.from), e.dataset.kind, Number(e.dataset.to)]),
    labels: [...part.querySelectorAll('.dependency .edge-label')].map((label) => label.textContent),
    caption: part.querySelector('.dependency figcaption').textContent,
    precedence: [...plan.querySelectorAll('.precedence .edge')].map(line),
    precedenceLabels: [...plan.querySelectorAll('.precedence .edge-label')].map((label) => label.textContent),
  };
}));

const sorted = (list) => list.map((x) => JSON.stringify(x)).sort();
// The operations that make an edge of each kind, by the definitions: ww two final writes, wr a
// write and the read of it, rw a read and the write of the next version.
const OPERATIONS = { ww: ['W', 'W'], wr: ['W', 'R'], rw: ['R', 'W'] };

// Where one plan's part differs from its block of tosim-report's summary and its report of
// --json.
export function isolationProblems(shown, block, r, labels) {
  if (!shown) return ['no part on isolation'];
  const problems = [];
  const expect = (what, ok) => { if (!ok) problems.push(what); };
  const lines = block.split('\n').map((l) => l.trim());
  const start = lines.indexOf(labels.isolation + ':');
  const end = lines.indexOf(labels['lab.heading'] + ':');
  const text = lines.slice(start + 1, end < 0 ? undefined : end).filter(Boolean);
  expect(`the heading «${shown.heading}»`, start >= 0 && shown.heading === labels.isolation);
  expect(`the summary's lines: ${shown.lines.filter((l, i) => l !== text[i]).join(' | ')}`, same(shown.lines, text));
  const drawn = shown.dependency.flatMap((e) => e.items.split(',').map((x) => [e.from, e.kind, x, e.to]));
  expect('the dependency graph\'s edges are dsg\'s', same(sorted(drawn), sorted(r.isolation.dsg)));
  const witness = r.isolation.anomalies.find((a) => a.cycle);
  expect('the first cycle of the anomalies is drawn as the witness', same(sorted(shown.witness),
    sorted([...new Set((witness ? witness.cycle : []).map(([f, k, , t]) => JSON.stringify([f, k, t])))].map(JSON.parse))));
  for (const e of shown.dependency) {
    const [first, second] = OPERATIONS[e.kind];
    expect(`${e.from} ${e.kind} ${e.to}: on hover its operations`, e.items.split(',').every((x) =>
      e.title.includes(`${first}${e.from}(${x}) → ${second}${e.to}(${x})`)));
  }
  for (const e of shown.precedence) {
    const own = r.conflicts.filter(([f, t]) => f === e.from && t === e.to);
    expect(`T${e.from} → T${e.to}: its items and, on hover, the operations of "conflicts"`,
      own.length > 0 && e.items === own.map(([, , x]) => x).join(',') &&
      e.title === own.map(([, , , a, b]) => a + ' → ' + b).join('\n'));
  }
  return problems;
}

export async function run({ page, out }) {
  // The write skew: two rw edges, the witness of G2-item.
  await runTyped(page, 'P1; T1; T2; R1(A); R2(B); W1(B); W2(A); C1; C2');
  const skew = (await shownIsolation(page))[0];
  check('the write skew: both rw edges labelled and drawn as the witness cycle, the caption says so',
    same(skew.labels.sort(), ['rw A', 'rw B']) && skew.witness.length === 2 &&
    skew.caption.endsWith('el ciclo de G2-item.'), JSON.stringify(skew));
  await (await page.$('.isolation')).screenshot({ path: path.join(out, 'screenshot-isolation.png') });
  check('the write skew: the precedence graph labels each edge with its item',
    same(skew.precedenceLabels.sort(), ['A', 'B']), JSON.stringify(skew.precedenceLabels));

  // One edge of each kind from T1 to T2: W1(A) then W2(A) (ww), R2(A) reads W1(A) (wr), R1(B)
  // reads the initial B before W2(B) (rw).
  await runTyped(page, 'P1; T1; T2; W1(A); R2(A); W2(A); R1(B); W2(B); C1; C2');
  const kinds = (await shownIsolation(page))[0];
  const byKind = Object.fromEntries(kinds.dependency.map((e) => [e.kind, e]));
  check('three kinds of edge, one line each, told apart by their lines and labels',
    same(Object.keys(byKind).sort(), ['rw', 'wr', 'ww']) &&
    new Set(kinds.dependency.map((e) => e.dash)).size === 3 &&
    same(kinds.labels.sort(), ['rw B', 'wr A', 'ww A']), JSON.stringify(kinds.dependency));
  check('on hover, an edge names its operations and why it exists',
    byKind.wr.title === 'W1(A) → R2(A): T2 lee A de T1 (wr)' &&
    byKind.rw.title === 'R1(B) → W2(B): T1 lee B antes de que T2 escriba la versión siguiente (rw)',
  JSON.stringify(kinds.dependency.map((e) => e.title)));
}
