// The playground: runs tosim's engine on the plans typed or opened, shows the result with the
// renderer it shares with the report page (render/), and offers the listing, the JSON Lines and
// the report page.
import createEngine from './engine.mjs';
import { plural, word } from './render/common.js';
import { render } from './render/output.js';
import { answerOf, answeredKeys } from './render/practice.js';
import { PROTOCOLS } from './render/protocols.js';

const engine = createEngine();
const $ = (id) => document.getElementById(id);
const CONSOLE = 0;
const LISTING = 1;
const REPORT = 2;
const REPORT_PAGE = 3;
const LABELS = 4;
const MARKS = 5;
const COUNTERS = 7;
const GENERATED = 8;
const GENERATOR_WORDS = 9;
const SHOWN_AT_MOST = 128 * 1024;
// The protocol lab makes the reports about ten times longer: plan files up to this size get it,
// as tosim-report --html --protocols takes them.
const PROTOCOLS_AT_MOST = 1024 * 1024;

// Windows-1252, the plan files' code page: bytes to text and back (other characters become "?").
const toText = (bytes) => new TextDecoder('windows-1252').decode(bytes);
const codePage = new Map();
for (let byte = 255; byte >= 0; byte--) codePage.set(toText(Uint8Array.of(byte)), byte);
function toBytes(text) {
  const bytes = new Uint8Array(text.length);
  let size = 0;
  for (const ch of text) bytes[size++] = codePage.has(ch) ? codePage.get(ch) : 0x3f;
  return bytes.subarray(0, size);
}

// The plan file's own bytes while the text shown is the file unchanged.
let openedBytes = null;
let fileName = 'planes.txt';
let last = null;

// The protocols shown in the lab's views (the choice of the last view changed), and the practice:
// per report of the last run what the student wrote, the engine's last marks and whether the
// solution is shown. Both live in this browser's local storage and travel nowhere else.
const shown = new Set(PROTOCOLS);
let states = [];
let statesOf = null;  // the plans and the switch the states answer
const STORE = 'tosim-practice';

function save() {
  if (!last) return;
  try {
    localStorage.setItem(STORE, JSON.stringify({ plans: $('plans').value, alone: $('alone').checked,
      practice: $('practice').checked, shown: [...shown], states }));
  } catch {
    // Storage full or refused: the practice goes on without it.
  }
}

// The engine's marks for plan `index`: every plan of the run goes to the engine in order, only
// this one with its answers, so that a line with two plans of one number is answered right.
async function check(index) {
  const started = performance.now();
  const M = await engine;
  const reports = last.data.reports;
  const answer = answerOf(reports[index], states[index].values);
  const lines = reports.map((report, j) =>
    JSON.stringify(j === index ? answer : { line: report.line, plan: report.plan })).join('\n');
  const bytes = new TextEncoder().encode(lines);
  const at = M._malloc(bytes.length + 1);
  M.HEAPU8.set(bytes, at);
  const engineStarted = performance.now();
  M._tosim_check(at, bytes.length);
  document.body.dataset.checkMs = (performance.now() - engineStarted).toFixed(2);
  M._free(at);
  const start = M._tosim_output(MARKS);
  const marks = new TextDecoder().decode(M.HEAPU8.subarray(start, start + M._tosim_output_size(MARKS)))
    .split('\n')[index];
  states[index].marks = JSON.parse(marks);
  states[index].checked = answeredKeys(answer);
  practice.forms.get(index)?.draw();
  showTotal();
  save();
  document.body.dataset.checkTotalMs = (performance.now() - started).toFixed(2);
  document.body.dataset.checks = Number(document.body.dataset.checks || 0) + 1;
}

// WebAssembly is compiled function by function on first use: a first check, of a plan with
// nothing but empty rows, while the page is idle, so that the student's first «Comprobar» does
// not wait for it.
async function warmUp() {
  const M = await engine;
  const report = last.data.reports.find((r) => r.plan !== null);
  if (!report) return;
  const bytes = new TextEncoder().encode(JSON.stringify({ line: report.line, plan: report.plan,
    trace: report.trace.map(() => ({})), committed: [], conflict_order: [] }));
  const at = M._malloc(bytes.length + 1);
  M.HEAPU8.set(bytes, at);
  M._tosim_check(at, bytes.length);
  M._free(at);
}

// The page's score: the cells right or consistent of all cells checked, over the plans checked.
function showTotal() {
  let good = 0;
  let marked = 0;
  for (const state of states) {
    if (!state || !state.marks) continue;
    good += state.marks.right + state.marks.consistent;
    marked += state.marks.right + state.marks.wrong + state.marks.consistent;
  }
  $('practice-total').hidden = !$('practice').checked || marked === 0;
  $('practice-total').textContent = word('practice.total') + ': ' + good + ' ' + word('check.of') + ' ' + marked;
}

const practice = {
  forms: new Map(),
  state: (index) => (states[index] ||= {}),
  check,
  changed: save,
};

