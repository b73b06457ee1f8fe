// Make an exercise: a form for teachers, from the inputs in the editors.
// src.txt is the teacher's solution: the simulator runs it on every data set
// for the values to expect, and it never goes into the exercise, whose
// starting program is what the form says. The form gives the exercise file
// and a link to it, for grading, and the student copy and its link, without
// the hidden data sets, to hand out.
'use strict';

// eslint-disable-next-line no-unused-vars
const fivestageAuthor = (() => {
  const $ = (id) => document.getElementById(id);
  const limitNames = ['cycles', 'stalls', 'mispredictions', 'energy', 'energyDelay', 'wrongPathEnergy', 'instructions'];

  const element = (tag, properties = {}, children = []) => {
    const made = Object.assign(document.createElement(tag), properties);
    made.append(...children);
    return made;
  };
  const labelled = (text, control) => element('label', {}, [control, ` ${text}`]);

  // A data set's row: the first is the inputs in the editors, further ones
  // have texts of their own, which start as those of the editors (`start`),
  // and are hidden unless unticked.
  function dataRow(name, inputs, start = inputs) {
    const row = element('div', { className: 'author-data' });
    row.append(element('input', { className: 'name', value: name, title: 'name', ariaLabel: 'data set name' }));
    if (inputs) {
      row.append(element('span', { className: 'note', textContent: 'reg.txt and mem.txt as in the editors' }),
        labelled('hidden', element('input', { type: 'checkbox', className: 'hidden' })));
      row.inputs = inputs;
      return row;
    }
    row.append(labelled('hidden', element('input', { type: 'checkbox', className: 'hidden', checked: true })),
      element('textarea', { className: 'reg', placeholder: 'reg.txt', rows: 4, spellcheck: false, value: start['reg.txt'] }),
      element('textarea', { className: 'mem', placeholder: 'mem.txt', rows: 4, spellcheck: false, value: start['mem.txt'] }),
      element('button', { type: 'button', textContent: 'Remove', onclick: () => row.remove() }));
    return row;
  }

  // `client` asks the simulator, `editors` holds the files, `machine()` is
  // the machine of the controls, `linkOf(text)` makes an exercise's link and
  // `download(name, text, type)` hands a file to the browser.
  function create({ client, editors, machine, linkOf, download }) {
    let choices = null;  // what the solution changes, and its figures

    const checked = (selector) => [...$('author').querySelectorAll(selector)].filter((box) => box.checked);

    // The exercise as the form describes it, without the values to expect.
    function draft() {
      const files = editors.files();
      const energy = Object.entries(files).filter(([path]) => path.startsWith('EnergyConsumptionInput/'));
      const data = [...$('author-data').children].map((row) => ({
        name: row.querySelector('.name').value,
        hidden: row.querySelector('.hidden').checked,
        'reg.txt': row.inputs ? files['reg.txt'] : row.querySelector('.reg').value,
        'mem.txt': row.inputs ? files['mem.txt'] : row.querySelector('.mem').value,
        expect: {},
      }));
      const limits = Object.fromEntries(checked('[data-limit]').map((box) =>
        [box.dataset.limit, Number(box.parentElement.querySelector('input[type=number]').value)]));
      return {
        schema: 1,
        title: $('author-title').value,
        statement: $('author-statement').value,
        files: { 'src.txt': $('author-start').value, ...Object.fromEntries(energy) },
        machine: machine(),
        data,
        limits,
        asMeant: $('author-as-meant').checked,
        editable: checked('[data-editable]').map((box) => box.dataset.editable),
      };
    }

    function say(text, state = '') {
      $('author-result').textContent = text;
      $('author-result').className = state;
    }

    // The registers and words to check, each with the run's value and,
    // where it differs, the meaning's. The words start ticked and the
    // registers not: a loop counter or a scratch register checked would fail
    // a right answer that keeps them elsewhere, so the teacher ticks the
    // registers the task asks for.
    function valueRow(kind, { initial, final, meant }, location) {
      const name = kind === 'register' ? `$${location}` : `word ${location}`;
      const meaning = meant === null ? ' (no meaning to its end)' : meant === final ? '' : `, meant ${meant}`;
      const box = element('input', { type: 'checkbox', checked: kind === 'word' });
      box.dataset[kind] = location;
      return labelled(`${name}: ${initial} → ${final}${meaning}`, box);
    }

    function showChoices() {
      $('author-values').replaceChildren(
        ...choices.registers.map((choice) => valueRow('register', choice, choice.register)),
        ...choices.memory.map((choice) => valueRow('word', choice, choice.word)));
      if (!choices.registers.length && !choices.memory.length) say('The program changes no register or word.');
      // The limits the run has a figure for: mispredictions only where Fetch
      // predicts, wrong-path energy only with flush.
      $('author-limits').replaceChildren(...limitNames.filter((name) => name in choices.figures).map((name) => {
        const box = element('input', { type: 'checkbox' });
        box.dataset.limit = name;
        return element('label', {}, [box, ` ${name} `, element('input', { type: 'number', min: 0, value: choices.figures[name] })]);
      }));
      $('author-as-meant').checked = choices.asMeant;
    }

    async function show() {
      const files = editors.files();
      $('author-machine').textContent = `On the machine of the controls: ${fivestageMachine.summary()}. ` +
        'src.txt in the editor is your solution; students get the starting program below.';
      $('author-data').replaceChildren(dataRow('given', files));
      $('author-link-text').hidden = true;
      $('author-student-link-text').hidden = true;
      say('');
      $('author').showModal();
      choices = await client.request('choices', { draft: draft(), solution: files['src.txt'] });
      if (choices.error) {
        say(choices.error, 'failed');
        $('author-values').replaceChildren();
        $('author-limits').replaceChildren();
        return;
      }
      showChoices();
    }

    // The exercise made from the form, { text, studentCopy }, or null when
    // it cannot be made (the form then says why). The solution is checked
    // against it.
    async function made() {
      if (!$('author-title').value.trim()) {
        say('Give the exercise a title.', 'failed');
        return null;
      }
      const result = await client.request('author', {
        draft: draft(),
        solution: editors.files()['src.txt'],
        registers: checked('[data-register]').map((box) => Number(box.dataset.register)),
        words: checked('[data-word]').map((box) => Number(box.dataset.word)),
        fromMeaning: $('author').querySelector('[name=author-from]:checked').value === 'meaning',
      }).catch((error) => ({ error: error.message }));
      if (result.error) {
        say(result.error, 'failed');
        return null;
      }
      say(`Your src.txt against this exercise: ${result.verdict}`, result.outcome.passed ? 'passed' : 'failed');
      $('author-result').append(element('ul', {}, [
        ...fivestageExercise.warningItems(result.warnings),
        ...result.lines.filter((_, i) => !result.outcome.checks[i].passed).map((line) => fivestageExercise.checkItem(line, false)),
      ]));
      return result;
    }

    // The text of the file `made()` gives, `full` or the student copy, or
    // null when it cannot be had (the form then says why).
    async function madeText(full) {
      const result = await made();
      if (result === null) return null;
      if (full) return result.text;
      if (result.studentCopy.error) {
        say(`No student copy: ${result.studentCopy.error}`, 'failed');
        return null;
      }
      return result.studentCopy.text;
    }

    // The file's name, from the title: "sum-an-array.json", or for the
    // student copy "sum-an-array-student.json".
    function fileName(full) {
      const name = $('author-title').value.trim().toLowerCase().replace(/[^a-z0-9]+/g, '-').replace(/^-|-$/g, '');
      return `${name || 'exercise'}${full ? '' : '-student'}.json`;
    }

    // Download and Copy link of the full file or of the student copy, each
    // link shown in its own field.
    function wireOutputs(full, downloadButton, linkButton, field) {
      $(downloadButton).addEventListener('click', async () => {
        const text = await madeText(full);
        if (text !== null) download(fileName(full), text, 'application/json');
      });
      $(linkButton).addEventListener('click', async () => {
        const text = await madeText(full);
        if (text === null) return;
        const { link, refusal } = await linkOf(text);
        if (refusal) {
          say(refusal, 'failed');
          return;
        }
        $(field).value = link;
        $(field).hidden = false;
        navigator.clipboard?.writeText(link).catch(() => {});
      });
    }

    function wire() {
      $('make-exercise').addEventListener('click', show);
      $('author-close').addEventListener('click', () => $('author').close());
      $('author-add').addEventListener('click', () =>
        $('author-data').append(dataRow(`data set ${$('author-data').children.length + 1}`, null, editors.files())));
      wireOutputs(true, 'author-download', 'author-link', 'author-link-text');
      wireOutputs(false, 'author-student-download', 'author-student-link', 'author-student-link-text');
    }

    return { wire };
  }

  return { create };
})();
