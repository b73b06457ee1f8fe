// The Compare panel: the inputs on the machines compared side by side, as
// fivestage-report --compare works them out (in the simulator, like every
// run). It is worked out again whenever the inputs loaded change. A click on
// a row shows that machine; the row of the machine shown is marked.
'use strict';

// eslint-disable-next-line no-unused-vars
const fivestageCompare = (() => {
  const $ = (id) => document.getElementById(id);

  // Figures as the text table prints them: C's printf rounds a tie to the
  // even digit, and so do these.
  const format = (digits) => new Intl.NumberFormat('en',
    { minimumFractionDigits: digits, maximumFractionDigits: digits, roundingMode: 'halfEven', useGrouping: false });
  const twoDecimals = format(2);
  const whole = format(0);

  // The figures of a machine's report, with their headings.
  const columns = [
    { figure: 'cycles', heading: 'cycles', text: (run) => String(run.cycles) },
    { figure: 'cpi', heading: 'CPI', text: (run) => (run.cpi === null ? '-' : twoDecimals.format(run.cpi)) },
    { figure: 'stalls', heading: 'stalls', text: (run) => String(run.stallCount) },
    { figure: 'cycles-lost', heading: 'lost', title: 'cycles lost to stalls', text: (run) => String(run.cyclesLost) },
    { figure: 'cancelled', heading: 'cancelled', title: 'instructions a taken branch cancelled',
      text: (run) => String(run.cancelled) },
    { figure: 'energy', heading: 'energy', text: (run) => String(run.energy.total) },
    { figure: 'energy-delay', heading: 'energy-delay', title: 'energy times cycles: lower is better on both counts',
      text: (run) => whole.format(run.energy.delayProduct) },
  ];

  // Whether the run ends as the program means, or why it does not end.
  function result(run) {
    if (run.status !== 'completed') return { text: run.status, matches: false };
    if (run.meaning.matches) return { text: 'what the program means', matches: true };
    return { text: 'not what the program means', matches: false, title: run.meaning.causes.join('; ') };
  }

  function cell(tag, text, { figure, title } = {}) {
    const element = document.createElement(tag);
    element.textContent = text;
    if (figure) element.dataset.figure = figure;
    if (title) element.title = title;
    return element;
  }

  function headRow() {
    const row = document.createElement('tr');
    row.append(cell('th', 'machine'), ...columns.map(({ heading, title }) => cell('th', heading, { title })),
      cell('th', 'result'));
    return row;
  }

  // A row names its machine as the report does, and holds its JSON `machine` object.
  function machineRow(run) {
    const row = document.createElement('tr');
    row.dataset.machine = JSON.stringify(run.machine);
    row.title = `Show the run on ${run.machineName}`;
    const name = cell('th', '');
    name.scope = 'row';
    name.append(cell('button', run.machineName));
    const { text, matches, title } = result(run);
    const outcome = cell('td', text, { figure: 'result', title });
    outcome.classList.add(matches ? 'matches' : 'differs');
    row.append(name, ...columns.map(({ figure, text: textOf }) => cell('td', textOf(run), { figure })), outcome);
    return row;
  }

  // `compare(files)` asks for what --compare --json gives (the figures of
  // each machine's run; the details of its cycles are not needed);
  // `choose(machine)` shows the run on `machine`.
  function create({ compare, choose }) {
    let compared = null;  // the inputs the table is for, as JSON text
    let asked = 0;        // the latest request: an older answer is not shown
    let shown = null;     // the machine shown

    function mark() {
      for (const row of $('compare-table').tBodies[0].rows) {
        const marked = fivestageMachine.same(shown, JSON.parse(row.dataset.machine));
        row.classList.toggle('shown', marked);
        if (marked) row.setAttribute('aria-current', 'true'); else row.removeAttribute('aria-current');
      }
    }

    function render(machines) {
      const table = $('compare-table');
      table.tHead.replaceChildren(headRow());
      // A program that could not be loaded ran on no machine.
      const loaded = machines[0].meaning !== null;
      table.tBodies[0].replaceChildren(...(loaded ? machines.map(machineRow) : []));
      $('compare-note').textContent = loaded ? '' : `not run: ${machines[0].status}`;
      mark();
    }

    // Shows the table for `files`, working it out if they changed, and marks
    // the row of `machine`, the one shown.
    async function show(files, machine) {
      shown = machine;
      mark();
      const inputs = JSON.stringify(files);
      if (inputs === compared) return;
      compared = inputs;
      const request = ++asked;
      $('compare-note').textContent = 'working out…';
      try {
        const { machines } = await compare(files);
        if (request === asked) render(machines);
      } catch (error) {
        if (request !== asked) return;
        compared = null;
        $('compare-note').textContent = `could not be worked out: ${error.message}`;
      }
    }

    $('compare-table').tBodies[0].addEventListener('click', (event) => {
      const row = event.target.closest('tr');
      if (row) choose(JSON.parse(row.dataset.machine));
    });
    return { show };
  }

  return { create };
})();
