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

// What the page shows of every plan's protocol view: the step grid's header and rows as text,
// each protocol's history list by key, and its waits-for graph's red edges and marked victims.
const shownProtocols = (page) => page.$$eval('#out .plan', (plans) => plans.map((plan) => {
  const view = plan.querySelector('.protocols');
  if (!view) return null;
  const [head, ...rows] = [...view.querySelector('.steps').rows];
  const text = (row) => [...row.cells].map((cell) => cell.textContent);
  return {
    names: text(head).slice(1),
    rows: rows.map(text),
    histories: Object.fromEntries([...view.querySelectorAll('.history')].map((h) => [h.dataset.protocol, {
      lists: Object.fromEntries([...h.querySelectorAll('dd')].map((d) => [d.dataset.key, d.textContent])),
      cycleEdges: [...h.querySelectorAll('.edge.cycle')].map((e) => [Number(e.dataset.from), Number(e.dataset.to)]),
      victims: [...h.querySelectorAll('.node.victim')].map((n) => Number(n.dataset.t)),
    }])),
  };
}));

// The values a verdict's text names, to hold against tosim-report --json: the transaction
// numbers in the order written, and the operations of a list ("—" when empty).
const numbers = (text) => [...(text || '').matchAll(/T(\d+)/g)].map((m) => Number(m[1]));
// An empty list is a word («ninguna»); a list of operations starts with R or W.
const operations = (text) => (/^[RW]\d/.test(text || '') ? text.split(' ') : []);
const same = (a, b) => JSON.stringify(a) === JSON.stringify(b);
function verdictProblems(shown, r) {
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
  const answer = (text, yes) => (text || '').startsWith(yes ? 'sí' : 'no');
  expect('conflict_serializable', answer(shown.conflict_serializable, r.conflict_serializable) &&
    same(numbers(shown.conflict_serializable),
      r.conflict_serializable ? r.conflict_order : r.conflict_cycle));
  expect('view_serializable', answer(shown.view_serializable, r.view_serializable) &&
    same(numbers(shown.view_serializable), r.view_serializable ? r.view_order : []));
  for (const key of ['recoverable', 'cascadeless', 'strict']) expect(key, answer(shown[key], r[key]));
  return problems;
}

// A cell of the step grid read back: whom the operation waited for, whether it joined its
// transaction's backlog, and the outcome its last words name (with the abort's cause they imply).
const OUTCOMES = {
  'ejecutada': ['executed'], 'ignorada (Thomas)': ['skipped'], 'rechazada': ['rejected'],
  'muere': ['rejected', 'died'], 'validación fallida': ['rejected', 'validation'],
  'ignorada': ['ignored'], 'pendiente': ['pending'], 'descartada': ['dropped'],
  'víctima': ['dropped', 'victim'], 'herida': ['dropped', 'wounded'],
};
function readCell(text) {
  const waited = /^espera a ([T\d, ]+?)(?: → (.+))?$/.exec(text);
  const queued = /^en cola → (.+)$/.exec(text);
  const words = waited ? waited[2] || 'pendiente' : queued ? queued[1] : text;
  const [result, cause] = OUTCOMES[words] || ['unknown: ' + text];
  return { result, cause, waited_for: waited ? numbers(waited[1]) : [],
    delayed: Boolean(waited || queued) || result === 'pending' };
}
const transactionOf = (op) => Number(/\d+/.exec(op)[0]);
const sortedUnique = (list) => [...new Set(list.map((x) => JSON.stringify(x)))].sort();
const CAUSE_NAMES = { 'abortada': 'abort', 'rechazada': 'rejected', 'en cascada': 'cascade',
  'víctima': 'victim', 'muere': 'died', 'herida': 'wounded', 'validación fallida': 'validation' };
const PROTOCOLS = ['to', 'to_basic', 'strict_to', 'mvto', '2pl', 'wait_die', 'wound_wait', 'occ'];

