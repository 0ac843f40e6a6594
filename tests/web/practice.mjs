// Practice mode: a student fills in the example's first plan with one slip and the engine's marks,
// reasons and score are those worked out by hand; nothing of the answer shows before «Comprobar»,
// in a shared link either; the answers survive a reload and download in the answer file's form,
// which tosim-report --check marks the same; the cells work from the keyboard alone, at 390 px,
// and in print; and axe-core finds no accessibility violation in the page or in practice mode.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { EXAMPLE } from './protocols.mjs';
import { afterCount, check, openPage, openPlayground, renderAll, reportJson, runTyped, same, saveDownload,
  unreachableCells, violations } from './setup.mjs';

// The example's first plan. Its run: R1(A) raises TS_lect(A) to 1, R2(B) TS_lect(B) to 2, W2(B)
// sets TS_escr(B) to 2, W1(A) TS_escr(A) to 1; both commit.
const FIRST = 'P1; T1; T2; R1(A); R2(B); W2(B); W1(A); C1; C2';
// The student's answers, every cell filled in: right but for TS_lect(A) after R1(A), written 0;
// W1(A)'s TS_lect then follows from that 0.
const SLIPPED = {
  'timestamps.1': '1', 'timestamps.2': '2',
  'trace[0].decision': 'begun', 'trace[1].decision': 'begun',
  'trace[2].decision': 'executed', 'trace[2].ts_lect': '0', 'trace[2].ts_escr': '0',
  'trace[3].decision': 'executed', 'trace[3].ts_lect': '2', 'trace[3].ts_escr': '0',
  'trace[4].decision': 'executed', 'trace[4].ts_lect': '2', 'trace[4].ts_escr': '2',
  'trace[5].decision': 'executed', 'trace[5].ts_lect': '0', 'trace[5].ts_escr': '1',
  'trace[6].decision': 'committed', 'trace[7].decision': 'committed',
  committed: 'T1, T2', aborted: 'ninguna', skipped_writes: 'ninguna',
  conflict_serializable: 'yes', conflict_list: 'T1, T2', view_serializable: 'yes', view_list: 'T1 T2',
  recoverable: 'yes', cascadeless: 'yes', strict: 'yes',
};
// The reasons, from the rules with the numbers each cell was judged with.
const REASONS = [
  'T1_Read(A): TS_lect: ✗ mal. No: TS(T1)=1 ≥ TS_escr(A)=0: ninguna transacción más joven ha ' +
    'escrito A, así que T1 lee A y TS_lect(A) pasa de 0 a 1',
  'T1_Write(A): TS_lect: ≈ coherente. Coherente con sus respuestas anteriores: TS(T1)=1 ≥ ' +
    'TS_lect(A)=0 y TS(T1)=1 ≥ TS_escr(A)=0: T1 escribe A y TS_escr(A) pasa a 1; en la ' +
    'ejecución, TS(T1)=1 ≥ TS_lect(A)=1 y TS(T1)=1 ≥ TS_escr(A)=0: T1 escribe A y TS_escr(A) ' +
    'pasa a 1',
];
// 2 timestamps, 8 decisions, TS_lect and TS_escr of 4 reads and writes, and 11 cells of the
// verdicts (an order given counts for the order and for the cycle that is not).
const SCORE = 'Puntuación: 28 de 29; 1 mal; 1 coherente';

const form = (page, n = 0) => `#out form.practice >> nth=${n} >> `;
async function fill(page, values, n = 0) {
  for (const [key, value] of Object.entries(values)) {
    const cell = form(page, n) + `[data-key="${key}"]`;
    if ((await page.$eval(cell, (c) => c.tagName)) === 'SELECT') await page.selectOption(cell, value);
    else await page.fill(cell, value);
  }
}
// The marks on the cells of a practice form, by key, and its reasons and score.
const marksOf = (page, n = 0) => page.$$eval('#out form.practice', (forms, n) => {
  const f = forms[n];
  const mark = (cell) => ['right', 'wrong', 'consistent'].find((m) => cell.classList.contains(m)) || '';
  return {
    cells: Object.fromEntries([...f.querySelectorAll('[data-key]')].map((c) => [c.dataset.key, mark(c)])),
    reasons: [...f.querySelectorAll('.review li')].map((li) => li.textContent),
    score: f.querySelector('.score').textContent,
    described: [...f.querySelectorAll('[aria-describedby]')].map((c) => c.getAttribute('aria-label')),
  };
}, n);
const checked = (page, start) => afterCount(page, 'checks', start);

