// The report's page in a real browser: it opens from disk without errors,
// its chart has a row per fetch and a column per cycle, a cycle's click shows
// that cycle's console trace, and it stays small for a long run.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { cpSync, mkdtempSync, readFileSync, rmSync, statSync, writeFileSync, mkdirSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { launch, openPage } from './browser.js';
import { assertAccessible } from './axe.js';

const reportTool = process.env.FIVESTAGE_REPORT;
const sourceDir = process.env.FIVESTAGE_SOURCE_DIR;
const screenshots = process.env.FIVESTAGE_SCREENSHOTS ?? tmpdir();
assert.ok(reportTool && sourceDir, 'FIVESTAGE_REPORT and FIVESTAGE_SOURCE_DIR name the tool and the sources');

const prompt = '\n Press Enter to perform a step :  ';
let browser;
let work;

before(async () => {
  browser = await launch();
  work = mkdtempSync(join(tmpdir(), 'fivestage-page-'));
});
after(async () => {
  await browser?.close();
  rmSync(work, { recursive: true, force: true });
});

// Runs the report on a copy of `folder`; returns the JSON, the trace and the page's URL.
function report(name, folder, extra = []) {
  const copy = join(work, name);
  cpSync(folder, copy, { recursive: true });
  const result = spawnSync(reportTool, [name, '--html', join(copy, 'page.html'), '--json', join(copy, 'report.json'),
    '--trace', join(copy, 'trace.txt'), ...extra], { cwd: work });
  assert.ok(result.status === 0 || result.status === 1, String(result.stderr));
  return {
    json: JSON.parse(readFileSync(join(copy, 'report.json'), 'utf8')),
    trace: readFileSync(join(copy, 'trace.txt'), 'latin1'),
    page: join(copy, 'page.html'),
  };
}

test('the example opens from disk and its chart and traces match the run', async () => {
  const { json, trace, page: file } = report('basic', join(sourceDir, 'examples', 'basic'));
  const { page, errors } = await openPage(browser, pathToFileURL(file).href);

  assert.equal(await page.$$eval('.chart .row:not(.head)', (rows) => rows.length), json.fetched);
  assert.equal(await page.$$eval('.chart .cycle', (cycles) => cycles.length), json.cycles);
  // A stalled instruction's waiting cell is marked as such and says why, in
  // the words of the report's list of stalls.
  const stall = await page.$eval('.chart .c.s', (cell) => cell.title);
  assert.ok(stall.endsWith(` · Stall: ${json.stalls[0].reason}`), stall);

  // The console text of cycle 6 runs from its prompt to the next one.
  const cycles = trace.split(prompt).slice(1).map((text) => prompt + text);
  await page.click('.chart .cycle[data-cycle="6"]');
  assert.equal(await page.$eval('#cycle-trace', (pre) => pre.textContent), cycles[5]);
  assert.match(await page.$eval('#cycle-trace-title', (title) => title.textContent), /Cycle 6/);
  await page.click('.chart .row:not(.head) .c[data-cycle="9"]');
  assert.equal(await page.$eval('#cycle-trace', (pre) => pre.textContent), cycles[8]);

  mkdirSync(screenshots, { recursive: true });
  await page.screenshot({ path: join(screenshots, 'report.png'), fullPage: true });
  assert.deepEqual(errors, []);
  await page.close();
});

test('a long run holds a window and stays small', async () => {
  const folder = join(work, 'loop-input');
  cpSync(join(sourceDir, 'examples', 'basic'), folder, { recursive: true });
  writeFileSync(join(folder, 'src.txt'), 'addi $1, $1, 1\nsw $4, 0($0)\nadd $5, $4, $1\nj L1\n');
  const { json, page: file } = report('loop', folder, ['--max-cycles', '20000']);
  assert.equal(json.cycles, 20000);
  assert.ok(statSync(file).size < 4 * 1024 * 1024, `the page has ${statSync(file).size} bytes`);

  const { page, errors } = await openPage(browser, pathToFileURL(file).href);
  assert.equal(await page.$$eval('.chart .cycle', (cycles) => cycles.length), 1000);
  await page.click('.chart .cycle[data-cycle="1000"]');
  assert.match(await page.$eval('#cycle-trace', (pre) => pre.textContent), /Cpu Cycle 1000 /);
  assert.deepEqual(errors, []);
  await page.close();
});

test('a run with flush shows its cancelled instructions apart, and every other cell in its colour', async () => {
  const { json, page: file } = report('flush', join(sourceDir, 'examples', 'loop'), ['--flush']);
  assert.ok(json.cancelled > 0);
  const { page, errors } = await openPage(browser, pathToFileURL(file).href);
  assert.equal(await page.$$eval('.chart .c.cancelled', (cells) => cells.length), json.cancelled);
  const background = (selector) => page.$eval(selector, (cell) => getComputedStyle(cell).backgroundColor);
  assert.equal(await background('.chart .c.cancelled'), 'rgb(255, 255, 255)');
  assert.notEqual(await background('.chart .c.F'), 'rgb(255, 255, 255)');
  assert.deepEqual(errors, []);
  await page.close();
});

