// The playground: runs tosim's engine on the plans typed or opened, shows the result with the
// renderer it shares with the report page (render/), and offers the listing, the JSON Lines and
// the report page.
import createEngine from './engine.mjs';
import { plural } from './render/common.js';
import { render } from './render/output.js';

const engine = createEngine();
const $ = (id) => document.getElementById(id);
const CONSOLE = 0;
const LISTING = 1;
const REPORT = 2;
const REPORT_PAGE = 3;
const LABELS = 4;
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
    },
  };
  render($('out'), last.data, { rules: 'protocolos.html' });
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
$('get-listing').addEventListener('click', () =>
  download([last.listing], 'application/octet-stream', baseName() + '.lst'));
$('get-json').addEventListener('click', () =>
  download([last.jsonl], 'application/x-ndjson', baseName() + '.jsonl'));
$('get-report').addEventListener('click', async () =>
  download([await reportPage()], 'text/html', baseName() + '.html'));
$('get-exercises').addEventListener('click', async () =>
  download([await reportPage(true)], 'text/html', baseName() + '-ejercicios.html'));
$('share').addEventListener('click', () => {
  const url = new URL(location.href);
  url.hash = 'plan=' + encodeURIComponent($('plans').value);
  $('link').value = url.href;
  $('link').hidden = false;
  $('link').select();
  history.replaceState(null, '', url.href);
});

const shared = new URLSearchParams(location.hash.slice(1)).get('plan');
if (shared !== null) $('plans').value = shared;
await engine;
document.body.dataset.ready = 'true';
if (shared !== null) await run();
