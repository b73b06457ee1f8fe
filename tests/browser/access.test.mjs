// The page for everyone, in a real browser: the accessibility checker's
// verdict, the keyboard alone (the skip link, the file pickers), a phone's
// screen and a wide one, every word of a memory row, and the line numbers
// beside src.txt.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { openPage } from './browser.js';
import { assertAccessible } from './axe.js';
import { openSite, settled } from './site.js';

const site = process.env.FIVESTAGE_WEB_SITE;
const sourceDir = process.env.FIVESTAGE_SOURCE_DIR;
const screenshots = process.env.FIVESTAGE_SCREENSHOTS ?? tmpdir();
assert.ok(site && sourceDir, 'FIVESTAGE_WEB_SITE and FIVESTAGE_SOURCE_DIR are set');

const web = openSite(site);

before(async () => {
  mkdirSync(screenshots, { recursive: true });
});

// The page at `width` pixels by `height`, ready to use.
async function visit(width = 1280, height = 900) {
  const opened = await openPage(web.browser, web.url);
  await opened.page.setViewport({ width, height });
  await opened.page.evaluate(() => window.fivestage.ready);
  await settled(opened.page);
  return opened;
}

const sourceEditor = 'textarea[id="src.txt"]';

// Presses Tab until the focus is on what `reached()` accepts; returns the
// number of presses, or fails after `most`.
async function tabTo(page, reached, most = 40) {
  for (let presses = 1; presses <= most; ++presses) {
    await page.keyboard.press('Tab');
    if (await page.evaluate(reached)) return presses;
  }
  throw new Error(`Tab never reached ${reached}`);
}

// Presses Enter on the focused button, which opens a file picker, and picks `path`.
async function pickWithEnter(page, path) {
  const chosen = page.waitForFileChooser({ timeout: 5000 });
  // The browser intercepts pickers only once it has been asked to: a frame
  // of the page's goes by before the key is pressed.
  await page.evaluate(() => new Promise(requestAnimationFrame));
  await page.keyboard.press('Enter');
  const chooser = await chosen;
  await chooser.accept([path]);
  await settled(page);
}

async function checkExercise(page) {
  await page.focus('#exercise-check');
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => /passed|failed/.test(document.getElementById('exercise-verdict').className));
  return page.$eval('#exercise-verdict', (verdict) => verdict.className);
}

test('the accessibility checker finds no critical or serious violation, after a run and in an exercise checked', async () => {
  for (const [width, height] of [[1280, 900], [390, 844]]) {
    const { page, errors } = await visit(width, height);
    await page.click('#run');
    await settled(page);
    await assertAccessible(page, `${width} px, after a run`);
    assert.deepEqual(errors, [], String(width));
    await page.close();
  }

  const { page, errors } = await visit();
  const name = 'sum-array';
  await tabTo(page, () => document.activeElement.textContent === 'Open exercise');
  await pickWithEnter(page, join(sourceDir, 'examples', 'exercises', `${name}.json`));
  assert.equal(await page.$eval('#exercise', (panel) => panel.hidden), false);
  // The starting program fails the checks, the model answer passes them.
  const answers = [
    { answer: null, verdict: 'failed' },
    { answer: readFileSync(join(sourceDir, 'tests', 'exercise', 'solutions', name, 'src.txt'), 'utf8'), verdict: 'passed' },
  ];
  for (const { answer, verdict } of answers) {
    if (answer !== null) {
      await page.$eval(sourceEditor, (editor, text) => {
        editor.value = text;
        editor.dispatchEvent(new Event('input', { bubbles: true }));
      }, answer);
    }
    assert.equal(await checkExercise(page), verdict);
    await assertAccessible(page, `an exercise checked: ${verdict}`);
  }
  assert.deepEqual(errors, []);
  await page.close();
});

