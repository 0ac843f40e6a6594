// Every end-to-end case's plan file, opened in the playground and compared with what tosim and
// tosim-report write for it: the trace and its decisions, the listing, each plan's verdicts and
// graph, the part on isolation, the protocol view, and the exercise sheet's answer key; and the
// same data with the trace's words changed drawn with the same decisions.
import fs from 'node:fs';
import path from 'node:path';
import { checkWordsChanged, drawnDecisions, editedWords, shownFrames, traceProblems } from './data.mjs';
import { answerKeyProblems } from './exercises.mjs';
import { isolationProblems, shownIsolation } from './isolation.mjs';
import { protocolProblems, shownProtocols } from './protocols.mjs';
import { check, reportJson, runFile, saveDownload, shownPlans, shownTrace, summaryBlocks, tosimRun } from './setup.mjs';
import { checkCaseVerdicts } from './verdicts.mjs';

export async function run({ page, plans, tosim, report, work, labels }) {
  for (const plan of plans) {
    const name = path.basename(plan);
    const { trace, bytes, listing } = tosimRun(tosim, work, plan);
    await runFile(page, plan);
    check(`${name}: trace`, (await shownTrace(page)) === trace);
    const shownListing = await saveDownload(page, '#get-listing', path.join(work, 'listing.lst'));
    check(`${name}: listing`, fs.readFileSync(shownListing).equals(listing));
    const json = reportJson(report, plan, '--protocols');
    // The summary's blocks, one a report, with the protocol lab in each plan's.
    const summary = summaryBlocks(report, plan, '--protocols');
    checkCaseVerdicts(name, await shownPlans(page), json, summary, labels);
    const parts = await shownIsolation(page);
    json.forEach((r, i) => {
      if (r.plan === null) return;
      const problems = isolationProblems(parts[i], summary[i], r, labels);
      check(`${name}: plan ${i + 1} isolation in the summary's words, its graphs as --json says`,
        problems.length === 0, problems.slice(0, 5).join('; '));
    });
    const labs = await shownProtocols(page);
    json.forEach((r, i) => {
      if (r.plan === null) return;
      const problems = protocolProblems(labs[i], summary[i], r.protocols);
      check(`${name}: plan ${i + 1} protocol view in tosim-report --protocols's cells and lines`,
        problems.length === 0, problems.slice(0, 5).join('; '));
    });
    const problems = traceProblems(await shownFrames(page), json);
    check(`${name}: each line's trace, its decisions coloured as its words say`, problems.length === 0,
      problems.slice(0, 5).join('; '));

    // The data as the report page carries it: the trace and the plan file as byte strings.
    const data = { trace: bytes, plans: fs.readFileSync(plan).toString('latin1'), reports: json, labels };
    const drawn = await drawnDecisions(page, data);
    const answers = answerKeyProblems(drawn, json, labels);
    check(`${name}: the answer key of every plan names --json's values`, answers.length === 0,
      answers.slice(0, 5).join('; '));
    checkWordsChanged(name, drawn, await drawnDecisions(page, { ...data, trace: editedWords(data.trace) }));
  }
  check('the page asks for nothing but its own files', page.stray.length === 0, page.stray.join(' '));
}
