// The page in a lecture, in a real browser: Play at a pace up to a
// breakpoint or the end, registers and words in hexadecimal, the dark
// scheme, the program on a printout, the machine kept by a reload and a
// link, and "to cycle" past the cap.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { deflateRawSync } from 'node:zlib';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { openSite, settled } from './site.js';

const site = process.env.FIVESTAGE_WEB_SITE;
const sourceDir = process.env.FIVESTAGE_SOURCE_DIR;
const reportTool = process.env.FIVESTAGE_REPORT;
const screenshots = process.env.FIVESTAGE_SCREENSHOTS ?? tmpdir();
assert.ok(site && sourceDir && reportTool, 'FIVESTAGE_WEB_SITE, FIVESTAGE_SOURCE_DIR and FIVESTAGE_REPORT are set');

const web = openSite(site);
const { visit } = web;

before(async () => {
  mkdirSync(screenshots, { recursive: true });
});

// An example folder's files, by their paths inside it.
function example(name, folder = join(sourceDir, 'examples', name), prefix = '') {
  const files = {};
  for (const entry of readdirSync(folder)) {
    const path = join(folder, entry);
    if (statSync(path).isDirectory()) Object.assign(files, example(name, path, `${prefix}${entry}/`));
    else files[prefix + entry] = readFileSync(path, 'utf8');
  }
  return files;
}

