// The «Protocolos» view: on every case file the same cells and lines as tosim-report --protocols
// and the waits-for graphs of --json --protocols; on the worked example, the view folded, the
// choice of protocols and the plan's text kept in view; and the page of the rules.
import path from 'node:path';
import { check, openPage, runTyped, same } from './setup.mjs';

export const PROTOCOLS = ['to', 'to_basic', 'strict_to', 'mvto', '2pl', 'wait_die', 'wound_wait', 'occ',
  'si'];

// What the page shows of every plan's protocol view: the step grid's rows as text and the cells'
// tooltips, each protocol's history as the line tosim-report --protocols writes ("name: title
// text; ..."), and its waits-for graph's red edges and marked victims.
export const shownProtocols = (page) => page.$$eval('#out .plan', (plans) => plans.map((plan) => {
  const view = plan.querySelector('.protocols');
  if (!view) return null;
  const text = (row) => [...row.cells].map((cell) => cell.textContent);
  return {
    rows: [...view.querySelector('.steps').rows].map(text),
    titles: [...view.querySelector('.steps').rows].map((row) => [...row.cells].map((cell) => cell.title)),
    histories: Object.fromEntries([...view.querySelectorAll('.history')].map((h) => [h.dataset.protocol, {
      line: h.dataset.protocol + ': ' + [...h.querySelectorAll('dd')]
        .map((d) => d.previousElementSibling.textContent + ' ' + d.textContent).join('; '),
      lists: Object.fromEntries([...h.querySelectorAll('dd')].map((d) => [d.dataset.key, d.textContent])),
      cycleEdges: [...h.querySelectorAll('.edge.cycle')].map((e) => [Number(e.dataset.from), Number(e.dataset.to)]),
      victims: [...h.querySelectorAll('.node.victim')].map((n) => Number(n.dataset.t)),
    }])),
  };
}));

// The protocol lab in a block of tosim-report --protocols's summary: the table's rows (cells
// stand two spaces or more apart), each protocol's line, and under it, indented further, why
// each step that did not simply execute went as it did ("W1(B): the sentence").
function protocolsText(block) {
  const lines = block.split('\n');
  const start = lines.findIndex((line) => line.trim() === 'Protocolos:');
  const rows = [];
  const histories = {};
  const whys = {};
  let protocol = null;
  for (const line of lines.slice(start + 1).filter((l) => l.trim())) {
    const name = PROTOCOLS.find((p) => line.trim().startsWith(p + ': '));
    if (line.startsWith('      ')) {
      const at = line.indexOf(': ');
      whys[protocol].push([line.slice(6, at), line.slice(at + 2)]);
    } else if (name) {
      histories[name] = line.trim();
      protocol = name;
      whys[name] = [];
    } else {
      rows.push(line.trim().split(/ {2,}/));
    }
  }
  return { rows, histories, whys };
}

const sortedUnique = (list) => [...new Set(list.map((x) => JSON.stringify(x)))].sort();

// Where the protocol view of one plan differs from tosim-report --protocols's block and from the
// lab `lab` of --json --protocols.
export function protocolProblems(shown, block, lab) {
  if (!shown) return ['no protocol view'];
  const problems = [];
  const expect = (what, ok) => { if (!ok) problems.push(what); };
  const text = protocolsText(block);
  expect('the columns are the operation and the nine protocols in order',
    same(shown.rows[0], text.rows[0]) && same(shown.rows[0].slice(1), PROTOCOLS));
  expect(`as many rows as the summary's table: ${shown.rows.length}`, shown.rows.length === text.rows.length);
  shown.rows.forEach((row, i) => {
    if (!same(row, text.rows[i])) expect(`row ${i}: «${row.join(' | ')}»`, false);
  });
  // Each step that did not simply execute says why on hover, in the summary's words; a read's
  // cell adds which version it read.
  const says = (title, op, why) => title === why || (op[0] === 'R' && title.startsWith(why + '. '));
  PROTOCOLS.forEach((name, p) => {
    let row = 1;
    for (const [op, why] of text.whys[name] || []) {
      while (row < shown.rows.length && !(shown.rows[row][0] === op &&
        says(shown.titles[row][1 + p] || '', op, why))) row++;
      expect(`${name} ${op}: the cell says on hover «${why}»`, row < shown.rows.length);
      row++;
    }
  });
  for (const name of PROTOCOLS) {
    const { line, cycleEdges, victims } = shown.histories[name] || {};
    expect(`«${line}» is «${text.histories[name]}»`, line === text.histories[name]);
    const run = lab[name];
    const cycles = run.deadlocks.flatMap(({ cycle }) => cycle.slice(1).map((t, i) => [cycle[i], t]));
    expect(`${name} waits-for graph: the deadlocks' edges in red, the victims marked`,
      same(sortedUnique(cycleEdges || []), sortedUnique(cycles)) &&
      same(sortedUnique(victims || []), sortedUnique(run.deadlocks.map((d) => d.victim))));
  }
  return problems;
}

// The worked example: each transaction reads what the other then writes, and every protocol
// decides it its own way (a deadlock under 2pl, a death, a wound, a failed validation). Its cells
// and lines are those of tosim-report --protocols, checked with every case file's.
export const EXAMPLE = 'P1; T1; T2; R1(A); R2(B); W1(B); W2(A); C1; C2';

export async function run({ page, browser, origin, own, out }) {
  await runTyped(page, EXAMPLE);
  check('the view is folded at first and keeps the plan\'s text',
    (await page.getAttribute('.protocols', 'open')) === null &&
    (await page.textContent('.protocols .plan-text')) === EXAMPLE);

  // All nine shown at first; a protocol left out leaves the grid and the histories.
  await page.click('.protocols summary');
  await (await page.$('.protocols')).screenshot({ path: path.join(out, 'screenshot-protocols.png') });
  const shownNames = () => page.$$eval('.protocols .steps th[data-protocol], .protocols .history',
    (parts) => parts.filter((part) => part.getClientRects().length > 0)
      .map((part) => part.dataset.protocol));
  check('all nine protocols shown at first', same(await shownNames(), [...PROTOCOLS, ...PROTOCOLS]),
    (await shownNames()).join());
  await page.uncheck('.protocols .choice input[value="to"]');
  await page.uncheck('.protocols .choice input[value="occ"]');
  const seven = PROTOCOLS.filter((name) => name !== 'to' && name !== 'occ');
  check('two protocols left out leave the grid and the histories', same(await shownNames(), [...seven, ...seven]),
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
  const rules = await openPage(browser, origin + '/protocolos.html', own, 390);
  const ruleTerms = await rules.$$eval('.protocol-rules dt', (terms) => terms.map((t) => t.textContent));
  check('the rules page states the replay and each protocol\'s rule',
    (await rules.textContent('h1')) === 'Las reglas de los protocolos' &&
    (await rules.textContent('#reproduccion')).includes('cola pendiente') &&
    PROTOCOLS.every((name) => ruleTerms.some((term) => term.includes(name))), ruleTerms.join(' | '));
  check('the rules page fits 390 px and asks for nothing but its own files', rules.stray.length === 0 &&
    await rules.evaluate(() => document.documentElement.scrollWidth <= innerWidth));
  await rules.close();
}