// Where the protocol view of one plan says something else than --json --protocols.
function protocolProblems(shown, lab) {
  if (!shown) return ['no protocol view'];
  const problems = [];
  const expect = (what, ok) => { if (!ok) problems.push(what); };
  expect('the columns are the eight protocols in order', same(shown.names, PROTOCOLS));
  expect('a row per operation', shown.rows.length === lab.to.steps.length);
  shown.rows.forEach(([op, ...cells], i) => {
    expect(`row ${i + 1} names ${lab.to.steps[i].op}`, op === lab.to.steps[i].op);
    PROTOCOLS.forEach((name, p) => {
      const step = lab[name].steps[i];
      const cell = readCell(cells[p]);
      const aborted = new Map(lab[name].aborted);
      expect(`${name} ${op}: «${cells[p]}»`, cell.result === step.result &&
        cell.delayed === step.delayed && same(cell.waited_for, step.waited_for) &&
        (!cell.cause || aborted.get(transactionOf(op)) === cell.cause));
    });
  });
  for (const name of PROTOCOLS) {
    const run = lab[name];
    const { lists, cycleEdges, victims } = shown.histories[name] || { lists: {} };
    const list = (key) => numbers(lists[key]);
    expect(`${name} history`, same(lists.history === 'vacía' ? [] : (lists.history || '').split(' '), run.history));
    expect(`${name} committed`, same(list('committed'), run.committed));
    expect(`${name} aborted`, same([...(lists.aborted || '').matchAll(/T(\d+) \(([^)]+)\)/g)]
      .map((m) => [Number(m[1]), CAUSE_NAMES[m[2]]]), run.aborted));
    for (const key of ['waiting', 'active', 'unrecoverable']) expect(`${name} ${key}`, same(list(key), run[key]));
    expect(`${name} deadlocks`, same([...(lists.deadlocks || '').matchAll(/((?:T\d+(?: → )?)+) \(víctima T(\d+)\)/g)]
      .map((m) => ({ cycle: numbers(m[1]), victim: Number(m[2]) })), run.deadlocks));
    expect(`${name} order`, same(lists.order === 'no hay (ciclo)' ? null : list('order'), run.order));
    const cycles = run.deadlocks.flatMap(({ cycle }) => cycle.slice(1).map((t, i) => [cycle[i], t]));
    expect(`${name} waits-for graph: the deadlocks' edges in red, the victims marked`,
      same(sortedUnique(cycleEdges || []), sortedUnique(cycles)) &&
      same(sortedUnique(victims || []), sortedUnique(run.deadlocks.map((d) => d.victim))));
  }
  return problems;
}

const plans = path.join(work, 'plans');
execFileSync('python3', [path.join(root, 'tests/e2e/run_cases.py'), '--program', tosim,
  '--export-plans', plans, ...['tests/e2e/cases', 'tests/e2e/cases/report'].flatMap((dir) =>
    fs.readdirSync(path.join(root, dir)).filter((f) => f.endsWith('.case'))
      .map((f) => path.join(root, dir, f)))]);
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
    const json = spawnSync(report, ['--json', '--protocols', plan]).stdout.toString().split('\n')
      .filter(Boolean).map((line) => JSON.parse(line));
    const shown = await shownPlans(page);
    const labs = await shownProtocols(page);
    check(`${name}: one panel per plan`, shown.length === json.length);
    // The page says what tosim-report's summary says, in the same words, plan by plan.
    const summary = spawnSync(report, [plan]).stdout.toString().split('\n\n').filter(Boolean);
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
          same(s.warnings, r.warnings.map((w) => 'operación ' + w.position + ': ' + w.text)));
        return;
      }
      const problems = verdictProblems(s.verdicts, r);
      check(`${name}: plan ${i + 1} verdicts name --json's values`, problems.length === 0,
        problems.join('; '));
      check(`${name}: plan ${i + 1} graph`, JSON.stringify(s.nodes) === JSON.stringify(r.transactions) &&
        JSON.stringify(s.edges) === JSON.stringify(r.edges));
      const labProblems = protocolProblems(labs[i], r.protocols);
      check(`${name}: plan ${i + 1} protocol view holds --json --protocols's outcomes`,
        labProblems.length === 0, labProblems.slice(0, 5).join('; '));
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

