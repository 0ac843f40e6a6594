// The verdicts of each plan's panel: on every case file the lines of tosim-report's summary (whose
// words the end-to-end cases fix), and what only the page shows on a few plans typed in.
import path from 'node:path';
import { check, runTyped, same, shownPlans } from './setup.mjs';

// The panels of one case file against tosim-report: `shown` the page's plans, `json` the
// reports of --json, `summary` the summary's blocks (one a report). Every line of a panel is a
// line of its block, in the same words.
export function checkCaseVerdicts(name, shown, json, summary, labels) {
  check(`${name}: one panel per plan`, shown.length === json.length);
  shown.forEach((s, i) => {
    const block = (summary[i] || '').split('\n').map((line) => line.trim());
    const missing = [...s.headings.map((h) => h + ':'), ...s.warnings].filter((line) => !block.includes(line));
    // The verdicts: the block's lines under its two headings, up to the part on isolation.
    const start = block.indexOf(labels.executed_heading + ':');
    const end = block.indexOf(labels.isolation + ':');
    const verdicts = start < 0 ? [] : block.slice(start + 1, end < 0 ? undefined : end)
      .filter((line) => line && line !== labels.written_heading + ':');
    check(`${name}: plan ${i + 1} in the summary's words`, missing.length === 0 && same(s.lines, verdicts),
      [...missing, ...s.lines.filter((line, k) => line !== verdicts[k])].join(' | '));
  });
  json.forEach((r, i) => {
    const s = shown[i] || { verdicts: {}, nodes: [], edges: [], warnings: [] };
    // A line without a plan shows its warnings and nothing else.
    if (r.plan === null) {
      check(`${name}: line ${r.line} without a plan shows its warning`,
        same(s.warnings, r.warnings.map((w) => labels.position + ' ' + w.position + ': ' + w.text)));
      return;
    }
    check(`${name}: plan ${i + 1} graph`, same(s.nodes, r.transactions) && same(s.edges, r.edges));
  });
}

// What the panel shows besides the summary's lines, on plans typed into the playground: the grid's
// marks, the warnings in view and the panel of a line without a plan.
export async function run({ page, out }) {
  await runTyped(page, 'P1; T1; T2; R1(A); W2(A); W1(A); C1; C2');
  check('the skipped write is marked in the grid', (await page.$$eval('.grid td.skip',
    (cells) => cells.map((c) => c.textContent))).join() === 'W1(A)');
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
