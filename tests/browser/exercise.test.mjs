// Exercises in the page, in a real browser: checks as fivestage-report
// --check --json makes them, an exercise opened from a link or a file, a
// right and a wrong answer checked, an exercise made in the form and opened
// from its link, and links that are too long or damaged.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { deflateRawSync, inflateRawSync } from 'node:zlib';
import { randomBytes } from 'node:crypto';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { openSite, settled } from './site.js';
import { assertAccessible } from './axe.js';

const site = process.env.FIVESTAGE_WEB_SITE;
const sourceDir = process.env.FIVESTAGE_SOURCE_DIR;
const reportTool = process.env.FIVESTAGE_REPORT;
assert.ok(site && sourceDir && reportTool, 'FIVESTAGE_WEB_SITE, FIVESTAGE_SOURCE_DIR and FIVESTAGE_REPORT are set');

const web = openSite(site);
const { visit } = web;

let work;
before(async () => {
  work = mkdtempSync(join(tmpdir(), 'fivestage-exercise-'));
});
after(async () => {
  rmSync(work, { recursive: true, force: true });
});

const workedExercises = ['sum-array', 'reorder-stalls', 'behind-branch'];
const exercisePath = (name) => join(sourceDir, 'examples', 'exercises', `${name}.json`);
const exerciseText = (name) => readFileSync(exercisePath(name), 'utf8');
const modelAnswer = (name) => readFileSync(join(sourceDir, 'tests', 'exercise', 'solutions', name, 'src.txt'), 'utf8');
const exerciseLink = (text) => `${web.url}#exercise=${deflateRawSync(JSON.stringify(JSON.parse(text))).toString('base64url')}`;
const linkedExercise = (link) => JSON.parse(inflateRawSync(Buffer.from(link.split('#exercise=')[1], 'base64url')).toString());

const text = (page, selector) => page.$eval(selector, (element) => element.textContent);
const editorValue = (page, name) => page.$eval(`textarea[id="${name}"]`, (editor) => editor.value);

// Puts `value` in a field as typing would, so that the page hears the edit.
async function enter(page, selector, value) {
  await page.$eval(selector, (field, typed) => {
    field.value = typed;
    field.dispatchEvent(new Event('input', { bubbles: true }));
  }, value);
}

async function check(page) {
  await page.click('#exercise-check');
  await settled(page);
  await page.waitForFunction(() => !/checking/.test(document.getElementById('exercise-verdict').textContent));
  return {
    verdict: await text(page, '#exercise-verdict'),
    checks: await page.$$eval('#exercise-checks li', (items) => items.map((item) => item.textContent)),
  };
}

test('the page checks an answer as fivestage-report --check --json does', async () => {
  const { page, errors } = await visit();
  for (const name of workedExercises) {
    // A label by name reads as L0: the program check warns of it, in the outcome too.
    const named = modelAnswer(name).replace(/\bL\d+\b/, 'again');
    const answers = { model: modelAnswer(name), start: JSON.parse(exerciseText(name)).files['src.txt'] };
    if (named !== answers.model) answers.named = named;
    for (const [answer, source] of Object.entries(answers)) {
      const folder = mkdtempSync(join(work, `${name}-${answer}-`));
      writeFileSync(join(folder, 'src.txt'), source);
      const cli = spawnSync(reportTool, ['--check', exercisePath(name), folder, '--json', '-'], { encoding: 'utf8' });
      const expected = JSON.parse(cli.stdout);
      assert.equal(expected.passed, answer === 'model', `${name}, ${answer}`);
      assert.equal(expected.warnings.some(({ kind }) => kind === 'label-never-taken'), answer === 'named', `${name}, ${answer}`);
      assert.deepEqual(await page.evaluate((t, s) => window.fivestage.check(t, s), exerciseText(name), source), expected,
        `${name}, ${answer}`);
    }
  }
  // The browser reads the JSON, the module validates what it read: whole
  // numbers stay whole, others are refused by member as at the command line.
  const sumArray = JSON.parse(exerciseText('sum-array'));
  const refusals = [
    { text: '{"schema": 2}', message: /^schema: this fivestage reads version 1, not 2$/ },
    { text: JSON.stringify({ ...sumArray, maxCycles: 1.5 }), message: /^maxCycles: must be a whole number$/ },
    { text: JSON.stringify({ ...sumArray, limits: { stalls: '3' } }), message: /^limits.stalls: must be a whole number$/ },
    { text: '{"schema": 1,', message: /^not JSON: / },
  ];
  for (const { text: exercise, message } of refusals) {
    const refusal = await page.evaluate((t) => window.fivestage.check(t, '').then(() => 'accepted', (error) => error.message), exercise);
    assert.match(refusal, message);
  }
  assert.deepEqual(errors, []);
  await page.close();
});