// The site: the page's files, the engine and the renderer's modules.
const siteFiles = fs.readdirSync(site, { recursive: true }).filter((f) => !fs.statSync(path.join(site, f)).isDirectory()).sort();
check('the site folder holds the site\'s files and nothing else', same(siteFiles, ['app.js', 'engine.mjs',
  'favicon.svg', 'index.html', 'protocolos.html', ...fs.readdirSync(path.join(root, 'web/render'))
    .map((f) => 'render/' + f), 'style.css'].sort()), siteFiles.join(' '));

// Runs the text typed into the page and waits for the whole output.
async function runTyped(target, text) {
  const runs = Number(await target.getAttribute('body', 'data-runs'));
  await target.fill('#plans', text);
  await target.click('#run');
  await target.waitForFunction((n) => Number(document.body.dataset.runs) > n, runs);
  await renderAll(target);
}

// Verdicts worked out by hand. A Thomas-rule skip whose written schedule has a cycle:
await runTyped(page, 'P1; T1; T2; R1(A); W2(A); W1(A); C1; C2');
check('a skipped write with a cycle in the written plan: the verdicts', same((await shownPlans(page))[0].verdicts, {
  timestamps: 'T1=1, T2=2', committed: 'T1, T2', aborted: 'ninguna', active: 'ninguna',
  executed: 'R1(A) W2(A)', to_order: 'T1 → T2', skipped_writes: 'W1(A)', cascading: 'ninguno',
  without_thomas: 'validadas: T2; abortadas: T1', transactions: 'T1, T2',
  edges: 'T1 → T2, T2 → T1', conflict_serializable: 'no, ciclo T1 → T2 → T1',
  view_serializable: 'no', reads_from: 'ninguna', recoverable: 'sí', cascadeless: 'sí', strict: 'no',
}), JSON.stringify((await shownPlans(page))[0].verdicts));
check('the skipped write is marked in the grid', (await page.$$eval('.grid td.skip',
  (cells) => cells.map((c) => c.textContent))).join() === 'T1_Write(A)');
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
// T1 neither commits nor aborts; one plan is "1 plan".
await runTyped(page, 'P1; T1; T2; R1(A); C2');
const active = (await shownPlans(page))[0].verdicts;
check('a transaction still active at the end is listed as such', active.active === 'T1' &&
  active.committed === 'T2' && active.aborted === 'ninguna', JSON.stringify(active));
check('one plan is «1 plan»', (await page.textContent('#status')).startsWith('1 plan, '),
  await page.textContent('#status'));
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
// Each plan on its own: the second plan's timestamps start at 1, and its trace is tosim's for
// that line alone.
await page.check('#alone');
await runTyped(page, 'P1; T1; T2; C1; C2\nP2; T1; R1(A); C1');
const alone = await shownPlans(page);
const lineAlone = path.join(work, 'second-line.txt');
fs.writeFileSync(lineAlone, 'P2; T1; R1(A); C1\r\n', 'latin1');
const aloneRun = spawnSync(tosim, [lineAlone, path.join(work, 'second-line.lst')], { input: '' });
const aloneTrace = decode(aloneRun.stdout.subarray(0, -PROMPT.length));
check('each plan on its own: timestamps from 1 in the second plan', alone[1].verdicts.timestamps === 'T1=1',
  JSON.stringify(alone[1].verdicts));
check('each plan on its own: the second line\'s trace is tosim\'s for that line alone',
  (await shownTrace(page)).endsWith(aloneTrace), await shownTrace(page));
await page.uncheck('#alone');

// The protocol view of the worked example, by hand from the rules: under 2pl W1(B) waits for T2
// and W2(A) for T1, a deadlock whose victim is the younger T2; under wait_die T2 dies instead;
// under wound_wait T1 wounds T2; under occ T2 fails its validation.
const EXAMPLE = 'P1; T1; T2; R1(A); R2(B); W1(B); W2(A); C1; C2';
await runTyped(page, EXAMPLE);
const example = (await shownProtocols(page))[0];
const column = (name) => example.rows.map((row) => row[1 + PROTOCOLS.indexOf(name)]);
const begun = ['ejecutada', 'ejecutada', 'ejecutada', 'ejecutada'];
check('2pl: a wait, a deadlock and its victim, cell by cell', same(column('2pl'), [...begun,
  'espera a T2 → ejecutada', 'espera a T1 → víctima', 'ejecutada', 'ignorada']), column('2pl').join(' | '));
