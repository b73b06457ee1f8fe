// The browser edition in a real browser: the console program through the
// page's scripting interface for every golden case, and a user's flows.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { cpSync, existsSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { deflateRawSync } from 'node:zlib';
import { tmpdir } from 'node:os';
import { dirname, join, relative, sep } from 'node:path';
import { pathToFileURL } from 'node:url';
import { openPage } from './browser.js';
import { openSite, settled } from './site.js';
import { assertAccessible } from './axe.js';

const site = process.env.FIVESTAGE_WEB_SITE;
const sourceDir = process.env.FIVESTAGE_SOURCE_DIR;
const reportTool = process.env.FIVESTAGE_REPORT;
const screenshots = process.env.FIVESTAGE_SCREENSHOTS ?? tmpdir();
assert.ok(site && sourceDir && reportTool, 'FIVESTAGE_WEB_SITE, FIVESTAGE_SOURCE_DIR and FIVESTAGE_REPORT are set');

const web = openSite(site);
const casesDir = join(sourceDir, 'tests', 'e2e', 'cases');
const sharedEnergy = join(sourceDir, 'tests', 'e2e', 'energy');

// Every file below `folder`, by its path relative to it.
function filesBelow(folder, prefix = '') {
  const files = {};
  for (const name of readdirSync(folder)) {
    const path = join(folder, name);
    if (statSync(path).isDirectory()) Object.assign(files, filesBelow(path, `${prefix}${name}/`));
    else files[prefix + name] = readFileSync(path, 'utf8');
  }
  return files;
}

// A case's files as the end-to-end runner lays them out: its own input
// files and energy tree (or the shared one), less the paths it removes. A
// folder in place of a file is a file that cannot be opened: a missing one.
function caseFiles(caseDir) {
  const files = {};
  for (const name of ['src.txt', 'reg.txt', 'mem.txt']) {
    if (existsSync(join(caseDir, name))) files[name] = readFileSync(join(caseDir, name), 'utf8');
  }
  const own = join(caseDir, 'EnergyConsumptionInput');
  const tree = existsSync(own) ? own : join(sharedEnergy, 'EnergyConsumptionInput');
  Object.assign(files, filesBelow(tree, 'EnergyConsumptionInput/'));
  for (const list of ['remove', 'mkdir']) {
    if (!existsSync(join(caseDir, list))) continue;
    for (const path of readFileSync(join(caseDir, list), 'utf8').split('\n').filter(Boolean)) {
      for (const file of Object.keys(files)) if (file === path || file.startsWith(`${path}/`)) delete files[file];
    }
  }
  return files;
}

// A folder in place of a working energy file reads as a missing file, which
// the page's files can say. In place of an idle file it is a file that is
// there but cannot be read, where a missing one charges nothing: the page's
// files cannot say that, so such a case is the console's alone.
function pageCanLayOut(caseDir) {
  const mkdir = join(caseDir, 'mkdir');
  return !existsSync(mkdir) || !readFileSync(mkdir, 'utf8').split('\n').some((path) => path.endsWith('/idle.txt'));
}

test('every golden case prints, through the page, exactly what the console prints', async () => {
  const { page, errors } = await openPage(web.browser, web.url);
  await page.evaluate(() => window.fivestage.ready);
  const cases = readdirSync(casesDir).filter((name) => statSync(join(casesDir, name)).isDirectory()).sort();
  assert.ok(cases.length >= 36);
  for (const name of cases) {
    const caseDir = join(casesDir, name);
    if (!pageCanLayOut(caseDir)) continue;
    const stdin = existsSync(join(caseDir, 'stdin')) ? readFileSync(join(caseDir, 'stdin'), 'utf8') : '';
    // The machine options of the case's command line as a machine object: a
    // predictor given there turns flush on, which the object says itself.
    const args = existsSync(join(caseDir, 'args')) ? readFileSync(join(caseDir, 'args'), 'utf8').split('\n') : [];
    const predictor = args.includes('--predictor') ? args[args.indexOf('--predictor') + 1] : undefined;
    const machine = { forwarding: args.includes('--forwarding'), flush: args.includes('--flush') || Boolean(predictor) };
    if (predictor) machine.predictor = predictor;
    const result = await page.evaluate((files, keys, options) => window.fivestage.run(files, keys, options),
      caseFiles(caseDir), stdin, machine);
    assert.equal(result.status, Number(readFileSync(join(caseDir, 'expected_status'), 'utf8')), name);
    if (existsSync(join(caseDir, 'expected_stdout'))) {
      assert.equal(result.stdout, readFileSync(join(caseDir, 'expected_stdout'), 'utf8'), name);
    } else {
      const tail = readFileSync(join(caseDir, 'expected_stdout_tail'), 'utf8');
      assert.ok(tail.length > 0);
      assert.equal(result.stdout.slice(-tail.length), tail, name);
    }
  }
  assert.deepEqual(errors, []);
  await page.close();
});

// Waits until the page has the answers it asked for: the simulator runs
// apart from the page, in a worker.

// What the page shows of the machine: the console panel and the two tables.
const snapshot = (page) => page.evaluate(() => ({
  cycle: document.getElementById('cycle').textContent,
  console: document.getElementById('console').textContent,
  registers: document.getElementById('registers').innerHTML,
  memory: document.getElementById('memory').innerHTML,
}));

test('a student steps the example, goes back, and runs it to the end', async () => {
  const { page, errors } = await openPage(web.browser, web.url);
  await page.evaluate(() => window.fivestage.ready);
  assert.match(await page.$eval('#console', (pre) => pre.textContent), /All files loaded succesfully[\s\S]*Source Code Loaded/);

  await page.click('#step');
  await settled(page);
  await page.keyboard.press('Enter');  // Enter steps, as at the console
  await settled(page);
  const afterTwo = await snapshot(page);
  assert.equal(afterTwo.cycle, '2');
  assert.match(afterTwo.console, /Cpu Cycle 2 /);
  await page.click('#step');
  await settled(page);
  assert.equal((await snapshot(page)).cycle, '3');
  await page.click('#back');
  await settled(page);
  assert.deepEqual(await snapshot(page), afterTwo);

  await page.click('#run');
  await settled(page);
  const work = mkdtempSync(join(tmpdir(), 'fivestage-web-'));
  try {
    spawnSync(reportTool, [join(sourceDir, 'examples', 'basic'), '--json', join(work, 'report.json')]);
    const report = JSON.parse(readFileSync(join(work, 'report.json'), 'utf8'));
    const figure = (id) => page.$eval(`#${id}`, (element) => Number(element.textContent));
    assert.equal(await page.$eval('#run-state', (element) => element.textContent), 'completed');
    assert.equal(await figure('cycle'), report.cycles);
    assert.equal(await figure('fetched'), report.fetched);
    assert.equal(await figure('completed'), report.completed);
    assert.equal(await figure('stalls'), report.stallCount);
    assert.equal(await figure('cycles-lost'), report.cyclesLost);
    assert.equal(await figure('taken'), report.branches.taken);
    assert.equal(await figure('not-taken'), report.branches.notTaken);
    assert.equal(await figure('energy-total'), report.energy.total);
    for (const [stage, energy] of Object.entries(report.energy.byStage)) {
      assert.equal(await page.$eval(`#summary [data-stage="${stage}"]`, (cell) => Number(cell.textContent)), energy, stage);
    }
    assert.equal(await page.$$eval('#chart .row:not(.head)', (rows) => rows.length), report.fetched);
    assert.equal(await page.$$eval('#chart .cycle', (cycles) => cycles.length), report.cycles);
    assert.equal(await page.$eval('#chart .cycle.current', (cycle) => cycle.dataset.cycle), String(report.cycles));

    // The downloads: the trace of the run so far, and the report page.
    const client = await page.createCDPSession();
    await client.send('Browser.setDownloadBehavior',
      { behavior: 'allow', downloadPath: work, browserContextId: page.browserContext().id });
    await page.click('#download-trace');
    await settled(page);
    await page.click('#download-report');
    await settled(page);
    for (let wait = 0; wait < 100 && !(existsSync(join(work, 'trace.txt')) && existsSync(join(work, 'report.html'))); ++wait) {
      await new Promise((resolve) => setTimeout(resolve, 100));
    }
    spawnSync(reportTool, [join(sourceDir, 'examples', 'basic'), '--trace', join(work, 'native-trace.txt')]);
    assert.equal(readFileSync(join(work, 'trace.txt'), 'latin1'), readFileSync(join(work, 'native-trace.txt'), 'latin1'));
    assert.match(readFileSync(join(work, 'report.html'), 'utf8'), /<h1>fivestage report<\/h1>/);
  } finally {
    rmSync(work, { recursive: true, force: true });
  }

  mkdirSync(screenshots, { recursive: true });
  await page.click('#chart .cycle[data-cycle="6"]');  // a click on a cycle goes to it
  await settled(page);
  assert.equal((await snapshot(page)).cycle, '6');
  await page.screenshot({ path: join(screenshots, 'web.png') });
  assert.deepEqual(errors, []);
  await page.close();
});

