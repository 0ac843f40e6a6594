// What the playground hands out and how it is served: fast clicks on a download, the site's
// files, a plan file too large for the protocol lab, and the report page, from the playground and
// from tosim-report --html, opened from file://.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { openViews, TEN } from './layout.mjs';
import { EXAMPLE, protocolProblems, shownProtocols } from './protocols.mjs';
import { check, openFile, pageData, reportJson, renderAll, root, runFile, same, saveDownload, shownTrace,
  summaryBlocks, tosimRun, unreachableCells } from './setup.mjs';

// Chromium drops a page's download after ten in one second; clicks as fast as the mouse allows
// must still give one file each.
export async function quickClicks({ page }) {
  const quick = [];
  page.on('download', (d) => quick.push(d));
  for (let i = 0; i < 15; i++) await page.click('#get-listing', { delay: 0 });
  for (let i = 0; i < 100 && quick.length < 15; i++) await page.waitForTimeout(50);
  page.removeAllListeners('download');
  check('fifteen quick clicks on «Descargar listado» give fifteen files', quick.length === 15,
    `${quick.length} downloads`);
}

export async function run({ page, browser, site, tosim, report, work, out }) {
  // The site: the page's files, the engine and the renderer's modules.
  const siteFiles = fs.readdirSync(site, { recursive: true })
    .filter((f) => !fs.statSync(path.join(site, f)).isDirectory()).sort();
  check('the site folder holds the site\'s files and nothing else', same(siteFiles, ['app.js', 'engine.mjs',
    'favicon.svg', 'index.html', 'protocolos.html', ...fs.readdirSync(path.join(root, 'web/render'))
      .map((f) => 'render/' + f), 'style.css'].sort()), siteFiles.join(' '));

  // A plan file over 1 MiB runs without the protocol lab, and the status says so.
  const large = path.join(work, 'large.txt');
  fs.writeFileSync(large, (EXAMPLE + '\r\n').repeat(Math.ceil((1024 * 1024 + 1) / (EXAMPLE.length + 2))), 'latin1');
  await runFile(page, large, { timeout: 60000, whole: false });
  await page.waitForSelector('#out .plan');
  check('a plan file over 1 MiB: no protocol view, and the status says why',
    (await page.$$('#out .protocols')).length === 0 &&
    (await page.textContent('#status')).endsWith('sin la vista de protocolos (el fichero pasa de 1 MiB)'),
    await page.textContent('#status'));

  // The example opened as a file, not typed: a text box turns its CR LF line ends into LF, and the
  // report page made from it is compared with tosim-report --html's page of the same bytes.
  const example = path.join(work, 'plans.txt');
  fs.copyFileSync(path.join(root, 'examples/plans.txt'), example);
  await runFile(page, example);
  await page.screenshot({ path: path.join(out, 'screenshot-1280.png'), fullPage: true,
    clip: { x: 0, y: 0, width: 1280, height: 1500 } });
  const fromPage = await saveDownload(page, '#get-report', path.join(work, 'from-page.html'));
  const html = path.join(work, 'plans.html');
  const made = spawnSync(report, ['--html', html, '--protocols', example]);
  check('tosim-report --html --protocols writes the page', made.status === 0, made.stderr.toString());
  // One filler of the page: the two differ only in the file's name and the date.
  const withoutNameAndDate = (file) => fs.readFileSync(file, 'utf8')
    .replace(/\{"name":"[^"]*","made":"[^"]*",/, '{');
  check('the page\'s report and tosim-report --html --protocols are the same page but for name and date',
    withoutNameAndDate(fromPage) === withoutNameAndDate(html));

  const exampleTrace = tosimRun(tosim, work, example).trace;
  const firstLine = fs.readFileSync(example, 'latin1').split(/\r\n|\r|\n/)[0];
  for (const file of [fromPage, html]) {
    const opened = await openFile(browser, file);
    await opened.waitForSelector('#out .frame');
    const name = path.basename(file);
    check(`${name} opens from file:// with a trace and plans`,
      (await opened.$$('#out .plan')).length > 0 && (await opened.$$('#out tr.tl')).length > 0);
    check(`${name} asks for nothing`, opened.stray.length === 0, opened.stray.join(' '));
    await renderAll(opened);
    check(`${name} shows tosim's trace`, (await shownTrace(opened)) === exampleTrace);
    check(`${name} shows each plan line, the file's name and the date`,
      (await opened.textContent('#out .source')) === firstLine &&
      /Fichero de planes: .+, generado el /.test(await opened.textContent('#out .about')));
    await opened.close();
  }

  // The report page of ten transactions with the protocol lab, at 390 px.
  const ten = path.join(work, 'ten.txt');
  fs.writeFileSync(ten, TEN + '\r\n', 'latin1');
  const tenHtml = path.join(work, 'ten.html');
  spawnSync(report, ['--html', tenHtml, '--protocols', ten]);
  const opened = await openFile(browser, tenHtml, 390);
  await opened.waitForSelector('#out .plan');
  await openViews(opened);
  const missed = await unreachableCells(opened);
  const plainHtml = path.join(work, 'ten-plain.html');
  spawnSync(report, ['--html', plainHtml, ten]);
  check('without --protocols, --html\'s page has no protocol view',
    pageData(plainHtml).reports.every((r) => !('protocols' in r)));
  const tenProblems = protocolProblems((await shownProtocols(opened))[0], summaryBlocks(report, ten, '--protocols')[0],
    reportJson(report, ten, '--protocols')[0].protocols);
  check('the report page has the protocol view of tosim-report --protocols', tenProblems.length === 0,
    tenProblems.slice(0, 5).join('; '));
  check('the report page at 390 px: every grid, trace and step cell scrolls into view',
    missed.length === 0, missed.slice(0, 5).join(' | '));
  await opened.close();
}
