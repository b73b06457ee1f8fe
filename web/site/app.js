// The page: the editors (editors.js), exercises (exercise.js, author.js),
// and the simulator behind Load, Step, Play (play.js),
// Back, Run, Stop and Reset, which runs in a worker (client.js, host.js).
// Everything the page shows about a run comes from the simulator; this
// script only puts it on screen. An edit takes effect by itself: once the
// typing pauses, the run is made again with the new inputs up to the cycle
// shown.
'use strict';

(function () {
  const editors = fivestageEditors;
  const $ = (id) => document.getElementById(id);
  // How long typing must pause before an edit is run, in milliseconds.
  const editPause = 400;
  // Memory words per row of the memory view, and the row's height in pixels.
  const wordsPerRow = 4;
  const memoryRowHeight = 18;

  let opening = null;
  let shown = null;        // the view on screen
  let pendingEdit = null;  // the timer of an edit not yet run
  let moving = null;       // the run is being moved: a promise of the move's end; no other move is taken meanwhile
  let running = false;     // the move takes long: only Stop acts

  // A move that answers at once leaves the buttons as they are, so that
  // they do not flicker at every Step; one that reports progress is a long
  // run, which only Stop acts on.
  const client = fivestageClient.create({
    onProgress: (cycles) => {
      $('progress').textContent = `running… cycle ${cycles}`;
      if (!running) {
        running = true;
        enableControls();
      }
    },
    onBusy: (busy) => {
      if (busy) document.body.dataset.busy = 'yes'; else delete document.body.dataset.busy;
    },
  });

  const { machine } = editors;

  // The machine chosen: kept with the inputs, in a link handed out, and
  // shown with the run up to the cycle shown.
  function machineChosen() {
    editors.changed();
    load(shown?.cycles ?? 0);
  }

  // Shows the run on `chosen`, a JSON `machine` object, up to the cycle
  // shown, as the machine's controls do when changed.
  function showMachine(chosen) {
    if (running || exercise.isOpen()) return;
    fivestageMachine.show(chosen);
    machineChosen();
  }

  const compare = fivestageCompare.create({
    compare: (files, machine, predictors) => client.request('compareTable', { files, machine, predictors }),
    choose: showMachine,
  });

  // ---- showing a run --------------------------------------------------------

  const showHtml = fivestageRedraw.showHtml;

  // A register or memory word as the hex box chooses: in decimal, or its
  // 32 bits in hexadecimal (two's complement, so -1 is 0xFFFFFFFF).
  const wordText = (value) =>
    ($('hex').checked ? `0x${(value >>> 0).toString(16).toUpperCase().padStart(8, '0')}` : String(value));

  // The predictor panel shows only on a machine whose Fetch predicts branches.
  function showPredictor(html) {
    $('prediction-panel').hidden = !html;
    showHtml($('prediction'), html);
  }

  // The picture of energy over time, kept on screen from Step to Step: its
  // frame is made once from the picture's opening, which then changes only
  // in the SVG's size, and only the parts whose markup changed (the last bar
  // and the description, mostly) are drawn again. Null hides it.
  let energyOpening = null;
  function showEnergyOverTime(picture) {
    const holder = $('energy-over-time');
    holder.hidden = !picture;
    if (!picture) return;
    let svg = holder.querySelector('svg');
    if (picture.opening !== energyOpening) {
      const [frame] = fivestageRedraw.elements([picture.opening + picture.closing]);
      if (svg) {
        fivestageRedraw.updateAttributes(svg, frame.querySelector('svg'));
      } else {
        holder.prepend(frame);
        svg = frame.querySelector('svg');
      }
      energyOpening = picture.opening;
    }
    fivestageRedraw.showParts(svg, picture.parts.map(({ key, html }) => [key, html]));
    showHtml($('energy-legend'), picture.legend);
  }

  function registersHtml(view) {
    const marked = new Set(view.writtenThisCycle.registers);
    return view.finalRegisters.map((value, index) =>
      `<span${marked.has(index) ? ' class="changed"' : ''}><b>$${index}</b> ${wordText(value)}</span>`).join('');
  }

  // The stalls and what they cost so far: a stall's cycles lost are known
  // only once it has been settled, so one still open is said to be open.
  function stallsHtml(view) {
    const settled = view.stallCount - view.openStalls;
    const lost = view.cyclesLost === 1 ? 'cycle' : 'cycles';
    const details = [
      ...(settled > 0 ? [`<b id="cycles-lost">${view.cyclesLost}</b> ${lost} lost`] : []),
      ...(view.openStalls > 0 ? [`<span id="open-stalls">${view.openStalls === 1 ? 'one' : view.openStalls} open</span>`] : []),
    ];
    return `stalls <b id="stalls">${view.stallCount}</b>${details.length ? ` (${details.join(', ')})` : ''}`;
  }

  // The console's banner counts only the cycles Enter ran: it is worth a
  // mention only where it differs from the cycle.
  function bannerHtml(view) {
    return view.banner === view.cycles ? '' : ` <span class="note">(the console's Cpu Cycle ${view.banner})</span>`;
  }

  // A run still going at the cycle limit was stopped there.
  const capped = (view) => view.state === 'running' && view.cycles >= view.cycleLimit;
  // Whether a cycle can follow `view`.
  const canStep = (view) => view.state === 'running' && !capped(view);

  function stateText(view) {
    if (capped(view)) return `stopped at the limit of ${view.cycleLimit} cycles: the program may never end`;
    return { running: 'running', completed: 'completed', failed: 'ended on an error' }[view.state];
  }

  const disable = (id, disabled) => {
    if ($(id).disabled !== disabled) $(id).disabled = disabled;
  };

  function enableControls() {
    const view = shown;
    const canRun = !running && view !== null && canStep(view);
    for (const id of ['step', 'play', 'run']) disable(id, !canRun);
    disable('back', running || view === null || view.cycles === 0);
    for (const id of ['load', 'reset', 'download-trace', 'download-report']) disable(id, running);
    disable('stop', !running);
  }

  // Marks the console lines of what `stage` did in this cycle, as the
  // simulator tells which lines are whose, and brings them into view.
  function showStageLines(stage) {
    const pre = $('console');
    const blocks = shown.stageLines.filter((block) => block.stage === stage);
    const runs = [];
    pre.textContent.split(/(?<=\n)/).forEach((line, index) => {
      const mine = blocks.some(({ from, to }) => index >= from && index < to);
      if (runs.length && runs.at(-1).mine === mine) runs.at(-1).text += line; else runs.push({ mine, text: line });
    });
    // A stage with no lines this cycle (a bubble) clears the marks of the one before.
    pre.replaceChildren(...runs.map(({ mine, text }) => (mine ? Object.assign(document.createElement('mark'), { textContent: text }) : text)));
    const first = pre.querySelector('mark');
    if (!first) return;
    pre.scrollTop += first.getBoundingClientRect().top - pre.getBoundingClientRect().top - 8;
    pre.scrollIntoView({ block: 'nearest' });
  }

  // Shows `view`, with `note` after the status line.
  function render(view, note = '') {
    shown = view;
    enableControls();
    if ($('progress').textContent) $('progress').textContent = '';
    const status = $('status');
    status.className = `status ${capped(view) ? 'capped' : view.state}`;
    if (view.cycles === 0) {
      $('console-title').textContent = 'Console: loading and listing';
      $('console').textContent = opening.loading + opening.listing;
    } else {
      $('console-title').textContent = `Console: cycle ${view.cycles}`;
      $('console').textContent = view.trace;
    }
    window.fivestageDiagram.draw($('diagram'), view.diagram ?? null, showStageLines);
    if (view.state === 'not loaded') {
      status.className = 'status failed';
      showHtml(status, 'The files could not be loaded: see the console.');
      fivestageChart.show($('chart'), null);
      for (const id of ['summary', 'registers', 'memory', 'memory-words']) showHtml($(id), '');
      showEnergyOverTime(null);
      showPredictor('');
      return;
    }
    showHtml(status, `Cycle <b id="cycle">${view.cycles}</b>${bannerHtml(view)} · ` +
      `<span id="run-state">${stateText(view)}</span> · fetched <b id="fetched">${view.fetched}</b>, completed ` +
      `<b id="completed">${view.completed}</b>, ${stallsHtml(view)}, branches <b id="taken">${view.branches.taken}</b> ` +
      `taken, <b id="not-taken">${view.branches.notTaken}</b> not taken · energy <b id="energy-total">${view.energy.total}</b>${note}`);

    fivestageChart.show($('chart'), view.chart, view.cycles);
    // The summary and the values changed, as the report page shows them.
    showHtml($('summary'), view.summaryHtml);
    showHtml($('memory'), view.finalStateHtml);
    showEnergyOverTime(view.energyOverTime);
    showPredictor(view.predictorHtml);
    showHtml($('registers'), registersHtml(view));
    renderMemory(view);

    // What needs the page laid out comes once everything is written, so that
    // it is laid out once: the current cycle and the latest instructions in
    // the chart, and the memory rows in sight.
    fivestageChart.scrollToCurrent($('chart'));
    showMemoryRows(view.wordsInSight);
  }

  // ---- memory -----------------------------------------------------------------

  // Every word, in a view that scrolls through any size, fetching only the
  // rows in sight; a word of the values changed leads to it.
  function renderMemory(view) {
    const size = `${view.memorySize} words`;
    if ($('memory-note').textContent !== size) $('memory-note').textContent = size;
    $('memory-spacer').style.height = `${Math.ceil(view.memorySize / wordsPerRow) * memoryRowHeight}px`;
  }

  let memoryRequest = 0;
  let targetWord = null;  // the word jumped to, marked whenever its row shows

  // The words of the rows in sight at the memory view's scroll: { first, count }.
  function wordsInSight() {
    const scroller = $('memory-all');
    const firstRow = Math.floor(scroller.scrollTop / memoryRowHeight);
    const rows = Math.ceil(scroller.clientHeight / memoryRowHeight) + 1;
    return { first: firstRow * wordsPerRow, count: rows * wordsPerRow };
  }

  // Draws the rows of `words` from word `first`, as the simulator gave them.
  function drawMemoryRows({ first, words }) {
    const changedNow = new Set(shown.writtenThisCycle.memory);
    const html = [];
    for (let row = 0; row * wordsPerRow < words.length; ++row) {
      const start = first + row * wordsPerRow;
      const cells = words.slice(row * wordsPerRow, (row + 1) * wordsPerRow).map((word, k) => {
        const classes = [...(changedNow.has(start + k) ? ['changed'] : []), ...(start + k === targetWord ? ['target'] : [])];
        return `<span data-word="${start + k}"${classes.length ? ` class="${classes.join(' ')}"` : ''}>${wordText(word)}</span>`;
      });
      html.push(`<div class="memory-row" style="top: ${(start / wordsPerRow) * memoryRowHeight}px"><b>${start}</b>${cells.join('')}</div>`);
    }
    showHtml($('memory-words'), html.join(''));
  }

  // Shows the rows in sight: those of the latest answer, which carries the
  // words in sight when it was asked for, or else asks for them.
  async function showMemoryRows(answered = null) {
    if (!shown || shown.state === 'not loaded') return;
    const sight = wordsInSight();
    const asked = ++memoryRequest;
    const rows = answered?.first === sight.first ? answered : await client.request('memory', sight);
    if (asked === memoryRequest) drawMemoryRows(rows);
  }

  // Scrolls the memory view to `word` and marks it.
  async function jumpToWord(word) {
    if (!shown || !(word >= 0 && word < shown.memorySize)) return;
    targetWord = word;
    $('memory-all').scrollTop = Math.floor(word / wordsPerRow) * memoryRowHeight;
    await showMemoryRows();
  }

  // ---- the program check ------------------------------------------------------

  const renderChecks = () => showHtml($('checks'), opening.checksHtml);

  // ---- requests ---------------------------------------------------------------

  // Moves the run to `cycle` and shows it with the note `noteOf(view)`
  // gives; a long way shows progress and can be stopped. Answers the view,
  // or null when another move was under way.
  async function go(cycle, noteOf = () => '') {
    if (moving) return null;
    let moved;
    moving = new Promise((resolve) => { moved = resolve; });
    try {
      const view = await client.request('go', { cycle, inSight: wordsInSight() });
      render(view, noteOf(view));
      return view;
    } finally {
      moving = null;
      running = false;
      enableControls();
      moved();
    }
  }

  // Loads the editors' files, as the console does at start, and runs them
  // up to `cycle`.
  async function load(cycle = 0, note = '') {
    player.pause();
    clearTimeout(pendingEdit);
    pendingEdit = null;
    const files = editors.files();
    showProgram(files['src.txt']);
    const chosen = machine();
    try {
      const loaded = await client.request('load', { files, machine: chosen, cycle, inSight: wordsInSight() });
      opening = loaded.opening;
      renderChecks();
      render(loaded.view, note);
      compare.show(files, chosen);
    } finally {
      running = false;
      enableControls();
    }
  }

  // An edit to any input file: the run is made again once the typing
  // pauses, or at once when a button needs it.
  function edited() {
    player.pause();
    clearTimeout(pendingEdit);
    pendingEdit = setTimeout(runEdits, editPause);
  }

  async function runEdits() {
    editors.changed();
    await load(shown?.cycles ?? 0, ' · <span class="note" id="rerun">run again with your edits</span>');
  }

  async function runPendingEdits() {
    if (pendingEdit !== null) await runEdits();
  }

  // What a button does once edits not yet run have taken effect, and the
  // move under way (a step of Play) has been shown; a move of the user's
  // own pauses Play.
  const after = (action) => async () => {
    player.pause();
    await runPendingEdits();
    await moving;
    if (shown) await action(shown);
  };

  const step = after((view) => go(view.cycles + 1));

  // Runs to the cycle named, or to the end. A cycle past the limit is run
  // to the limit, and the status line says so once the run stops there.
  const runTo = after((view) => {
    const asked = Number($('until').value);
    return go(Math.min(asked || view.cycleLimit, view.cycleLimit), (reached) => (asked > reached.cycleLimit && capped(reached)
      ? ` · <span id="cap-note">cycle ${asked} is past the cap: a run stops at the cap of ${reached.cycleLimit} cycles</span>` : ''));
  });

  // The program, its lines numbered, for a printout of the cycle.
  function showProgram(source) {
    const lines = source.split(/\r?\n/);
    if (lines.at(-1) === '') lines.pop();
    const width = String(lines.length).length;
    $('print-source').textContent = lines.map((line, i) => `${String(i + 1).padStart(width)}  ${line}`).join('\n');
  }

  // ---- the page's settings, kept between visits -------------------------------

  const settingsKey = 'fivestage.settings';

  // Settings that cannot be read are the defaults.
  function restoreSettings() {
    const kept = fivestageStorage.readJson(settingsKey);
    $('hex').checked = kept?.hex === true;
    if ([...$('pace').options].some((option) => option.value === kept?.pace)) $('pace').value = kept.pace;
    widenForHex();
  }

  // Words in hexadecimal take more room.
  const widenForHex = () => document.body.classList.toggle('hex', $('hex').checked);

  const keepSettings = () => fivestageStorage.write(settingsKey, JSON.stringify({ hex: $('hex').checked, pace: $('pace').value }));

  // The registers and the memory words again, in the base the hex box chooses.
  function hexChosen() {
    keepSettings();
    widenForHex();
    if (!shown || shown.state === 'not loaded') return;
    showHtml($('registers'), registersHtml(shown));
    showMemoryRows();
  }

  function download(name, text, type) {
    const url = URL.createObjectURL(new Blob([text], { type }));
    const anchor = document.createElement('a');
    anchor.href = url;
    anchor.download = name;
    anchor.click();
    setTimeout(() => URL.revokeObjectURL(url), 1000);
  }

  function notify(text) {
    $('notice-text').textContent = text;
    $('notice').hidden = false;
  }

  async function openFiles(files) {
    exercise.close();
    editors.fill(files);
    editors.changed();
    await load();
  }

  // ---- exercises --------------------------------------------------------------

  const exercise = fivestageExercise.create({ client, editors, notify, load: () => load(), settle: runPendingEdits });
  const author = fivestageAuthor.create({ client, editors, machine, linkOf: exercise.linkOf, download });

  // ---- play -------------------------------------------------------------------

  const player = fivestagePlay.create({
    advance: (noteOf) => go(shown.cycles + 1, noteOf),
    canStep,
    instructionLines: () => opening?.instructionLines ?? [],
    notify,
    settle: runPendingEdits,
  });

  // ---- wiring -----------------------------------------------------------------

  function wire() {
    editors.wire({ open: openFiles, edited });
    exercise.wire();
    author.wire();
    $('load').addEventListener('click', () => load());
    $('reset').addEventListener('click', () => load());
    $('step').addEventListener('click', step);
    player.wire();
    $('back').addEventListener('click', after((view) => go(Math.max(0, view.cycles - 1))));
    $('run').addEventListener('click', runTo);
    $('stop').addEventListener('click', () => client.stop());
    $('chart').addEventListener('click', (event) => {
      const cycle = event.target.closest('[data-cycle]');
      if (cycle && !running) after(() => go(Number(cycle.dataset.cycle)))();
    });
    $('hex').addEventListener('change', hexChosen);
    $('pace').addEventListener('change', keepSettings);
    // Enter is Step, as at the console, while the focus is on the page
    // itself: on nothing in particular, or on a part that takes the focus
    // only to be scrolled or skipped to. On Step the button itself takes it.
    // Anywhere else Enter does what it does there: it presses the button,
    // opens the menu, ends the line.
    document.addEventListener('keydown', (event) => {
      const onPage = event.target === document.body || event.target.matches('[role=region], #machine');
      if (event.key !== 'Enter' || !onPage) return;
      event.preventDefault();
      if (!$('step').disabled) step();
    });
    // On a phone the toolbar holds the run's buttons; More shows the others.
    $('more').addEventListener('click', () =>
      $('more').setAttribute('aria-expanded', String($('more').getAttribute('aria-expanded') !== 'true')));
    // A file picker opens from a button, which the keyboard reaches too.
    for (const button of document.querySelectorAll('[data-opens]')) {
      button.addEventListener('click', () => $(button.dataset.opens).click());
    }
    $('memory-all').addEventListener('scroll', () => showMemoryRows());
    $('memory-jump').addEventListener('change', (event) => jumpToWord(Number(event.target.value)));
    $('memory').addEventListener('click', (event) => {
      const word = event.target.closest('[data-word]');
      if (word) jumpToWord(Number(word.dataset.word));
    });
    $('link').addEventListener('click', async () => {
      if (exercise.isOpen()) return exercise.share();
      $('shared').hidden = false;
      const link = await editors.refreshLink(editors.files());
      navigator.clipboard?.writeText(link).catch(() => {});
    });
    $('download-trace').addEventListener('click', after(async () => download('trace.txt', await client.request('trace'), 'text/plain')));
    $('download-report').addEventListener('click', after(async () => download('report.html', await client.request('reportPage'), 'text/html')));
    $('notice-close').addEventListener('click', () => { $('notice').hidden = true; });
  }

  // The scripting interface, on the same simulator the page uses, apart from
  // the page's editors. `machine` is the JSON `machine` object of the
  // report; an option it leaves out is at its default.
  window.fivestage = {
    ready: null,
    // The whole console program on `files` with `stdin` as its standard input.
    run: (files, stdin = '', machine = {}) => client.request('runConsole', { files, stdin, machine }),
    // What fivestage-report --json writes for `files`.
    report: (files, machine = {}) => client.request('report', { files, machine }),
    // What fivestage-report --compare --json writes for `files`.
    compare: (files) => client.request('compare', { files }),
    // What fivestage-report --check --json writes for the answer `source`
    // to the exercise of the file text `exerciseText`.
    check: async (exerciseText, source) => {
      const result = await client.request('check', { exercise: exerciseText, source });
      if (result.error) throw new Error(result.error);
      return result.outcome;
    },
  };

  window.fivestage.ready = client.ready.then(async () => {
    editors.useEnergyFiles(await client.request('energyFiles'), await client.request('idleFiles'));
    fivestageMachine.build($('machine-options'), await client.request('machineOptions'), machineChosen);
    restoreSettings();
    wire();
    if (await exercise.opening()) return;
    const { files, machine: chosen } = await editors.openingInputs(notify);
    editors.fill(files);
    fivestageMachine.show(chosen);
    editors.showExample(editors.files());
    await load();
  });
})();
