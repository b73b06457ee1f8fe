// Clicking a cycle of the pipeline chart (its number or any cell in its
// column) shows that cycle's console trace, exactly as fivestage prints it,
// and brings it into view.
(function () {
  'use strict';
  function cycleTexts() {
    const data = document.getElementById('cycle-texts');
    return data ? JSON.parse(data.textContent) : null;
  }
  function showCycle(root, cycle) {
    const texts = cycleTexts();
    const first = Number(root.dataset.firstCycle);
    const trace = document.getElementById('cycle-trace');
    const title = document.getElementById('cycle-trace-title');
    root.querySelectorAll('.selected').forEach((element) => element.classList.remove('selected'));
    root.querySelectorAll('[data-cycle="' + cycle + '"]').forEach((element) => element.classList.add('selected'));
    if (!trace || !texts) return;
    const text = texts[cycle - first];
    title.textContent = 'Cycle ' + cycle;
    trace.textContent = text === undefined ? 'This cycle is outside the cycles the page holds.' : text;
    // The trace stands below the chart: bring it into view, without moving
    // the page when it is already on screen.
    title.scrollIntoView({ block: 'nearest' });
  }
  window.fivestageChart = { showCycle: showCycle };
  document.addEventListener('click', (event) => {
    const target = event.target.closest('[data-cycle]');
    const root = target && target.closest('.chart');
    if (root) showCycle(root, Number(target.dataset.cycle));
  });
})();
