// The verdicts of each plan's panel: in the words of tosim-report's summary and naming --json's
// values on every case file, and worked out by hand on a few plans typed into the playground.
import path from 'node:path';
import { check, numbers, runTyped, same, shownPlans } from './setup.mjs';

// An empty list is a word («ninguna»); a list of operations starts with R or W.
const operations = (text) => (/^[RW]\d/.test(text || '') ? text.split(' ') : []);

// Where the verdicts shown (text by key) name other values than the report `r` of --json.
function verdictProblems(shown, r, labels) {
  const problems = [];
  const expect = (key, ok) => { if (!ok) problems.push(`${key}: ${shown[key]}`); };
  const stamps = Object.fromEntries([...(shown.timestamps || '').matchAll(/T(\d+)=(\d+)/g)]
    .map((m) => [m[1], Number(m[2])]));
  expect('timestamps', same(stamps, r.timestamps));
  for (const key of ['committed', 'aborted', 'cascading', 'to_order']) {
    expect(key, same(numbers(shown[key]), r[key]));
  }
  // Every transaction begun ends validated, aborted or still active, and in one of them only.
  const ended = [...r.committed, ...r.aborted, ...numbers(shown.active)].sort((a, b) => a - b);
  expect('active', same(ended, Object.keys(r.timestamps).map(Number).sort((a, b) => a - b)));
  expect('executed', same(operations(shown.executed), r.executed));
  expect('skipped_writes', same(operations(shown.skipped_writes), r.skipped_writes));
  const [withCommitted, withAborted] = (shown.without_thomas || '').split(';');
  expect('without_thomas', same(numbers(withCommitted), r.without_thomas.committed) &&
    same(numbers(withAborted), r.without_thomas.aborted));
  const answer = (text, yes) => (text || '').startsWith(labels[yes ? 'yes' : 'no']);
  expect('conflict_serializable', answer(shown.conflict_serializable, r.conflict_serializable) &&
    same(numbers(shown.conflict_serializable),
      r.conflict_serializable ? r.conflict_order : r.conflict_cycle));
  expect('view_serializable', answer(shown.view_serializable, r.view_serializable) &&
    same(numbers(shown.view_serializable), r.view_serializable ? r.view_order : []));
  for (const key of ['recoverable', 'cascadeless', 'strict']) expect(key, answer(shown[key], r[key]));
  return problems;
}

// The panels of one case file against tosim-report: `shown` the page's plans, `json` the
// reports of --json, `summary` the summary's blocks (one a report).
export function checkCaseVerdicts(name, shown, json, summary, labels) {
  check(`${name}: one panel per plan`, shown.length === json.length);
  shown.forEach((s, i) => {
    const block = (summary[i] || '').split('\n').map((line) => line.trim());
    const missing = [...s.lines, ...s.headings.map((h) => h + ':'),
      ...s.warnings].filter((line) => !block.includes(line));
    check(`${name}: plan ${i + 1} in the summary's words`, missing.length === 0, missing.join(' | '));
  });
  json.forEach((r, i) => {
    const s = shown[i] || { verdicts: {}, nodes: [], edges: [], warnings: [] };
    // A line without a plan shows its warnings and nothing else.
    if (r.plan === null) {
      check(`${name}: line ${r.line} without a plan shows its warning`,
        same(s.warnings, r.warnings.map((w) => labels.position + ' ' + w.position + ': ' + w.text)));
      return;
    }
    const problems = verdictProblems(s.verdicts, r, labels);
    check(`${name}: plan ${i + 1} verdicts name --json's values`, problems.length === 0,
      problems.join('; '));
    check(`${name}: plan ${i + 1} graph`, same(s.nodes, r.transactions) && same(s.edges, r.edges));
  });
}

// Plans worked out by hand, typed into the playground.
export async function run({ page, out }) {
  // A Thomas-rule skip whose written schedule has a cycle:
  await runTyped(page, 'P1; T1; T2; R1(A); W2(A); W1(A); C1; C2');
  check('a skipped write with a cycle in the written plan: the verdicts', same((await shownPlans(page))[0].verdicts, {
    timestamps: 'T1=1, T2=2', committed: 'T1, T2', aborted: 'ninguna', active: 'ninguna',
    executed: 'R1(A) W2(A)', to_order: 'T1 → T2', skipped_writes: 'W1(A)', cascading: 'ninguno',
    without_thomas: 'validadas: T2; abortadas: T1', transactions: 'T1, T2',
    edges: 'T1 → T2, T2 → T1', conflict_serializable: 'no, ciclo T1 → T2 → T1',
    view_serializable: 'no', reads_from: 'ninguna', recoverable: 'sí', cascadeless: 'sí', strict: 'no',
  }), JSON.stringify((await shownPlans(page))[0].verdicts));
  check('the skipped write is marked in the grid', (await page.$$eval('.grid td.skip',
    (cells) => cells.map((c) => c.textContent))).join() === 'W1(A)');
  // A read from a transaction that aborts afterwards:
  await runTyped(page, 'P1; T1; T2; W1(A); R2(A); A1; C2');
  check('a read from an aborted writer: the verdicts', same((await shownPlans(page))[0].verdicts, {
    timestamps: 'T1=1, T2=2', committed: 'T2', aborted: 'T1', active: 'ninguna', executed: 'R2(A)',
    to_order: 'T2', skipped_writes: 'ninguna', cascading: 'T2',
    // The written plan's verdicts are about its committed projection: T1 aborted, so no edge.
    without_thomas: 'validadas: T2; abortadas: T1', transactions: 'T1, T2', edges: 'sin aristas',
    conflict_serializable: 'sí, orden T2', view_serializable: 'sí, orden T2',
    reads_from: 'T2 lee A de T1', recoverable: 'no', cascadeless: 'no', strict: 'no',
  }), JSON.stringify((await shownPlans(page))[0].verdicts));
  // T1 neither commits nor aborts.
  await runTyped(page, 'P1; T1; T2; R1(A); C2');
  const active = (await shownPlans(page))[0].verdicts;
  check('a transaction still active at the end is listed as such', active.active === 'T1' &&
    active.committed === 'T2' && active.aborted === 'ninguna', JSON.stringify(active));
  // An operation lost to the reading rule, and a line without a plan: warnings, first in the panel.
  await runTyped(page, 'P2; T1; T2; R1(A) W2(A); C1\nT1; C1');
  const warned = await shownPlans(page);
  check('the lost W2(A) is a warning at the top of its plan', warned[0].warnings[0] ===
    'operación 4: se ignora "W2(A)": lo que sigue a una operación hasta el separador no se lee' &&
    await page.isVisible('#out .plan .warnings'), JSON.stringify(warned[0].warnings));
  check('a line without a plan has a panel of its own with its warning', warned.length === 2 &&
    warned[1].warnings.length === 1 && (await page.textContent('#out .no-plan h3')) === 'Línea 2, sin plan',
    JSON.stringify(warned[1]));
  check('the two schedules are named', same(warned[0].headings,
    ['Lo que ejecutó la ordenación por marcas de tiempo', 'El plan tal como está escrito']));
  await (await page.$('#out .frame')).screenshot({ path: path.join(out, 'screenshot-warnings.png') });
}
