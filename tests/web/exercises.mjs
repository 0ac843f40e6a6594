// The exercise sheet, from the playground and from tosim-report --html --exercises: the questions
// without a decision in sight, and the answers after them, from a new printed page on; and no
// accessibility violation axe-core finds.
import { spawnSync } from 'node:child_process';
import path from 'node:path';
import fs from 'node:fs';
import { check, numbers, openFile, same, saveDownload, summaryBlocks, violations } from './setup.mjs';

// Where the answer key of one case file's sheet (the answers of each exercise, one a plan) names
// other values than the reports of --json: the timestamps, the operations rejected (the trace's
// entries whose decision is "rejected": an operation that aborted its transaction, not the
// plan's own A) and the writes skipped, the filled table (every operation of the trace: its
// decision, TS_lect and TS_escr, "—" where the trace shows none), the transactions validated and
// aborted, and the verdicts on the plan as written; and the table to fill in, a row per
// operation of the trace. `drawn`: the sheet's answers, filled tables and rows to fill in.
export function answerKeyProblems({ answers, keyTables, fillRows }, json, labels) {
  const plans = json.filter((r) => r.plan !== null);
  const problems = plans.length === answers.length ? [] : [`${answers.length} answers for ${plans.length} plans`];
  const stamp = (value) => (value === null ? '—' : String(value));
  // A list of operations after its title, as the sheet writes it: «ninguna» when empty.
  const list = (items) => (items.length ? items.join(', ') : 'ninguna');
  const yes = (text, value) => text.startsWith(labels[value ? 'yes' : 'no']);
  plans.forEach((r, i) => {
    const [stamps, accesses, ended, conflict, view, recovery] = answers[i] || [];
    const expect = (what, ok) => { if (!ok) problems.push(`P${r.plan} (line ${r.line}): ${what}`); };
    expect(`«${stamps}»`, same(Object.fromEntries([...(stamps || '').matchAll(/T(\d+)=(\d+)/g)]
      .map((m) => [m[1], Number(m[2])])), r.timestamps));
    const [rejected, skipped] = (accesses || '').split('; ').map((part) => part.slice(part.indexOf(': ') + 2));
    expect(`«${accesses}»`, rejected === list(r.trace.filter((entry) => entry.decision === 'rejected')
      .map((entry) => entry.op)) && skipped === list(r.skipped_writes));
    const [committed, aborted] = (ended || '').split('; ');
    expect(`«${ended}»`, same(numbers(committed), r.committed) && same(numbers(aborted), r.aborted));
    expect(`«${conflict}»`, yes(conflict || '', r.conflict_serializable) && same(numbers(conflict),
      r.conflict_serializable ? r.conflict_order : r.conflict_cycle));
    expect(`«${view}»`, yes(view || '', r.view_serializable) &&
      same(numbers(view), r.view_serializable ? r.view_order : []));
    const marks = (recovery || '').split('; ').map((part) => part.split(': ')[1] || '');
    expect(`«${recovery}»`, ['recoverable', 'cascadeless', 'strict'].every((key, k) =>
      marks[k] === labels[r[key] ? 'yes' : 'no']));
    const filled = r.trace.map((entry) => [labels['decision.' + entry.decision], stamp(entry.ts_lect),
      stamp(entry.ts_escr)]);
    expect(`the filled table ${JSON.stringify((keyTables || [])[i])}`, same((keyTables || [])[i], filled));
    expect(`${(fillRows || [])[i]} rows to fill in for ${r.trace.length} operations`,
      (fillRows || [])[i] === r.trace.length);
  });
  return problems;
}

// The answer key and the tables to fill in of the sheet drawn in `root`, as answerKeyProblems
// reads them: each answer's texts and filled table, and each table to fill in's count of rows.
export const shownAnswerKey = (page, root = 'body') => page.$eval(root, (sheet) => ({
  answers: [...sheet.querySelectorAll('.answer-key .answers')].map((list) =>
    [...list.children].map((item) => item.querySelector('.answer-text').textContent)),
  keyTables: [...sheet.querySelectorAll('.answer-key .answers')].map((list) =>
    [...list.children[1].querySelectorAll('tr')].slice(1).map((row) =>
      [...row.cells].slice(2).map((cell) => cell.textContent))),
  fillRows: [...sheet.querySelectorAll('.exercises .grid.to-fill')].map((table) => table.rows.length - 1),
}));