// What would give the answer away for the plans of `file`: the run's reasons, the summary's
// verdict lines with a value, and tosim's words for what a read or a write did.
function secretsOf(report, file, ...options) {
  const reports = reportJson(report, file, ...options);
  const summary = spawnSync(report, [...options, file]).stdout.toString().split('\n')
    .filter((line) => /^    [^:]+: \S/.test(line) && !/ningun[oa]$/.test(line)).map((line) => line.trim());
  return [...reports.flatMap((r) => r.trace.map((entry) => entry.why)), ...summary, 'lee de elemento',
    'escribe en'];
}
const shownSecrets = async (page, secrets) => {
  const text = await page.evaluate(() => document.body.innerText);
  return secrets.filter((secret) => text.includes(secret));
};

// A page of the site with this browser's local storage emptied: a practice starts afresh.
async function forget(browser, origin, own) {
  const blank = await openPage(browser, origin + '/', own);
  await blank.evaluate(() => localStorage.clear());
  await blank.close();
}

export async function run({ browser, origin, own, out, work, report }) {
  await forget(browser, origin, own);
  const page = await openPlayground(browser, origin + '/', own);
  await page.check('#practice');
  await runTyped(page, FIRST);

  // Nothing of the answer before «Comprobar»: none of the run's reasons, of tosim's trace or of
  // the summary's verdicts is in the page's text; the solution shows them.
  const plan = path.join(work, 'first.txt');
  fs.writeFileSync(plan, FIRST + '\r\n', 'latin1');
  const [answers] = reportJson(report, plan);
  const secrets = secretsOf(report, plan);
  check('practice: nothing of the answer in the page\'s text before «Comprobar»',
    secrets.length > 10 && (await shownSecrets(page, secrets)).length === 0,
    (await shownSecrets(page, secrets)).join(' | '));
  check('practice: a cell for each timestamp, each decision and each read\'s and write\'s numbers',
    (await page.$$(form(page) + '[data-key^="timestamps."]')).length === 2 &&
    (await page.$$(form(page) + '[data-key$=".decision"]')).length === 8 &&
    (await page.$$(form(page) + '[data-key$=".ts_lect"]')).length === 4);

  // One slip: one mark lost, the cell that follows from it consistent, the rest right.
  await fill(page, SLIPPED);
  await checked(page, () => page.click(form(page) + 'button[type=submit]'));
  const marks = await marksOf(page);
  const wrong = Object.entries(marks.cells).filter(([, m]) => m === 'wrong').map(([k]) => k);
  const consistent = Object.entries(marks.cells).filter(([, m]) => m === 'consistent').map(([k]) => k);
  check('practice: the slip is the one cell wrong, W1(A)\'s TS_lect consistent with it',
    same(wrong, ['trace[2].ts_lect']) && same(consistent, ['trace[5].ts_lect']) &&
    Object.values(marks.cells).filter((m) => m === 'right').length === Object.keys(SLIPPED).length - 2,
    JSON.stringify(marks.cells));
  check('practice: each cell not right says why, with its rule and the numbers it was judged with',
    same(marks.reasons, REASONS), JSON.stringify(marks.reasons));
  check('practice: the score of the plan and of the page', marks.score === SCORE &&
    (await page.textContent('#practice-total')) === 'Puntuación de la página: 28 de 29',
    marks.score + ' / ' + (await page.textContent('#practice-total')));
  check('practice: a marked cell names its reason for a screen reader',
    same(marks.described, ['T1_Read(A): TS_lect', 'T1_Write(A): TS_lect']), JSON.stringify(marks.described));
  await (await page.$('#out .practicing')).screenshot({ path: path.join(out, 'screenshot-practice.png') });

  // The answers, downloaded in the answer file's form: tosim-report --check marks them the same.
  const file = await saveDownload(page, '#get-answers', path.join(work, 'answers.jsonl'));
  const [marked] = reportJson(report, plan, '--check', file);
  check('practice: tosim-report --check marks the downloaded answers as the page did',
    marked.right === 27 && marked.wrong === 1 && marked.consistent === 1 &&
    same(marked.cells.map((c) => c.key), ['trace[2].ts_lect', 'trace[5].ts_lect']), JSON.stringify(marked));

  // The solution, when asked for, and the lab's choice of protocols kept.
  await page.click(form(page) + 'button.solution');
  check('practice: «Ver la solución» shows the run', (await page.evaluate(() => document.body.innerText))
    .includes(answers.trace[2].why) && await page.isVisible('#out .frame .trace'));
  await page.click(form(page) + 'button.solution');

  // A reload keeps the answers, the marks and the settings; nothing is sent anywhere.
  await page.reload();
  await page.waitForSelector('#out form.practice');
  const again = await marksOf(page);
  check('practice: the answers and their marks survive a reload', same(again.cells, marks.cells) &&
    again.score === SCORE && (await page.inputValue(form(page) + '[data-key="trace[2].ts_lect"]')) === '0',
    JSON.stringify(again));
  check('practice: the page asks for nothing but its own files', page.stray.length === 0, page.stray.join(' '));

  // Print: the answers with their marks, without the buttons.
  await page.emulateMedia({ media: 'print' });
  const printed = await page.evaluate(() => ({
    buttons: [...document.querySelectorAll('.practice-bar button')].some((b) => getComputedStyle(b).display !== 'none'),
    cell: getComputedStyle(document.querySelector('.practice [data-key="trace[2].ts_lect"]')).display,
    mark: document.querySelector('.practice [data-key="trace[2].ts_lect"]').nextElementSibling.textContent,
    reasons: document.querySelector('.practice .review').getBoundingClientRect().height > 0,
  }));
  check('practice: print shows the answers, their marks and reasons, not the buttons', !printed.buttons &&
    printed.cell !== 'none' && printed.mark === '✗' && printed.reasons, JSON.stringify(printed));
  await page.emulateMedia({ media: 'screen' });

  // axe-core: no violation in practice mode, in the page with the protocol view open (the
  // exercise sheet's is with the sheets).
  const practiceViolations = await violations(page);
  check('axe-core: no violation in practice mode', practiceViolations.length === 0, practiceViolations.join('; '));
  await page.uncheck('#practice');
  await page.click('.protocols summary');
  const pageViolations = await violations(page);
  check('axe-core: no violation in the page', pageViolations.length === 0, pageViolations.join('; '));
  await page.close();

  // One protocol of the lab practised too: the worked example under 2pl, where W1(B) waits for
  // T2 and W2(A) for T1 until the deadlock makes T2 its victim.
  await forget(browser, origin, own);
  const lab = await openPlayground(browser, origin + '/', own);
  await lab.check('#practice');
  await runTyped(lab, EXAMPLE);
  await lab.selectOption(form(lab) + '[data-key="protocol"]', '2pl');
  await fill(lab, { 'protocols.2pl.steps[4].result': 'executed', 'protocols.2pl.steps[4].waited_for': 'T2',
    'protocols.2pl.steps[5].result': 'rejected', 'protocols.2pl.steps[5].waited_for': 'T1' });
  await checked(lab, () => lab.press(form(lab) + '[data-key="protocols.2pl.steps[5].waited_for"]', 'Enter'));
  const labMarks = await marksOf(lab);
  check('practice: a protocol\'s cells, marked against the lab, with the step\'s reason',
    labMarks.score === 'Puntuación: 3 de 4; 1 mal' && same(labMarks.reasons, ['W2(A): resultado (2pl): ✗ mal. ' +
      'No: en 2pl, W2(A) queda «espera a T1 → víctima»: T2 espera a T1; luego T2 aborta (víctima) antes de ' +
      'que la operación salga de su cola: se descarta']), JSON.stringify(labMarks));
  await lab.close();

  // A teacher's link opens in practice, each plan on its own and two protocols shown, and
  // carries no answer.
  const two = FIRST + '\nP2; T1; T2; W2(A); R1(A); C2';
  const twoFile = path.join(work, 'two.txt');
  fs.writeFileSync(twoFile, two.replace('\n', '\r\n') + '\r\n', 'latin1');
  const twoSecrets = secretsOf(report, twoFile, '--each-plan-alone');
  const link = `${origin}/#${new URLSearchParams({ plan: two, alone: '1', practice: '1', protocols: '2pl,occ' })}`;
  const shared = await openPage(browser, link, own);
  await shared.waitForSelector('#out form.practice >> nth=1');
  check('a shared link opens in practice, each plan on its own, and shows nothing of the answer',
    await shared.isChecked('#practice') && await shared.isChecked('#alone') &&
    (await shownSecrets(shared, twoSecrets)).length === 0 &&
    (await shared.textContent('#out form.practice >> nth=1 >> .counter')) ===
      'Las marcas de tiempo de este plan empiezan en 1.', (await shownSecrets(shared, twoSecrets)).join(' | '));
  await shared.click('#out form.practice >> nth=0 >> button.solution');
  await shared.click('#out .solution .protocols summary');
  check('a shared link keeps the protocols shown', same(await shared.$eval('#out .solution .protocols',
    (view) => [...view.querySelectorAll('.choice input')].filter((b) => b.checked).map((b) => b.value)),
  ['2pl', 'occ']));
  await shared.click('#share');
  const made = new URLSearchParams(new URL(await shared.inputValue('#link')).hash.slice(1));
  check('the share link holds the plans and the settings, never the answers',
    made.get('practice') === '1' && made.get('alone') === '1' && made.get('protocols') === '2pl,occ' &&
    made.get('plan').startsWith(FIRST) && [...made.keys()].length === 4, [...made.entries()].join(' '));
  await shared.close();

  // The keyboard alone, at 390 px: Tab goes through the cells in order, typing fills them, Enter
  // checks; the table of the run scrolls sideways and every cell comes into view.
  await forget(browser, origin, own);
  const phone = await openPage(browser, `${origin}/#${new URLSearchParams({ plan: FIRST, practice: '1' })}`,
    own, 390);
  await phone.waitForSelector('#out form.practice');
  await renderAll(phone);
  await phone.focus('#practice');
  const order = [];
  const typed = { 'timestamps.1': '1', 'timestamps.2': '2', 'trace[0].decision': 'ini',
    'trace[1].decision': 'ini', 'trace[2].decision': 'ej', 'trace[2].ts_lect': '1', 'trace[2].ts_escr': '0' };
  // The cells Tab stops at, in order (a box that scrolls may take a stop of its own).
  for (let i = 0; i < 200 && order.length < Object.keys(typed).length; i++) {
    await phone.keyboard.press('Tab');
    const key = await phone.evaluate(() => document.activeElement.dataset.key || '');
    if (!key) continue;
    order.push(key);
    if (key in typed) await phone.keyboard.type(typed[key]);
  }
  check('keyboard: Tab reaches the cells in order, timestamps first, then the run row by row',
    same(order, Object.keys(typed)), JSON.stringify(order));
  await checked(phone, () => phone.keyboard.press('Enter'));
  const keyed = await marksOf(phone);
  check('keyboard: typing fills the cells and Enter checks them', keyed.score === 'Puntuación: 7 de 7' &&
    keyed.cells['trace[2].decision'] === 'right', JSON.stringify(keyed));
  const hidden = await unreachableCells(phone, '.practice .cell');
  check('at 390 px every practice cell comes into view, and the page stays within the width',
    hidden.length === 0 && await phone.evaluate(() => document.documentElement.scrollWidth <= innerWidth),
    hidden.join(' '));
  await phone.close();
}