// The page's split and picture are the report's, made by the same code: at
// the end of the run they add up to the run's energy; stepped back, the
// picture covers the cycles run so far and no more.
test('the page shows where the energy went and its energy over time, as the report does', async () => {
  const { page, errors } = await openPage(web.browser, web.url);
  await page.evaluate(() => window.fivestage.ready);
  await page.click('#run');
  await settled(page);
  const work = mkdtempSync(join(tmpdir(), 'fivestage-web-'));
  try {
    spawnSync(reportTool, [join(sourceDir, 'examples', 'basic'), '--json', join(work, 'report.json'),
      '--html', join(work, 'report.html')]);
    const report = JSON.parse(readFileSync(join(work, 'report.json'), 'utf8'));
    const split = await page.$$eval('#summary .energy-split tr:not(:first-child)', (rows) =>
      rows.map((row) => Number(row.lastElementChild.textContent)));
    assert.deepEqual(split, ['completed', 'wrongPath', 'idle', 'stalled'].map((part) => report.energy.split[part].total));
    const bars = (target, selector) => target.$$eval(`${selector} .energy-chart .bar`, (groups) => groups.map((group) => ({
      drawn: group instanceof SVGGElement && group.getBBox().height > 0,
      first: Number(group.dataset.first),
      last: Number(group.dataset.last),
      energy: [...group.querySelectorAll('rect')].reduce((sum, rect) => sum + Number(rect.dataset.energy), 0),
    })));
    const shown = await bars(page, '#energy-over-time');
    assert.equal(shown.length, report.cycles);
    assert.equal(shown.reduce((sum, bar) => sum + bar.energy, 0), report.energy.total);
    const native = await web.browser.newPage();
    await native.setContent(readFileSync(join(work, 'report.html'), 'utf8'));
    assert.deepEqual(await bars(native, 'main'), shown);
    await native.close();
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
  await page.click('#chart .cycle[data-cycle="6"]');
  await settled(page);
  const sofar = await page.$$eval('#energy-over-time .energy-chart .bar', (groups) => groups.map((group) => Number(group.dataset.last)));
  assert.deepEqual(sofar, [1, 2, 3, 4, 5, 6]);
  assert.deepEqual(errors, []);
  await page.close();
});

test('a missing Decode energy figure ends the run with the console\'s message', async () => {
  const { page, errors } = await openPage(web.browser, web.url);
  await page.evaluate(() => window.fivestage.ready);
  await page.click('#energy-files tr[data-path="EnergyConsumptionInput/Decode/add/energy.txt"] input');
  await settled(page);
  await page.click('#load');
  await settled(page);
  await page.click('#run');
  await settled(page);
  assert.equal(await page.$eval('#run-state', (element) => element.textContent), 'ended on an error');
  assert.match(await page.$eval('#console', (pre) => pre.textContent), / File could not be loaded \n$/);
  assert.deepEqual(errors, []);
  await page.close();
});

test('the editors offer each stage\'s idle file, absent until given, and the run charges it as the report does; a folder brings its own', async () => {
  const { page, errors } = await openPage(web.browser, web.url);
  await page.evaluate(() => window.fivestage.ready);
  const idleRows = () => page.$$eval('#energy-files tr.optional', (rows) =>
    rows.map((row) => [row.dataset.path, row.textContent.trim(), row.querySelector('input').checked]));
  const stages = ['Fetch', 'Decode', 'Execute', 'Mem', 'WriteBack'];
  assert.deepEqual(await idleRows(), stages.map((stage) => [`EnergyConsumptionInput/${stage}/idle.txt`, `${stage} idle`, false]));

  // Writing a figure, from the keyboard, into an absent idle file gives it.
  await page.focus('textarea[aria-label="Mem idle.txt"]');
  await page.keyboard.type('7');
  await settled(page);
  assert.equal((await idleRows())[3][2], true);
  await page.click('#run');
  await settled(page);
  assert.match(await page.$eval('#console', (pre) => pre.textContent), / Idle : Mem \n/);

  // The idle file is one of the inputs: kept for the next visit.
  const { page: again, errors: againErrors } = await openPage(web.browser, web.url, page.browserContext());
  await again.evaluate(() => window.fivestage.ready);
  assert.equal(await again.$eval('textarea[aria-label="Mem idle.txt"]', (editor) => editor.value), '7');
  assert.deepEqual(againErrors, []);
  await again.close();

  const work = mkdtempSync(join(tmpdir(), 'fivestage-web-'));
  try {
    const folder = join(work, 'basic');
    cpSync(join(sourceDir, 'examples', 'basic'), folder, { recursive: true });
    writeFileSync(join(folder, 'EnergyConsumptionInput', 'Mem', 'idle.txt'), '7');
    spawnSync(reportTool, [folder, '--json', join(work, 'report.json')]);
    const report = JSON.parse(readFileSync(join(work, 'report.json'), 'utf8'));
    assert.ok(report.energy.split.idle.byStage.Mem > 0);
    assert.equal(await page.$eval('#energy-total', (element) => Number(element.textContent)), report.energy.total);

    // A folder opened brings its idle files, and nothing the simulator does not read.
    writeFileSync(join(folder, 'EnergyConsumptionInput', 'Fetch', 'idle.txt'), '3\n');
    writeFileSync(join(folder, 'EnergyConsumptionInput', 'Fetch', 'notes.txt'), 'not an input\n');
    rmSync(join(folder, 'EnergyConsumptionInput', 'Mem', 'idle.txt'));
    await (await page.$('#folder')).uploadFile(folder);
    await page.waitForFunction(() => document.querySelector('#energy-files tr.optional input').checked);
    await settled(page);
    const given = await page.$$eval('#energy-files tr[data-path]', (rows) => rows
      .filter((row) => row.querySelector('input').checked && row.dataset.path.includes('/Fetch/'))
      .map((row) => [row.dataset.path, row.querySelector('textarea').value]));
    assert.deepEqual(given, [['EnergyConsumptionInput/Fetch/energy.txt', '120\n'], ['EnergyConsumptionInput/Fetch/idle.txt', '3\n']]);
    assert.equal((await idleRows())[3][2], false);
  } finally {
    rmSync(work, { recursive: true, force: true });
  }

  assert.deepEqual(errors, []);
  await page.close();
});

test('a shared link reopens the same inputs', async () => {
  const { page, errors } = await openPage(web.browser, web.url);
  await page.evaluate(() => window.fivestage.ready);
  await page.$eval('textarea[id="src.txt"]', (editor) => { editor.value = 'addi $1, $0, 41\nadd $2, $1, $1 # twice\n'; });
  await page.$eval('tr[data-path="EnergyConsumptionInput/Mem/energy.txt"] textarea', (editor) => { editor.value = '7\n8\n'; });
  await page.click('tr[data-path="EnergyConsumptionInput/Decode/j/energy.txt"] input');
  await settled(page);
  await page.click('#link');
  await settled(page);
  await page.waitForFunction(() => document.getElementById('shared-link').value.includes('#inputs='));
  const link = await page.$eval('#shared-link', (input) => input.value);
  // The files the editors hold: a file marked missing has no text.
  const editors = (p) => p.evaluate(() => [
    ...['src.txt', 'reg.txt', 'mem.txt'].map((name) => document.getElementById(name).value),
    ...[...document.querySelectorAll('#energy-files tr[data-path]')].map((row) =>
      [row.dataset.path, row.querySelector('input').checked ? row.querySelector('textarea').value : null]),
  ]);
  const shared = await editors(page);

  const { page: opened, errors: openedErrors } = await openPage(web.browser, link);
  await opened.evaluate(() => window.fivestage.ready);
  assert.deepEqual(await editors(opened), shared);
  assert.match(await opened.$eval('#console', (pre) => pre.textContent), /L\(2\) : add \$2, \$1, \$1 # twice/);
  assert.deepEqual([...errors, ...openedErrors], []);
  await page.close();
  await opened.close();
});

test('the page works opened from disk, and is small', async () => {
  const { page, errors } = await openPage(web.browser, pathToFileURL(join(site, 'index.html')).href);
  await page.evaluate(() => window.fivestage.ready);
  await page.click('#step');
  await settled(page);
  assert.equal(await page.$eval('#cycle', (element) => element.textContent), '1');
  assert.deepEqual(errors, []);
  await page.close();
  const size = readdirSync(site).reduce((sum, name) => sum + statSync(join(site, name)).size, 0);
  assert.ok(size < 1024 * 1024, `the site has ${size} bytes`);
});

// ---- what a new visitor ran into --------------------------------------------

// Opens the page, as a new visitor or as the one of `context`, ready to use.
const visit = (url = web.url, context = null) => web.visit(url, context, { settle: false });

// The page opened with `files` in its editors, through a link that carries them.
const withInputs = (files) => visit(`${web.url}#inputs=${deflateRawSync(JSON.stringify(files)).toString('base64url')}`);

const basicSource = () => readFileSync(join(sourceDir, 'examples', 'basic', 'src.txt'), 'utf8');

const cycleShown = (page) => page.$eval('#cycle', (element) => Number(element.textContent));

async function stepTo(page, cycle) {
  while (await cycleShown(page) < cycle) {
    await page.click('#step');
    await settled(page);
  }
}

const sourceEditor = 'textarea[id="src.txt"]';

// Types `text` in place of what the editor holds, key by key, as a person does.
async function retype(page, selector, text) {
  await page.click(selector);
  await settled(page);
  await page.keyboard.down('Control');
  await page.keyboard.press('a');
  await page.keyboard.up('Control');
  await page.keyboard.type(text);
}

const linkOf = async (page) => {
  await page.click('#link');
  await settled(page);
  await page.waitForFunction(() => document.getElementById('shared-link').value.includes('#inputs='));
  return page.$eval('#shared-link', (input) => input.value);
};

test('an edit takes effect: the run is made again with it up to the cycle shown', async () => {
  const fetchEditor = 'tr[data-path="EnergyConsumptionInput/Fetch/energy.txt"] textarea';
  const edits = [
    { name: 'the program, once the typing pauses', editor: sourceEditor, text: 'addi $9, $0, 77\n',
      then: (page) => page.waitForSelector('#rerun'), cycle: 5,
      check: async (page) => assert.match(await page.$eval('#registers', (values) => values.textContent), /\$9 77/) },
    { name: 'an energy figure, at once when Step is clicked', editor: fetchEditor, text: '1000\n',
      then: (page) => page.click('#step'), cycle: 6,
      check: async (page) => assert.equal(await page.$eval('#summary [data-stage="Fetch"]', (cell) => Number(cell.textContent)),
        1000 * await page.$eval('#fetched', (element) => Number(element.textContent))) },
  ];
  for (const { name, editor, text, then, cycle, check } of edits) {
    const { page, errors } = await visit();
    await stepTo(page, 5);
    await retype(page, editor, text);
    await then(page);
    await settled(page);
    assert.equal(await cycleShown(page), cycle, name);
    await check(page);
    assert.deepEqual(errors, [], name);
    await page.close();
  }
});

test('Enter steps on the page and on Step; on another button it presses that button', async () => {
  // Each starts at cycle 3.
  const focused = [
    { name: 'Step', use: (page) => page.click('#step'), cycle: 4, afterEnter: 5 },
    { name: 'the status line', use: (page) => page.click('#status'), cycle: 3, afterEnter: 4 },
    { name: 'a cycle of the chart', use: (page) => page.click('#chart .cycle[data-cycle="1"]'), cycle: 1, afterEnter: 2 },
    { name: 'Back', use: (page) => page.click('#back'), cycle: 2, afterEnter: 1 },
    { name: 'Reset', use: (page) => page.focus('#reset'), cycle: 3, afterEnter: 0 },
    { name: 'Load', use: (page) => page.focus('#load'), cycle: 3, afterEnter: 0 },
    { name: 'the example menu', use: (page) => page.focus('#example'), cycle: 3, afterEnter: 3 },
    { name: 'src.txt', use: (page) => page.focus(sourceEditor), cycle: 3, afterEnter: 3 },
    // In the Make exercise dialog, in front of the page, Enter is the dialog's.
    { name: 'Close in the dialog', use: async (page) => { await page.click('#make-exercise'); await page.focus('#author-close'); },
      cycle: 3, afterEnter: 3, dialogOpen: false },
    { name: 'Download in the dialog', use: async (page) => { await page.click('#make-exercise'); await page.focus('#author-download'); },
      cycle: 3, afterEnter: 3, dialogOpen: true },
  ];
  for (const { name, use, cycle, afterEnter, dialogOpen = false } of focused) {
    const { page, errors } = await visit();
    await stepTo(page, 3);
    await use(page);
    await settled(page);
    assert.equal(await cycleShown(page), cycle, name);
    await page.keyboard.press('Enter');
    await settled(page);
    assert.equal(await cycleShown(page), afterEnter, name);
    assert.equal(await page.$eval('#author', (dialog) => dialog.open), dialogOpen, name);
    assert.deepEqual(errors, [], name);
    await page.close();
  }
});

test('a Step leaves the buttons as they are: none flickers off and on again', async () => {
  const { page, errors } = await visit();
  await stepTo(page, 1);  // Back is enabled from the first cycle on
  await page.evaluate(() => {
    window.toggled = [];
    new MutationObserver((records) => window.toggled.push(...records.map((record) => record.target.id)))
      .observe(document.querySelector('.bar'), { subtree: true, attributes: true, attributeFilter: ['disabled'] });
  });
  await stepTo(page, 4);
  await page.click('#back');
  await settled(page);
  assert.equal(await cycleShown(page), 3);
  assert.deepEqual(await page.evaluate(() => window.toggled), []);
  assert.deepEqual(errors, []);
  await page.close();
});

test('a damaged link says so, and opens the basic example', async () => {
  const { page: maker } = await visit();
  const link = await linkOf(maker);
  await maker.close();
  const damaged = [
    { name: 'not base64', hash: '#inputs=!!!' },
    { name: 'cut short', hash: link.slice(link.indexOf('#'), -12) },
    { name: 'not compressed', hash: `#inputs=${Buffer.from('hello, world').toString('base64url')}` },
    { name: 'not files', hash: `#inputs=${deflateRawSync(JSON.stringify([1, 2])).toString('base64url')}` },
  ];
  for (const { name, hash } of damaged) {
    const { page, errors } = await visit(web.url + hash);
    assert.equal(await page.$eval('#notice', (notice) => notice.hidden), false, name);
    assert.match(await page.$eval('#notice', (notice) => notice.textContent), /link is damaged.*the basic example/, name);
    assert.equal(await page.$eval(sourceEditor, (editor) => editor.value), basicSource(), name);
    assert.match(await page.$eval('#console', (pre) => pre.textContent), /Source Code Loaded/, name);
    assert.equal(await page.evaluate(() => location.hash), '', name);
    assert.deepEqual(errors, [], name);
    await page.close();
  }
});

test('the example menu offers the input folders of examples/, each opening its own src.txt', async () => {
  const examplesDir = join(sourceDir, 'examples');
  const inputs = readdirSync(examplesDir).filter((name) => existsSync(join(examplesDir, name, 'src.txt'))).sort();
  const { page, errors } = await visit();
  const offered = await page.$$eval('#example option', (options) => options.filter((o) => !o.disabled).map((o) => o.value));
  assert.deepEqual(offered, inputs);
  for (const name of inputs) {
    await page.select('#example', name);
    await settled(page);
    assert.equal(await page.$eval(sourceEditor, (editor) => editor.value),
      readFileSync(join(examplesDir, name, 'src.txt'), 'utf8'), name);
  }
  assert.deepEqual(errors, []);
  await page.close();
});

test('edits are kept for the next visit, which a link overrides, and the menu tells edits from examples', async () => {
  const { page: first, errors } = await visit();
  const basicLink = await linkOf(first);
  await first.goto(web.url);  // the same visitor, without the link
  await first.evaluate(() => window.fivestage.ready);
  const context = first.browserContext();
  const edited = `${basicSource()}add $9, $1, $1\n`;
  await retype(first, sourceEditor, edited);
  await first.waitForSelector('#rerun');
  const menu = (page) => page.$eval('#example', (select) => select.selectedOptions[0].textContent);
  assert.equal(await menu(first), '(your own inputs)');

  // What each visit opens with, after what the visitor did before it.
  const visits = [
    { name: 'the edits', url: web.url, source: edited, menu: '(your own inputs)' },
    { name: 'a link', url: basicLink, source: basicSource(), menu: 'basic' },
    { name: 'the edits, behind a damaged link', url: `${web.url}#inputs=!!!`, source: edited, menu: '(your own inputs)',
      notice: /link is damaged.*the inputs you had last/ },
    { name: 'the example chosen last', choose: 'loop', url: web.url,
      source: readFileSync(join(sourceDir, 'examples', 'loop', 'src.txt'), 'utf8'), menu: 'loop' },
  ];
  for (const { name, choose, url, source, menu: shown, notice } of visits) {
    if (choose) {
      const { page } = await visit(web.url, context);
      await page.select('#example', choose);
      await settled(page);
      await page.close();
    }
    const { page, errors: visitErrors } = await visit(url, context);
    assert.equal(await page.$eval(sourceEditor, (editor) => editor.value), source, name);
    assert.equal(await menu(page), shown, name);
    if (notice) assert.match(await page.$eval('#notice', (element) => element.textContent), notice, name);
    assert.deepEqual(visitErrors, [], name);
    await page.close();
  }
  assert.deepEqual(errors, []);
  await first.close();
});

test('a link handed out follows the edits', async () => {
  const { page, errors } = await visit();
  const before = await linkOf(page);
  const edited = 'addi $1, $0, 1 # edited after the link was made\n';
  await retype(page, sourceEditor, edited);
  await page.waitForFunction((old) => document.getElementById('shared-link').value !== old, {}, before);
  const after = await page.$eval('#shared-link', (input) => input.value);
  assert.equal(await page.evaluate(() => location.href), after);
  const { page: opened, errors: openedErrors } = await visit(after);
  assert.equal(await opened.$eval(sourceEditor, (editor) => editor.value), edited);
  assert.deepEqual([...errors, ...openedErrors], []);
  await page.close();
  await opened.close();
});

test('after a long Run the chart shows its latest rows under a head that hides what scrolls beneath it', async () => {
  const { page, errors } = await visit();
  await page.$eval(sourceEditor, (editor) => { editor.value = 'addi $1, $1, 1\nj L1\n'; });
  await page.click('#load');
  await settled(page);
  await page.type('#until', '12345');
  await page.click('#run');
  await settled(page);
  assert.equal(await cycleShown(page), 12345);
  const chart = await page.evaluate(() => {
    const box = (element) => element.getBoundingClientRect().toJSON();
    const label = document.querySelector('#chart .head .label');
    const head = box(document.querySelector('#chart .head'));
    const at = (x, y) => document.elementFromPoint(x, y);
    return {
      view: box(document.getElementById('chart')),
      head,
      lastRow: box([...document.querySelectorAll('#chart .row')].at(-1)),
      current: box(document.querySelector('#chart .cycle.current')),
      // What shows at the head's top and bottom, just inside the label.
      labelCovers: [head.top + 2, head.bottom - 2].every((y) => label.contains(at(box(label).left + 4, y))),
    };
  });
  assert.ok(chart.labelCovers, 'the head\'s label covers the cycle numbers scrolled under it');
  assert.ok(chart.lastRow.top >= chart.view.top && chart.lastRow.bottom <= chart.view.bottom, 'the latest row is in view');
  assert.ok(chart.current.right <= chart.view.right && chart.current.top >= chart.head.top &&
    chart.current.bottom <= chart.head.bottom, 'the current cycle\'s number is whole and in view');
  await page.screenshot({ path: join(screenshots, 'web-long-run.png') });
  assert.deepEqual(errors, []);
  await page.close();
});

test('on a narrow screen the machine comes before the editors', async () => {
  const layouts = [
    { width: 1280, machineFirst: false },
    { width: 800, machineFirst: true },
  ];
  for (const { width, machineFirst } of layouts) {
    const { page, errors } = await visit();
    await page.setViewport({ width, height: 900 });
    await page.click('#run');
    await settled(page);
    const [inputs, machine] = await Promise.all(['#inputs', '.machine'].map((selector) =>
      page.$eval(selector, (element) => element.getBoundingClientRect().toJSON())));
    if (machineFirst) {
      assert.ok(machine.bottom <= inputs.top, `${width} px: the machine above the editors`);
      assert.ok(machine.top < 900, `${width} px: the machine in the first screen`);
    } else {
      assert.ok(machine.left >= inputs.right, `${width} px: the machine beside the editors`);
    }
    await page.screenshot({ path: join(screenshots, `web-${width}.png`) });
    assert.deepEqual(errors, [], String(width));
    await page.close();
  }
});

test('the status line says which stalls are still open, and no console banner that repeats the cycle', async () => {
  const { page, errors } = await visit();
  // The basic example's stalls: found in cycles 4, 7 and 11; the first
  // settled in cycle 9, the second in 10, the last at the end.
  const stalls = [
    { cycle: 3, text: 'stalls 0,' },
    { cycle: 4, text: 'stalls 1 (one open)' },
    { cycle: 9, text: 'stalls 2 (2 cycles lost, one open)' },
    { cycle: 10, text: 'stalls 2 (4 cycles lost)' },
    { cycle: 11, text: 'stalls 3 (4 cycles lost, one open)' },
    { cycle: 17, text: 'stalls 3 (6 cycles lost)' },
  ];
  for (const { cycle, text } of stalls) {
    await stepTo(page, cycle);
    const status = await page.$eval('#status', (element) => element.textContent);
    assert.ok(status.includes(text), `cycle ${cycle}: ${status}`);
    assert.doesNotMatch(status, /Cpu Cycle/, `cycle ${cycle}`);
  }
  assert.deepEqual(errors, []);
  await page.close();
});

// A loop with a load, a store and a taken branch, `$2` times round.
const loopFiles = (iterations) => ({
  ...filesBelow(join(sharedEnergy, 'EnergyConsumptionInput'), 'EnergyConsumptionInput/'),
  'src.txt': 'addi $1, $1, 1\nlw $3, 0($0)\nadd $4, $3, $1\nsw $4, 1($0)\nbne $1, $2, L1\n',
  'reg.txt': Array.from({ length: 32 }, (_, r) => (r === 2 ? iterations : 0)).join('\n') + '\n',
  'mem.txt': '7\n0\n',
});

// What the page draws of its cycle: the chart, the console text, the
// datapath and the panels.
const drawn = (page) => page.evaluate(() => Object.fromEntries(
  ['status', 'chart', 'console', 'diagram', 'summary', 'energy-over-time', 'registers', 'memory', 'memory-words']
    .map((id) => [id, document.getElementById(id).innerHTML])));

// Runs to `cycle`, or to the end when it is ''.
const runUntil = async (page, cycle) => {
  await page.$eval('#until', (input, cycle) => { input.value = cycle; }, String(cycle));
  await page.click('#run');
  await settled(page);
};

test('drawn in place Step by Step, the chart, the datapath and the panels are those of the cycle drawn afresh', async () => {
  const files = loopFiles(40);
  // Across the chart's move to a new window at cycle 60, and back across it.
  const stepped = await withInputs(files);
  await runUntil(stepped.page, 56);
  await stepTo(stepped.page, 62);
  for (let i = 0; i < 3; ++i) {
    await stepped.page.click('#back');
    await settled(stepped.page);
  }
  await stepTo(stepped.page, 60);
  const afresh = await withInputs(files);
  await runUntil(afresh.page, 60);
  assert.equal(await cycleShown(stepped.page), 60);
  assert.deepEqual(await drawn(stepped.page), await drawn(afresh.page));
  for (const { page, errors } of [stepped, afresh]) {
    assert.deepEqual(errors, []);
    await page.close();
  }
});

// A run of thousands of cycles goes back, and to the end of a run that ends
// short of where it was going, from copies of itself kept on the way rather
// than from the start: what the page then shows is what a run from the start
// to that cycle shows.
test('Back and the end of a long run, gone on from copies kept on the way, are those of a run from the start', async () => {
  const files = loopFiles(2500);
  const copied = await withInputs(files);
  await runUntil(copied.page, '');
  const end = await cycleShown(copied.page);
  assert.ok(end > 3 * 4096, `the run is long enough for copies: ${end} cycles`);
  const atEnd = await drawn(copied.page);
  await copied.page.click('#back');
  await settled(copied.page);
  const back = await drawn(copied.page);
  for (const [cycle, shown] of [[end, atEnd], [end - 1, back]]) {
    const afresh = await withInputs(files);
    await runUntil(afresh.page, cycle);
    assert.equal(await cycleShown(afresh.page), cycle);
    assert.deepEqual(shown, await drawn(afresh.page), `cycle ${cycle}`);
    assert.deepEqual(afresh.errors, []);
    await afresh.page.close();
  }
  assert.deepEqual(copied.errors, []);
  await copied.page.close();
});

// ---- the datapath diagram -------------------------------------------------------

// The page opened on a golden case's files, as a link made by Copy link opens it.
const caseLink = (name) => `${web.url}#inputs=${deflateRawSync(JSON.stringify(caseFiles(join(casesDir, name)))).toString('base64url')}`;

// What the console trace of a cycle says of the values the diagram shows
// too: null for a value the cycle has none of. A branch is taken when the
// PC multiplexer is selected and the gate in front of Mux3 passes.
function traceValues(trace) {
  const number = (pattern) => (pattern.test(trace) ? Number(pattern.exec(trace)[1]) : null);
  const taken = /^\t PcSel : 1$/m.test(trace) && /To Mux3 Gate[^]*?^\t Result {11}: 1$/m.test(trace);
  return {
    aluResult: number(/^\t Result {8}: (-?\d+)$/m),
    registerWritten: number(/^\t Rg {5}: \$(\d+)$/m),
    valueWritten: number(/^\t Data {3}: (-?\d+)$/m),
    memoryAddress: number(/^\t Adresse {13}: (-?\d+)$/m),
    newPc: taken ? number(/^\t PC {2}: (-?\d+)$/m) : null,
  };
}

// The same values as the diagram shows them on its labelled wires; a wire
// with no value this cycle has no text.
const diagramValues = (page) => page.evaluate(() => {
  const number = (wire) => {
    const { textContent } = document.querySelector(`#diagram [data-wire="${wire}"]`);
    return textContent ? Number(/(-?\d+)\)?$/.exec(textContent)[1]) : null;
  };
  return { aluResult: number('alu-result'), registerWritten: number('write-register'), valueWritten: number('write-data'),
    memoryAddress: number('memory-address'), newPc: number('new-pc') };
});

// Whether each wire of `path` is drawn as used in this cycle.
const pathLit = (page, path) => page.$$eval(`#diagram .wire[data-path="${path}"]`, (wires) => {
  if (wires.length === 0) throw new Error('no such path');
  return wires.every((wire) => wire.classList.contains('active'));
});

test('the diagram shows the values the console trace shows for the same cycle, on the paths they took', async () => {
  const cycles = [
    { name: 'beq_taken', cycle: 3, shows: ['aluResult', 'newPc'], lit: ['new-pc', 'branch'], dark: ['pc-plus-one'] },
    { name: 'bne_taken', cycle: 3, shows: ['aluResult', 'newPc'], lit: ['new-pc'], dark: ['pc-plus-one'] },
    { name: 'bne_not_taken', cycle: 3, shows: ['aluResult'], lit: ['branch', 'pc-plus-one'], dark: ['new-pc'] },
    { name: 'j_forward', cycle: 4, shows: ['aluResult', 'newPc'], lit: ['new-pc'], dark: ['pc-plus-one'] },
    { name: 'j_forward', cycle: 5, shows: ['aluResult', 'registerWritten', 'valueWritten'],
      lit: ['writeback-alu', 'register-write', 'alusrc-immediate'], dark: ['writeback-loaded', 'alusrc-register'] },
    // lw stores a register and sw loads a word, in this machine.
    { name: 'load_store', cycle: 4, shows: ['aluResult', 'memoryAddress'], lit: ['memory-write', 'stall'],
      dark: ['memory-read', 'fetch'] },
    { name: 'load_store', cycle: 5, shows: ['memoryAddress'], lit: ['memory-read'], dark: ['memory-write', 'alu'] },
    { name: 'load_store', cycle: 6, shows: ['aluResult', 'registerWritten', 'valueWritten'],
      lit: ['writeback-loaded', 'register-write', 'alusrc-register'], dark: ['writeback-alu', 'stall'] },
    { name: 'dependent_pair', cycle: 5, shows: ['aluResult', 'registerWritten', 'valueWritten'], lit: ['register-write'],
      dark: ['stall'] },
    { name: 'chain_of_three', cycle: 8, shows: ['aluResult'], lit: ['alu'], dark: ['register-write'] },
    { name: 'chain_of_three', cycle: 10, shows: ['registerWritten', 'valueWritten'], lit: ['register-write'], dark: ['alu'] },
  ];
  let opened = null;
  for (const { name, cycle, shows, lit, dark } of cycles) {
    const where = `${name}, cycle ${cycle}`;
    if (opened?.name !== name) {
      await opened?.page.close();
      opened = { name, ...(await visit(caseLink(name))) };
    }
    const { page, errors } = opened;
    await stepTo(page, cycle);
    const trace = traceValues(await page.$eval('#console', (pre) => pre.textContent));
    for (const value of shows) assert.notEqual(trace[value], null, `${where}: the trace shows ${value}`);
    assert.deepEqual(await diagramValues(page), trace, where);
    for (const path of lit) assert.ok(await pathLit(page, path), `${where}: ${path} lit`);
    for (const path of dark) assert.ok(!(await pathLit(page, path)), `${where}: ${path} dimmed`);
    assert.equal(await page.$$eval('#diagram .wire[data-path^="forward"]', (wires) => wires.length), 0, 'no forwarding unit');
    await page.evaluate(() => window.scrollTo(0, 0));  // the toolbar stays on top of what scrolls
    await (await page.$('.diagram-panel')).screenshot({ path: join(screenshots, `diagram-${name}-${cycle}.png`) });
    assert.deepEqual(errors, [], where);
  }
  await opened.page.close();
});

// The headline of each stage, from Fetch to Write-back.
const stageHeadlines = (page, root = '#diagram') => page.$$eval(`${root} .stage .stage-instruction`,
  (heads) => heads.map((head) => head.querySelector('title').textContent));

test('each stage is labelled with its instruction, a bubble or a stall, and follows Step, Back and the chart', async () => {
  const { page, errors } = await visit(caseLink('dependent_pair'));
  const headlines = [
    { cycle: 2, stages: ['E(1) add $4, $3, $5', 'E(0) add $3, $1, $2', 'bubble', 'bubble', 'bubble'] },
    { cycle: 3, stages: ['stall: PC and IF/ID held', 'stall: E(1) add $4, $3, $5', 'E(0) add $3, $1, $2', 'bubble', 'bubble'] },
    { cycle: 4, stages: ['stall: PC and IF/ID held', 'stall: E(1) add $4, $3, $5', 'bubble', 'E(0) add $3, $1, $2', 'bubble'] },
    { cycle: 5, stages: ['nothing to fetch', 'bubble', 'E(1) add $4, $3, $5', 'bubble', 'E(0) add $3, $1, $2'] },
  ];
  for (const { cycle, stages } of headlines) {
    await stepTo(page, cycle);
    assert.deepEqual(await stageHeadlines(page), stages, `cycle ${cycle}`);
    assert.equal(await page.$eval('#diagram svg', (svg) => Number(svg.dataset.cycle)), cycle);
  }
  await page.click('#back');
  await settled(page);
  assert.deepEqual(await stageHeadlines(page), headlines[2].stages, 'back to cycle 4');
  await page.click('#chart .cycle[data-cycle="2"]');
  await settled(page);
  assert.deepEqual(await stageHeadlines(page), headlines[0].stages, 'cycle 2 picked in the chart');
  assert.deepEqual(errors, []);
  await page.close();
});

test('on the forwarding and flush machines the diagram names forwarded values and cancelled instructions', async () => {
  // The case on the machine chosen in the page, at `cycle`: its trace and the diagram's texts.
  const drawn = async (name, cycle, machine) => {
    const { page, errors } = await visit(caseLink(name));
    for (const option of ['forwarding', 'flush']) {
      if (machine[option]) {
        await page.click(`#${option}`);
        await settled(page);
      }
    }
    await stepTo(page, cycle);
    const drawing = await page.evaluate(() => ({
      trace: document.getElementById('console').textContent,
      text: document.getElementById('diagram').textContent,
      heads: [...document.querySelectorAll('#diagram .stage-instruction title')].map((title) => title.textContent),
      forwardingWires: document.querySelectorAll('#diagram .wire[data-path^="forward"]').length,
    }));
    assert.deepEqual(errors, [], name);
    await page.close();
    return drawing;
  };

  const forwarded = await drawn('forwarding_dependent_pair', 4, { forwarding: true });
  const stageNames = { Memory: 'Mem', 'Write-back': 'WriteBack' };
  const [, number, value, from, stage] = /\t a : \$(\d+) = (-?\d+) from E\((\d+)\) in (\S+) /.exec(forwarded.trace);
  assert.ok(forwarded.text.includes(`a ← $${number} = ${value} from E(${from}) in ${stageNames[stage]}`), forwarded.text);
  assert.ok(forwarded.forwardingWires > 0);

  const flushed = await drawn('flush_taken_branch', 3, { flush: true });
  const [, cancelled] = /\t Flush : E\((\d+)\) cancelled/.exec(flushed.trace);
  assert.match(flushed.heads[1], new RegExp(`^cancelled: E\\(${cancelled}\\) `));
  assert.equal(flushed.forwardingWires, 0);
});

test('a click on a stage brings its lines of the console trace into view', async () => {
  const { page, errors } = await visit(caseLink('dependent_pair'));
  await stepTo(page, 5);
  const headings = { Execute: /^ Stall Released : E\(1\)/, WriteBack: /^ Writing Register File {2}: E\(0\)/ };
  for (const [stage, heading] of Object.entries(headings)) {
    await page.click(`#diagram .stage[data-stage="${stage}"] .stage-name`);
    await settled(page);
    const marked = await page.$eval('#console', (pre) => {
      const box = pre.getBoundingClientRect();
      const mark = pre.querySelector('mark').getBoundingClientRect();
      return { text: pre.querySelector('mark').textContent, inView: mark.top >= box.top && mark.top < box.bottom && mark.top >= 0 && mark.top < innerHeight };
    });
    assert.match(marked.text, heading, stage);
    assert.ok(marked.inView, `${stage}: its lines in view`);
  }
  // The console's text stays as it was, marks aside.
  assert.match(await page.$eval('#console', (pre) => pre.textContent), /Cpu Cycle 5 [^]* Executing : E\(1\)/);
  assert.deepEqual(errors, []);
  await page.close();
});

// The console's blocks of a cycle's text, by the stage each belongs to: a
// block runs from a stage's heading (a stall's release is Execute's) to the
// next heading or the line that sets Write-back apart. This is how a reader
// of the console finds them; the page is told by the simulator instead.
function consoleBlocks(text) {
  const headings = [[' Fetching : ', 'Fetch'], [' Decoding : ', 'Decode'], [' Stall Released : ', 'Execute'],
    [' Executing : ', 'Execute'], [' Memory Access : ', 'Mem'], [' Writing Register File  : ', 'WriteBack'],
    [' ----------------------------------------------------------------- ', null]];
  const blocks = {};
  let owner = null;
  for (const line of text.split(/(?<=\n)/)) {
    const heading = headings.find(([start]) => line.startsWith(start));
    if (heading) owner = heading[1];
    if (owner) blocks[owner] = (blocks[owner] ?? '') + line;
  }
  return blocks;
}

test('the lines a stage marks are its console block, in cycles that stall or cancel, on every machine', async () => {
  // A load's use stalls on every machine (sw loads in this machine); with
  // flush, the addi behind the taken beq is cancelled.
  const files = { ...filesBelow(join(sourceDir, 'examples', 'basic')),
    'src.txt': 'sw $3, 1($0)\nadd $4, $3, $5\nbeq $1, $1, L4\naddi $6, $0, 1\nadd $7, $1, $1\n' };
  for (const { flags, ...machine } of machines) {
    const link = `${web.url}#inputs=${deflateRawSync(JSON.stringify({ files, machine })).toString('base64url')}`;
    const { page, errors } = await visit(link);
    const seen = { stall: 0, cancel: 0 };
    for (let cycle = 1; await page.$eval('#step', (button) => !button.disabled); ++cycle) {
      await stepTo(page, cycle);
      const text = await page.$eval('#console', (pre) => pre.textContent);
      const stalls = /\t Stall : E\(|^ Stall Released : /m.test(text);
      const cancels = /\t Flush : E\(\d+\) cancelled/.test(text);
      if (!stalls && !cancels) continue;
      seen.stall += stalls;
      seen.cancel += cancels;
      const blocks = consoleBlocks(text);
      for (const stage of ['Fetch', 'Decode', 'Execute', 'Mem', 'WriteBack']) {
        // Clear of the toolbar, which stays at the top of the window.
        await page.$eval('#diagram', (diagram) => diagram.scrollIntoView({ block: 'center' }));
        await page.click(`#diagram .stage[data-stage="${stage}"] .stage-name`);
        const marked = await page.$eval('#console', (pre) => ({
          text: [...pre.querySelectorAll('mark')].map((mark) => mark.textContent).join(''), whole: pre.textContent }));
        const which = `${flags.join(' ') || 'no options'}, cycle ${cycle}, ${stage}`;
        assert.equal(marked.text, blocks[stage] ?? '', which);
        assert.equal(marked.whole, text, `${which}: the text stays as it was`);
      }
    }
    assert.ok(seen.stall > 0, `${flags.join(' ')}: a stall`);
    assert.equal(seen.cancel > 0, machine.flush, `${flags.join(' ')}: a cancel with flush only`);
    assert.deepEqual(errors, []);
    await page.close();
  }
});

test('printed, the diagram keeps to one landscape page', async () => {
  const { page, errors } = await visit();
  await stepTo(page, 4);
  // A4 landscape inside 10 mm margins, at 96 pixels to the inch.
  const pageWidth = Math.floor((277 / 25.4) * 96);
  const pageHeight = Math.floor((190 / 25.4) * 96);
  await page.setViewport({ width: pageWidth, height: pageHeight });
  await page.emulateMediaType('print');
  const [toolbar, diagram] = await Promise.all(['.bar', '#diagram svg'].map((selector) =>
    page.$eval(selector, (element) => element.getBoundingClientRect().toJSON())));
  assert.equal(toolbar.height, 0, 'the toolbar is not printed');
  assert.ok(diagram.width > 0.9 * pageWidth && diagram.right <= pageWidth, `the diagram spans the page: ${diagram.width}`);
  assert.ok(diagram.bottom <= pageHeight, `the diagram ends on the first page: ${diagram.bottom}`);
  assert.deepEqual(errors, []);
  await page.close();
});

// ---- the four machines, the program check, Stop and the memory view -----------

// What `work(folder)` answers on a folder holding `files`, removed afterwards.
function inFolderOf(files, work) {
  const folder = mkdtempSync(join(tmpdir(), 'fivestage-native-'));
  try {
    for (const [path, text] of Object.entries(files)) {
      mkdirSync(dirname(join(folder, path)), { recursive: true });
      writeFileSync(join(folder, path), text);
    }
    return work(folder);
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
}

// What the native fivestage-report writes as JSON for a folder holding `files`.
const nativeJson = (files, args = []) => inFolderOf(files, (folder) =>
  JSON.parse(spawnSync(reportTool, [folder, ...args, '--json', '-'], { encoding: 'utf8', maxBuffer: 1 << 28 }).stdout));

const withoutFolder = ({ folder, ...report }) => report;

// Inputs whose four machines differ: the two examples, a golden case that
// loops with a branch, and one that ends on an error.
const machineInputs = [
  { name: 'examples/basic', files: () => filesBelow(join(sourceDir, 'examples', 'basic')) },
  { name: 'examples/loop', files: () => filesBelow(join(sourceDir, 'examples', 'loop')) },
  { name: 'forwarding_flush_loop', files: () => caseFiles(join(casesDir, 'forwarding_flush_loop')) },
  { name: 'missing_mem_energy', files: () => caseFiles(join(casesDir, 'missing_mem_energy')) },
];
const machines = [
  { forwarding: false, flush: false, flags: [] },
  { forwarding: true, flush: false, flags: ['--forwarding'] },
  { forwarding: false, flush: true, flags: ['--flush'] },
  { forwarding: true, flush: true, flags: ['--forwarding', '--flush'] },
];

test('the scripting interface reports what fivestage-report --json and --compare --json write', async () => {
  const { page, errors } = await visit();
  for (const { name, files: filesOf } of machineInputs) {
    const files = filesOf();
    for (const { flags, ...machine } of machines) {
      const report = await page.evaluate((files, machine) => window.fivestage.report(files, machine), files, machine);
      assert.deepEqual(withoutFolder(report), withoutFolder(nativeJson(files, flags)), `${name} ${flags.join(' ')}`);
    }
    const compared = await page.evaluate((files) => window.fivestage.compare(files), files);
    const native = nativeJson(files, ['--compare']);
    assert.equal(compared.schema, native.schema, name);
    assert.deepEqual(compared.machines.map(withoutFolder), native.machines.map(withoutFolder), name);
  }
  assert.deepEqual(errors, []);
  await page.close();
});

// What fivestage-report --compare --html (or `args`) writes for a folder holding `files`.
const nativeComparisonPage = (files, args = ['--compare']) => inFolderOf(files, (folder) => {
  spawnSync(reportTool, [folder, ...args, '--html', join(folder, 'comparison.html')]);
  return readFileSync(join(folder, 'comparison.html'), 'utf8');
});

// The machines' table in `root`, a row of cell texts each.
const machinesTable = (page, root) => page.$eval(`${root} table`, (table) =>
  [...table.rows].map((row) => [...row.cells].map((cell) => cell.textContent)));

// Which rows of the Compare panel are marked as the machine shown.
const rowsShown = (page) => page.$$eval('#compare-table tbody tr', (rows) => rows.map((row) => row.classList.contains('shown')));

test('the Compare panel shows the table of fivestage-report --compare --html', async () => {
  const comparisonPage = await web.browser.newPage();
  for (const { name, files: filesOf } of machineInputs) {
    const files = filesOf();
    const { page, errors } = await withInputs(files);
    await settled(page);
    await comparisonPage.setContent(nativeComparisonPage(files));
    const native = await machinesTable(comparisonPage, 'main');
    assert.deepEqual(await machinesTable(page, '#compare-table'), native, name);
    assert.equal(native.length, 5, `${name}: the head and four machines`);
    assert.equal(native[0].length, 15, `${name}: the machine, thirteen figures and the result`);
    assert.deepEqual(await rowsShown(page), [true, false, false, false], name);  // the page opens on no options
    assert.deepEqual(errors, [], name);
    await page.close();
  }
  await comparisonPage.close();
});

test('a row of the Compare panel shows its machine at the cycle shown', async () => {
  const { page, errors } = await visit();
  await settled(page);
  await stepTo(page, 5);
  const native = nativeJson(filesBelow(join(sourceDir, 'examples', 'basic')), ['--compare']).machines;
  for (const m of [1, 3, 0]) {
    await page.click(`#compare-table tbody tr:nth-child(${m + 1})`);
    await settled(page);
    assert.equal(await page.$eval('#forwarding', (box) => box.checked), machines[m].forwarding, `machine ${m}`);
    assert.equal(await page.$eval('#flush', (box) => box.checked), machines[m].flush, `machine ${m}`);
    assert.equal(await cycleShown(page), 5, `machine ${m}`);
    assert.deepEqual(await rowsShown(page), [0, 1, 2, 3].map((k) => k === m), `machine ${m}`);
  }
  // Run to the end on forwarding: the cycles are that machine's.
  await page.click('#compare-table tbody tr:nth-child(2)');
  await settled(page);
  await page.click('#run');
  await settled(page);
  assert.equal(await cycleShown(page), native[1].cycles);
  assert.notEqual(native[1].cycles, native[0].cycles);
  assert.deepEqual(errors, []);
  await page.close();
});

// Four turns of a two-instruction loop, with the basic example's energy figures.
const shortLoop = () => ({
  ...filesBelow(join(sourceDir, 'examples', 'basic')),
  'src.txt': 'addi $1, $0, 0\naddi $2, $0, 4\naddi $1, $1, 1\nbne $1, $2, L3\naddi $5, $0, 9\n',
  'reg.txt': '0\n'.repeat(8),
  'mem.txt': '0\n'.repeat(8),
});

test('a predictor chosen turns flush on and shows its table, the entry read and the entry written, right or wrong', async () => {
  const { page, errors } = await withInputs(shortLoop());
  await settled(page);
  assert.equal(await page.$eval('#prediction-panel', (panel) => panel.hidden), true, 'no panel without a predictor');
  await page.click('#forwarding');
  await settled(page);
  await page.select('#predictor', '2-bit');
  await settled(page);
  assert.equal(await page.$eval('#flush', (box) => box.checked), true, 'a predictor needs flush');
  await stepTo(page, 9);
  assert.equal(await page.$eval('#prediction-panel', (panel) => panel.hidden), false);
  // Cycle 9: Execute's bne was predicted right and writes entry 3 from 2 to
  // 3, while Fetch reads the 2 for the next bne: the update comes late.
  const rows = await page.$$eval('#prediction tbody tr', (all) => all.map((row) => ({
    classes: row.className, cells: [...row.cells].map((cell) => cell.textContent) })));
  assert.deepEqual(rows, [{ classes: 'read right',
    cells: ['3', '3 strongly taken', 'taken', 'line 4: bne $1, $2, L3', 'read by Fetch; written: right'] }]);
  assert.match(await page.$eval('#prediction .predictor-now', (list) => list.textContent), /entry 3 = 2 weakly taken, predicts taken; next E\(2\)/);
  const predictorUnit = await page.$$eval('#diagram [data-stage="Fetch"] text.detail', (texts) => texts.map((t) => t.textContent).join(' | '));
  assert.match(predictorUnit, /entry 3 = 2 \| weakly taken \| taken, next E\(2\)/);
  await assertAccessible(page, 'the predictor panel and the datapath with a predictor');
  // Flush off: the machine can have no predictor, and the panel goes.
  await page.click('#flush');
  await settled(page);
  assert.equal(await page.$eval('#predictor', (menu) => menu.value), 'not-taken');
  assert.equal(await page.$eval('#prediction-panel', (panel) => panel.hidden), true);
  assert.deepEqual(errors, []);
  await page.close();
});

test('the Compare panel compares the five predictors as fivestage-report --compare-predictors --html does', async () => {
  const comparisonPage = await web.browser.newPage();
  const files = shortLoop();
  const { page, errors } = await withInputs(files);
  await settled(page);
  await page.click('#forwarding');
  await settled(page);
  await page.select('#compare-kind', 'predictors');
  await page.waitForFunction(() => document.getElementById('compare-note').textContent === '' &&
    document.querySelectorAll('#compare-table tbody tr').length === 5);
  await comparisonPage.setContent(nativeComparisonPage(files, ['--compare-predictors', '--forwarding']));
  assert.deepEqual(await machinesTable(page, '#compare-table'), await machinesTable(comparisonPage, 'main'));
  // A row shows its predictor, which keeps the table.
  await page.click('#compare-table tbody tr:nth-child(5)');
  await settled(page);
  assert.equal(await page.$eval('#predictor', (menu) => menu.value), '2-bit');
  assert.deepEqual(await rowsShown(page), [false, false, false, false, true]);
  await page.select('#compare-kind', 'machines');
  await page.waitForFunction(() => document.querySelectorAll('#compare-table tbody tr').length === 4);
  assert.deepEqual(errors, []);
  await comparisonPage.close();
  await page.close();
});

// The controls come from the simulator's list of options: the machine's two
// flags, its predictor's menu and its table's size, and so any choice and
// bounded number that a list may hold.
test('the machine controls are built from the simulator\'s list, and choose the JSON machine object', async () => {
  const { page, errors } = await visit();
  await settled(page);
  const labels = await page.$$eval('#machine-options label', (all) => all.map((label) => ({
    text: [...label.childNodes].filter((node) => node.nodeType === Node.TEXT_NODE).map((node) => node.textContent)
      .join('').trim(),
    titled: label.title.length > 0,
    type: label.querySelector('input, select').type })));
  assert.deepEqual(labels, [{ text: 'forwarding', titled: true, type: 'checkbox' }, { text: 'flush', titled: true, type: 'checkbox' },
    { text: 'predictor', titled: true, type: 'select-one' }, { text: 'predictor entries', titled: true, type: 'number' }]);
  assert.deepEqual(errors, []);
  const made = await page.evaluate(() => {
    const group = document.createElement('div');
    document.body.append(group);
    window.changes = [];
    fivestageMachine.build(group, [
      { key: 't-flag', kind: 'flag', name: 'flag', title: 'a flag', default: false },
      { key: 't-choice', kind: 'choice', name: 'choice', title: 'a choice', default: 'b', choices: ['a', 'b', 'c'] },
      { key: 't-number', kind: 'number', name: 'number', title: 'a number', default: 16, lowest: 1, highest: 1024,
        powerOfTwo: true },
    ], () => window.changes.push(fivestageMachine.chosen()));
    const chosen = [fivestageMachine.chosen()];
    fivestageMachine.show({ 't-flag': true, 't-choice': 'c', 't-number': 64 });
    chosen.push(fivestageMachine.chosen());
    const summary = fivestageMachine.summary();
    // Values a control does not take, as an old or damaged link may hold: the defaults.
    fivestageMachine.show({ 't-flag': 'yes', 't-choice': 'z', 't-number': 24 });
    chosen.push(fivestageMachine.chosen());
    document.getElementById('t-number').value = '2000';
    chosen.push(fivestageMachine.chosen());
    fivestageMachine.lock({ 't-choice': 'a' });
    const locked = [...group.querySelectorAll('input, select')].map((element) => element.disabled);
    fivestageMachine.lock(null);
    return { chosen, summary, locked, kinds: [...group.querySelectorAll('input, select')].map((element) => element.type) };
  });
  const plain = { 't-flag': false, 't-choice': 'b', 't-number': 16 };
  assert.deepEqual(made.kinds, ['checkbox', 'select-one', 'number']);
  assert.deepEqual(made.chosen, [plain, { 't-flag': true, 't-choice': 'c', 't-number': 64 }, plain, plain]);
  assert.equal(made.summary, 'flag on, choice c, number 64');
  assert.deepEqual(made.locked, [true, true, true]);
  await page.select('#t-choice', 'c');
  assert.deepEqual(await page.evaluate(() => window.changes), [{ ...plain, 't-choice': 'c' }]);
  await page.close();
});

test('hovering a stall in the chart tells why it happened, as the report does', async () => {
  const files = filesBelow(join(sourceDir, 'examples', 'basic'));
  for (const { flags, forwarding } of machines.slice(0, 2)) {
    const { page, errors } = await withInputs(files);
    await settled(page);
    if (forwarding) {
      await page.click('#forwarding');
      await settled(page);
    }
    await page.click('#run');
    await settled(page);
    const reasons = nativeJson(files, flags).stalls.map((stall) => stall.reason);
    const titles = await page.$$eval('#chart .c.s', (cells) => cells.map((cell) => cell.title));
    assert.ok(titles.length > 0, flags.join(' '));
    for (const title of titles) {
      assert.ok(reasons.some((reason) => title.endsWith(` · Stall: ${reason}`)), `${flags.join(' ')}: ${title}`);
    }
    assert.deepEqual(errors, []);
    await page.close();
  }
});

test('Stop stops a program that never ends; left to run, it stops at the limit', async () => {
  const files = { ...filesBelow(join(sourceDir, 'examples', 'basic')), 'src.txt': 'addi $1, $1, 1\nj L1\n' };
  const { page, errors } = await withInputs(files);
  await settled(page);
  const disabled = (id) => page.$eval(`#${id}`, (button) => button.disabled);
  const state = () => page.$eval('#run-state', (element) => element.textContent);

  // The loop runs its 100,000 cycles in a fraction of a second: Stop is
  // clicked from within the page as soon as the run has begun.
  const stepWhileRunning = await page.evaluate(() => new Promise((resolve) => {
    const stop = document.getElementById('stop');
    new MutationObserver((_, observer) => {
      if (stop.disabled) return;
      observer.disconnect();
      const step = document.getElementById('step').disabled ? 'disabled' : 'enabled';
      stop.click();
      resolve(step);
    }).observe(stop, { attributes: true, attributeFilter: ['disabled'] });
    document.getElementById('run').click();
  }));
  await settled(page);
  assert.equal(stepWhileRunning, 'disabled');
  const stopped = await cycleShown(page);
  assert.ok(stopped > 0 && stopped < 100000, `stopped at cycle ${stopped}`);
  assert.equal(await state(), 'running');
  assert.equal(await disabled('step'), false);
  assert.equal(await disabled('stop'), true);

  await page.click('#run');
  await settled(page);
  assert.equal(await cycleShown(page), 100000);
  assert.equal(await state(), 'stopped at the limit of 100000 cycles: the program may never end');
  assert.equal(await disabled('step'), true);
  assert.equal(await disabled('run'), true);
  assert.deepEqual(errors, []);
  await page.close();
});

// What fivestage-report --html writes for a folder holding `files`.
const nativeReportPage = (files) => inFolderOf(files, (folder) => {
  spawnSync(reportTool, [folder, '--html', join(folder, 'report.html')]);
  return readFileSync(join(folder, 'report.html'), 'utf8');
});

// The program check in `element`: its warnings' texts, or the words that say there are none.
const programCheck = (element) => element.evaluate((root) => (root.querySelector('li')
  ? [...root.querySelectorAll('li')].map((item) => item.textContent) : root.querySelector('p').textContent));

test('the program check shows the warnings as the report page does', async () => {
  const basic = filesBelow(join(sourceDir, 'examples', 'basic'));
  const problems = [
    { name: 'an opcode in capitals', files: { ...basic, 'src.txt': `ADDI $1, $0, 5\n${basic['src.txt']}` }, warnings: true },
    { name: 'a missing Decode energy file', files: (({ 'EnergyConsumptionInput/Decode/add/energy.txt': _, ...rest }) => rest)(basic), warnings: true },
    { name: 'the basic example', files: basic, warnings: false },
  ];
  const reportPage = await web.browser.newPage();
  for (const { name, files, warnings } of problems) {
    const { page, errors } = await withInputs(files);
    await settled(page);
    await reportPage.setContent(nativeReportPage(files));
    const expected = await programCheck(await reportPage.evaluateHandle(() => [...document.querySelectorAll('section')]
      .find((section) => section.querySelector('h2')?.textContent === 'Program check')));
    assert.equal(Array.isArray(expected), warnings, name);
    assert.deepEqual(await programCheck(await page.$('#checks')), expected, name);
    assert.deepEqual(errors, [], name);
    await page.close();
  }
  await reportPage.close();
});

test('a word far into a large memory shows once stored to, in the list and through the jump', async () => {
  const files = {
    ...filesBelow(join(sourceDir, 'examples', 'basic')),
    'src.txt': 'addi $1, $0, 4000\naddi $2, $0, 77\nlw $2, 0($1)\n',  // lw stores in this machine
    'mem.txt': Array.from({ length: 5000 }, (_, word) => `${word % 10}\n`).join(''),
  };
  const { page, errors } = await withInputs(files);
  await settled(page);
  await page.click('#run');
  await settled(page);
  // The values changed, as the report's final state lists them: the word, then its initial and final value.
  assert.deepEqual(await page.$eval('#memory [data-word="4000"]', (row) => [...row.cells].map((cell) => cell.textContent)),
    ['word 4000', '0', '77']);
  assert.equal(await page.$$eval('#memory [data-word]', (words) => words.length), 1);
  assert.equal(await page.$('#memory-words [data-word="4000"]'), null, 'word 4000 is not in view before the jump');

  await page.type('#memory-jump', '4000');
  await page.keyboard.press('Tab');
  await settled(page);
  const target = await page.$eval('#memory-words [data-word="4000"]', (word) =>
    ({ text: word.textContent, marked: word.classList.contains('target') }));
  assert.deepEqual(target, { text: '77', marked: true });
  assert.equal(await page.$eval('#memory-words [data-word="4001"]', (word) => word.textContent), '1');
  assert.deepEqual(errors, []);
  await page.close();
});
