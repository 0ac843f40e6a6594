// The playground's manners: the status line, each plan on its own, the plan's text above its
// trace, a stale output marked after an edit, Ctrl+Enter, captions and a legend, and hostile
// text that stays text.
import fs from 'node:fs';
import path from 'node:path';
import { afterRun, check, openPage, runTyped, same, shownPlans, shownTrace, tosimRun } from './setup.mjs';

export async function run({ page, browser, origin, own, tosim, work }) {
  // The status counts plans, not lines: a line without a plan is none.
  await runTyped(page, 'P1; T1; T2; R1(A); C2');
  check('one plan is «1 plan»', (await page.textContent('#status')).startsWith('1 plan, '),
    await page.textContent('#status'));
  await runTyped(page, 'T1; C1');
  check('a line without a plan is «ningún plan»', (await page.textContent('#status')).startsWith('ningún plan, '),
    await page.textContent('#status'));
  await runTyped(page, 'P1; T1\nP2; T1\nT1');
  check('two plans and a line without one are «2 planes»', (await page.textContent('#status')).startsWith('2 planes, '),
    await page.textContent('#status'));

  // Each plan on its own: the second plan's timestamps start at 1, and its trace is tosim's for
  // that line alone.
  await page.check('#alone');
  await runTyped(page, 'P1; T1; T2; C1; C2\nP2; T1; R1(A); C1');
  const alone = await shownPlans(page);
  const lineAlone = path.join(work, 'second-line.txt');
  fs.writeFileSync(lineAlone, 'P2; T1; R1(A); C1\r\n', 'latin1');
  check('each plan on its own: timestamps from 1 in the second plan', alone[1].verdicts.timestamps === 'T1=1',
    JSON.stringify(alone[1].verdicts));
  check('each plan on its own: the second line\'s trace is tosim\'s for that line alone',
    (await shownTrace(page)).endsWith(tosimRun(tosim, work, lineAlone).trace), await shownTrace(page));
  await page.uncheck('#alone');

  // The plan's text above its trace (lines end at CR, LF or CR LF), a stale output marked after
  // an edit, Ctrl+Enter runs, captions and a legend.
  await runTyped(page, 'P1; T1; C1\rP2; T1; R1(B)\nP3; T2');
  check('each line of plans stands above its trace', same(await page.$$eval('#out .source',
    (lines) => lines.map((l) => l.textContent)), ['P1; T1; C1', 'P2; T1; R1(B)', 'P3; T2']));
  check('no stale hint right after a run', await page.isHidden('#stale'));
  await page.press('#plans', 'End');
  await page.keyboard.type('; C2');
  check('an edit marks the output as stale', await page.isVisible('#stale'));
  await afterRun(page, () => page.press('#plans', 'Control+Enter'), { whole: false });
  check('Ctrl+Enter runs the plans, and the hint goes', await page.isHidden('#stale') &&
    (await page.textContent('#out .source >> nth=2')) === 'P3; T2; C2');
  check('the grid and the graph have captions and the colours a legend',
    (await page.$$('.plan .grid caption')).length === 3 &&
    (await page.$$('.plan .precedence figcaption')).length === 3 &&
    (await page.textContent('.legend')).includes('ignorada por la regla de Thomas'));
  check('the syntax help is folded, in Spanish', (await page.getAttribute('details.syntax', 'open')) === null &&
    (await page.textContent('details.syntax summary')) === 'Cómo se escribe un plan');

  // Hostile text stays text.
  const hostile = 'P1; <img src=x onerror=alert(1)>';
  await runTyped(page, hostile);
  check('a plan creates no element', (await page.$$('#out img, #out [onerror]')).length === 0);
  const shared = await openPage(browser, `${origin}/#plan=${encodeURIComponent(hostile)}`, own);
  await shared.waitForSelector('#out .frame');
  check('a shared link fills the plans and runs them', (await shared.inputValue('#plans')) === hostile &&
    (await shared.$$('#out img')).length === 0);
  check('no dialog opens', page.dialogs === 0 && shared.dialogs === 0);
  await shared.close();
}