check('wait_die: the younger dies', same(column('wait_die'), [...begun,
  'espera a T2 → ejecutada', 'muere', 'ejecutada', 'ignorada']), column('wait_die').join(' | '));
check('wound_wait: the older wounds the younger', same(column('wound_wait'), [...begun,
  'ejecutada', 'ignorada', 'ejecutada', 'ignorada']), column('wound_wait').join(' | '));
check('to and occ: a rejected write, a failed validation', same(column('to'), [...begun,
  'rechazada', 'ejecutada', 'ignorada', 'ejecutada']) && column('occ')[7] === 'validación fallida');
check('2pl\'s history, outcome and deadlock', same(example.histories['2pl'].lists, {
  history: 'R1(A) R2(B) A2 W1(B) C1', committed: 'T1', aborted: 'T2 (víctima)',
  deadlocks: 'T1 → T2 → T1 (víctima T2)', order: 'T1' }), JSON.stringify(example.histories['2pl'].lists));
check('2pl\'s waits-for graph: the cycle in red, the victim T2 marked',
  same(sortedUnique(example.histories['2pl'].cycleEdges), sortedUnique([[1, 2], [2, 1]])) &&
  same(example.histories['2pl'].victims, [2]));
check('the view is folded at first and keeps the plan\'s text',
  (await page.getAttribute('.protocols', 'open')) === null &&
  (await page.textContent('.protocols .plan-text')) === EXAMPLE);
// All eight shown at first; a protocol left out leaves the grid and the histories.
await page.click('.protocols summary');
await (await page.$('.protocols')).screenshot({ path: path.join(out, 'screenshot-protocols.png') });
const shownNames = () => page.$$eval('.protocols .steps th[data-protocol], .protocols .history',
  (parts) => parts.filter((part) => part.getClientRects().length > 0)
    .map((part) => part.dataset.protocol));
check('all eight protocols shown at first', same(await shownNames(), [...PROTOCOLS, ...PROTOCOLS]),
  (await shownNames()).join());
await page.uncheck('.protocols .choice input[value="to"]');
await page.uncheck('.protocols .choice input[value="occ"]');
const six = PROTOCOLS.filter((name) => name !== 'to' && name !== 'occ');
check('two protocols left out leave the grid and the histories', same(await shownNames(), [...six, ...six]),
  (await shownNames()).join());
await page.check('.protocols .choice input[value="to"]');
check('a protocol chosen again comes back', (await shownNames()).includes('to'));
// The plan's text stays in view while the view scrolls by.
await page.setViewportSize({ width: 1280, height: 400 });
const kept = await page.$eval('.protocols', (view) => {
  view.querySelector('.histories').scrollIntoView({ block: 'end' });
  const text = view.querySelector('.plan-text').getBoundingClientRect();
  return { viewTop: view.getBoundingClientRect().top, top: text.top, bottom: text.bottom };
});
check('the plan\'s text stays in view at the top of the protocol view', kept.viewTop < 0 &&
  kept.top >= 0 && kept.bottom < 400, JSON.stringify(kept));
await page.setViewportSize({ width: 1280, height: 900 });
// The rules the cells follow, one click away, in Spanish.
check('the view links to the page of the rules',
  (await page.getAttribute('.protocols .rules-note a', 'href')) === 'protocolos.html');
const rules = await openPage(origin + '/protocolos.html', own, 390);
const ruleTerms = await rules.$$eval('.protocol-rules dt', (terms) => terms.map((t) => t.textContent));
check('the rules page states the replay and each protocol\'s rule',
  (await rules.textContent('h1')) === 'Las reglas de los protocolos' &&
  (await rules.textContent('#reproduccion')).includes('cola pendiente') &&
  PROTOCOLS.every((name) => ruleTerms.some((term) => term.includes(name))), ruleTerms.join(' | '));