// What fivestage-report --json writes for a folder holding `files`.
function nativeReport(files) {
  const work = mkdtempSync(join(tmpdir(), 'fivestage-lecture-'));
  try {
    for (const [path, text] of Object.entries(files)) {
      mkdirSync(dirname(join(work, path)), { recursive: true });
      writeFileSync(join(work, path), text);
    }
    return JSON.parse(spawnSync(reportTool, [work, '--json', '-'], { encoding: 'utf8' }).stdout);
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
}

const playing = (page) => page.evaluate(() => Boolean(document.body.dataset.playing));
// Waits until Play has paused by itself, and what it showed has been drawn.
const paused = async (page, timeout = 60000) => {
  await page.waitForFunction(() => !document.body.dataset.playing, { timeout });
  await settled(page);
};

// Opens the page, as a new visitor or as the one of `context`, ready to use.

// A link that carries `files` as the page made them before links carried a machine.
const filesLink = (files) => `${web.url}#inputs=${deflateRawSync(JSON.stringify(files)).toString('base64url')}`;

const cycleShown = (page) => page.$eval('#cycle', (element) => Number(element.textContent));
const text = (page, selector) => page.$eval(selector, (element) => element.textContent);

async function click(page, selector) {
  await page.click(selector);
  await settled(page);
}

// Sets a field's value and lets the page hear the change.
async function setField(page, selector, value) {
  await page.$eval(selector, (field, typed) => {
    field.value = typed;
    field.dispatchEvent(new Event('change', { bubbles: true }));
  }, value);
  await settled(page);
}

const looping = { ...example('basic'), 'src.txt': 'addi $1, $1, 1\nj L1\n' };

// ---- Play ---------------------------------------------------------------------

test('Play pauses in each cycle that fetches a breakpoint\'s line, and at the end of the run', async () => {
  const loop = example('loop');
  // Two lines that hold no instruction: from there on, E(n) is not on line n + 1.
  const shifted = { ...example('basic'), 'src.txt': `# sums\n\n${example('basic')['src.txt']}` };
  const cases = [
    { name: 'a line in the loop', files: loop, breaks: '5', lines: [5] },
    { name: 'two lines, one before the loop', files: loop, breaks: '2, 8', lines: [2, 8] },
    { name: 'lines below two that hold no instruction', files: shifted, breaks: '8 11', lines: [8, 11] },
  ];
  for (const { name, files, breaks, lines } of cases) {
    // Each fetch of the lines, as the report's chart has them: its cycle
    // (a row may start with cycles it waited to be fetched) and instruction.
    const report = nativeReport(files);
    const expected = report.chart.filter((row) => lines.includes(row.instruction.line))
      .map(({ firstCycle, cells, instruction }) => ({ cycle: firstCycle + cells.indexOf('F'), ...instruction }));
    assert.ok(expected.length >= 2, name);
    const { page, errors } = await visit(filesLink(files));
    await page.select('#pace', '10');
    await setField(page, '#breaks', breaks);
    for (const { cycle, line, index, text: source } of expected) {
      await page.click('#play');
      await paused(page);
      assert.equal(await cycleShown(page), cycle, `${name}: line ${line}`);
      assert.equal(await text(page, '#breakpoint'), `paused at the breakpoint on line ${line}`, name);
      assert.ok((await text(page, '#console')).includes(` Fetching : E(${index})   ${source}`), `${name}: line ${line}`);
    }
    // No breakpoint is left ahead: Play goes on to the end, and stops there.
    await page.click('#play');
    await paused(page);
    assert.equal(await text(page, '#run-state'), 'completed', name);
    assert.equal(await cycleShown(page), report.cycles, name);
    assert.deepEqual(await page.$eval('#play', (button) => [button.textContent, button.disabled]), ['Play', true], name);
    assert.deepEqual(errors, [], name);
    await page.close();
  }
});

// Plays at `pace` for `cycles` cycles, then pauses: the time of each new
// cycle shown, by the page's clock, from the click on Play.
const playTimes = (page, pace, cycles) => page.evaluate((pace, cycles) => new Promise((resolve) => {
  const play = document.getElementById('play');
  const cycle = () => document.getElementById('cycle').textContent;
  document.getElementById('pace').value = pace;
  const times = [];
  let last = cycle();
  const started = performance.now();
  const observer = new MutationObserver(() => {
    if (cycle() === last) return;
    last = cycle();
    times.push(performance.now() - started);
    if (times.length < cycles) return;
    observer.disconnect();
    play.click();
    resolve(times);
  });
  observer.observe(document.getElementById('status'), { subtree: true, childList: true, characterData: true });
  play.click();
}), pace, cycles);

test('Play keeps to the pace chosen', async () => {
  const { page, errors } = await visit(filesLink(looping));
  // The k-th cycle cannot come before k - 1 pauses of the pace; at 10 a
  // second, ten cycles come well before the nine seconds they take at 1.
  const paces = [{ pace: '10', cycles: 10, within: 9000 }, { pace: '1', cycles: 3 }];
  for (const { pace, cycles, within } of paces) {
    const before = await cycleShown(page);
    const times = await playTimes(page, pace, cycles);
    await settled(page);
    assert.equal(await playing(page), false, pace);
    assert.equal(await cycleShown(page), before + cycles, pace);
    times.forEach((time, k) => assert.ok(time >= (k * 1000) / Number(pace) - 1, `${pace}/s: cycle ${k + 1} at ${time} ms`));
    if (within) assert.ok(times.at(-1) < within, `${pace}/s: ${cycles} cycles in ${times.at(-1)} ms`);
  }
  assert.deepEqual(errors, []);
  await page.close();
});

test('Play stops at the cap of 100,000 cycles', async () => {
  const { page, errors } = await visit(filesLink(looping));
  await page.type('#until', '99998');
  await click(page, '#run');
  await page.select('#pace', '10');
  await page.click('#play');
  await paused(page);
  assert.equal(await cycleShown(page), 100000);
  assert.match(await text(page, '#run-state'), /^stopped at the limit of 100000 cycles/);
  assert.equal(await page.$eval('#play', (button) => button.disabled), true);
  assert.deepEqual(errors, []);
  await page.close();
});

test('any other move pauses Play', async () => {
  const moves = [
    { name: 'Step', move: (page) => click(page, '#step') },
    { name: 'Back', move: (page) => click(page, '#back') },
    { name: 'Reset', move: (page) => click(page, '#reset') },
    { name: 'Run', move: (page) => click(page, '#run') },
    { name: 'a cycle of the chart', move: (page) => click(page, '#chart .cycle[data-cycle="1"]') },
    { name: 'the forwarding box', move: (page) => click(page, '#forwarding') },
    { name: 'an edit', move: (page) => page.type('textarea[id="src.txt"]', '\nadd $9, $1, $1') },
  ];
  for (const { name, move } of moves) {
    const { page, errors } = await visit(filesLink(looping));
    await page.select('#pace', '5');
    await page.click('#play');
    await page.waitForFunction(() => Number(document.getElementById('cycle')?.textContent) >= 2, { timeout: 60000 });
    await move(page);
    assert.equal(await playing(page), false, name);
    await settled(page);
    const at = await cycleShown(page);
    await new Promise((resolve) => setTimeout(resolve, 700));  // more than three steps at this pace
    await settled(page);
    assert.equal(await cycleShown(page), at, `${name}: no step after the pause`);
    assert.equal(await text(page, '#play'), 'Play', name);
    assert.deepEqual(errors, [], name);
    await page.close();
  }
});

test('a breakpoint on a line that holds no instruction, or on no line, is told of', async () => {
  const cases = [
    { breaks: '6, 40', notice: /no instruction on line 40/ },
    { breaks: 'six', notice: /write line numbers/ },
  ];
  for (const { breaks, notice } of cases) {
    const { page, errors } = await visit(filesLink(example('basic')));
    await setField(page, '#breaks', breaks);
    assert.match(await text(page, '#notice'), notice, breaks);
    assert.equal(await page.$eval('#breaks', (field) => field.getAttribute('aria-invalid')), 'true', breaks);
    await setField(page, '#breaks', '6');
    assert.equal(await page.$eval('#breaks', (field) => field.getAttribute('aria-invalid')), null, breaks);
    assert.deepEqual(errors, [], breaks);
    await page.close();
  }
});

// ---- hexadecimal ----------------------------------------------------------------

test('hex shows registers and memory words as 32 bits in hexadecimal, kept with the pace across a reload; the trace stays as it is', async () => {
  const files = { ...example('basic'), 'reg.txt': '0\n-1\n2147483647\n-2147483648\n0\n0\n0\n0\n', 'mem.txt': '-1\n5\n-16\n' };
  const { page, errors } = await visit(filesLink(files));
  await click(page, '#step');
  const shown = (p) => p.evaluate(() => ({
    registers: [...document.querySelectorAll('#registers span')].map((span) => span.textContent),
    words: [...document.querySelectorAll('#memory-words [data-word]')].map((word) => word.textContent),
    trace: document.getElementById('console').textContent,
  }));
  const decimal = await shown(page);
  assert.deepEqual(decimal.registers.slice(0, 4), ['$0 0', '$1 -1', '$2 2147483647', '$3 -2147483648']);
  assert.deepEqual(decimal.words.slice(0, 3), ['-1', '5', '-16']);
  const hexadecimal = {
    registers: ['$0 0x00000000', '$1 0xFFFFFFFF', '$2 0x7FFFFFFF', '$3 0x80000000'],
    words: ['0xFFFFFFFF', '0x00000005', '0xFFFFFFF0'],
  };
  await click(page, '#hex');
  const hex = await shown(page);
  assert.deepEqual(hex.registers.slice(0, 4), hexadecimal.registers);
  assert.deepEqual(hex.words.slice(0, 3), hexadecimal.words);
  assert.equal(hex.trace, decimal.trace);

  await page.select('#pace', '5');  // Play's pace is kept, too

  await page.reload();
  await page.evaluate(() => window.fivestage.ready);
  await settled(page);
  assert.equal(await page.$eval('#hex', (box) => box.checked), true);
  assert.equal(await page.$eval('#pace', (select) => select.value), '5');
  await click(page, '#step');
  assert.deepEqual((await shown(page)).registers.slice(0, 4), hexadecimal.registers);
  await click(page, '#hex');
  assert.deepEqual((await shown(page)).registers.slice(0, 4), decimal.registers.slice(0, 4));
  assert.deepEqual(errors, []);
  await page.close();
});

// ---- the dark scheme -------------------------------------------------------------

// The contrast of each text the page shows of a run against what it is on:
// an HTML element's nearest background, an SVG text's stage column. Lists
// those below `least`, with their colours, one of each kind.
const lowContrast = (page, least) => page.evaluate((least) => {
  const rgb = (colour) => colour.match(/[\d.]+/g).map(Number);
  const luminance = (colour) => {
    const [r, g, b] = rgb(colour).slice(0, 3).map((c) => c / 255)
      .map((c) => (c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4));
    return 0.2126 * r + 0.7152 * g + 0.0722 * b;
  };
  const ratio = (a, b) => {
    const [light, dark] = [luminance(a), luminance(b)].sort((x, y) => y - x);
    return (light + 0.05) / (dark + 0.05);
  };
  const opaque = (colour) => colour !== 'transparent' && (rgb(colour)[3] ?? 1) === 1;
  const background = (element) => {
    for (let at = element; at; at = at.parentElement) {
      const { backgroundColor } = getComputedStyle(at);
      if (opaque(backgroundColor)) return backgroundColor;
    }
    return 'rgb(255, 255, 255)';
  };
  const column = getComputedStyle(document.querySelector('#diagram .column')).fill;
  const texts = [
    ...['.bar label', '.brand span', '.bar button:not(:disabled)', '#breaks', '#status', '#status b', '.note', '#registers span b', '#registers span', '#registers span.changed', '#console',
      '#summary td', '#summary dt', '#compare-table td', '#compare-table th', '.inputs h2', 'label.file', '#checks li',
      '#chart .c.F', '#chart .c.D', '#chart .c.X', '#chart .c.M', '#chart .c.W', '#chart .cycle',
      '#chart .cycle.current', '#chart .label', '#memory-words span', '.panel h3', '.energy-files td']
      .flatMap((selector) => [...document.querySelectorAll(selector)].filter((element) => element instanceof HTMLElement)
        .slice(0, 3).map((element) => ({ selector, element,
        colour: getComputedStyle(element).color, on: background(element) }))),
    ...['.stage-name', '.stage-instruction', '.title', '.detail', '.value.active', '.value.dim', '.port', '.note']
      .flatMap((name) => [...document.querySelectorAll(`#diagram text${name}`)].map((element) =>
        ({ selector: `diagram ${name}`, element, colour: getComputedStyle(element).fill, on: column }))),
  ];
  if (texts.length < 40) throw new Error(`only ${texts.length} texts found`);
  return texts.filter(({ element }) => element.textContent.trim() !== '')
    .map(({ selector, colour, on }) => ({ selector, colour, on, ratio: Math.round(ratio(colour, on) * 100) / 100 }))
    .filter(({ ratio: r }) => r < least)
    .filter(({ selector }, i, low) => low.findIndex((other) => other.selector === selector) === i);
}, least);

test('the page follows the system\'s light or dark scheme, its texts at least 4.5:1 against what they are on', async () => {
  const schemes = [{ scheme: 'light', dark: false }, { scheme: 'dark', dark: true }];
  for (const { scheme, dark } of schemes) {
    const { page, errors } = await visit(filesLink(example('basic')));
    await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: scheme }]);
    await page.type('#until', '7');
    await click(page, '#run');  // a cycle with a stall, a store and a register written
    await page.$eval('#breaks', (field) => { field.value = '6'; });
    const background = await page.evaluate(() => getComputedStyle(document.body).backgroundColor);
    const brightness = background.match(/\d+/g).slice(0, 3).map(Number).reduce((sum, c) => sum + c, 0) / 3;
    assert.equal(brightness < 48, dark, `${scheme}: the page's background ${background}`);
    assert.deepEqual(await lowContrast(page, 4.5), [], scheme);
    await page.screenshot({ path: join(screenshots, `web-${scheme}.png`) });
    await page.setViewport({ width: 390, height: 844 });
    await page.screenshot({ path: join(screenshots, `web-${scheme}-390.png`) });
    assert.deepEqual(errors, [], scheme);
    await page.close();
  }
});

