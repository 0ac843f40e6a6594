// Browser tests of the playground and the HTML report, in Debian's chromium through
// playwright-core. Usage: node run.mjs SITE_DIR TOSIM TOSIM_REPORT OUT_DIR
// The plan files are those of the end-to-end cases, exported by their own runner; what the page
// shows is compared with what the built programs write for the same files.
import { chromium } from 'playwright-core';
import { execFileSync, spawnSync } from 'node:child_process';
import { createServer } from 'node:http';
import fs from 'node:fs';
import path from 'node:path';

const [site, tosim, report, out] = process.argv.slice(2).map((p) => p && path.resolve(p));
const here = path.dirname(new URL(import.meta.url).pathname);
const root = path.resolve(here, '../..');
const PROMPT = '\r\nPulsar <CR> para terminar';
let passed = 0;
let failed = 0;
// A test that cannot go on is one failure, and the summary still comes last.
process.on('uncaughtException', (error) => {
  console.log(`FAIL ${error.stack}\n${passed} passed, ${failed + 1} failed`);
  process.exit(1);
});
function check(name, ok, detail = '') {
  if (ok) passed++;
  else failed++;
  if (!ok) console.log(`FAIL ${name}${detail ? '\n  ' + detail : ''}`);
}

// A static server of the site that notes every path asked for.
const asked = [];
const server = createServer((request, response) => {
  const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
  asked.push(name);
  const file = path.join(site, name === '/' ? 'index.html' : name);
  if (!file.startsWith(site) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
    response.writeHead(404).end();
    return;
  }
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript',
                  '.css': 'text/css' };
  response.writeHead(200, { 'content-type': types[path.extname(file)] || 'application/octet-stream' });
  response.end(fs.readFileSync(file));
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const origin = `http://127.0.0.1:${server.address().port}`;

const work = fs.mkdtempSync(path.join(out, 'web-tests-'));
// A fresh profile: playwright passes it to chromium as --user-data-dir.
const browser = await chromium.launchPersistentContext(fs.mkdtempSync(path.join(work, 'profile-')), {
  executablePath: '/usr/bin/chromium', headless: true, acceptDownloads: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});

// A page with its requests outside `allowed` and its dialogs noted.
async function openPage(url, allowed, width = 1280) {
  const page = await browser.newPage();
  await page.setViewportSize({ width, height: 900 });
  page.stray = [];
  page.dialogs = 0;
  page.on('request', (r) => { if (!allowed(r.url())) page.stray.push(r.url()); });
  page.on('dialog', (d) => { page.dialogs++; d.dismiss(); });
  page.on('pageerror', (e) => check('no script error', false, String(e)));
  await page.goto(url);
  return page;
}
const own = (url) => url.startsWith(origin + '/') || url.startsWith('blob:' + origin + '/');

// Everything rendered, however long the page.
async function renderAll(page) {
  await page.waitForSelector('#out .frame, #out[data-complete]', { state: 'attached' });
  while (!(await page.$('#out[data-complete]'))) {
    await page.evaluate(() => document.querySelector('.sentinel')?.scrollIntoView());
    await page.waitForTimeout(20);
  }
}

// The trace as the page shows it: cells joined by TABs, lines by CR LF.
const shownTrace = (page) => page.$$eval('#out tr.tl', (rows) => rows.map((row) =>
  [...row.cells].map((cell) => cell.textContent).join('\t') + '\r\n').join(''));

// What the page shows of every plan: its verdicts and its graph.
const shownPlans = (page) => page.$$eval('#out .plan', (plans) => plans.map((plan) => ({
  verdicts: Object.fromEntries([...plan.querySelectorAll('dd')].map((d) => [d.dataset.key, d.textContent])),
  nodes: [...plan.querySelectorAll('.node')].map((n) => Number(n.dataset.t)),
  edges: [...plan.querySelectorAll('.edge')].map((e) => [Number(e.dataset.from), Number(e.dataset.to)]),
})));

// The texts a person reads for a report object (the page's wording).
const ts = (list) => (list.length ? list.map((t) => 'T' + t).join(', ') : '—');
const order = (list) => (list && list.length ? list.map((t) => 'T' + t).join(' → ') : '—');
const yes = (b) => (b ? 'sí' : 'no');
function expectedVerdicts(r) {
  return {
    timestamps: Object.entries(r.timestamps).map(([t, v]) => `T${t}=${v}`).join(', ') || '—',
    committed: ts(r.committed), aborted: ts(r.aborted), executed: r.executed.join(' ') || '—',
    to_order: order(r.to_order), skipped_writes: r.skipped_writes.join(' ') || '—',
    cascading: ts(r.cascading),
    without_thomas: `validadas ${ts(r.without_thomas.committed)}; abortadas ${ts(r.without_thomas.aborted)}`,
    conflict_serializable: r.conflict_serializable ? 'sí, orden ' + order(r.conflict_order)
      : 'no, ciclo ' + order(r.conflict_cycle),
    view_serializable: r.view_serializable ? 'sí, orden ' + order(r.view_order) : 'no',
    recoverable: yes(r.recoverable), cascadeless: yes(r.cascadeless), strict: yes(r.strict),
  };
}

const plans = path.join(work, 'plans');
execFileSync('python3', [path.join(root, 'tests/e2e/run_cases.py'), '--program', tosim,
  '--export-plans', plans, ...fs.readdirSync(path.join(root, 'tests/e2e/cases'))
    .filter((f) => f.endsWith('.case')).map((f) => path.join(root, 'tests/e2e/cases', f))]);
const decode = (bytes) => new TextDecoder('windows-1252').decode(bytes);

// 1. Every case's plan file, opened in the page: trace, listing, verdicts and graph.
const page = await openPage(origin + '/', own);
await page.waitForSelector('body[data-ready]');
for (const name of fs.readdirSync(plans).sort()) {
  const plan = path.join(plans, name);
  const dir = fs.mkdtempSync(path.join(work, 'run-'));
  fs.copyFileSync(plan, path.join(dir, 'plan.txt'));
  const run = spawnSync(tosim, ['plan.txt', 'plan.lst'], { cwd: dir, input: '' });
  const console_ = run.stdout.toString('latin1');
  const listing = fs.readFileSync(path.join(dir, 'plan.lst'));
  const runs = Number(await page.getAttribute('body', 'data-runs'));
  await page.setInputFiles('#file', plan);
  await page.waitForFunction((n) => Number(document.body.dataset.runs) > n, runs);
  await renderAll(page);
  const expected = decode(Buffer.from(console_.endsWith(PROMPT) ? console_.slice(0, -PROMPT.length)
    : console_, 'latin1'));
  check(`${name}: trace`, (await shownTrace(page)) === expected);
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#get-listing')]);
  check(`${name}: listing`, fs.readFileSync(await download.path()).equals(listing));
  if (report) {
    const json = spawnSync(report, ['--json', plan]).stdout.toString().split('\n').filter(Boolean)
      .map((line) => JSON.parse(line));
    const shown = await shownPlans(page);
    check(`${name}: one panel per plan`, shown.length === json.length);
    json.forEach((r, i) => {
      const s = shown[i] || { verdicts: {}, nodes: [], edges: [] };
      check(`${name}: plan ${i + 1} verdicts`, JSON.stringify(s.verdicts) === JSON.stringify(expectedVerdicts(r)),
        JSON.stringify(s.verdicts));
      check(`${name}: plan ${i + 1} graph`, JSON.stringify(s.nodes) === JSON.stringify(r.transactions) &&
        JSON.stringify(s.edges) === JSON.stringify(r.edges));
    });
  }
}
check('the page asks for nothing but its own files', page.stray.length === 0, page.stray.join(' '));

// Chromium drops a page's download after ten in one second; clicks as fast as the mouse allows
// must still give one file each.
const quick = [];
page.on('download', (d) => quick.push(d));
for (let i = 0; i < 15; i++) await page.click('#get-listing', { delay: 0 });
for (let i = 0; i < 100 && quick.length < 15; i++) await page.waitForTimeout(50);
page.removeAllListeners('download');
check('fifteen quick clicks on «Descargar listado» give fifteen files', quick.length === 15,
  `${quick.length} downloads`);

check('the site folder holds the site\'s files and nothing else',
  JSON.stringify(fs.readdirSync(site).sort()) === JSON.stringify(['app.js', 'engine.mjs',
    'favicon.svg', 'index.html', 'render.js', 'report-template.html', 'style.css']),
  fs.readdirSync(site).join(' '));

// 2. Hostile text stays text.
const hostile = 'P1; <img src=x onerror=alert(1)>';
await page.fill('#plans', hostile);
await page.click('#run');
await page.waitForSelector('#out .frame');
check('a plan creates no element', (await page.$$('#out img, #out [onerror]')).length === 0);
const shared = await openPage(`${origin}/#plan=${encodeURIComponent(hostile)}`, own);
await shared.waitForSelector('#out .frame');
check('a shared link fills the plans and runs them', (await shared.inputValue('#plans')) === hostile &&
  (await shared.$$('#out img')).length === 0);
check('no dialog opens', page.dialogs === 0 && shared.dialogs === 0);

// 3. From the keyboard alone: open a file, run, download.
const keys = await openPage(origin + '/', own, 390);
await keys.waitForSelector('body[data-ready]');
const tabTo = async (id) => {
  for (let i = 0; i < 20 && !(await keys.evaluate((x) => document.activeElement?.id === x, id)); i++) {
    await keys.keyboard.press('Tab');
  }
};
await tabTo('file');
const sample = path.join(plans, fs.readdirSync(plans).sort()[0]);
const [chooser] = await Promise.all([keys.waitForEvent('filechooser'), keys.keyboard.press('Space')]);
await chooser.setFiles(sample);
await keys.waitForSelector('#out .frame');
await tabTo('run');
await keys.keyboard.press('Enter');
await tabTo('get-listing');
const [byKeys] = await Promise.all([keys.waitForEvent('download'), keys.keyboard.press('Enter')]);
check('open, run and download from the keyboard', byKeys.suggestedFilename().endsWith('.lst'));
await keys.screenshot({ path: path.join(out, 'screenshot-390.png'), fullPage: false });
await page.setViewportSize({ width: 1280, height: 900 });
await page.fill('#plans', fs.readFileSync(path.join(root, 'examples/plans.txt'), 'latin1'));
await page.click('#run');
await page.screenshot({ path: path.join(out, 'screenshot-1280.png') });

// 4. The report page, from the page and from tosim-report --html, opened from file://.
const exampleRun = spawnSync(tosim, [path.join(root, 'examples/plans.txt'), path.join(work, 'plans.lst')], { input: '' });
const exampleTrace = decode(exampleRun.stdout.subarray(0, -PROMPT.length));
const [page_report] = await Promise.all([page.waitForEvent('download'), page.click('#get-report')]);
const reports = [path.join(work, 'from-page.html')];
await page_report.saveAs(reports[0]);
if (report) {
  const example = path.join(work, 'plans.txt');
  fs.copyFileSync(path.join(root, 'examples/plans.txt'), example);
  const html = path.join(work, 'plans.html');
  const made = spawnSync(report, ['--html', html, example]);
  check('tosim-report --html writes the page', made.status === 0, made.stderr.toString());
  reports.push(html);
  const before = fs.readFileSync(example);
  const refused = spawnSync(report, ['--html', example, example]);
  check('--html refuses to write over the plan file', refused.status === 5 &&
    fs.readFileSync(example).equals(before), `status ${refused.status}`);
}
for (const file of reports) {
  const opened = await openPage('file://' + file, (url) => url === 'file://' + file);
  await opened.waitForSelector('#out .frame');
  check(`${path.basename(file)} opens from file:// with a trace and plans`,
    (!report || (await opened.$$('#out .plan')).length > 0) && (await opened.$$('#out tr.tl')).length > 0);
  check(`${path.basename(file)} asks for nothing`, opened.stray.length === 0, opened.stray.join(' '));
  await renderAll(opened);
  check(`${path.basename(file)} shows tosim's trace`, (await shownTrace(opened)) === exampleTrace);
}

await browser.close();
server.close();
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