// What a sheet shows, read back: its answer key; per exercise its warnings, where its counter
// starts, its rows to fill in and its questions; per answer its protocol grid.
const readSheet = async (page) => ({ ...await shownAnswerKey(page), ...await page.evaluate(() => ({
  exercises: [...document.querySelectorAll('.exercises .exercise')].map((exercise) => ({
    warnings: [...exercise.querySelectorAll('.warnings li')].map((li) => li.textContent),
    counter: exercise.querySelector('.counter').textContent,
    rows: [...exercise.querySelectorAll('.to-fill')[0].rows].slice(1).map((row) => row.cells[1].textContent),
    questions: exercise.querySelector('.questions').children.length,
  })),
  grids: [...document.querySelectorAll('.answer-key .answers')].map((list) => list.children[6] ?
    [...list.children[6].querySelectorAll('tr')].slice(1).map((row) => row.cells[1].textContent) : null),
  decided: document.querySelectorAll('.exercises :is(.ok, .abort, .skip, .aborted, .err)').length,
})) });

const openSheet = async (browser, file) => {
  const opened = await openFile(browser, file);
  await opened.waitForSelector('#out[data-complete]');
  return opened;
};

// `page` holds the run of examples/plans.txt, copied to work/plans.txt, timestamps running on.
export async function run({ page, browser, report, work, out }) {
  const plans = path.join(work, 'plans.txt');
  const fromPage = await saveDownload(page, '#get-exercises', path.join(work, 'sheet-from-page.html'));
  const sheetOf = (name, ...options) => {
    const file = path.join(work, name);
    const made = spawnSync(report, ['--html', file, ...options, plans]);
    check(`tosim-report --html ${options.join(' ')} writes the sheet`, made.status === 0, made.stderr.toString());
    return file;
  };
  // The page's run counts on from plan to plan; tosim-report's sheet numbers each plan from 1.
  for (const [file, third] of [[fromPage, ['T1=5, T2=6', 'El contador de marcas de tiempo está en 4 al empezar este plan.']],
    [sheetOf('sheet.html', '--exercises'), ['T1=1, T2=2', 'Las marcas de tiempo de este plan empiezan en 1.']]]) {
    const opened = await openSheet(browser, file);
    const sheet = await readSheet(opened);
    const name = path.basename(file);
    check(`${name}: an exercise and an answer for each plan of the example`,
      sheet.exercises.length === 6 && sheet.answers.length === 6, JSON.stringify(sheet).slice(0, 300));
    check(`${name}: six questions each, and no decision shown before the answers`,
      sheet.exercises.every((e) => e.questions === 6) && sheet.decided === 0, JSON.stringify(sheet.exercises));
    // The example's first plan, P1; T1; T2; R1(A); R2(B); W2(B); W1(A); C1; C2, worked by hand.
    check(`${name}: the answers to the first plan`, same(sheet.answers[0], [
      'T1=1, T2=2', 'rechazadas: ninguna; Escrituras ignoradas (regla de Thomas): ninguna',
      'Validadas: T1, T2; Abortadas: ninguna', 'sí, orden T1 → T2', 'sí, orden T1 → T2',
      'Recuperable: sí; Sin abortos en cascada: sí; Estricto: sí']), JSON.stringify(sheet.answers[0]));
    check(`${name}: the first plan's table filled in, operation by operation`, same(sheet.keyTables[0], [
      ['iniciada', '—', '—'], ['iniciada', '—', '—'], ['ejecutada', '1', '0'], ['ejecutada', '2', '0'],
      ['ejecutada', '2', '2'], ['ejecutada', '1', '1'], ['validada', '—', '—'], ['validada', '—', '—']]),
      JSON.stringify(sheet.keyTables[0]));
    // The third, P3; T1; T2; R2(A); W1(A); A2: R2(A) sets TS_lect(A) to T2's timestamp, so W1(A)
    // comes too late and T1 aborts; A2 is the plan's own abort, not a rejection. As written
    // without T2 (aborted by the plan), only W1(A) remains.
    check(`${name}: the answers to the third plan: the plan's own A2 is not a rejection`,
      same(sheet.answers[2], [third[0],
        'rechazadas: W1(A); Escrituras ignoradas (regla de Thomas): ninguna',
        'Validadas: ninguna; Abortadas: T1, T2', 'sí, orden T1', 'sí, orden T1',
        'Recuperable: sí; Sin abortos en cascada: sí; Estricto: sí']) &&
      sheet.exercises[2].counter === third[1], JSON.stringify([sheet.answers[2], sheet.exercises[2].counter]));
    // Line 5 lost its ")" before ";": a warning above the exercise, and all six operations of
    // the trace to fill in, with the labels of tosim's trace; line 6 begins T1 twice, commits it
    // twice and reads with T3 never begun.
    check(`${name}: the warnings stand above their exercise, and every operation is to fill in`,
      same(sheet.exercises[4].warnings, ['operación 6: se esperaba un ")"']) &&
      same(sheet.exercises[4].rows, ['Iniciar T1', 'Iniciar T2', 'T1_Read(X)', 'T2_Write(X)',
        'ERR: se esperaba un ")"T1_Read(X)', 'Abortar T1']) &&
      sheet.exercises[5].warnings.length === 3 && sheet.exercises[5].rows.length === 5,
      JSON.stringify([sheet.exercises[4], sheet.exercises[5]]));
    if (file === fromPage) {
      await opened.setViewportSize({ width: 1000, height: 1100 });
      await opened.screenshot({ path: path.join(out, 'screenshot-exercises.png') });
    }
    await opened.emulateMedia({ media: 'print' });
    check(`${name}: in print the answers start on a page of their own`, await opened.evaluate(() =>
      getComputedStyle(document.querySelector('.answer-key')).breakBefore === 'page'));
    await opened.close();
  }

  // The running counter asked for: each exercise says where it stands, two begins a plan.
  const counted = await openSheet(browser, sheetOf('sheet-counted.html', '--exercises', '--each-plan-alone=no'));
  const counters = (await readSheet(counted)).exercises.map((e) => e.counter);
  check('--each-plan-alone=no: each exercise states the counter at its start', same(counters, [
    'Las marcas de tiempo de este plan empiezan en 1.',
    ...[2, 4, 6, 8, 10].map((n) => `El contador de marcas de tiempo está en ${n} al empezar este plan.`)]),
    JSON.stringify(counters));
  await counted.close();

  // A protocol asked for: a seventh question with its grid, and the key gives the cells of
  // tosim-report --protocols's table, plan by plan.
  const lab = await openSheet(browser, sheetOf('sheet-lab.html', '--exercises=wound_wait'));
  const labSheet = await readSheet(lab);
  const column = summaryBlocks(report, plans, '--protocols', '--each-plan-alone')
    .filter((block) => block.includes('Protocolos:')).map((block) => {
      const rows = block.split('\n').filter((line) => /^    [TRWCA]\d/.test(line));
      return rows.map((line) => line.trim().split(/ {2,}/)[7]);
    });
  check('--exercises=wound_wait: a seventh question, and the key\'s grid is the lab\'s, plan by plan',
    labSheet.exercises.every((e) => e.questions === 7) && same(labSheet.grids, column),
    JSON.stringify([labSheet.grids, column]));
  const labViolations = await violations(lab);
  check('axe-core: no violation in the exercise sheet', labViolations.length === 0, labViolations.join('; '));
  await lab.close();

  // A file without plans: a sheet that says so, without an empty answer key.
  const empty = path.join(work, 'no-plans.txt');
  fs.writeFileSync(empty, 'T1; C1\r\n', 'latin1');
  const emptySheet = path.join(work, 'no-plans.html');
  spawnSync(report, ['--html', emptySheet, '--exercises', empty]);
  const opened = await openSheet(browser, emptySheet);
  check('a sheet of a file without plans says «Ningún plan en el fichero» and has no answers',
    (await opened.textContent('.exercises .no-plans')) === 'Ningún plan en el fichero' &&
    (await opened.$$('.exercise, .answer-key')).length === 0);
  await opened.close();
}
