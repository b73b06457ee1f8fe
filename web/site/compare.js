// The Compare panel: the inputs on the machines compared side by side, in the
// table fivestage-report --compare --html shows (the simulator works it out
// and renders it, like every run). It is worked out again whenever the
// inputs loaded change. A click on a row shows that machine; the row of the
// machine shown is marked.
'use strict';

// eslint-disable-next-line no-unused-vars
const fivestageCompare = (() => {
  const $ = (id) => document.getElementById(id);

  // `compare(files)` asks for the table and the machine of each of its rows;
  // `choose(machine)` shows the run on `machine`.
  function create({ compare, choose }) {
    let compared = null;  // the inputs the table is for, as JSON text
    let asked = 0;        // the latest request: an older answer is not shown
    let machines = [];    // the machine of each row
    let shown = null;     // the machine shown

    const rows = () => [...($('compare-table').querySelector('tbody')?.rows ?? [])];

    function mark() {
      rows().forEach((row, index) => {
        const marked = fivestageMachine.same(shown, machines[index]);
        row.classList.toggle('shown', marked);
        if (marked) row.setAttribute('aria-current', 'true'); else row.removeAttribute('aria-current');
      });
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
        const answer = await compare(files);
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

    $('compare-table').addEventListener('click', (event) => {
      const row = event.target.closest('tbody tr');
      if (row) choose(machines[rows().indexOf(row)]);
    });
    return { show };
  }

  return { create };
})();