// ---- the printout ---------------------------------------------------------------

test('a printout of a cycle shows the program with its line numbers, as edited', async () => {
  const files = example('basic');
  const { page, errors } = await visit(filesLink(files));
  await click(page, '#step');
  const program = () => page.$eval('#print-program', (section) =>
    ({ height: section.getBoundingClientRect().height, text: section.querySelector('pre').textContent }));
  assert.equal((await program()).height, 0, 'not on screen');
  const numbered = (source) => source.trimEnd().split('\n').map((line, i) => `${i + 1}  ${line}`).join('\n');
  assert.equal((await program()).text, numbered(files['src.txt']));

  const edited = `${files['src.txt']}add $9, $1, $1\n`;
  await page.$eval('textarea[id="src.txt"]', (editor, source) => { editor.value = source; }, edited);
  await click(page, '#load');
  await page.emulateMediaType('print');
  const printed = await program();
  assert.ok(printed.height > 0, 'printed');
  assert.equal(printed.text, numbered(edited).replace(/^(\d)  /gm, ' $1  '), 'numbers aligned for ten lines');
  await page.pdf({ path: join(screenshots, 'web-print.pdf'), format: 'A4', landscape: true });
  assert.deepEqual(errors, []);
  await page.close();
});

// ---- the machine, kept ---------------------------------------------------------------

