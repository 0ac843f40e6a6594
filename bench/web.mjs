// Speed of the playground in headless chromium: how soon the page is interactive from a local
// server, how soon a 1 MiB plan file shows its first screen, the longest stall while scrolling
// through it, and the engine's size. Reports only; nothing here fails on a timing.
// Usage (after the web and default presets and `npm ci` in tests/web): node bench/web.mjs
// [build/web/site]
import { createRequire } from 'node:module';
import { execFileSync } from 'node:child_process';
import { createServer } from 'node:http';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
const { chromium } = createRequire(path.join(root, 'tests/web/package.json'))('playwright-core');
const site = path.resolve(process.argv[2] || path.join(root, 'build/web/site'));
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tosim-web-bench-'));
const plans = path.join(work, 'plans-1M.txt');
execFileSync('python3', [path.join(root, 'bench/gen_plans.py'), '1M', plans]);

const types = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript', '.css': 'text/css' };
const server = createServer((request, response) => {
  const name = new URL(request.url, 'http://x').pathname;
  const file = path.join(site, name === '/' ? 'index.html' : name);
  if (!file.startsWith(site) || !fs.existsSync(file)) return response.writeHead(404).end();
  response.writeHead(200, { 'content-type': types[path.extname(file)] || 'application/octet-stream' });
  response.end(fs.readFileSync(file));
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const browser = await chromium.launchPersistentContext(path.join(work, 'profile'), {
  executablePath: '/usr/bin/chromium', headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
const median = (xs) => xs.sort((a, b) => a - b)[Math.floor(xs.length / 2)];

const interactive = [];
const firstScreen = [];
const stalls = [];
for (let run = 0; run < 5; run++) {
  const page = await browser.newPage();
  await page.setViewportSize({ width: 1280, height: 900 });
  const start = Date.now();
  await page.goto(`http://127.0.0.1:${server.address().port}/`);
  await page.waitForSelector('body[data-ready]');
  interactive.push(Date.now() - start);
  const opened = Date.now();
  await page.setInputFiles('#file', plans);
  await page.waitForSelector('#out .frame');
  await page.evaluate(() => new Promise(requestAnimationFrame));
  firstScreen.push(Date.now() - opened);
  // Scrolls down for a while and measures the longest gap between two frames.
  stalls.push(await page.evaluate(async () => {
    let longest = 0;
    let last = performance.now();
    for (let i = 0; i < 300; i++) {
      window.scrollBy(0, 1200);
      await new Promise(requestAnimationFrame);
      const now = performance.now();
      longest = Math.max(longest, now - last);
      last = now;
    }
    return Math.round(longest);
  }));
  await page.close();
}
// Practice: 50 plans of 10 transactions and 200 operations each (10 begins, 180 reads and writes
// of random transactions on 6 items, the 10 commits; seeded). How soon the practice cells are
// there to fill in, and how long «Comprobar» takes for one plan with every cell filled in (the
// answers are the plan's own --json, one TS_lect off): the whole click, and the engine's check.
let seed = 2024n;
const random = (n) => {
  seed = (seed + 0x9E3779B97F4A7C15n) & 0xFFFFFFFFFFFFFFFFn;
  let z = seed;
  z = ((z ^ (z >> 30n)) * 0xBF58476D1CE4E5B9n) & 0xFFFFFFFFFFFFFFFFn;
  z = ((z ^ (z >> 27n)) * 0x94D049BB133111EBn) & 0xFFFFFFFFFFFFFFFFn;
  return Number((z ^ (z >> 31n)) % BigInt(n));
};
const practicePlans = Array.from({ length: 50 }, (_, p) => {
  const ops = [`P${p + 1}`];
  for (let t = 1; t <= 10; t++) ops.push('T' + t);
  for (let i = 0; i < 180; i++) ops.push(`${random(3) === 0 ? 'W' : 'R'}${1 + random(10)}(${'ABCDEF'[random(6)]})`);
  const order = Array.from({ length: 10 }, (_, i) => i + 1);
  for (let i = 9; i > 0; i--) {
    const j = random(i + 1);
    [order[i], order[j]] = [order[j], order[i]];
  }
  for (const t of order) ops.push('C' + t);
  return ops.join('; ');
}).join('\n');
const practiceFile = path.join(work, 'practice.txt');
fs.writeFileSync(practiceFile, practicePlans + '\n');
const firstAnswer = JSON.parse(execFileSync(path.join(root, 'build/default/tosim-report'),
  ['--json', practiceFile], { maxBuffer: 1 << 26 }).toString().split('\n')[0]);
const ready = [];
const clicks = [];
const checks = [];
const alone = [];
for (let run = 0; run < 5; run++) {
  const page = await browser.newPage();
  await page.setViewportSize({ width: 1280, height: 900 });
  await page.goto(`http://127.0.0.1:${server.address().port}/`);
  await page.waitForSelector('body[data-ready]');
  // A practice left in local storage by the run before would come back: afresh.
  await page.evaluate(() => localStorage.clear());
  await page.reload();
  await page.waitForSelector('body[data-ready]');
  await page.check('#practice');
  await page.fill('#plans', practicePlans);
  // Measured in the page: from the click to the first cells painted.
  ready.push(Math.round(await page.evaluate(async () => {
    const started = performance.now();
    document.querySelector('#run').click();
    await new Promise((resolve) => {
      const seen = new MutationObserver(() => {
        if (document.querySelector('#out form.practice')) {
          seen.disconnect();
          resolve();
        }
      });
      seen.observe(document.querySelector('#out'), { childList: true, subtree: true });
    });
    await new Promise(requestAnimationFrame);
    return performance.now() - started;
  })));
  await page.waitForSelector('#out form.practice');
  // Every cell of the first plan, as its own report answers it, the first TS_lect that is a
  // number one too high.
  await page.evaluate((answer) => {
    const form = document.querySelector('#out form.practice');
    let slipped = false;
    answer.trace.forEach((entry, i) => {
      const set = (key, value) => {
        const cell = form.querySelector(`[data-key="trace[${i}].${key}"]`);
        if (!cell || value === null) return;
        cell.value = String(value);
        cell.dispatchEvent(new Event('change'));
      };
      set('decision', entry.decision);
      set('ts_lect', entry.ts_lect === null || slipped ? entry.ts_lect : entry.ts_lect + 1);
      slipped = slipped || entry.ts_lect !== null;
      set('ts_escr', entry.ts_escr);
    });
  }, firstAnswer);
  await page.click('#out form.practice button[type=submit]');
  await page.waitForFunction(() => document.body.dataset.checks);
  clicks.push(Number(await page.getAttribute('body', 'data-check-total-ms')));
  checks.push(Number(await page.getAttribute('body', 'data-check-ms')));
  // The same plan alone in the page: the engine's check of that one plan.
  await page.fill('#plans', practicePlans.split('\n')[0]);
  await page.click('#run');
  await page.waitForFunction(() => Number(document.body.dataset.runs) === 2);
  await page.waitForSelector('#out form.practice');
  await page.evaluate(() => new Promise((resolve) => setTimeout(resolve, 200)));
  await page.evaluate((answer) => {
    const form = document.querySelector('#out form.practice');
    answer.trace.forEach((entry, i) => {
      for (const key of ['decision', 'ts_lect', 'ts_escr']) {
        const cell = form.querySelector(`[data-key="trace[${i}].${key}"]`);
        if (!cell || entry[key] === null) continue;
        cell.value = String(entry[key]);
        cell.dispatchEvent(new Event('change'));
      }
    });
  }, firstAnswer);
  await page.click('#out form.practice button[type=submit]');
  await page.waitForFunction(() => Number(document.body.dataset.checks) === 2);
  alone.push(Number(await page.getAttribute('body', 'data-check-ms')));
  await page.close();
}

const engine = fs.statSync(path.join(site, 'engine.mjs')).size;
console.log(`plan file: ${fs.statSync(plans).size} bytes, ${fs.readFileSync(plans, 'latin1').split('\n').length - 1} lines`);
console.log(`interactive after loading: median ${median(interactive)} ms (${interactive.join(', ')})`);
console.log(`1 MiB plan file, first screen: median ${median(firstScreen)} ms (${firstScreen.join(', ')})`);
console.log(`longest frame while scrolling: median ${median(stalls)} ms (${stalls.join(', ')})`);
console.log(`practice, 50 plans of 200 operations: cells ready ${median(ready)} ms (${ready.join(', ')})`);
console.log(`«Comprobar», one plan of 200 operations among 50, every cell filled: ${median(clicks)} ms ` +
  `(${clicks.join(', ')}) from the click to the marks drawn, the engine's part ${median(checks)} ms ` +
  `(${checks.join(', ')}); the engine's check of the plan alone ${median(alone)} ms (${alone.join(', ')})`);
console.log(`engine.mjs: ${engine} bytes (${(engine / 1024).toFixed(1)} KiB), gzip ${execFileSync('gzip', ['-9c', path.join(site, 'engine.mjs')]).length} bytes`);
await browser.close();
server.close();
fs.rmSync(work, { recursive: true, force: true });