// Draws the last run, in practice or not.
function draw() {
  practice.forms.clear();
  render($('out'), last.data, {
    rules: 'protocolos.html',
    shown,
    onShown: (name, visible) => {
      if (visible) shown.add(name);
      else shown.delete(name);
      save();
    },
    practice: $('practice').checked ? practice : null,
  });
  $('get-answers').hidden = !$('practice').checked;
  showTotal();
  if ($('practice').checked) (window.requestIdleCallback || setTimeout)(warmUp);
}

async function run() {
  const M = await engine;
  const plan = openedBytes || toBytes($('plans').value);
  const at = M._malloc(plan.length + 1);
  M.HEAPU8.set(plan, at);
  const protocols = plan.length <= PROTOCOLS_AT_MOST;
  M._tosim_run(at, plan.length, protocols ? 1 : 0, $('alone').checked ? 1 : 0);
  M._free(at);
  const output = (which) => {
    const start = M._tosim_output(which);
    return M.HEAPU8.slice(start, start + M._tosim_output_size(which));
  };
  const report = new TextDecoder().decode(output(REPORT));
  last = {
    listing: output(LISTING),
    jsonl: report,
    data: {
      plans: plan,
      trace: output(CONSOLE),
      reports: JSON.parse('[' + report.replace(/\n(?=.)/g, ',') + ']'),
      labels: JSON.parse(new TextDecoder().decode(output(LABELS))),
      counters: JSON.parse(new TextDecoder().decode(output(COUNTERS))),
    },
  };
  // The answers stay while the plans and the switch do.
  const now = $('plans').value + '\n' + $('alone').checked;
  if (statesOf !== now) states = [];
  statesOf = now;
  draw();
  for (const button of document.querySelectorAll('.after-run')) button.disabled = false;
  // A line without a plan has a report too; it is not a plan.
  const plans = last.data.reports.filter((report) => report.plan !== null).length;
  $('status').textContent = (plans ? plural(plans, 'plan', 'planes') : 'ningún plan') + ', ' +
    plural(last.listing.length, 'byte', 'bytes') + ' de traza' +
    (protocols ? '' : '; sin la vista de protocolos (el fichero pasa de 1 MiB)');
  setStale(false);
  document.body.dataset.runs = Number(document.body.dataset.runs || 0) + 1;
}

// Chromium drops, without a word, a page's download that comes after ten in a burst of one
// second (it counts from the burst's first download). Downloads are therefore let out one at a
// time, at least DOWNLOAD_GAP_MS apart, so that however fast the clicks come each gives its
// file. The object URL lives on long after the click: the file may be fetched later.
const DOWNLOAD_GAP_MS = 120;
const URL_LIFETIME_MS = 60 * 1000;
let downloads = Promise.resolve();
let lastDownload = -Infinity;

function saveFile(parts, type, name) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob(parts, { type }));
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), URL_LIFETIME_MS);
}

function download(parts, type, name) {
  const saved = downloads.then(async () => {
    const wait = lastDownload + DOWNLOAD_GAP_MS - performance.now();
    if (wait > 0) await new Promise((resolve) => setTimeout(resolve, wait));
    lastDownload = performance.now();
    saveFile(parts, type, name);
  });
  // One failed download does not hold up those after it.
  downloads = saved.catch(() => {});
  return saved;
}

const baseName = () => fileName.replace(/\.[^.]*$/, '');

// The report page, made by the engine as tosim-report --html makes it, for the last run; with
// `exercises`, the exercise sheet of tosim-report --html --exercises.
async function reportPage(exercises = false) {
  const M = await engine;
  const utf8 = (text) => {
    const bytes = new TextEncoder().encode(text);
    const at = M._malloc(bytes.length + 1);
    M.HEAPU8.set(bytes, at);
    return [at, bytes.length];
  };
  const [name, nameSize] = utf8(fileName);
  const [made, madeSize] = utf8(new Date().toLocaleString('es-ES'));
  M._tosim_make_report_page(name, nameSize, made, madeSize, exercises ? 1 : 0);
  M._free(name);
  M._free(made);
  const start = M._tosim_output(REPORT_PAGE);
  return M.HEAPU8.slice(start, start + M._tosim_output_size(REPORT_PAGE));
}

$('file').addEventListener('change', async () => {
  const file = $('file').files[0];
  if (!file) return;
  openedBytes = new Uint8Array(await file.arrayBuffer());
  fileName = file.name;
  // A large file would take the text box seconds to lay out: it is run, not shown there.
  const shown = openedBytes.length <= SHOWN_AT_MOST;
  $('plans').value = shown ? toText(openedBytes) : '';
  $('plans').placeholder = shown ? '' : `${fileName}: ${openedBytes.length} bytes (demasiado para mostrarlo aquí; escriba para empezar de nuevo)`;
  await run();
});
// After an edit the output shown is the old text's until the next run.
function setStale(stale) {
  $('stale').hidden = !stale;
  $('out').classList.toggle('stale', stale);
}
// The switch changes what a run means: the output shown is stale until the next run.
$('alone').addEventListener('change', () => {
  if (last) setStale(true);
});
$('plans').addEventListener('input', () => {
  openedBytes = null;
  if (last) setStale(true);
});
$('plans').addEventListener('keydown', (event) => {
  if (event.key === 'Enter' && (event.ctrlKey || event.metaKey)) {
    event.preventDefault();
    run();
  }
});
$('run').addEventListener('click', run);

