// What every group of browser tests shares: the count of checks, the site's server, the browser,
// a page opened and drawn whole, what a page shows read back, and the built programs run on a
// plan file to compare with.
import { chromium } from 'playwright-core';
import { execFileSync, spawnSync } from 'node:child_process';
import { createServer } from 'node:http';
import fs from 'node:fs';
import path from 'node:path';

export const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');
export const PROMPT = '\r\nPulsar <CR> para terminar';

let passed = 0;
let failed = 0;
export function check(name, ok, detail = '') {
  if (ok) passed++;
  else failed++;
  if (!ok) console.log(`FAIL ${name}${detail ? '\n  ' + detail : ''}`);
}
// The summary, always the last line.
export function finish(error) {
  if (error) console.log(`FAIL ${error.stack}`);
  const failures = failed + (error ? 1 : 0);
  console.log(`${passed} passed, ${failures} failed`);
  process.exit(failures ? 1 : 0);
}

export const same = (a, b) => JSON.stringify(a) === JSON.stringify(b);
// The transaction numbers a text names, in the order written.
export const numbers = (text) => [...(text || '').matchAll(/T(\d+)/g)].map((m) => Number(m[1]));
export const decode = (bytes) => new TextDecoder('windows-1252').decode(bytes);

// A static server of the site.
export async function serve(site) {
  const server = createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
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
  return { server, origin: `http://127.0.0.1:${server.address().port}` };
}

// Debian's chromium with a fresh profile (playwright passes it as --user-data-dir).
export function launch(work) {
  return chromium.launchPersistentContext(fs.mkdtempSync(path.join(work, 'profile-')), {
    executablePath: '/usr/bin/chromium', headless: true, acceptDownloads: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
}

// A page with its requests outside `allowed` and its dialogs noted; a script error fails.
export async function openPage(browser, url, allowed, width = 1280) {
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
// The playground at `url`, its engine loaded.
export async function openPlayground(browser, url, allowed, width) {
  const page = await openPage(browser, url, allowed, width);
  await page.waitForSelector('body[data-ready]');
  return page;
}
// A page written to `file`, opened from file:// and allowed nothing else.
export const openFile = (browser, file, width) =>
  openPage(browser, 'file://' + file, (url) => url === 'file://' + file, width);

// Clicks `selector` and saves the file it downloads as `file`.
export async function saveDownload(page, selector, file) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click(selector)]);
  await download.saveAs(file);
  return file;
}

// Everything rendered, however long the page.
export async function renderAll(page) {
  await page.waitForSelector('#out .frame, #out[data-complete]', { state: 'attached' });
  while (!(await page.$('#out[data-complete]'))) {
    await page.evaluate(() => document.querySelector('.sentinel')?.scrollIntoView());
    await page.waitForTimeout(20);
  }
}

// Runs `start` and waits until the page's count `key` (runs, checks, generations: the body's
// data-KEY) has gone up.
export async function afterCount(page, key, start, timeout = 30000) {
  const before = await page.evaluate((k) => Number(document.body.dataset[k] || 0), key);
  await start();
  await page.waitForFunction(([k, n]) => Number(document.body.dataset[k] || 0) > n, [key, before],
    { timeout });
}
// Waits for the playground's next run after `start` (an action that starts one), drawn whole
// unless `whole` is false.
export async function afterRun(page, start, { timeout = 30000, whole = true } = {}) {
  await afterCount(page, 'runs', start, timeout);
  if (whole) await renderAll(page);
}
export const runTyped = (page, text) => afterRun(page, async () => {
  await page.fill('#plans', text);
  await page.click('#run');
});
export const runFile = (page, file, options) =>
  afterRun(page, () => page.setInputFiles('#file', file), options);

// The cells of `selector` (by default those of grids, traces and protocol steps) that cannot be
// scrolled into view whole and uncovered, by their key or their text.
export const unreachableCells = (target, selector = '.grid th, .grid td, .trace td, .steps th, .steps td') =>
  target.evaluate((selector) => [...document.querySelectorAll(selector)].filter((cell) => {
    cell.scrollIntoView({ block: 'center', inline: 'center' });
    const r = cell.getBoundingClientRect();
    if (cell.matches('.trace td') && (r.width === 0 || r.height === 0)) return false;  // the empty lines after a plan
    const hit = document.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2);
    return r.left < 0 || r.right > innerWidth || !cell.contains(hit);
  }).map((cell) => cell.dataset.key || cell.textContent), selector);

