// The page as it is seen: a ten-transaction plan drawn, every cell reachable on a phone, the
// output printed on A4, and the page used from the keyboard alone.
import fs from 'node:fs';
import path from 'node:path';
import { check, openPage, renderAll, runTyped, unreachableCells } from './setup.mjs';

export const TEN = 'P1; T1; T2; T3; T4; T5; T6; T7; T8; T9; T10; R1(A); W2(A); R3(B); W4(B); R5(C); W6(C); ' +
  'R7(D); W8(D); R9(E); W10(E); R10(F); W1(F); W2(B); R3(A); W9(A); R1(G); W10(G); W5(H); W6(H); ' +
  'W7(H); W8(H); C1; C2; C3; C4; C5; C6; C7; C8; C9; C10';

export const openViews = (target) => target.$$eval('.protocols', (views) => views.forEach((v) => { v.open = true; }));

export async function run({ page, browser, origin, own, out, plans }) {
  // Ten transactions: T10 inside its circle, two opposite edges apart, arrowheads in the edge's
  // colour.
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

  // Phones: at 390 px every cell of the ten transactions' grid and of the trace can be scrolled
  // into view and is not covered or clipped; the page itself does not scroll sideways.
  const phone = await openPage(browser, `${origin}/#plan=${encodeURIComponent(TEN)}`, own, 390);
  await phone.waitForSelector('#out .plan');
  await renderAll(phone);
  await openViews(phone);
  const unreachable = await unreachableCells(phone);
  check('at 390 px every cell of the grid, the trace and the protocols\' steps scrolls into view',
    unreachable.length === 0, unreachable.slice(0, 5).join(' | '));
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

  // From the keyboard alone: open a file, run, download.
  const keys = await openPage(browser, origin + '/', own, 390);
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
  const [chooser] = await Promise.all([keys.waitForEvent('filechooser', { timeout: 10000 })
    .catch((error) => { throw new Error(`${error.message}\nfocus went ${trail.join(' ')}`); }),
    keys.keyboard.press('Space')]);
  await chooser.setFiles(plans[0]);
  await keys.waitForSelector('#out .frame');
  await tabTo('run');
  await keys.keyboard.press('Enter');
  await tabTo('get-listing');
  const [byKeys] = await Promise.all([keys.waitForEvent('download'), keys.keyboard.press('Enter')]);
  check('open, run and download from the keyboard', byKeys.suggestedFilename().endsWith('.lst'));
  await keys.close();
}