check('the rules page fits 390 px and asks for nothing but its own files', rules.stray.length === 0 &&
  await rules.evaluate(() => document.documentElement.scrollWidth <= innerWidth));
await rules.close();

// The page's manners: the plan's text above its trace (lines end at CR, LF or CR LF), a stale
// output marked after an edit, Ctrl+Enter runs, captions and a legend.
await runTyped(page, 'P1; T1; C1\rP2; T1; R1(B)\nP3; T2');
check('each line of plans stands above its trace', same(await page.$$eval('#out .source',
  (lines) => lines.map((l) => l.textContent)), ['P1; T1; C1', 'P2; T1; R1(B)', 'P3; T2']));
check('no stale hint right after a run', await page.isHidden('#stale'));
await page.press('#plans', 'End');
await page.keyboard.type('; C2');
check('an edit marks the output as stale', await page.isVisible('#stale'));
const before = Number(await page.getAttribute('body', 'data-runs'));
await page.press('#plans', 'Control+Enter');
await page.waitForFunction((n) => Number(document.body.dataset.runs) > n, before);
check('Ctrl+Enter runs the plans, and the hint goes', await page.isHidden('#stale') &&
  (await page.textContent('#out .source >> nth=2')) === 'P3; T2; C2');
check('the grid and the graph have captions and the colours a legend',
  (await page.$$('.plan .grid caption')).length === 3 &&
  (await page.$$('.plan .precedence figcaption')).length === 3 &&
  (await page.textContent('.legend')).includes('escritura ignorada'));
check('the syntax help is folded, in Spanish', (await page.getAttribute('details.syntax', 'open')) === null &&
  (await page.textContent('details.syntax summary')) === 'Cómo se escribe un plan');

// Ten transactions: T10 inside its circle, two opposite edges apart, arrowheads in the edge's
// colour.
const TEN = 'P1; T1; T2; T3; T4; T5; T6; T7; T8; T9; T10; R1(A); W2(A); R3(B); W4(B); R5(C); W6(C); ' +
  'R7(D); W8(D); R9(E); W10(E); R10(F); W1(F); W2(B); R3(A); W9(A); R1(G); W10(G); W5(H); W6(H); ' +
  'W7(H); W8(H); C1; C2; C3; C4; C5; C6; C7; C8; C9; C10';
await runTyped(page, TEN);
const drawing = await page.$eval('.plan', (plan) => {
  const box = (e) => e.getBoundingClientRect();
  const node = plan.querySelector('.node[data-t="10"]');
  const [circle, label] = [box(node.querySelector('circle')), box(node.querySelector('text'))];
  const edge = (a, b) => plan.querySelector(`.edge[data-from="${a}"][data-to="${b}"]`);
  const middle = (e) => e.getPointAtLength(e.getTotalLength() / 2);
  const [there, back] = [middle(edge(2, 3)), middle(edge(3, 2))];
  const tip = plan.querySelector(edge(2, 3).getAttribute('marker-mid').slice(4, -1) + ' path');
  return {
    inside: label.left > circle.left + 2 && label.right < circle.right - 2,
    apart: Math.hypot(there.x - back.x, there.y - back.y),
    tip: getComputedStyle(tip).fill, stroke: getComputedStyle(edge(2, 3)).stroke,
  };
});
check('«T10» stands inside its circle', drawing.inside);
check('two opposite edges are drawn well apart', drawing.apart > 15, `${drawing.apart} px`);
check('a cycle edge\'s arrowhead has the edge\'s colour', drawing.tip === drawing.stroke,
  `${drawing.tip} / ${drawing.stroke}`);

// The cells of grids and traces that cannot be scrolled into view whole and uncovered.
const unreachableCells = (target) => target.evaluate(() =>
  [...document.querySelectorAll('.grid th, .grid td, .trace td, .steps th, .steps td')].filter((cell) => {
    cell.scrollIntoView({ block: 'center', inline: 'center' });
    const r = cell.getBoundingClientRect();
    if (r.width === 0 || r.height === 0) return false;  // the empty lines after "fin Plan"
    const hit = document.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2);
    return r.left < 0 || r.right > innerWidth || !cell.contains(hit);
  }).map((cell) => cell.textContent));