test('an exercise opens from a link or a file with its statement, and only src.txt editable', async () => {
  const openings = [
    { name: 'link', exercise: 'sum-array', open: () => visit(exerciseLink(exerciseText('sum-array'))) },
    { name: 'file', exercise: 'behind-branch', open: async () => {
      const opened = await visit();
      await (await opened.page.$('#exercise-file')).uploadFile(exercisePath('behind-branch'));
      await opened.page.waitForFunction(() => !document.getElementById('exercise').hidden);
      await settled(opened.page);
      return opened;
    } },
  ];
  for (const { name, exercise, open } of openings) {
    const { page, errors } = await open();
    const file = JSON.parse(exerciseText(exercise));
    assert.equal(await text(page, '#exercise-title'), file.title, name);
    assert.equal(await text(page, '#exercise-statement'), file.statement, name);
    assert.equal(await editorValue(page, 'src.txt'), file.files['src.txt'], name);
    assert.equal(await editorValue(page, 'reg.txt'), file.data[0]['reg.txt'], name);
    const readOnly = await page.$$eval('#inputs textarea', (editors) => editors.map((editor) => [editor.id || editor.closest('tr').dataset.path, editor.readOnly]));
    assert.deepEqual(readOnly.filter(([, locked]) => !locked).map(([path]) => path), ['src.txt'], name);
    assert.equal(await page.$eval('#forwarding', (box) => box.disabled), true, name);
    // Before any check, the list says what is checked; a hidden data set's values are not in it.
    const planned = await page.$$eval('#exercise-checks li', (items) => items.map((item) => item.textContent));
    const hidden = file.data.filter((data) => data.hidden).map((data) => data.name);
    for (const line of planned.filter((item) => hidden.some((data) => item.startsWith(`${data}:`)))) {
      assert.match(line, /values not shown/, name);
    }
    assert.ok(planned.includes(`${file.data[0].name}: word 8: ${file.data[0].expect.memory['8']}`), `${name}: ${planned}`);
    assert.match(await text(page, '#console'), /Source Code Loaded/, name);
    // Copy link gives the exercise's link, whichever way it was opened.
    await page.click('#link');
    await page.waitForFunction(() => !document.getElementById('shared').hidden);
    assert.deepEqual(linkedExercise(await page.$eval('#shared-link', (field) => field.value)), file, name);
    assert.deepEqual(errors, [], name);
    await page.close();
  }
});

test('Check passes a right answer; a wrong one fails, hidden data sets only naming the check; the answer outlives a reload', async () => {
  const { page, errors } = await visit(exerciseLink(exerciseText('sum-array')));
  await enter(page, 'textarea[id="src.txt"]', modelAnswer('sum-array'));
  const right = await check(page);
  assert.equal(right.verdict, 'passed');
  assert.equal(right.checks.length, 7);
  assert.ok(right.checks.every((line) => line.startsWith('✓ ')), right.checks.join('\n'));

  // Right for the data set the student sees, and for no other.
  const hardCoded = 'addi $2, $0, 10\nlw $2, 8($0)\n';
  await enter(page, 'textarea[id="src.txt"]', hardCoded);
  const wrong = await check(page);
  assert.equal(wrong.verdict, '2 of 7 checks failed');
  assert.ok(wrong.checks.includes('✓ four words: word 8: 10 (expected 10)'), wrong.checks.join('\n'));
  assert.ok(wrong.checks.includes('✗ six words: word 8 (hidden data set: values not shown)'), wrong.checks.join('\n'));
  assert.ok(!wrong.checks.some((line) => /\b22\b/.test(line)), 'the hidden expected value is not shown');

  // A label written as a name: the warning shows above the checks, as the report words it.
  await enter(page, 'textarea[id="src.txt"]', modelAnswer('sum-array').replace('L3', 'loop'));
  const named = await check(page);
  assert.equal(named.verdict, '2 of 7 checks failed');
  const warnings = await page.$$eval('#exercise-warnings li', (items) => items.map((item) => item.textContent));
  assert.equal(warnings.length, 1);
  assert.match(warnings[0], /^⚠ line 6: the label reads as L0 \(.*\): the branch is never taken$/);
  assert.equal(await page.$eval('#exercise-warnings', (list) => list.hidden), false);
  await enter(page, 'textarea[id="src.txt"]', hardCoded);
  await check(page);
  assert.equal(await page.$eval('#exercise-warnings', (list) => list.hidden), true, 'no warning left from before');

  await page.reload({ waitUntil: 'load' });
  await page.evaluate(() => window.fivestage.ready);
  await settled(page);
  assert.equal(await editorValue(page, 'src.txt'), hardCoded, 'the answer is kept');
  await page.click('#exercise-leave');
  await settled(page);
  assert.equal(await page.$eval('#exercise', (panel) => panel.hidden), true);
  assert.equal(await editorValue(page, 'src.txt'), readFileSync(join(sourceDir, 'examples', 'basic', 'src.txt'), 'utf8'),
    'the free inputs are untouched by the answer');
  assert.equal(await page.$eval('textarea[id="reg.txt"]', (editor) => editor.readOnly), false);
  assert.deepEqual(errors, []);
  await page.close();
});