test('a reload and a link keep the machine chosen; an older link opens on no options', async () => {
  const { page, errors } = await visit();
  const context = page.browserContext();
  await click(page, '#forwarding');
  const boxes = (p) => p.evaluate(() => ({ forwarding: document.getElementById('forwarding').checked,
    flush: document.getElementById('flush').checked,
    drawnWithForwarding: document.querySelectorAll('#diagram .wire[data-path^="forward"]').length > 0 }));
  await click(page, '#link');
  await page.waitForFunction(() => document.getElementById('shared-link').value.includes('#inputs='));
  const link = await page.$eval('#shared-link', (input) => input.value);
  await click(page, '#step');

  const visits = [
    { name: 'a reload', open: async () => { await page.reload(); await page.evaluate(() => window.fivestage.ready); await settled(page); return page; },
      forwarding: true },
    { name: 'the link, by a new visitor', open: async () => (await visit(link)).page, forwarding: true },
    { name: 'an older link, by the same visitor', open: async () => (await visit(filesLink(example('basic')), context)).page,
      forwarding: false },
  ];
  for (const { name, open, forwarding } of visits) {
    const opened = await open();
    await click(opened, '#step');
    assert.deepEqual(await boxes(opened), { forwarding, flush: false, drawnWithForwarding: forwarding }, name);
    if (opened !== page) await opened.close();
  }
  assert.deepEqual(errors, []);
  await page.close();
});

// ---- to cycle past the cap -------------------------------------------------------------

test('"to cycle" past the cap runs to the cap and says so', async () => {
  const cases = [
    { name: 'a loop, past the cap', files: looping, until: '150000', cycle: 100000,
      note: 'cycle 150000 is past the cap: a run stops at the cap of 100000 cycles' },
    { name: 'a loop, short of the cap', files: looping, until: '500', cycle: 500, note: null },
    { name: 'a program that ends first', files: example('basic'), until: '150000', cycle: nativeReport(example('basic')).cycles,
      note: null },
  ];
  for (const { name, files, until, cycle, note } of cases) {
    const { page, errors } = await visit(filesLink(files));
    await page.type('#until', until);
    await click(page, '#run');
    assert.equal(await cycleShown(page), cycle, name);
    assert.equal(await page.$eval('#status', (status) => status.querySelector('#cap-note')?.textContent ?? null), note, name);
    assert.deepEqual(errors, [], name);
    await page.close();
  }
});