test('the keyboard alone opens a folder, and skips to the machine', async () => {
  const { page, errors } = await visit();
  // Open folder is the third stop, after the skip link and the example menu.
  assert.equal(await tabTo(page, () => document.activeElement.textContent === 'Open folder'), 3);
  await pickWithEnter(page, join(sourceDir, 'examples', 'loop'));
  assert.equal(await page.$eval(sourceEditor, (editor) => editor.value),
    readFileSync(join(sourceDir, 'examples', 'loop', 'src.txt'), 'utf8'));
  assert.equal(await page.$eval('#example', (select) => select.value), 'loop');

  // The skip link comes first, and shows once reached.
  await page.reload({ waitUntil: 'load' });
  await page.evaluate(() => window.fivestage.ready);
  await page.keyboard.press('Tab');
  const skip = await page.evaluate(() => {
    const link = document.activeElement;
    const box = link.getBoundingClientRect();
    return { text: link.textContent, shown: box.top >= 0 && box.bottom <= innerHeight && box.height > 0 };
  });
  assert.deepEqual(skip, { text: 'Skip to the machine', shown: true });
  await page.keyboard.press('Enter');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'machine');
  // The machine's status line is in sight, below the toolbar that stays on top.
  const [bar, status] = await Promise.all(['.bar', '#status'].map((selector) =>
    page.$eval(selector, (element) => element.getBoundingClientRect().toJSON())));
  assert.ok(status.top >= bar.bottom && status.bottom <= 900, `status at ${status.top}, toolbar down to ${bar.bottom}`);
  // From there the next stop is the pipeline chart, not one of the editors.
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'chart');
  assert.deepEqual(errors, []);
  await page.close();
});

// Where each button of the toolbars is, and whether a tap at its middle reaches it.
const toolbarButtons = (page) => page.$$eval('.bar button', (buttons) => buttons.map((button) => {
  const box = button.getBoundingClientRect();
  const shown = box.width > 0 && box.height > 0;
  const tapped = shown && document.elementFromPoint(box.left + box.width / 2, box.top + box.height / 2);
  return {
    name: button.textContent,
    shown,
    inside: box.left >= 0 && box.right <= innerWidth && box.top >= 0 && box.bottom <= innerHeight,
    tappable: Boolean(tapped) && button.contains(tapped),
  };
}));

test('on a phone the page does not scroll sideways and the toolbar is in reach; on a wide screen it is all there', async () => {
  const screens = [
    // A phone shows the run's buttons and More, which shows the others.
    { width: 390, height: 844, collapsed: ['More', 'Load', 'Step', 'Play', 'Back', 'Run', 'Stop', 'Reset'] },
    { width: 1280, height: 900, collapsed: null },
  ];
  for (const { width, height, collapsed } of screens) {
    const { page, errors } = await visit(width, height);
    await page.click('#run');
    await settled(page);
    const layout = await page.evaluate(() => {
      const diagram = document.getElementById('diagram');
      return {
        pageWidth: document.documentElement.scrollWidth,
        header: document.querySelector('.bar').getBoundingClientRect().height,
        diagramInside: diagram.getBoundingClientRect().right <= innerWidth,
      };
    });
    assert.ok(layout.pageWidth <= width, `${width} px: the page is ${layout.pageWidth} px wide`);
    assert.ok(layout.header <= 0.15 * height, `${width} px: the header is ${layout.header} px high`);
    assert.ok(layout.diagramInside, `${width} px: the datapath keeps to its box`);
    await page.screenshot({ path: join(screenshots, `web-phone-${width}.png`) });

    const buttons = await toolbarButtons(page);
    if (collapsed) {
      assert.deepEqual(buttons.filter(({ shown }) => shown).map(({ name }) => name), collapsed, `${width} px`);
      await page.click('#more');
      assert.equal(await page.$eval('#more', (more) => more.getAttribute('aria-expanded')), 'true');
      await page.screenshot({ path: join(screenshots, `web-phone-${width}-more.png`) });
    }
    for (const button of await toolbarButtons(page)) {
      if (button.name === 'More' && !collapsed) continue;  // a phone's only
      assert.deepEqual(button, { name: button.name, shown: true, inside: true, tappable: true }, `${width} px`);
    }
    assert.deepEqual(errors, [], String(width));
    await page.close();
  }
});