// Keeps what the page hands to the browser to download, [name, text] each,
// instead of saving it.
async function keepDownloads(page) {
  await page.evaluate(() => {
    window.downloaded = [];
    HTMLAnchorElement.prototype.click = function keep() {
      window.downloaded.push(fetch(this.href).then((response) => response.text()).then((text) => [this.download, text]));
    };
  });
}

// Clicks `button`, a download, and returns the [name, text] of the file.
async function downloadOf(page, button) {
  const before = await page.evaluate(() => window.downloaded.length);
  await page.click(button);
  await settled(page);
  await page.waitForFunction((count) => window.downloaded.length > count, {}, before);
  return page.evaluate(() => window.downloaded.at(-1));
}

// Clicks `button`, a Copy link, and returns the link its field shows.
async function linkOf(page, button, field) {
  await page.click(button);
  await settled(page);
  await page.waitForFunction((id) => !document.getElementById(id).hidden, {}, field);
  return page.$eval(`#${field}`, (shown) => shown.value);
}

// Opens the form on a teacher's solution, by default $3 = $1 + $2, from
// registers 4 and 5, stored in word 0 (lw stores).
async function openForm(solution = 'add $3, $1, $2\nlw $3, 0($0)\n', inputs = { 'reg.txt': '0\n4\n5\n0\n' }) {
  const opened = await visit();
  const { page } = opened;
  await enter(page, 'textarea[id="src.txt"]', solution);
  for (const [name, value] of Object.entries(inputs)) await enter(page, `textarea[id="${name}"]`, value);
  await page.waitForSelector('#rerun');
  await settled(page);
  await page.click('#make-exercise');
  await page.waitForSelector('#author-values input');
  await settled(page);
  return opened;
}

// Makes the exercise of the open form and returns it, read from its link.
async function madeExercise(page) {
  return linkedExercise(await linkOf(page, '#author-link', 'author-link-text'));
}

test('by default the form checks the words the solution changes, so a right answer with other registers passes', async () => {
  const sumArray = JSON.parse(exerciseText('sum-array'));
  const { page, errors } = await openForm(modelAnswer('sum-array'),
    { 'reg.txt': sumArray.data[0]['reg.txt'], 'mem.txt': sumArray.data[0]['mem.txt'] });
  // The loop's counter, sum and scratch registers change, and are listed, unticked.
  const boxes = await page.$$eval('#author-values input', (list) => list.map((box) => [box.dataset.register ?? `word ${box.dataset.word}`, box.checked]));
  assert.deepEqual(boxes, [['1', false], ['2', false], ['4', false], ['word 8', true]]);
  await page.type('#author-title', 'Sum');
  const made = await madeExercise(page);
  assert.deepEqual(made.data[0].expect, { memory: { 8: 10 } });

  // The same loop with its counter in $5, its sum in $6 and each word in $7.
  const { page: student, errors: studentErrors } = await visit(exerciseLink(JSON.stringify(made)));
  await enter(student, 'textarea[id="src.txt"]', 'addi $5, $0, 0\naddi $6, $0, 0\nsw $7, 0($5)\naddi $5, $5, 1\n' +
    'add $6, $6, $7\nbne $5, $3, L3\naddi $4, $4, 0\nlw $6, 8($0)\n');
  assert.equal((await check(student)).verdict, 'passed');
  assert.deepEqual([...errors, ...studentErrors], []);
  await page.close();
  await student.close();
});

