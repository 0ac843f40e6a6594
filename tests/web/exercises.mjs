// The exercise sheet, from the playground and from tosim-report --html --exercises: the questions
// without a decision in sight, and the answers after them, from a new printed page on.
import { spawnSync } from 'node:child_process';
import path from 'node:path';
import fs from 'node:fs';
import { check, numbers, openPage, same } from './setup.mjs';

// Where the answer key of one case file's sheet (the answers of each exercise, one a plan) names
// other values than the reports of --json: the timestamps, the operations rejected (the trace's
// entries whose decision is "rejected": an operation that aborted its transaction, not the
// plan's own A) and the writes skipped, the transactions validated and aborted, and the verdicts
// on the plan as written.
export function answerKeyProblems(answers, json, labels) {
  const plans = json.filter((r) => r.plan !== null);
  const problems = plans.length === answers.length ? [] : [`${answers.length} answers for ${plans.length} plans`];
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
  });
  return problems;
}

// `page` holds the run of examples/plans.txt, copied to work/plans.txt.
export async function run({ page, browser, report, work, out }) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#get-exercises')]);
  const sheets = [path.join(work, 'sheet-from-page.html'), path.join(work, 'sheet.html')];
  await download.saveAs(sheets[0]);
  const made = spawnSync(report, ['--html', sheets[1], '--exercises', path.join(work, 'plans.txt')]);
  check('tosim-report --html --exercises writes the sheet', made.status === 0, made.stderr.toString());
  for (const file of sheets) {
    const opened = await openPage(browser, 'file://' + file, (url) => url === 'file://' + file);
    await opened.waitForSelector('#out .answer-key');
    const sheet = await opened.evaluate(() => ({
      exercises: document.querySelectorAll('.exercises .exercise').length,
      answers: [...document.querySelectorAll('.answer-key .answers')].map((list) =>
        [...list.children].map((item) => item.textContent)),
      questions: [...document.querySelectorAll('.exercises .questions')].map((q) => q.children.length),
      decided: document.querySelectorAll('.exercises :is(.ok, .abort, .skip, .aborted, .err)').length,
    }));
    const name = path.basename(file);
    check(`${name}: an exercise and an answer for each plan of the example`,
      sheet.exercises === 6 && sheet.answers.length === 6, JSON.stringify(sheet));
    check(`${name}: six questions each, and no decision shown before the answers`,
      sheet.questions.every((n) => n === 6) && sheet.decided === 0, JSON.stringify(sheet));
    // The example's first plan, P1; T1; T2; R1(A); R2(B); W2(B); W1(A); C1; C2, worked by hand.
    check(`${name}: the answers to the first plan`, same(sheet.answers[0], [
      'T1=1, T2=2', 'rechazadas: ninguna; Escrituras ignoradas (regla de Thomas): ninguna',
      'Validadas: T1, T2; Abortadas: ninguna', 'sí, orden T1 → T2', 'sí, orden T1 → T2',
      'Recuperable: sí; Sin abortos en cascada: sí; Estricto: sí']), JSON.stringify(sheet.answers[0]));
    // The third, P3; T1; T2; R2(A); W1(A); A2, the timestamps going on from P2's T1=3, T2=4: R2(A)
    // sets TS_lect(A)=6, so W1(A) at 5 comes too late and T1 aborts; A2 is the plan's own abort,
    // not a rejection. As written without T2 (aborted by the plan), only W1(A) remains.
    check(`${name}: the answers to the third plan: the plan's own A2 is not a rejection`,
      same(sheet.answers[2], ['T1=5, T2=6',
        'rechazadas: W1(A); Escrituras ignoradas (regla de Thomas): ninguna',
        'Validadas: ninguna; Abortadas: T1, T2', 'sí, orden T1', 'sí, orden T1',
        'Recuperable: sí; Sin abortos en cascada: sí; Estricto: sí']), JSON.stringify(sheet.answers[2]));
    if (file === sheets[0]) {
      await opened.setViewportSize({ width: 1000, height: 1100 });
      await opened.screenshot({ path: path.join(out, 'screenshot-exercises.png') });
    }
    await opened.emulateMedia({ media: 'print' });
    check(`${name}: in print the answers start on a page of their own`, await opened.evaluate(() =>
      getComputedStyle(document.querySelector('.answer-key')).breakBefore === 'page'));
    await opened.close();
  }

  // A file without plans: a sheet that says so, without an empty answer key.
  const empty = path.join(work, 'no-plans.txt');
  fs.writeFileSync(empty, 'T1; C1\r\n', 'latin1');
  const emptySheet = path.join(work, 'no-plans.html');
  spawnSync(report, ['--html', emptySheet, '--exercises', empty]);
  const opened = await openPage(browser, 'file://' + emptySheet, (url) => url === 'file://' + emptySheet);
  await opened.waitForSelector('#out[data-complete]');
  check('a sheet of a file without plans says «Ningún plan en el fichero» and has no answers',
    (await opened.textContent('.exercises .no-plans')) === 'Ningún plan en el fichero' &&
    (await opened.$$('.exercise, .answer-key')).length === 0);
  await opened.close();
}
