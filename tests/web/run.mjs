// Browser tests of the playground and the HTML report, in Debian's chromium through
// playwright-core. Usage: node run.mjs SITE_DIR TOSIM TOSIM_REPORT OUT_DIR TOSIM_GEN
// The plan files are those of the end-to-end cases, exported by their own runner; what the page
// shows is compared with what the built programs write for the same files. Each group of checks
// is a module; they run in this order on one playground page, and the last line says
// "N passed, N failed".
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import * as cases from './cases.mjs';
import * as downloads from './downloads.mjs';
import * as exercises from './exercises.mjs';
import * as generate from './generate.mjs';
import * as isolation from './isolation.mjs';
import * as layout from './layout.mjs';
import * as playground from './playground.mjs';
import * as practice from './practice.mjs';
import * as protocols from './protocols.mjs';
import { casePlans, finish, launch, openPlayground, pageData, serve } from './setup.mjs';
import * as verdicts from './verdicts.mjs';

// A test that cannot go on is one failure, and the summary still comes last.
process.on('uncaughtException', finish);

const [site, tosim, report, out, gen] = process.argv.slice(2).map((p) => p && path.resolve(p));
if (!gen) {
  console.log('usage: node run.mjs SITE_DIR TOSIM TOSIM_REPORT OUT_DIR TOSIM_GEN');
  process.exit(2);
}
const work = fs.mkdtempSync(path.join(out, 'web-tests-'));
const { server, origin } = await serve(site);
const own = (url) => url.startsWith(origin + '/') || url.startsWith('blob:' + origin + '/');
const browser = await launch(work);
const page = await openPlayground(browser, origin + '/', own);

// The table of labels, as every report page carries it.
const plans = casePlans(tosim, work);
const labelsPage = path.join(work, 'labels.html');
spawnSync(report, ['--html', labelsPage, plans[0]]);
const context = { page, browser, origin, own, site, tosim, report, gen, out, work, plans,
  labels: pageData(labelsPage).labels };

await cases.run(context);
await downloads.quickClicks(context);
await verdicts.run(context);
await isolation.run(context);
await playground.run(context);
await protocols.run(context);
await layout.run(context);
await downloads.run(context);
await exercises.run(context);
await practice.run(context);
await generate.run(context);

await browser.close();
server.close();
finish();
