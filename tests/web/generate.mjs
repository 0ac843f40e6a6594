// «Nuevo ejercicio»: the engine generates what tosim-gen writes for the same arguments, byte for
// byte (the plans downloaded as they stand), says what tosim-gen says when it refuses or does not
// find, takes its seed from the clock as tosim-gen does and says it, and the plans it writes run
// each alone and give the exercise sheet whose answers are tosim-report's.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { answerKeyProblems, shownAnswerKey } from './exercises.mjs';
import { afterCount, afterRun, check, openFile, openPlayground, reportJson, same, saveDownload } from './setup.mjs';

// What the form is set to, and the arguments tosim-gen is given for it.
const FORMS = [
  { properties: ['thomas', 'no-csr'], count: '30', seed: 'curso 2026',
    args: ['--property', 'thomas,no-csr', '--count', '30', '--seed', 'curso 2026'] },
  { properties: ['deadlock', 'no-strict'], transactions: '4', items: '3', operations: '10',
    count: '5', seed: 'ana.garcía',
    args: ['--transactions', '4', '--items', '3', '--operations', '10', '--count', '5',
      '--property', 'deadlock,no-strict', '--seed', 'ana.garcía'] },
  { properties: ['vsr-not-csr'], count: '3', seed: '-x', minimal: true,
    args: ['--property', 'vsr-not-csr', '--count', '3', '--seed', '-x', '--minimal'] },
  { properties: ['cascade', 'no-to-rejects'], count: '2', seed: 'aborts',
    args: ['--property', 'cascade,no-to-rejects', '--count', '2', '--seed', 'aborts'] },
  { properties: ['write-skew', 'si-commits-not-serializable'], count: '2', seed: 'isolation',
    args: ['--property', 'write-skew,si-commits-not-serializable', '--count', '2', '--seed', 'isolation'] },
];

async function fill(page, form) {
  await page.$$eval('#generate [data-property]', (boxes) => boxes.forEach((b) => { b.checked = false; }));
  for (const property of form.properties || []) await page.check(`#generate [data-property="${property}"]`);
  await page.fill('#gen-transactions', form.transactions || '3');
  await page.fill('#gen-items', form.items || '2');
  await page.fill('#gen-operations', form.operations || '');
  await page.fill('#gen-count', form.count || '1');
  await page.fill('#gen-seed', form.seed || '');
  await page.setChecked('#gen-minimal', Boolean(form.minimal));
}

// Clicks «Generar» and waits for the generation and, when it gave plans, for their run.
async function generate(page, form, ran) {
  await fill(page, form);
  const click = () => afterCount(page, 'generations', () => page.click('#gen-run'), 60000);
  if (ran) await afterRun(page, click);
  else await click();
}

export async function run({ browser, origin, own, gen, report, work, labels }) {
  const page = await openPlayground(browser, origin + '/', own);
  await page.click('#generate summary');
  const tosimGen = (args) => spawnSync(gen, args);

  for (const form of FORMS) {
    const what = 'tosim-gen ' + form.args.join(' ');
    await generate(page, form, true);
    const native = tosimGen(form.args);
    const file = await saveDownload(page, '#get-plans', path.join(work, 'generated.txt'));
    check(`${what}: the page's plans are tosim-gen's bytes`, native.status === 0 &&
      fs.readFileSync(file).equals(native.stdout), fs.readFileSync(file, 'latin1').slice(0, 200));
    check(`${what}: the plan box holds them`,
      (await page.inputValue('#plans')) === native.stdout.toString('latin1').replaceAll('\r\n', '\n'));
    const shown = await page.$$eval('#out .plan', (plans) => plans.length);
    check(`${what}: they run, each plan alone`, await page.isChecked('#alone') && shown === Number(form.count),
      `${shown} plans shown`);
  }

  // The exercise sheet of the last plans generated: its answers are tosim-report's, each plan
  // alone.
  const sheet = await saveDownload(page, '#get-exercises', path.join(work, 'generated-sheet.html'));
  const opened = await openFile(browser, sheet);
  await opened.waitForSelector('#out .answer-key');
  const drawn = await shownAnswerKey(opened);
  const problems = answerKeyProblems(drawn, reportJson(report, path.join(work, 'generated.txt'),
    '--each-plan-alone'), labels);
  check('the exercise sheet of generated plans answers as tosim-report does, each plan alone',
    drawn.answers.length === 2 && problems.length === 0, problems.join('; '));
  await opened.close();

  // What tosim-gen says instead of plans, the plan box left as it was.
  const before = await page.inputValue('#plans');
  for (const form of [
    { properties: ['strict', 'no-cascadeless'], args: ['--property', 'strict,no-cascadeless'] },
    { properties: ['csr', 'g-single'], args: ['--property', 'csr,g-single'] },
    { properties: ['thomas'], transactions: '2', items: '1', operations: '2', count: '5', seed: 'x',
      args: ['--transactions', '2', '--items', '1', '--operations', '2', '--count', '5',
        '--property', 'thomas', '--seed', 'x'] },
    { count: '0', args: ['--count', '0'] },
  ]) {
    await generate(page, form, false);
    const native = tosimGen(form.args);
    const said = native.stderr.toString().split('\n')[0].replace(/^tosim-gen: /, '');
    check(`tosim-gen ${form.args.join(' ')}: the page says what tosim-gen says (status ${native.status})`,
      native.status !== 0 && (await page.textContent('#gen-status')) === said &&
      (await page.inputValue('#plans')) === before, await page.textContent('#gen-status'));
  }

  // Without a seed the clock gives one, and the page says it as tosim-gen does: the same seed
  // repeats the plans.
  await generate(page, { properties: ['wounds'], count: '4' }, true);
  const note = /^semilla (\d+) \(la repite --seed \1\)$/.exec(await page.textContent('#gen-status'));
  const repeated = note && tosimGen(['--property', 'wounds', '--count', '4', '--seed', note[1]]);
  check('without a seed the page names the clock\'s, which repeats its plans in tosim-gen', Boolean(note) &&
    repeated.stdout.toString('latin1').replaceAll('\r\n', '\n') === (await page.inputValue('#plans')),
    await page.textContent('#gen-status'));
  await page.close();

  // On a phone the form stays within the width.
  const phone = await openPlayground(browser, origin + '/', own, 390);
  await phone.click('#generate summary');
  check('at 390 px «Nuevo ejercicio» stays within the width', same(await phone.evaluate(() =>
    [document.documentElement.scrollWidth <= innerWidth, document.querySelector('#gen-run')
      .getBoundingClientRect().right <= innerWidth]), [true, true]));
  await phone.close();
}
