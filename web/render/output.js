// The output of a run: for each line of the plan file its trace and, for every plan on it, a
// panel with its grid, graph, verdicts and protocol view; drawn a chunk of lines at a time as the
// reader scrolls towards them.
import { decode1252, el, planLines, scrolling, useLabels, word } from './common.js';
import { precedenceGraph } from './graph.js';
import { scheduleGrid } from './grid.js';
import { isolationSection } from './isolation.js';
import { practiceForm } from './practice.js';
import { protocolView } from './protocols.js';
import { traceFrames, traceTable, traceLabels } from './trace.js';
import { verdictSections, warningList } from './verdicts.js';

const FRAMES_PER_CHUNK = 25;
// A plan's cells to fill in weigh more than its output: fewer lines at a time in practice.
const PRACTICE_FRAMES_PER_CHUNK = 4;

function planPanel(report, source, options) {
  const panel = el('section', report.plan === null ? 'plan no-plan' : 'plan');
  panel.dataset.line = report.line;
  if (report.plan === null) {
    panel.append(el('h3', '', word('line') + ' ' + report.line + ', ' + word('no_plan')));
    if ((report.warnings || []).length) panel.append(warningList(report));
    return panel;
  }
  panel.dataset.plan = report.plan;
  panel.append(el('h3', '', 'Plan P' + report.plan));
  if ((report.warnings || []).length) panel.append(warningList(report));
  const pictures = el('div', 'pictures');
  pictures.append(scrolling(scheduleGrid(report), 'Planificación del plan P' + report.plan +
    ', línea ' + report.line), precedenceGraph(report));
  panel.append(pictures, ...verdictSections(report));
  if (report.isolation) panel.append(isolationSection(report));
  if (report.protocols) panel.append(protocolView(report, source, options));
  return panel;
}

// In practice, a plan's panel is its warnings and the cells to fill in; what the run did (the
// plan's own panel, and the line's trace with it) stays hidden until the solution is asked for.
function practicePanel(report, source, options, labels, showTrace) {
  const practice = options.practice;
  const state = practice.state(report.index);
  state.index = report.index;
  const box = el('section', 'plan practicing');
  box.dataset.line = report.line;
  box.dataset.plan = report.plan;
  box.append(el('h3', '', 'Plan P' + report.plan));
  if ((report.warnings || []).length) box.append(warningList(report));
  // The plan's own panel is drawn when first asked for.
  const solution = el('div', 'solution');
  const show = (shown) => {
    solution.hidden = !shown;
    if (shown && !solution.firstChild) {
      const panel = planPanel(report, source, options);
      panel.querySelector(':scope > .warnings')?.remove();
      solution.append(panel);
    }
  };
  show(Boolean(state.solution));
  const form = practiceForm(report, state, (entry) => labels.get(entry), {
    check: () => practice.check(report.index),
    changed: () => practice.changed(),
    solution: (shown) => {
      show(shown);
      showTrace();
    },
  });
  practice.forms.set(report.index, form);
  box.append(form.element, solution);
  return box;
}

function frameSection({ number, reports, rows }, source, options) {
  const section = el('article', 'frame');
  section.append(el('h2', '', 'Línea ' + number));
  if (source !== undefined) section.append(el('pre', 'source', source || ' '));
  const trace = scrolling(traceTable(rows), 'Traza de la línea ' + number);
  section.append(trace);
  if (!options.practice) {
    for (const report of reports) section.append(planPanel(report, source, options));
    return section;
  }
  // The trace shows once the solution of a plan of the line is shown.
  const labels = traceLabels(rows);
  const states = reports.filter((r) => r.plan !== null).map((r) => options.practice.state(r.index));
  const showTrace = () => {
    trace.hidden = !states.some((state) => state.solution);
  };
  showTrace();
  for (const report of reports) {
    section.append(report.plan === null ? planPanel(report, source, options)
      : practicePanel(report, source, options, labels, showTrace));
  }
  return section;
}

// What the colours and marks mean, once above the output, in the words of the table of labels.
function legend(withProtocols) {
  const box = el('div', 'legend');
  box.append(el('strong', '', 'Leyenda:'));
  const keys = [
    ['ok', ['executed', 'committed', 'begun'].map((d) => word('decision.' + d)).join(' / ')],
    ['abort', word('decision.rejected')], ['skip', word('decision.skipped')],
    ['aborted', word('decision.aborted')], ['err', word('decision.error')],
  ];
  for (const [cls, text] of keys) box.append(el('span', 'key ' + cls, text));
  box.append(el('span', 'key cycle-edge', 'arista de un ciclo del grafo'));
  if (withProtocols) {
    for (const [cls, text] of [
      ['dropped', word('step.dropped') + ' (' + word('step.dropped.victim') + ', ' +
        word('step.dropped.wounded') + ')'],
      ['ignored', word('step.ignored')], ['pending', word('step.pending') + ' al final'],
      ['waited', 'esperó antes de decidirse']]) {
      box.append(el('span', 'key ' + cls, text));
    }
  }
  return box;
}

let observer = null;
let renderRest = () => {};
addEventListener('beforeprint', () => renderRest());

// Draws `data` ({trace: bytes or byte string, reports: [...], labels, and optionally plans, name
// and made, and counters: per report the timestamp counter at its plan's start}) into `root`.
// `options.rules`: the address of the page with the protocols' rules, when there is one;
// `options.shown` and `options.onShown`: the protocols shown at first, and who hears of a change;
// `options.practice`: the practice mode ({state(index), check(index), changed(), forms}).
export function render(root, data, options = {}) {
  useLabels(data.labels);
  data.reports.forEach((report, index) => {
    report.index = index;
    if (data.counters) report.counter = data.counters[index];
  });
  if (observer) observer.disconnect();
  root.replaceChildren();
  root.removeAttribute('data-complete');
  const frames = traceFrames(decode1252(data.trace), data.reports);
  // The plan file itself, when the data carries it: each line is shown above its trace.
  const sources = data.plans === undefined ? null : planLines(decode1252(data.plans));
  if (data.name || data.made) {
    root.append(el('p', 'about', [data.name && 'Fichero de planes: ' + data.name,
      data.made && 'generado el ' + data.made].filter(Boolean).join(', ')));
  }
  root.append(legend(data.reports.some((report) => report.protocols)));
  let next = 0;
  const sentinel = el('div', 'sentinel');
  const more = () => {
    const end = Math.min(frames.length,
      next + (options.practice ? PRACTICE_FRAMES_PER_CHUNK : FRAMES_PER_CHUNK));
    const chunk = document.createDocumentFragment();
    for (; next < end; next++) {
      chunk.append(frameSection(frames[next], sources ? sources[next] : undefined, options));
    }
    root.insertBefore(chunk, sentinel);
    if (next >= frames.length) {
      observer.disconnect();
      sentinel.remove();
      root.dataset.complete = 'true';
    }
  };
  root.append(sentinel);
  // Printing shows the whole output, not just what scrolling has drawn so far.
  renderRest = () => {
    while (next < frames.length) more();
  };
  observer = new IntersectionObserver((entries) => {
    if (!entries.some((entry) => entry.isIntersecting)) return;
    more();
    // Observed anew, the sentinel is reported again if it is still in reach.
    if (next < frames.length) {
      observer.unobserve(sentinel);
      observer.observe(sentinel);
    }
  }, { rootMargin: '1500px' });
  more();
  if (next < frames.length) observer.observe(sentinel);
}