test('a teacher makes an exercise in the form; its link opens it, and the solution passes there', async () => {
  const { page, errors } = await openForm();
  assert.match(await text(page, '#author-values'), /\$3: 0 → 9/);
  await page.click('#author-values input[data-register="3"]');  // the register the task asks for
  await page.type('#author-title', 'Add two registers');
  await page.type('#author-statement', 'Put $1 + $2 into $3.');
  await page.type('#author-start', '# your program\n');
  await page.click('#author-limits input[data-limit="instructions"]');
  assert.equal(await page.$eval('#author-limits input[data-limit="instructions"] + input', (field) => field.value), '2');
  // The energy-delay limit starts at the solution's own: its energy times its cycles. Without flush
  // nothing runs on a wrong path, so no limit of it is offered.
  const limitValue = (name) => page.$eval(`#author-limits input[data-limit="${name}"] + input`, (field) => Number(field.value));
  assert.equal(await limitValue('energyDelay'), await limitValue('energy') * await limitValue('cycles'));
  assert.equal(await page.$('#author-limits input[data-limit="wrongPathEnergy"]'), null);
  await page.click('#author-add');
  await enter(page, '#author-data .author-data:nth-child(2) .reg', '0\n10\n20\n0\n');
  assert.equal(await page.$eval('#author-data .author-data:nth-child(2) .mem', (field) => field.value), await editorValue(page, 'mem.txt'));
  const link = await linkOf(page, '#author-link', 'author-link-text');
  assert.equal(await text(page, '#author-result'), 'Your src.txt against this exercise: passed');
  assert.ok(link.length <= 2000, `${link.length} characters`);

  // The file downloaded holds the same exercise as the link.
  await keepDownloads(page);
  const [fileName, fileText] = await downloadOf(page, '#author-download');
  assert.equal(fileName, 'add-two-registers.json');
  assert.deepEqual(JSON.parse(fileText), linkedExercise(link));

  const made = linkedExercise(link);
  assert.equal(made.files['src.txt'], '# your program\n', 'the starting program, not the solution');
  assert.equal(Object.keys(made.files).length, 1, 'no energy file that repeats the bundled figures');
  assert.deepEqual(made.data.map((data) => [data.name, data.hidden ?? false, data.expect]),
    [['given', false, { registers: { 3: 9 }, memory: { 0: 9 } }], ['data set 2', true, { registers: { 3: 30 }, memory: { 0: 30 } }]]);
  assert.deepEqual(made.limits, { instructions: 2 });

  const { page: student, errors: studentErrors } = await visit(link);
  assert.equal(await text(student, '#exercise-title'), 'Add two registers');
  assert.equal(await editorValue(student, 'src.txt'), '# your program\n');
  await enter(student, 'textarea[id="src.txt"]', 'add $3, $2, $1\nlw $3, 0($0)\n');
  assert.equal((await check(student)).verdict, 'passed');
  assert.deepEqual([...errors, ...studentErrors], []);
  await page.close();
  await student.close();
});