// axe-core's violations on `page`, loaded for the test only.
export async function violations(page) {
  await page.evaluate(fs.readFileSync(path.join(root, 'tests/web/node_modules/axe-core/axe.min.js'), 'utf8'));
  return page.evaluate(async () => (await axe.run(document)).violations.map((v) =>
    `${v.impact} ${v.id}: ${v.nodes.slice(0, 2).map((n) => n.html).join(' ')}`));
}

// The trace as the page shows it: cells joined by TABs, lines by CR LF.
export const shownTrace = (page) => page.$$eval('#out tr.tl', (rows) => rows.map((row) =>
  [...row.cells].map((cell) => cell.textContent).join('\t') + '\r\n').join(''));

// What the page shows of every plan: its verdicts and its graph.
export const shownPlans = (page) => page.$$eval('#out .plan', (plans) => plans.map((plan) => ({
  verdicts: Object.fromEntries([...plan.querySelectorAll(':scope > .verdicts dd')]
    .map((d) => [d.dataset.key, d.textContent])),
  // "Title: text", as the summary writes each line, and the headings.
  lines: [...plan.querySelectorAll(':scope > .verdicts dd')]
    .map((d) => d.previousElementSibling.textContent + ': ' + d.textContent),
  headings: [...plan.querySelectorAll(':scope > .schedule-heading')].map((h) => h.textContent),
  warnings: [...plan.querySelectorAll(':scope > .warnings li')].map((li) => li.textContent),
  nodes: [...plan.querySelectorAll('.precedence .node')].map((n) => Number(n.dataset.t)),
  edges: [...plan.querySelectorAll('.precedence .edge')].map((e) => [Number(e.dataset.from), Number(e.dataset.to)]),
})));

// tosim's trace of a plan file (the console without the final prompt), as text and as a byte
// string (a character a byte), and its listing.
export function tosimRun(tosim, work, plan) {
  const dir = fs.mkdtempSync(path.join(work, 'run-'));
  fs.copyFileSync(plan, path.join(dir, 'plan.txt'));
  const run = spawnSync(tosim, ['plan.txt', 'plan.lst'], { cwd: dir, input: '' });
  const console_ = run.stdout.toString('latin1');
  const bytes = console_.endsWith(PROMPT) ? console_.slice(0, -PROMPT.length) : console_;
  return { trace: decode(Buffer.from(bytes, 'latin1')), bytes,
    listing: fs.readFileSync(path.join(dir, 'plan.lst')) };
}

// tosim-report's JSON Lines of a plan file, one object a plan.
export const reportJson = (report, plan, ...options) => spawnSync(report, ['--json', ...options, plan])
  .stdout.toString().split('\n').filter(Boolean).map((line) => JSON.parse(line));
// tosim-report's summary of a plan file, a block a report.
export const summaryBlocks = (report, plan, ...options) => spawnSync(report, [...options, plan])
  .stdout.toString().split('\n\n').filter(Boolean);

// The plan files of the end-to-end cases, exported by their own runner.
export function casePlans(tosim, work) {
  const plans = path.join(work, 'plans');
  execFileSync('python3', [path.join(root, 'tests/e2e/run_cases.py'), '--program', tosim,
    '--export-plans', plans, ...['tests/e2e/cases', 'tests/e2e/cases/report'].flatMap((dir) =>
      fs.readdirSync(path.join(root, dir)).filter((f) => f.endsWith('.case'))
        .map((f) => path.join(root, dir, f)))]);
  return fs.readdirSync(plans).sort().map((name) => path.join(plans, name));
}

// The data a report page carries (the run, and the table of labels), as its renderer reads it.
export function pageData(html) {
  const data = /<script type="application\/json" id="tosim-data">([\s\S]*?)<\/script>/.exec(
    fs.readFileSync(html, 'utf8'));
  return JSON.parse(data[1]);
}
