// Speed of the playground in headless chromium: how soon the page is interactive from a local
// server, how soon a 1 MiB plan file shows its first screen, the longest stall while scrolling
// through it, and the engine's size. Reports only; nothing here fails on a timing.
// Usage (after the web preset and `npm ci` in tests/web): node bench/web.mjs [build/web/site]
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
const engine = fs.statSync(path.join(site, 'engine.mjs')).size;
console.log(`plan file: ${fs.statSync(plans).size} bytes, ${fs.readFileSync(plans, 'latin1').split('\n').length - 1} lines`);
console.log(`interactive after loading: median ${median(interactive)} ms (${interactive.join(', ')})`);
console.log(`1 MiB plan file, first screen: median ${median(firstScreen)} ms (${firstScreen.join(', ')})`);
console.log(`longest frame while scrolling: median ${median(stalls)} ms (${stalls.join(', ')})`);
console.log(`engine.mjs: ${engine} bytes (${(engine / 1024).toFixed(1)} KiB), gzip ${execFileSync('gzip', ['-9c', path.join(site, 'engine.mjs')]).length} bytes`);
await browser.close();
server.close();
fs.rmSync(work, { recursive: true, force: true });
