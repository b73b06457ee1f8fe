// An exercise open in the page: its title and statement above the editors,
// the editors filled from it and read-only but for src.txt (and the files it
// lets students edit), the machine it runs on, and Check, which runs every
// data set in the simulator's worker. The simulator validates the exercise
// and makes the checks; this script shows them.
'use strict';

// eslint-disable-next-line no-unused-vars
const fivestageExercise = (() => {
  const $ = (id) => document.getElementById(id);
  // The open exercise's text, kept so that a reload reopens it.
  const openKey = 'fivestage.exercise';
  // Chat programs and learning platforms take links up to about this long.
  const longestLink = 2000;

  // A short name for a text, to keep each exercise's answer apart (FNV-1a).
  function nameOf(text) {
    let hash = 0x811c9dc5;
    for (let i = 0; i < text.length; ++i) hash = Math.imul(hash ^ text.charCodeAt(i), 0x01000193) >>> 0;
    return hash.toString(16);
  }

  // A check's line, in the simulator's words; after a run, marked passed or failed.
  function checkItem(line, passed = null) {
    const item = document.createElement('li');
    item.textContent = line;
    if (passed !== null) item.className = passed ? 'passed' : 'failed';
    return item;
  }

  // The program check's warnings, in the simulator's words: what the
  // program does that its author likely did not mean.
  function warningItems(warnings) {
    return warnings.map((text) => {
      const item = document.createElement('li');
      item.className = 'warning';
      item.textContent = `⚠ ${text}`;
      return item;
    });
  }

  // `client` asks the simulator, `editors` holds the files, `notify` tells
  // of a problem, `load()` runs the editors' files, `settle()` runs the
  // edits whose typing has not paused yet.
  function create({ client, editors, notify, load, settle }) {
    let open = null;  // { text, view } of the open exercise

    // `lines` of the checks, with `checks` their outcome after a run, and
    // the program check's `warnings` on the program checked.
    function showChecks(lines, checks = null, warnings = []) {
      $('exercise-checks').replaceChildren(...lines.map((line, i) => checkItem(line, checks?.[i].passed ?? null)));
      $('exercise-warnings').replaceChildren(...warningItems(warnings));
      $('exercise-warnings').hidden = warnings.length === 0;
    }

    // Opens the exercise of `text`, from `origin` ("file", "link"): the
    // answer kept from an earlier visit, if any, fills what the student may
    // edit. Returns whether it opened; one that cannot be used is told of.
    async function openText(text, origin) {
      const view = await client.request('exercise', { exercise: text });
      if (view.error) {
        notify(`This exercise ${origin} cannot be used: ${view.error}`);
        return false;
      }
      open = { text, view };
      const answerKey = `fivestage.answer.${nameOf(text)}`;
      const answer = editors.kept(answerKey) ?? {};
      const inputs = { ...view.inputs };
      for (const path of view.editable) if (path in answer) inputs[path] = answer[path];
      editors.fill(inputs);
      editors.setEditable(view.editable);
      editors.keepUnder(answerKey);
      editors.showExample(inputs);
      fivestageMachine.lock(view.machine);
      fivestageStorage.write(openKey, text);
      $('exercise-title').textContent = view.title;
      $('exercise-statement').textContent = view.statement;
      $('exercise-machine').textContent = `Runs on the machine: ${view.machineName}.`;
      $('exercise-verdict').textContent = '';
      showChecks(view.checks);
      $('exercise-hidden').textContent = view.hiddenNote;
      $('exercise-hidden').hidden = view.hiddenNote === '';
      $('exercise').hidden = false;
      $('shared').hidden = true;
      if (location.hash && origin !== 'link') history.replaceState(null, '', location.href.split('#')[0]);
      await load();
      return true;
    }

    // Closes the exercise, leaving the editors as they are and editable.
    function close() {
      if (!open) return;
      open = null;
      editors.setEditable(null);
      editors.keepUnder(null);
      fivestageMachine.lock(null);
      fivestageStorage.write(openKey, null);
      $('exercise').hidden = true;
      if (location.hash.startsWith('#exercise=')) history.replaceState(null, '', location.href.split('#')[0]);
    }

    // The exercise the page opens with: that of a link in the address, else
    // the one open at the last visit. Returns whether one opened.
    async function opening() {
      if (location.hash.startsWith('#exercise=')) {
        let text = null;
        try {
          text = await editors.textOfLink(location.hash, 'exercise');
        } catch {
          notify('This exercise link is damaged (cut short or altered?): its exercise could not be read.');
        }
        if (text !== null && await openText(text, 'link')) return true;
        history.replaceState(null, '', location.href.split('#')[0]);
        return false;
      }
      const last = location.hash ? null : fivestageStorage.read(openKey);
      return last !== null && openText(last, 'from your last visit');
    }

    async function check() {
      // The last verdict goes at once, words and colour, not once the edits settle.
      $('exercise-verdict').textContent = 'checking…';
      $('exercise-verdict').className = '';
      await settle();
      const result = await client.request('check', { exercise: open.text, source: editors.files()['src.txt'] });
      if (result.error) {
        $('exercise-verdict').textContent = result.error;
        return;
      }
      showChecks(result.lines, result.outcome.checks, result.warnings);
      $('exercise-verdict').textContent = result.verdict;
      $('exercise-verdict').className = result.outcome.passed ? 'passed' : 'failed';
    }

    // A link to the exercise of `text`: { link }, or { refusal } saying why
    // it is not given when it would be too long to share.
    async function linkOf(text) {
      const link = await editors.linkTo('exercise', JSON.stringify(JSON.parse(text)));
      if (link.length <= longestLink) return { link };
      return {
        refusal: `This exercise's link would be ${link.length} characters, more than the ${longestLink} that chat ` +
          'programs and learning platforms take: download the exercise file and share that instead.',
      };
    }

    // Puts a link to the open exercise in the link bar and the clipboard.
    async function share() {
      const { link, refusal } = await linkOf(open.text);
      if (refusal) {
        notify(refusal);
        return;
      }
      $('shared').hidden = false;
      $('shared-link').value = link;
      navigator.clipboard?.writeText(link).catch(() => {});
    }

    function wire() {
      $('exercise-check').addEventListener('click', check);
      $('exercise-leave').addEventListener('click', async () => {
        close();
        editors.fill(editors.kept() ?? window.fivestageExamples.basic);
        editors.showExample(editors.files());
        await load();
      });
      $('exercise-file').addEventListener('change', async (event) => {
        const file = event.target.files[0];
        event.target.value = '';
        if (file) await openText(await file.text(), `file ${file.name}`);
      });
    }

    return { wire, opening, close, share, linkOf, isOpen: () => open !== null };
  }

  return { create, checkItem, warningItems };
})();