// Phones: at 390 px every cell of the ten transactions' grid and of the trace can be scrolled
// into view and is not covered or clipped; the page itself does not scroll sideways.
const phone = await openPage(`${origin}/#plan=${encodeURIComponent(TEN)}`, own, 390);
await phone.waitForSelector('#out .plan');
await renderAll(phone);
const openViews = (target) => target.$$eval('.protocols', (views) => views.forEach((v) => { v.open = true; }));
await openViews(phone);
const unreachable = await unreachableCells(phone);
check('at 390 px every cell of the grid, the trace and the protocols\' steps scrolls into view',
  unreachable.length === 0,
  unreachable.slice(0, 5).join(' | '));
check('at 390 px the page itself stays within the width',
  await phone.evaluate(() => document.documentElement.scrollWidth <= innerWidth));
check('at 390 px a hint says the grid scrolls sideways', await phone.isVisible('.plan .scroll-hint'));
await phone.$eval('.plan', (plan) => {
  for (const box of document.querySelectorAll('.scroll')) box.scrollLeft = 0;
  plan.scrollIntoView();
});
await phone.screenshot({ path: path.join(out, 'screenshot-390.png') });
await phone.close();

// Print on A4 (186 mm, 703 px, between 12 mm margins): the ten transactions' grid fits the
// width, a plan is not split where it fits a page, and decisions keep colours and marks.
await openViews(page);
await page.emulateMedia({ media: 'print' });
await page.setViewportSize({ width: 703, height: 1000 });
const printed = await page.$eval('.plan', (plan) => {
  const grid = plan.querySelector('.grid');
  const steps = plan.querySelector('.steps');
  const abort = plan.querySelector('.grid td.abort');
  return {
    gridRight: grid.getBoundingClientRect().right, width: document.documentElement.clientWidth,
    stepsRight: steps.getBoundingClientRect().right,
    choiceShown: getComputedStyle(plan.querySelector('.choice')).display !== 'none',
    inputShown: getComputedStyle(document.querySelector('.input')).display !== 'none',
    breakInside: getComputedStyle(plan).breakInside,
    colours: getComputedStyle(abort).printColorAdjust,
    mark: getComputedStyle(abort, '::before').content,
  };
});
check('printed, the ten transactions\' grid fits the A4 width', printed.gridRight <= printed.width,
  `${printed.gridRight} > ${printed.width}`);
check('printed, the ten transactions\' protocol steps fit the A4 width, without the choice',
  printed.stepsRight <= printed.width && !printed.choiceShown, `${printed.stepsRight} > ${printed.width}`);
check('printed, the output alone, a plan not split, colours and marks kept', !printed.inputShown &&
  printed.breakInside === 'avoid' && printed.colours === 'exact' && printed.mark === '"✗"',
  JSON.stringify(printed));