// «Nuevo ejercicio»: the engine generates as tosim-gen does, from the arguments tosim-gen would
// be given; the plans fill the plan box and run, each plan alone, as the exercise means them.
function generatorArguments() {
  const list = [];
  for (const [option, id] of [['--transactions', 'gen-transactions'], ['--items', 'gen-items'],
    ['--operations', 'gen-operations'], ['--count', 'gen-count']]) {
    if ($(id).value !== '') list.push(option, $(id).value);
  }
  const properties = [...document.querySelectorAll('#generate [data-property]:checked')]
    .map((box) => box.dataset.property);
  if (properties.length) list.push('--property', properties.join(','));
  if ($('gen-seed').value !== '') list.push('--seed', $('gen-seed').value);
  if ($('gen-minimal').checked) list.push('--minimal');
  return list;
}

async function generate() {
  const M = await engine;
  const utf8 = new TextEncoder();
  const list = utf8.encode(generatorArguments().map((argument) => argument + '\0').join(''));
  // The clock's seed, as tosim-gen takes it: microseconds since 1970, in decimal.
  const clock = utf8.encode(String(Date.now() * 1000));
  const at = M._malloc(list.length + clock.length + 1);
  M.HEAPU8.set(list, at);
  M.HEAPU8.set(clock, at + list.length);
  $('gen-run').disabled = true;
  // The search runs to its end at once: the button shows it is busy first.
  await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve)));
  const status = M._tosim_generate(at, list.length, at + list.length, clock.length);
  $('gen-run').disabled = false;
  M._free(at);
  const output = (which) => {
    const start = M._tosim_output(which);
    return M.HEAPU8.slice(start, start + M._tosim_output_size(which));
  };
  $('gen-status').textContent = new TextDecoder().decode(output(GENERATOR_WORDS));
  document.body.dataset.generations = Number(document.body.dataset.generations || 0) + 1;
  if (status !== 0) return;
  openedBytes = output(GENERATED);
  fileName = 'ejercicios.txt';
  $('plans').value = toText(openedBytes);
  $('plans').placeholder = '';
  $('alone').checked = true;
  await run();
}
$('gen-run').addEventListener('click', generate);
$('get-plans').addEventListener('click', () =>
  download([last.data.plans], 'text/plain', baseName() + '.txt'));
$('get-listing').addEventListener('click', () =>
  download([last.listing], 'application/octet-stream', baseName() + '.lst'));
$('get-json').addEventListener('click', () =>
  download([last.jsonl], 'application/x-ndjson', baseName() + '.jsonl'));
$('get-report').addEventListener('click', async () =>
  download([await reportPage()], 'text/html', baseName() + '.html'));
$('get-exercises').addEventListener('click', async () =>
  download([await reportPage(true)], 'text/html', baseName() + '-ejercicios.html'));
// The student's answers, in the form of tosim-report --check's answer file: the plans answered.
$('get-answers').addEventListener('click', () => {
  const lines = last.data.reports.map((report, index) => answerOf(report, (states[index] || {}).values))
    .filter((answer) => Object.keys(answer).length > 2).map((answer) => JSON.stringify(answer) + '\n');
  download(lines, 'application/x-ndjson', baseName() + '-respuestas.jsonl');
});
$('practice').addEventListener('change', () => {
  if (last) draw();
  save();
});
// The link holds the plans and the settings: each plan on its own, the protocols shown, and
// practice (a teacher's link opens in it); never the answers.
$('share').addEventListener('click', () => {
  const url = new URL(location.href);
  const settings = new URLSearchParams({ plan: $('plans').value });
  if ($('alone').checked) settings.set('alone', '1');
  if ($('practice').checked) settings.set('practice', '1');
  if (shown.size < PROTOCOLS.length) settings.set('protocols', [...shown].join(','));
  url.hash = settings.toString();
  $('link').value = url.href;
  $('link').hidden = false;
  $('link').select();
  history.replaceState(null, '', url.href);
});

// A shared link sets the plans and the settings; otherwise a practice left open comes back.
const params = new URLSearchParams(location.hash.slice(1));
const shared = params.get('plan');
let stored = null;
try {
  stored = JSON.parse(localStorage.getItem(STORE));
} catch {
  stored = null;
}
const settings = shared !== null ? { plans: shared, alone: params.get('alone') === '1',
  practice: params.get('practice') === '1',
  shown: params.has('protocols') ? params.get('protocols').split(',') : PROTOCOLS }
  : stored && stored.practice ? stored : null;
if (settings) {
  $('plans').value = settings.plans;
  $('alone').checked = settings.alone;
  $('practice').checked = settings.practice;
  shown.clear();
  for (const name of settings.shown || PROTOCOLS) if (PROTOCOLS.includes(name)) shown.add(name);
  if (stored && stored.plans === settings.plans && stored.alone === settings.alone) {
    states = stored.states || [];
    statesOf = settings.plans + '\n' + settings.alone;
  }
}
await engine;
document.body.dataset.ready = 'true';
if (settings) await run();