// Energy over time on a long run with flush: its bars, at most 200 of
// buckets of cycles, add up stage by stage to the run's energy, cover cycles
// 1 to the last, and mark every stall and every cancellation; the split's
// table adds up to the total too.
test('energy over time covers a long run in buckets that add up to its energy', async () => {
  const folder = join(work, 'flush-loop-input');
  cpSync(join(sourceDir, 'examples', 'basic'), folder, { recursive: true });
  writeFileSync(join(folder, 'src.txt'), 'addi $1, $1, 1\nadd $5, $1, $1\nbeq $0, $0, L1\naddi $6, $0, 1\n');
  const { json, page: file } = report('flush-loop', folder, ['--flush', '--max-cycles', '5000']);
  assert.equal(json.cycles, 5000);
  assert.ok(json.cancelled > 0 && json.stallCount > 0);
  const { page, errors } = await openPage(browser, pathToFileURL(file).href);
  const bars = await page.$$eval('.energy-chart .bar', (groups) => groups.map((group) => ({
    first: Number(group.dataset.first),
    last: Number(group.dataset.last),
    energy: [...group.querySelectorAll('rect')].map((rect) => [rect.dataset.stage, Number(rect.dataset.energy)]),
    stalls: Number(group.querySelector('.stall-mark')?.dataset.stalls ?? 0),
    cancelled: Number(group.querySelector('.cancel-mark')?.dataset.cancelled ?? 0),
  })));
  assert.ok(bars.length > 1 && bars.length <= 200, `${bars.length} bars`);
  assert.equal(bars[0].first, 1);
  assert.equal(bars.at(-1).last, json.cycles);
  bars.slice(1).forEach((bar, i) => assert.equal(bar.first, bars[i].last + 1, `bar ${i + 1} follows on`));
  const byStage = {};
  for (const [stage, energy] of bars.flatMap((bar) => bar.energy)) byStage[stage] = (byStage[stage] ?? 0) + energy;
  const nonZero = Object.fromEntries(Object.entries(json.energy.byStage).filter(([, energy]) => energy > 0));
  assert.deepEqual(byStage, nonZero);
  assert.equal(bars.reduce((sum, bar) => sum + bar.stalls, 0), json.stallCount);
  assert.equal(bars.reduce((sum, bar) => sum + bar.cancelled, 0), json.cancelled);

  const split = await page.$$eval('.energy-split tr:not(:first-child)', (rows) =>
    rows.map((row) => Number(row.lastElementChild.textContent)));
  assert.deepEqual(split, ['completed', 'wrongPath', 'idle', 'stalled'].map((part) => json.energy.split[part].total));
  assert.equal(split.reduce((sum, part) => sum + part, 0), json.energy.total);
  assert.match(await page.$eval('.energy-chart desc', (desc) => desc.textContent), /cycles 1 to 5000 in \d+ bars of \d+ cycles each/);
  await assertAccessible(page, file);
  assert.deepEqual(errors, []);
  await page.close();
});

// The class of each element the Tab key reaches on `page`, in order, once round.
async function tabStops(page) {
  const stops = [];
  for (;;) {
    await page.keyboard.press('Tab');
    const reached = await page.evaluate(() => (document.activeElement === document.body ? null : document.activeElement.className));
    if (reached === null || stops.length > 50) return stops;
    stops.push(reached);
  }
}

test('the accessibility checker finds no critical or serious violation in a report or a comparison', async () => {
  const { page: reportPage } = report('basic-checked', join(sourceDir, 'examples', 'basic'));
  const comparisonPage = join(work, 'comparison.html');
  assert.equal(spawnSync(reportTool, [join(sourceDir, 'examples', 'loop'), '--compare', '--html', comparisonPage]).status, 0);
  const pages = [
    { file: reportPage, scrolled: ['chart-scroll', 'trace', 'energy-scroll'] },
    { file: comparisonPage, scrolled: ['chart-scroll', 'chart-scroll', 'chart-scroll', 'chart-scroll'] },
  ];
  for (const { file, scrolled } of pages) {
    const { page, errors } = await openPage(browser, pathToFileURL(file).href);
    // The boxes that scroll are reached by the keyboard, in the order of the page.
    const reached = (await tabStops(page)).filter((name) => /scroll|trace/.test(name));
    assert.deepEqual(reached, scrolled, file);
    const clicked = await page.$('.chart .cycle[data-cycle="6"]');
    await clicked?.click();  // the report's trace shown, as long as it gets
    await assertAccessible(page, file);
    assert.deepEqual(errors, [], file);
    await page.close();
  }
});