const pdf = await page.pdf({ format: 'A4' });
const mediaBoxes = pdf.toString('latin1').match(/\/MediaBox\s*\[[^\]]*\]/g) || [];
check('the PDF has A4 pages', mediaBoxes.length > 0 &&
  mediaBoxes.every((box) => /\[\s*0 0 595(\.\d+)? 841\.9|\[\s*0 0 595(\.\d+)? 842/.test(box)), mediaBoxes[0]);
fs.writeFileSync(path.join(out, 'print.pdf'), pdf);
await page.emulateMedia({ media: 'screen' });
await page.setViewportSize({ width: 1280, height: 900 });

// A plan file over 1 MiB runs without the protocol lab, and the status says so.
const large = path.join(work, 'large.txt');
fs.writeFileSync(large, (EXAMPLE + '\r\n').repeat(Math.ceil((1024 * 1024 + 1) / (EXAMPLE.length + 2))), 'latin1');
const largeRuns = Number(await page.getAttribute('body', 'data-runs'));
await page.setInputFiles('#file', large);
await page.waitForFunction((n) => Number(document.body.dataset.runs) > n, largeRuns, { timeout: 60000 });
await page.waitForSelector('#out .plan');
check('a plan file over 1 MiB: no protocol view, and the status says why',
  (await page.$$('#out .protocols')).length === 0 &&
  (await page.textContent('#status')).endsWith('sin la vista de protocolos (el fichero pasa de 1 MiB)'),
  await page.textContent('#status'));

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
// Playwright turns chromium's file chooser interception on with the first listener; a chooser
// opened before that took effect went to no one (1 run in 60). A listener from the start.
keys.on('filechooser', () => {});
await keys.waitForSelector('body[data-ready]');
// Tab until `id` has the focus; the ids passed on the way, for a failure's message.
const tabTo = async (id) => {
  const trail = [];
  for (let i = 0; i < 20; i++) {
    const focused = await keys.evaluate(() => document.activeElement?.id || document.activeElement?.tagName);
    trail.push(focused);
    if (focused === id) return trail;
    await keys.keyboard.press('Tab');
  }
  check(`Tab reaches #${id}`, false, trail.join(' '));
  return trail;
};
const trail = await tabTo('file');
const sample = path.join(plans, fs.readdirSync(plans).sort()[0]);
const [chooser] = await Promise.all([keys.waitForEvent('filechooser', { timeout: 10000 })
  .catch((error) => { throw new Error(`${error.message}\nfocus went ${trail.join(' ')}`); }),
  keys.keyboard.press('Space')]);
await chooser.setFiles(sample);
await keys.waitForSelector('#out .frame');
await tabTo('run');
await keys.keyboard.press('Enter');
await tabTo('get-listing');
const [byKeys] = await Promise.all([keys.waitForEvent('download'), keys.keyboard.press('Enter')]);
check('open, run and download from the keyboard', byKeys.suggestedFilename().endsWith('.lst'));
await page.setViewportSize({ width: 1280, height: 900 });
// The example opened as a file, not typed: a text box turns its CR LF line ends into LF, and the
// report page made from it is compared with tosim-report --html's page of the same bytes.
const examplesRun = Number(await page.getAttribute('body', 'data-runs'));
await page.setInputFiles('#file', path.join(root, 'examples/plans.txt'));
await page.waitForFunction((n) => Number(document.body.dataset.runs) > n, examplesRun);
await renderAll(page);
await page.screenshot({ path: path.join(out, 'screenshot-1280.png'), fullPage: true,
  clip: { x: 0, y: 0, width: 1280, height: 1500 } });

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
  const made = spawnSync(report, ['--html', html, '--protocols', example]);
  check('tosim-report --html --protocols writes the page', made.status === 0, made.stderr.toString());
  reports.push(html);
  // One filler of the page: the two differ only in the file's name and the date.
  const withoutNameAndDate = (file) => fs.readFileSync(file, 'utf8')
    .replace(/\{"name":"[^"]*","made":"[^"]*",/, '{');
  check('the page\'s report and tosim-report --html --protocols are the same page but for name and date',
    withoutNameAndDate(reports[0]) === withoutNameAndDate(html));
  const before = fs.readFileSync(example);
  const refused = spawnSync(report, ['--html', example, example]);
  check('--html refuses to write over the plan file', refused.status === 5 &&
    fs.readFileSync(example).equals(before), `status ${refused.status}`);
}
if (report) {
  const ten = path.join(work, 'ten.txt');
  fs.writeFileSync(ten, TEN + '\r\n', 'latin1');
  const tenHtml = path.join(work, 'ten.html');
  spawnSync(report, ['--html', tenHtml, '--protocols', ten]);
  const opened = await openPage('file://' + tenHtml, (url) => url === 'file://' + tenHtml, 390);
  await opened.waitForSelector('#out .plan');
  await openViews(opened);
  const missed = await unreachableCells(opened);
  const plainHtml = path.join(work, 'ten-plain.html');
  spawnSync(report, ['--html', plainHtml, ten]);
  check('without --protocols, --html\'s page has no protocol view',
    !fs.readFileSync(plainHtml, 'utf8').includes('"protocols":'));
  const tenJson = JSON.parse(spawnSync(report, ['--json', '--protocols', ten]).stdout.toString());
  const tenProblems = protocolProblems((await shownProtocols(opened))[0], tenJson.protocols);
  check('the report page has the protocol view of --json --protocols', tenProblems.length === 0,
    tenProblems.slice(0, 5).join('; '));
  check('the report page at 390 px: every grid, trace and step cell scrolls into view',
    missed.length === 0, missed.slice(0, 5).join(' | '));
  await opened.close();
}
for (const file of reports) {
  const opened = await openPage('file://' + file, (url) => url === 'file://' + file);
  await opened.waitForSelector('#out .frame');
  check(`${path.basename(file)} opens from file:// with a trace and plans`,
    (!report || (await opened.$$('#out .plan')).length > 0) && (await opened.$$('#out tr.tl')).length > 0);
  check(`${path.basename(file)} asks for nothing`, opened.stray.length === 0, opened.stray.join(' '));
  await renderAll(opened);
  check(`${path.basename(file)} shows tosim's trace`, (await shownTrace(opened)) === exampleTrace);
  const firstLine = fs.readFileSync(path.join(root, 'examples/plans.txt'), 'latin1').split(/\r\n|\r|\n/)[0];
  check(`${path.basename(file)} shows each plan line, the file's name and the date`,
    (await opened.textContent('#out .source')) === firstLine &&
    /Fichero de planes: .+, generado el /.test(await opened.textContent('#out .about')));
}

// 5. The exercise sheet, from the page and from tosim-report --html --exercises: the questions
// without a decision in sight, and the answers after them, from a new printed page on.
const [sheetDownload] = await Promise.all([page.waitForEvent('download'),
  page.click('#get-exercises')]);
const sheets = [path.join(work, 'sheet-from-page.html')];
await sheetDownload.saveAs(sheets[0]);
if (report) {
  sheets.push(path.join(work, 'sheet.html'));
  const made = spawnSync(report, ['--html', sheets[1], '--exercises', path.join(work, 'plans.txt')]);
  check('tosim-report --html --exercises writes the sheet', made.status === 0, made.stderr.toString());
}
for (const file of sheets) {
  const opened = await openPage('file://' + file, (url) => url === 'file://' + file);
  await opened.waitForSelector('#out .answer-key');
  const sheet = await opened.evaluate(() => ({
    exercises: document.querySelectorAll('.exercises .exercise').length,
    answers: document.querySelectorAll('.answer-key .exercise').length,
    questions: [...document.querySelectorAll('.exercises .questions')].map((q) => q.children.length),
    decided: document.querySelectorAll('.exercises .ok, .exercises .abort, .exercises .skip').length,
    firstAnswers: [...document.querySelectorAll('.answer-key .answers li')].slice(0, 6)
      .map((li) => li.textContent),
  }));
  const name = path.basename(file);
  check(`${name}: an exercise and an answer for each plan of the example`,
    sheet.exercises === 6 && sheet.answers === 6, JSON.stringify(sheet));
  check(`${name}: six questions each, and no decision shown before the answers`,
    sheet.questions.every((n) => n === 6) && sheet.decided === 0, JSON.stringify(sheet));
  // The example's first plan, P1; T1; T2; R1(A); R2(B); W2(B); W1(A); C1; C2, worked by hand.
  check(`${name}: the answers to the first plan`, JSON.stringify(sheet.firstAnswers) === JSON.stringify([
    'T1=1, T2=2', 'rechazadas: ninguna; Escrituras ignoradas (regla de Thomas): ninguna',
    'Validadas: T1, T2; Abortadas: ninguna', 'sí, orden T1 → T2', 'sí, orden T1 → T2',
    'Recuperable: sí; Sin abortos en cascada: sí; Estricto: sí']), JSON.stringify(sheet.firstAnswers));
  if (file === sheets[0]) {
    await opened.setViewportSize({ width: 1000, height: 1100 });
    await opened.screenshot({ path: path.join(out, 'screenshot-exercises.png') });
  }
  await opened.emulateMedia({ media: 'print' });
  check(`${name}: in print the answers start on a page of their own`, await opened.evaluate(() =>
    getComputedStyle(document.querySelector('.answer-key')).breakBefore === 'page'));
  await opened.close();
}

await browser.close();
server.close();
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
