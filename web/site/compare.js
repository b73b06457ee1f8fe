// The Compare panel: the inputs on the machines compared side by side, in the
// table fivestage-report --compare --html shows, or --compare-predictors
// (the simulator works it out and renders it, like every run). It is worked
// out again whenever the inputs loaded change, or what is compared: the
// predictors are compared with the forwarding and table size of the machine
// shown. A click on a row shows that machine; the row of the machine shown
// is marked.
'use strict';

// eslint-disable-next-line no-unused-vars
const fivestageCompare = (() => {
  const $ = (id) => document.getElementById(id);

  // `compare(files, machine, predictors)` asks for the table and the machine
  // of each of its rows; `choose(machine)` shows the run on `machine`.
  function create({ compare, choose }) {
    let compared = null;  // what the table is for, as JSON text
    let asked = 0;        // the latest request: an older answer is not shown
    let machines = [];    // the machine of each row
    let shown = null;     // the machine shown
    let files = null;     // the inputs loaded
    let askedFor = null;  // the machine shown when the table was asked for

    const rows = () => [...($('compare-table').querySelector('tbody')?.rows ?? [])];

    function mark() {
      rows().forEach((row, index) => {
        const marked = fivestageMachine.same(shown, machines[index]);
        row.classList.toggle('shown', marked);
        if (marked) row.setAttribute('aria-current', 'true'); else row.removeAttribute('aria-current');
      });
    }

    // Whether the table holds what is asked now: the same inputs and kind
    // and, for the predictors, a machine with the forwarding and table size
    // of `machine`, which is then one of its rows or the one it was asked for.
    const holds = (asking, predictors, machine) =>
      asking === compared && (!predictors || fivestageMachine.same(machine, askedFor) ||
        machines.some((row) => fivestageMachine.same(row, machine)));

    // Shows the table for `loaded` (by default the inputs shown last), working
    // it out if needed, and marks the row of `machine`, the one shown.
    async function show(loaded = files, machine = shown) {
      files = loaded;
      shown = machine;
      mark();
      if (!files) return;
      const predictors = $('compare-kind').value === 'predictors';
      const asking = JSON.stringify({ files, predictors });
      if (holds(asking, predictors, machine)) return;
      compared = asking;
      askedFor = machine;
      const request = ++asked;
      $('compare-note').textContent = 'working out…';
      try {
        const answer = await compare(files, machine, predictors);
        if (request !== asked) return;
        machines = answer.machines;
        fivestageRedraw.showHtml($('compare-table'), answer.table);
        $('compare-note').textContent = '';
        mark();
      } catch (error) {
        if (request !== asked) return;
        compared = null;
        $('compare-note').textContent = `could not be worked out: ${error.message}`;
      }
    }

    $('compare-kind').addEventListener('change', () => show());
    $('compare-table').addEventListener('click', (event) => {
      const row = event.target.closest('tbody tr');
      if (row) choose(machines[rows().indexOf(row)]);
    });
    return { show };
  }

  return { create };
})();
