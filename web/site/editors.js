// The input files in the page: the editors, the example menu, folders
// opened or dropped, the inputs kept between visits, and links that carry
// the inputs. Nothing here runs the simulator.
'use strict';

// eslint-disable-next-line no-unused-vars
const fivestageEditors = (() => {
  // The energy files an input folder holds, and the idle files it may
  // hold, as the simulator lists them.
  let energyFiles = [];
  let idleFiles = [];
  const inputNames = ['src.txt', 'reg.txt', 'mem.txt'];
  const isInputPath = (path) => inputNames.includes(path) || energyFiles.includes(path) || idleFiles.includes(path);
  const examples = window.fivestageExamples;
  const $ = (id) => document.getElementById(id);
  // Where the browser keeps the inputs between visits; an open exercise
  // keeps its answer under a key of its own (keepUnder).
  const inputsKey = 'fivestage.inputs';
  let storageKey = inputsKey;
  // The machine chosen for those inputs, kept beside them.
  const machineKey = 'fivestage.machine';

  // ---- the editors ----------------------------------------------------------

  // A row for the energy file at `path`: its name (a working file's folder,
  // "Fetch idle" for an idle file), whether the folder holds it, its text.
  function energyRow(path) {
    const row = document.createElement('tr');
    row.dataset.path = path;
    const [folder, file] = [path.slice(0, path.lastIndexOf('/')), path.slice(path.lastIndexOf('/') + 1)];
    const stage = folder.replace('EnergyConsumptionInput/', '');
    const name = file === 'idle.txt' ? `${stage} idle` : stage;
    row.innerHTML = '<td><label><input type="checkbox" checked title="present"> </label></td><td><textarea spellcheck="false"></textarea></td>';
    row.querySelector('label').append(name);
    row.querySelector('textarea').setAttribute('aria-label', `${stage} ${file}`);
    const box = row.querySelector('input');
    box.addEventListener('change', () => row.classList.toggle('missing', !box.checked));
    // Writing a figure into an absent file means to have it.
    row.querySelector('textarea').addEventListener('input', () => {
      if (!box.checked) box.click();
    });
    if (file === 'idle.txt') row.classList.add('optional');
    return row;
  }

  // The heading above the idle files, which say what a stage charges in a
  // cycle it does no work; without them it charges nothing.
  function idleHeading() {
    const row = document.createElement('tr');
    row.className = 'idle-heading';
    row.innerHTML = '<th colspan="2" scope="colgroup">Idle figures, optional: tick one to charge it in every cycle its stage does no work</th>';
    return row;
  }

  function energyRows() { return [...$('energy-files').querySelectorAll('tr[data-path]')]; }

  // The numbers beside the lines of src.txt, since a label names a line (Lk
  // is line k), kept at the editor's scroll.
  function numberLines() {
    const editor = $('src.txt');
    const gutter = $('src-gutter');
    const lines = editor.value.split('\n').length;
    if (gutter.dataset.lines !== String(lines)) {
      gutter.textContent = Array.from({ length: lines }, (_, k) => k + 1).join('\n');
      gutter.dataset.lines = lines;
      gutter.style.width = `${String(lines).length}ch`;
    }
    gutter.scrollTop = editor.scrollTop;
  }

  // Fills the editors with `files`; files it lacks are shown missing.
  function fill(files) {
    for (const name of inputNames) $(name).value = files[name] ?? '';
    numberLines();
    const table = $('energy-files');
    table.replaceChildren();
    const paths = [...energyFiles];
    for (const path of Object.keys(files)) {
      if (path.startsWith('EnergyConsumptionInput/') && !paths.includes(path) && !idleFiles.includes(path)) paths.push(path);
    }
    const row = (path) => {
      const made = energyRow(path);
      const present = path in files;
      made.querySelector('input').checked = present;
      made.classList.toggle('missing', !present);
      made.querySelector('textarea').value = files[path] ?? '';
      return made;
    };
    table.append(...paths.map(row), idleHeading(), ...idleFiles.map(row));
  }

  // Makes every editor but those of `paths` read-only; null makes all editable.
  function setEditable(paths) {
    const locked = (path) => paths !== null && !paths.includes(path);
    for (const name of inputNames) {
      $(name).readOnly = locked(name);
      $(name).closest('label').classList.toggle('locked', locked(name));
    }
    for (const row of energyRows()) {
      row.querySelector('textarea').readOnly = locked(row.dataset.path);
      row.querySelector('input').disabled = locked(row.dataset.path);
      row.classList.toggle('locked', locked(row.dataset.path));
    }
  }

  function files() {
    const held = {};
    for (const name of inputNames) held[name] = $(name).value;
    for (const row of energyRows()) {
      if (row.querySelector('input').checked) held[row.dataset.path] = row.querySelector('textarea').value;
    }
    return held;
  }

  // The machine the machine's controls choose.
  const machine = () => fivestageMachine.chosen();

  // ---- links ------------------------------------------------------------------

  async function deflate(text, direction) {
    const stream = new Blob([text]).stream().pipeThrough(direction);
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }

  // A link to this page carrying `text`, compressed, as `#kind=...`.
  async function linkTo(kind, text) {
    const bytes = await deflate(new TextEncoder().encode(text), new CompressionStream('deflate-raw'));
    let binary = '';
    for (const byte of bytes) binary += String.fromCharCode(byte);
    const encoded = btoa(binary).replaceAll('+', '-').replaceAll('/', '_').replace(/=+$/, '');
    return `${location.href.split('#')[0]}#${kind}=${encoded}`;
  }

  // The text a link's `#kind=...` carries; throws when the link is damaged.
  async function textOfLink(hash, kind) {
    const match = new RegExp(`^#${kind}=([A-Za-z0-9_-]+)$`).exec(hash);
    if (!match) throw new Error(`not a link to ${kind}`);
    const binary = atob(match[1].replaceAll('-', '+').replaceAll('_', '/'));
    const bytes = Uint8Array.from(binary, (c) => c.charCodeAt(0));
    return new TextDecoder('utf-8', { fatal: true }).decode(await deflate(bytes, new DecompressionStream('deflate-raw')));
  }

  // A link carries the files and the machine; one made before links
  // carried a machine holds the files alone, and opens on no options (an
  // empty machine object: the controls read what is missing as its default).
  const linkFor = (inputs, chosen) => linkTo('inputs', JSON.stringify({ files: inputs, machine: chosen }));

  // `value` when it maps paths to texts, as the editors' files do; throws otherwise.
  function asFiles(value) {
    const isFiles = value !== null && typeof value === 'object' && !Array.isArray(value) &&
      Object.values(value).every((text) => typeof text === 'string');
    if (!isFiles) throw new Error('not input files');
    return value;
  }

  // The files and the machine of a link's `#inputs=`, { files, machine };
  // throws when the link is damaged.
  async function inputsFromLink(hash) {
    const carried = JSON.parse(await textOfLink(hash, 'inputs'));
    const withMachine = typeof carried?.files === 'object' && typeof carried.machine === 'object';
    return withMachine ? { files: asFiles(carried.files), machine: carried.machine }
      : { files: asFiles(carried), machine: {} };
  }

  // Once a link has been handed out, the address and the link bar follow
  // the inputs and the machine; of links made at once, the last one made is shown.
  let linksMade = 0;
  async function refreshLink(inputs) {
    const made = ++linksMade;
    const link = await linkFor(inputs, machine());
    if (made === linksMade) {
      history.replaceState(null, '', link);
      $('shared-link').value = link;
    }
    return link;
  }

  const linkHandedOut = () => location.hash.startsWith('#inputs=') || !$('shared').hidden;

  // ---- the inputs between visits, and the example menu ----------------------

  // Keeps the inputs, and the machine with the free inputs (an exercise
  // chooses its own).
  function keep(inputs) {
    fivestageStorage.write(storageKey, JSON.stringify(inputs));
    if (storageKey === inputsKey) fivestageStorage.write(machineKey, JSON.stringify(machine()));
  }

  // The input files kept under `key`, or null where none are, or what is
  // there is not input files.
  function kept(key = inputsKey) {
    try {
      return asFiles(JSON.parse(fivestageStorage.read(key)));
    } catch {
      return null;
    }
  }

  // Edits are kept under `key` from now on; null is the free inputs' key.
  const keepUnder = (key) => { storageKey = key ?? inputsKey; };

  const sameFiles = (a, b) => Object.keys(a).length === Object.keys(b).length &&
    Object.entries(a).every(([path, text]) => b[path] === text);
  const inputsOf = (all) => Object.fromEntries(Object.entries(all).filter(([path]) => isInputPath(path)));

  // The menu names the example the editors hold, or says they hold other inputs.
  function showExample(inputs) {
    const shown = Object.keys(examples).find((name) => sameFiles(inputs, inputsOf(examples[name])));
    $('example').value = shown ?? '';
  }

  // The inputs or the machine changed: the menu, the kept copy and a link
  // handed out follow.
  function changed() {
    const inputs = files();
    showExample(inputs);
    keep(inputs);
    if (storageKey === inputsKey && linkHandedOut()) refreshLink(inputs);
  }

  // What the page opens with, { files, machine }: the inputs of a link in
  // the address, else those kept from the last visit, else the basic
  // example on no options. A link that cannot be read is said to be
  // damaged (through `notify`), and the page opens as without it.
  async function openingInputs(notify) {
    const last = kept();
    if (location.hash.startsWith('#inputs=')) {
      try {
        return await inputsFromLink(location.hash);
      } catch {
        notify(`This link is damaged (cut short or altered?): its inputs could not be read. ` +
          `Showing ${last ? 'the inputs you had last' : 'the basic example'} instead.`);
        history.replaceState(null, '', location.href.split('#')[0]);
      }
    }
    return last ? { files: last, machine: fivestageStorage.readJson(machineKey) ?? {} }
      : { files: examples.basic, machine: {} };
  }

  // ---- opening a local folder -----------------------------------------------

  // Keeps the files the simulator reads, by their path inside the folder.
  function inputFiles(entries) {
    const found = {};
    for (const [path, text] of entries) {
      const inside = path.split('/').slice(1).join('/');
      if (isInputPath(inside)) found[inside] = text;
    }
    return found;
  }

  async function droppedEntries(entry, path = entry.name) {
    if (entry.isFile) return [[path, await new Promise((resolve, reject) => entry.file((file) => file.text().then(resolve), reject))]];
    const reader = entry.createReader();
    const children = [];
    for (let batch; (batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject))).length;) children.push(...batch);
    return (await Promise.all(children.map((child) => droppedEntries(child, `${path}/${child.name}`)))).flat();
  }

  // Wires the menu, the folder picker, drops and edits. `open(files)` is
  // called with new inputs, `edited()` after each edit.
  function wire({ open, edited }) {
    const select = $('example');
    for (const name of Object.keys(examples)) select.add(new Option(name, name));
    // Shown, never chosen, while the editors hold inputs of no example.
    const own = new Option('(your own inputs)', '');
    own.disabled = true;
    select.add(own);
    select.addEventListener('change', () => open(examples[select.value]));
    $('folder').addEventListener('change', async (event) => {
      const entries = await Promise.all([...event.target.files].map(async (file) => [file.webkitRelativePath, await file.text()]));
      open(inputFiles(entries));
    });
    for (const event of ['input', 'scroll']) $('src.txt').addEventListener(event, numberLines);
    const inputs = $('inputs');
    inputs.addEventListener('input', edited);
    inputs.addEventListener('dragover', (event) => { event.preventDefault(); inputs.classList.add('dropping'); });
    inputs.addEventListener('dragleave', () => inputs.classList.remove('dropping'));
    inputs.addEventListener('drop', async (event) => {
      event.preventDefault();
      inputs.classList.remove('dropping');
      const entry = [...event.dataTransfer.items].map((item) => item.webkitGetAsEntry()).find((e) => e && e.isDirectory);
      if (entry) open(inputFiles(await droppedEntries(entry)));
    });
  }

  const useEnergyFiles = (working, idle) => { [energyFiles, idleFiles] = [working, idle]; };

  return {
    useEnergyFiles, fill, files, machine, setEditable, changed, showExample, openingInputs, refreshLink, wire,
    linkTo, textOfLink, kept, keepUnder,
  };
})();