test('the form hands out a student copy without the hidden data sets, which says they are checked at grading', async () => {
  const { page, errors } = await openForm();
  await page.click('#author-values input[data-register="3"]');
  await page.type('#author-title', 'Add two registers');
  await page.click('#author-add');  // hidden by default
  // Inputs and sums found nowhere else, so that a search finds them only if they leaked.
  const secret = ['731909', '804417', '1536326', 'data set 2'];
  await enter(page, '#author-data .author-data:nth-child(2) .reg', '0\n731909\n804417\n0\n');
  const legendOf = (button) => page.$eval(button, (shown) => shown.closest('fieldset').querySelector('legend').textContent);
  assert.equal(await legendOf('#author-download'), 'The full file, for grading');
  assert.equal(await legendOf('#author-student-download'), 'The student copy, for students');

  await keepDownloads(page);
  const [fullName, fullText] = await downloadOf(page, '#author-download');
  const [copyName, copyText] = await downloadOf(page, '#author-student-download');
  assert.equal(fullName, 'add-two-registers.json');
  assert.equal(copyName, 'add-two-registers-student.json');
  for (const value of secret) assert.ok(fullText.includes(value), `the full file holds ${value}`);
  const studentLink = await linkOf(page, '#author-student-link', 'author-student-link-text');
  const linked = JSON.stringify(linkedExercise(studentLink));
  for (const value of secret) {
    assert.ok(!copyText.includes(value), `the student copy holds ${value}`);
    assert.ok(!linked.includes(value), `the student link holds ${value}`);
  }
  const copy = JSON.parse(copyText);
  assert.equal(copy.hiddenDataSets, 1);
  assert.deepEqual(copy.data, [JSON.parse(fullText).data[0]], 'the visible data set as in the full file');
  assert.deepEqual(linkedExercise(studentLink), copy);
  await assertAccessible(page, 'the form with the student link shown');

  // Opened from its link, the copy says what it leaves out, in --check's words, and still does once checked.
  const folder = mkdtempSync(join(work, 'student-copy-'));
  writeFileSync(join(folder, 'copy.json'), copyText);
  writeFileSync(join(folder, 'src.txt'), 'add $3, $2, $1\nlw $3, 0($0)\n');
  const cli = spawnSync(reportTool, ['--check', join(folder, 'copy.json'), folder], { encoding: 'utf8' });
  const note = cli.stdout.trimEnd().split('\n').at(-1);
  assert.match(note, /^1 hidden data set is checked at grading/);
  const { page: student, errors: studentErrors } = await visit(studentLink);
  assert.equal(await student.$eval('#exercise-hidden', (shown) => shown.hidden), false);
  assert.equal(await text(student, '#exercise-hidden'), note);
  await enter(student, 'textarea[id="src.txt"]', 'add $3, $2, $1\nlw $3, 0($0)\n');
  assert.equal((await check(student)).verdict, 'passed');
  assert.equal(await student.$eval('#exercise-hidden', (shown) => shown.hidden), false);
  await assertAccessible(student, 'a student copy checked');

  // With every data set hidden there is nothing to hand out, and the form says so.
  await page.click('#author-data .author-data:nth-child(1) .hidden');
  await page.click('#author-student-download');
  await settled(page);
  await page.waitForFunction(() => /No student copy/.test(document.getElementById('author-result').textContent));
  assert.match(await text(page, '#author-result'), /^No student copy: every data set is hidden/);
  assert.deepEqual([...errors, ...studentErrors], []);
  await page.close();
  await student.close();
});

test('a link too long to share is refused, with the advice to share the file', async () => {
  const { page, errors } = await openForm();
  await page.type('#author-title', 'Long');
  // Text that does not compress: its link could not be short.
  await enter(page, '#author-statement', randomBytes(2000).toString('base64'));
  await page.click('#author-link');
  await settled(page);
  await page.waitForFunction(() => /share that instead/.test(document.getElementById('author-result').textContent));
  assert.match(await text(page, '#author-result'), /link would be \d{4} characters, more than the 2000/);
  assert.equal(await page.$eval('#author-link-text', (field) => field.hidden), true);
  assert.deepEqual(errors, []);
  await page.close();
});

test('a damaged or invalid exercise link says so, and the page opens as without it', async () => {
  const link = exerciseLink(exerciseText('reorder-stalls'));
  const damaged = [
    { name: 'cut short', hash: link.slice(link.indexOf('#'), -12), message: /exercise link is damaged/ },
    { name: 'not compressed', hash: `#exercise=${Buffer.from('hello').toString('base64url')}`, message: /exercise link is damaged/ },
    { name: 'not an exercise', hash: `#exercise=${deflateRawSync('{"schema": 1, "title": "T"}').toString('base64url')}`,
      message: /This exercise link cannot be used: data: is missing/ },
  ];
  for (const { name, hash, message } of damaged) {
    const { page, errors } = await visit(web.url + hash);
    assert.equal(await page.$eval('#notice', (notice) => notice.hidden), false, name);
    assert.match(await text(page, '#notice'), message, name);
    assert.equal(await page.$eval('#exercise', (panel) => panel.hidden), true, name);
    assert.equal(await page.$eval('textarea[id="reg.txt"]', (editor) => editor.readOnly), false, name);
    assert.match(await text(page, '#console'), /Source Code Loaded/, name);
    assert.equal(await page.evaluate(() => location.hash), '', name);
    assert.deepEqual(errors, [], name);
    await page.close();
  }
});