test('every word of a memory row is in sight on a wide screen', async () => {
  const { page, errors } = await visit(1280, 900);
  // Words of up to six digits, and a sign.
  await page.$eval('textarea[id="mem.txt"]', (editor) => {
    editor.value = Array.from({ length: 16 }, (_, word) => `${word % 2 ? -word * 11111 : word}\n`).join('');
  });
  await page.click('#load');
  await settled(page);
  const rows = await page.$$eval('#memory-words .memory-row', (shown) => {
    const view = document.getElementById('memory-all');
    const box = view.getBoundingClientRect();
    const right = box.left + view.clientLeft + view.clientWidth;
    return shown.map((row) => [...row.querySelectorAll('[data-word]')].map((word) => {
      const { left, right: end } = word.getBoundingClientRect();
      const text = word.firstChild;
      const range = document.createRange();
      range.selectNodeContents(text);
      return { word: Number(word.dataset.word), inSight: left >= box.left && end <= right && range.getBoundingClientRect().left >= left };
    }));
  });
  assert.equal(rows.length, 4);
  for (const row of rows) assert.deepEqual(row.map(({ inSight }) => inSight), [true, true, true, true], JSON.stringify(row));
  assert.deepEqual(rows.flat().map(({ word }) => word), Array.from({ length: 16 }, (_, word) => word));
  assert.equal(await page.$eval('#memory-all', (view) => view.scrollWidth <= view.clientWidth), true, 'no sideways scroll');
  assert.deepEqual(errors, []);
  await page.close();
});

// Where the editor's line `line` (from 1) and its number in the gutter are
// drawn, in pixels from the top of the window.
const linePlaces = (page, line) => page.evaluate((line) => {
  const editor = document.getElementById('src.txt');
  const gutter = document.getElementById('src-gutter');
  const style = getComputedStyle(editor);
  const lineHeight = parseFloat(style.lineHeight);
  const text = editor.getBoundingClientRect().top + parseFloat(style.borderTopWidth) + parseFloat(style.paddingTop) +
    (line - 1) * lineHeight - editor.scrollTop;
  const numbers = gutter.firstChild.textContent;
  const start = numbers.split('\n').slice(0, line - 1).join('\n').length + (line > 1 ? 1 : 0);
  const range = document.createRange();
  range.setStart(gutter.firstChild, start);
  range.setEnd(gutter.firstChild, start + String(line).length);
  return { text, number: range.getBoundingClientRect().top, shown: range.toString() };
}, line);

test('the lines of src.txt are numbered beside them, as they scroll and as they change', async () => {
  const { page, errors } = await visit();
  const gutter = () => page.$eval('#src-gutter', (numbers) => ({ text: numbers.textContent, hidden: numbers.getAttribute('aria-hidden') }));
  const basic = readFileSync(join(sourceDir, 'examples', 'basic', 'src.txt'), 'utf8');
  const numbered = (source) => source.split('\n').map((_, k) => k + 1).join('\n');
  assert.deepEqual(await gutter(), { text: numbered(basic), hidden: 'true' });

  // Typed lines are numbered; a long program scrolls, and its numbers with it.
  const long = Array.from({ length: 60 }, (_, k) => `addi $1, $1, ${k}   # line ${k + 1}`).join('\n');
  await page.click(sourceEditor);
  await page.keyboard.down('Control');
  await page.keyboard.press('a');
  await page.keyboard.up('Control');
  await page.keyboard.type(`${long}\n`);
  assert.equal((await gutter()).text, numbered(`${long}\n`));
  await page.$eval(sourceEditor, (editor) => { editor.scrollTop = 300; });
  await page.waitForFunction(() => document.getElementById('src-gutter').scrollTop === document.getElementById('src.txt').scrollTop);
  for (const line of [1, 20, 30, 61]) {
    const { text, number, shown } = await linePlaces(page, line);
    assert.equal(shown, String(line));
    // Within the half of the line's leading that a text's own box leaves above it.
    assert.ok(Math.abs(text - number) < 2, `line ${line}: text at ${text}, number at ${number}`);
  }

  // An example chosen from the menu is numbered afresh, and the editor is as tall as before.
  const height = await page.$eval(sourceEditor, (editor) => editor.offsetHeight);
  await page.select('#example', 'loop');
  await settled(page);
  assert.equal((await gutter()).text, numbered(readFileSync(join(sourceDir, 'examples', 'loop', 'src.txt'), 'utf8')));
  assert.equal(await page.$eval(sourceEditor, (editor) => editor.offsetHeight), height);
  assert.deepEqual(errors, []);
  await page.close();
});
