// The page: editors for the input files, and the simulator compiled to
// WebAssembly behind Load, Step, Back, Run and Reset. Everything the page
// shows about a run comes from the module; this script only puts it on screen.
// An edit takes effect by itself: once the typing pauses, the run is made
// again with the new inputs up to the cycle shown.
'use strict';

(function () {
  const energyFiles = ['Fetch', 'Decode/add', 'Decode/addi', 'Decode/and', 'Decode/beq', 'Decode/bne', 'Decode/j',
    'Decode/lw', 'Decode/or', 'Decode/sub', 'Decode/sw', 'Execute', 'Mem', 'WriteBack']
    .map((name) => `EnergyConsumptionInput/${name}/energy.txt`);
  const inputNames = ['src.txt', 'reg.txt', 'mem.txt'];
  const isInputPath = (path) => inputNames.includes(path) || /^EnergyConsumptionInput\/.+\/energy\.txt$/.test(path);
  const examples = window.fivestageExamples;
  const $ = (id) => document.getElementById(id);
  // How long typing must pause before an edit is run, in milliseconds.
  const editPause = 400;
  // Where the browser keeps the inputs between visits.
  const storageKey = 'fivestage.inputs';

  let module = null;
  let session = null;
  let sessionFolder = null;
  let folders = 0;
  let opening = null;
  let shownCycle = 0;
  let pendingEdit = null;  // the timer of an edit not yet run

  // ---- files in the module's in-memory file system -------------------------

  function removeTree(path) {
    const { FS } = module;
    for (const name of FS.readdir(path)) {
      if (name === '.' || name === '..') continue;
      const child = `${path}/${name}`;
      if (FS.isDir(FS.stat(child).mode)) removeTree(child); else FS.unlink(child);
    }
    FS.rmdir(path);
  }

  // A fresh folder holding `files` (relative path to text); a missing path is a missing file.
  function writeFolder(files) {
    const folder = `/inputs/${++folders}`;
    module.FS.mkdirTree(folder);
    for (const [path, text] of Object.entries(files)) {
      const slash = path.lastIndexOf('/');
      if (slash > 0) module.FS.mkdirTree(`${folder}/${path.slice(0, slash)}`);
      module.FS.writeFile(`${folder}/${path}`, text);
    }
    return folder;
  }

  // ---- the editors ----------------------------------------------------------

  function energyRow(path) {
    const row = document.createElement('tr');
    row.dataset.path = path;
    const name = path.replace('EnergyConsumptionInput/', '').replace('/energy.txt', '');
    row.innerHTML = `<td><label><input type="checkbox" checked title="present"> ${name}</label></td><td><textarea spellcheck="false"></textarea></td>`;
    row.querySelector('input').addEventListener('change', (event) => row.classList.toggle('missing', !event.target.checked));
    return row;
  }

  function energyRows() { return [...$('energy-files').querySelectorAll('tr')]; }

  // Fills the editors with `files`; files it lacks are shown missing.
  function fillEditors(files) {
    for (const name of inputNames) $(name).value = files[name] ?? '';
    const table = $('energy-files');
    table.replaceChildren();
    const paths = [...energyFiles];
    for (const path of Object.keys(files)) {
      if (path.startsWith('EnergyConsumptionInput/') && !paths.includes(path)) paths.push(path);
    }
    for (const path of paths) {
      const row = energyRow(path);
      const present = path in files;
      row.querySelector('input').checked = present;
      row.classList.toggle('missing', !present);
      row.querySelector('textarea').value = files[path] ?? '';
      table.append(row);
    }
  }

  function editorFiles() {
    const files = {};
    for (const name of inputNames) files[name] = $(name).value;
    for (const row of energyRows()) {
      if (row.querySelector('input').checked) files[row.dataset.path] = row.querySelector('textarea').value;
    }
    return files;
  }

  // ---- showing a run --------------------------------------------------------

  function valuesHtml(values, changed, prefix) {
    const marked = new Set(changed);
    return values.map((value, index) =>
      `<span${marked.has(index) ? ' class="changed"' : ''}><b>${prefix}${index}</b> ${value}</span>`).join('');
  }

  // The stalls and what they cost so far: a stall's cycles lost are known
  // only once it has been settled, so one still open is said to be open.
  function stallsHtml(view) {
    const settled = view.stalls - view.openStalls;
    const lost = view.cyclesLost === 1 ? 'cycle' : 'cycles';
    const details = [
      ...(settled > 0 ? [`<b id="cycles-lost">${view.cyclesLost}</b> ${lost} lost`] : []),
      ...(view.openStalls > 0 ? [`<span id="open-stalls">${view.openStalls === 1 ? 'one' : view.openStalls} open</span>`] : []),
    ];
    return `stalls <b id="stalls">${view.stalls}</b>${details.length ? ` (${details.join(', ')})` : ''}`;
  }

  // The console's banner counts only the cycles Enter ran: it is worth a
  // mention only where it differs from the cycle.
  function bannerHtml(view) {
    return view.banner === view.cycle ? '' : ` <span class="note">(the console's Cpu Cycle ${view.banner})</span>`;
  }

  const stageColours = { Fetch: 'var(--fetch)', Decode: 'var(--decode)', Execute: 'var(--execute)', Mem: 'var(--memory)',
    WriteBack: 'var(--writeback)' };

  // The console's heading of each stage's lines in a cycle. A stall's
  // release is told among them, as the instruction goes on to Execute.
  const stageHeadings = [[' Fetching : ', 'Fetch'], [' Decoding : ', 'Decode'], [' Stall Released : ', 'Execute'],
    [' Executing : ', 'Execute'], [' Memory Access : ', 'Mem'], [' Writing Register File  : ', 'WriteBack'],
    [' Press Enter', null]];

  // Marks the console lines of what `stage` did in this cycle, and brings them into view.
  function showStageLines(stage) {
    const pre = $('console');
    let owner = null;
    const runs = [];
    for (const line of pre.textContent.split(/(?<=\n)/)) {
      const heading = stageHeadings.find(([start]) => line.startsWith(start));
      if (heading) owner = heading[1];
      const mine = owner === stage;
      if (runs.length && runs.at(-1).mine === mine) runs.at(-1).text += line; else runs.push({ mine, text: line });
    }
    if (!runs.some((run) => run.mine)) return;
    pre.replaceChildren(...runs.map(({ mine, text }) => (mine ? Object.assign(document.createElement('mark'), { textContent: text }) : text)));
    const first = pre.querySelector('mark');
    pre.scrollTop += first.getBoundingClientRect().top - pre.getBoundingClientRect().top - 8;
    pre.scrollIntoView({ block: 'nearest' });
  }

  // Shows `view`, with `note` after the status line.
  function render(view, note = '') {
    shownCycle = view.cycle;
    const status = $('status');
    status.className = `status ${view.state}`;
    if (view.cycle === 0) {
      $('console-title').textContent = 'Console: loading and listing';
      $('console').textContent = opening.loading + opening.listing;
    } else {
      $('console-title').textContent = `Console: cycle ${view.cycle}`;
      $('console').textContent = view.trace;
    }
    window.fivestageDiagram.draw($('diagram'), view.diagram ?? null, showStageLines);
    for (const id of ['step', 'run']) $(id).disabled = view.state !== 'running';
    $('back').disabled = view.cycle === 0;
    if (view.state === 'not loaded') {
      status.className = 'status failed';
      status.textContent = 'The files could not be loaded: see the console.';
      for (const id of ['chart', 'energy', 'registers', 'memory']) $(id).replaceChildren();
      return;
    }
    const states = { running: 'running', completed: 'completed', failed: 'ended on an error' };
    status.innerHTML = `Cycle <b id="cycle">${view.cycle}</b>${bannerHtml(view)} · ` +
      `<span id="run-state">${states[view.state]}</span> · fetched <b id="fetched">${view.fetched}</b>, completed ` +
      `<b id="completed">${view.completed}</b>, ${stallsHtml(view)}, ` +
      `branches <b id="taken">${view.taken}</b> taken, <b id="not-taken">${view.notTaken}</b> not taken · energy ` +
      `<b id="energy-total">${view.energyTotal}</b>${note}`;

    // The latest cycle and the latest instructions are at the bottom right.
    const chart = $('chart');
    chart.innerHTML = view.chart;
    chart.scrollLeft = chart.scrollWidth;
    chart.scrollTop = chart.scrollHeight;

    const highest = Math.max(1, ...Object.values(view.energy));
    $('energy').innerHTML = Object.entries(view.energy).map(([stage, energy]) =>
      `<tr><td>${stage}</td><td class="number" data-stage="${stage}">${energy}</td><td class="meter"><i style="width: ${100 * Math.max(0, energy) / highest}%; background: ${stageColours[stage]}"></i></td></tr>`).join('');
    $('registers').innerHTML = valuesHtml(view.registers, view.changedRegisters, '$');
    $('memory').innerHTML = valuesHtml(view.memory, view.changedMemory, '');
    $('memory-note').textContent = view.memorySize > view.memory.length ? `first ${view.memory.length} of ${view.memorySize} words` : '';
  }

  // Loads the editors' files, as the console does at start, and runs them
  // up to `cycle`.
  function load(cycle = 0, note = '') {
    clearTimeout(pendingEdit);
    pendingEdit = null;
    if (session) {
      session.delete();
      removeTree(sessionFolder);
    }
    sessionFolder = writeFolder(editorFiles());
    session = new module.Session(sessionFolder);
    opening = JSON.parse(session.opening());
    render(JSON.parse(cycle > 0 ? session.runUntil(cycle) : session.view()), note);
  }

  // An edit to any input file: the run is made again once the typing
  // pauses, or at once when a button needs it.
  function edited() {
    clearTimeout(pendingEdit);
    pendingEdit = setTimeout(runEdits, editPause);
  }

  function runEdits() {
    load(shownCycle, ' · <span class="note" id="rerun">run again with your edits</span>');
    inputsChanged();
  }

  function runPendingEdits() {
    if (pendingEdit !== null) runEdits();
  }

  function act(action) {
    runPendingEdits();
    render(JSON.parse(action()));
  }

  // ---- sharing --------------------------------------------------------------

  async function deflate(text, direction) {
    const stream = new Blob([text]).stream().pipeThrough(direction);
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }

  async function linkFor(files) {
    const bytes = await deflate(new TextEncoder().encode(JSON.stringify(files)), new CompressionStream('deflate-raw'));
    let binary = '';
    for (const byte of bytes) binary += String.fromCharCode(byte);
    const encoded = btoa(binary).replaceAll('+', '-').replaceAll('/', '_').replace(/=+$/, '');
    return `${location.href.split('#')[0]}#inputs=${encoded}`;
  }

  // The files of a link's `#inputs=`; throws when the link is damaged.
  async function filesFromLink(hash) {
    const match = /^#inputs=([A-Za-z0-9_-]+)$/.exec(hash);
    if (!match) throw new Error('not a link to inputs');
    const binary = atob(match[1].replaceAll('-', '+').replaceAll('_', '/'));
    const bytes = Uint8Array.from(binary, (c) => c.charCodeAt(0));
    return asFiles(JSON.parse(new TextDecoder().decode(await deflate(bytes, new DecompressionStream('deflate-raw')))));
  }

  // `value` when it maps paths to texts, as the editors' files do; throws otherwise.
  function asFiles(value) {
    const isFiles = value !== null && typeof value === 'object' && !Array.isArray(value) &&
      Object.values(value).every((text) => typeof text === 'string');
    if (!isFiles) throw new Error('not input files');
    return value;
  }

  // Once a link has been handed out, the address and the link bar follow
  // the inputs; of links made at once, the last one made is shown.
  let linksMade = 0;
  async function refreshLink(files) {
    const made = ++linksMade;
    const link = await linkFor(files);
    if (made === linksMade) {
      history.replaceState(null, '', link);
      $('shared-link').value = link;
    }
    return link;
  }

  const linkHandedOut = () => location.hash.startsWith('#inputs=') || !$('shared').hidden;

  function download(name, text, type) {
    const url = URL.createObjectURL(new Blob([text], { type }));
    const anchor = document.createElement('a');
    anchor.href = url;
    anchor.download = name;
    anchor.click();
    setTimeout(() => URL.revokeObjectURL(url), 1000);
  }

  // ---- the inputs between visits, and the example menu ----------------------

  // Storage can be missing or full (some private windows): then edits last
  // as long as the page.
  function keep(files) {
    try {
      localStorage.setItem(storageKey, JSON.stringify(files));
    } catch {
      // nothing kept
    }
  }

  function kept() {
    try {
      return asFiles(JSON.parse(localStorage.getItem(storageKey)));
    } catch {
      return null;
    }
  }

  const sameFiles = (a, b) => Object.keys(a).length === Object.keys(b).length &&
    Object.entries(a).every(([path, text]) => b[path] === text);
  const inputsOf = (files) => Object.fromEntries(Object.entries(files).filter(([path]) => isInputPath(path)));

  // The menu names the example the editors hold, or says they hold other inputs.
  function showExample(files) {
    const shown = Object.keys(examples).find((name) => sameFiles(files, inputsOf(examples[name])));
    $('example').value = shown ?? '';
  }

  // The inputs changed: the menu, the kept copy and a link handed out follow.
  function inputsChanged() {
    const files = editorFiles();
    showExample(files);
    keep(files);
    if (linkHandedOut()) refreshLink(files);
  }

  function notify(text) {
    $('notice-text').textContent = text;
    $('notice').hidden = false;
  }

  // What the page opens with: the inputs of a link in the address, else
  // those kept from the last visit, else the basic example. A link that
  // cannot be read is said to be damaged, and the page opens as without it.
  async function openingFiles() {
    const last = kept();
    if (location.hash.startsWith('#inputs=')) {
      try {
        return await filesFromLink(location.hash);
      } catch {
        notify(`This link is damaged (cut short or altered?): its inputs could not be read. ` +
          `Showing ${last ? 'the inputs you had last' : 'the basic example'} instead.`);
        history.replaceState(null, '', location.href.split('#')[0]);
      }
    }
    return last ?? examples.basic;
  }

  // ---- opening a local folder -----------------------------------------------

  // Keeps the files the simulator reads, by their path inside the folder.
  function inputFiles(entries) {
    const files = {};
    for (const [path, text] of entries) {
      const inside = path.split('/').slice(1).join('/');
      if (isInputPath(inside)) files[inside] = text;
    }
    return files;
  }

  async function droppedEntries(entry, path = entry.name) {
    if (entry.isFile) return [[path, await new Promise((resolve, reject) => entry.file((file) => file.text().then(resolve), reject))]];
    const reader = entry.createReader();
    const children = [];
    for (let batch; (batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject))).length;) children.push(...batch);
    return (await Promise.all(children.map((child) => droppedEntries(child, `${path}/${child.name}`)))).flat();
  }

  function openFiles(files) {
    fillEditors(files);
    load();
    inputsChanged();
  }

  // ---- wiring -----------------------------------------------------------------

  function wire() {
    const select = $('example');
    for (const name of Object.keys(examples)) select.add(new Option(name, name));
    // Shown, never chosen, while the editors hold inputs of no example.
    const own = new Option('(your own inputs)', '');
    own.disabled = true;
    select.add(own);
    select.addEventListener('change', () => openFiles(examples[select.value]));
    $('folder').addEventListener('change', async (event) => {
      const entries = await Promise.all([...event.target.files].map(async (file) => [file.webkitRelativePath, await file.text()]));
      openFiles(inputFiles(entries));
    });
    const inputs = $('inputs');
    inputs.addEventListener('input', edited);
    inputs.addEventListener('dragover', (event) => { event.preventDefault(); inputs.classList.add('dropping'); });
    inputs.addEventListener('dragleave', () => inputs.classList.remove('dropping'));
    inputs.addEventListener('drop', async (event) => {
      event.preventDefault();
      inputs.classList.remove('dropping');
      const entry = [...event.dataTransfer.items].map((item) => item.webkitGetAsEntry()).find((e) => e && e.isDirectory);
      if (entry) openFiles(inputFiles(await droppedEntries(entry)));
    });

    $('load').addEventListener('click', () => load());
    $('reset').addEventListener('click', () => load());
    $('step').addEventListener('click', () => act(() => session.step()));
    $('back').addEventListener('click', () => act(() => session.back()));
    $('run').addEventListener('click', () => act(() => session.runUntil(Number($('until').value) || 100000)));
    $('chart').addEventListener('click', (event) => {
      const cycle = event.target.closest('[data-cycle]');
      if (cycle) act(() => session.goTo(Number(cycle.dataset.cycle)));
    });
    // Enter is Step, as at the console, wherever the focus is but in an
    // editor: a button that was clicked last does not take it for itself.
    document.addEventListener('keydown', (event) => {
      if (event.key !== 'Enter' || event.target.closest('textarea, input:not([type=checkbox])')) return;
      event.preventDefault();
      if (!$('step').disabled) act(() => session.step());
    });
    $('link').addEventListener('click', async () => {
      $('shared').hidden = false;
      const link = await refreshLink(editorFiles());
      navigator.clipboard?.writeText(link).catch(() => {});
    });
    $('download-trace').addEventListener('click', () => {
      runPendingEdits();
      download('trace.txt', session.trace(), 'text/plain');
    });
    $('download-report').addEventListener('click', () => {
      runPendingEdits();
      download('report.html', session.reportPage(), 'text/html');
    });
    $('notice-close').addEventListener('click', () => { $('notice').hidden = true; });
  }

  // The scripting interface: the whole console program on `files` with
  // `stdin` as its standard input, apart from the page's editors, on the
  // machine `machine` chooses ({ forwarding, flush }, both off by default).
  window.fivestage = {
    ready: null,
    async run(files, stdin = '', machine = {}) {
      await window.fivestage.ready;
      const folder = writeFolder(files);
      try {
        const result = module.runConsole(folder, stdin, Boolean(machine.forwarding), Boolean(machine.flush));
        return { stdout: new TextDecoder().decode(result.stdout), status: result.status };
      } finally {
        removeTree(folder);
      }
    },
  };

  window.fivestage.ready = createFivestage().then(async (instance) => {
    module = instance;
    wire();
    fillEditors(await openingFiles());
    showExample(editorFiles());
    load();
  });
})();
