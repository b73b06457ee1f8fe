// The pipeline chart in the page: the report's chart of the latest cycles,
// as the simulator renders it, in parts: the chart's opening tag, which
// holds its window of cycles, the head, and a row per fetch. A Step changes
// few of them (a cell in each row still in the pipeline, the row just
// fetched): only those are brought to their new html, and the browser lays
// out only what changed in them.
'use strict';

// eslint-disable-next-line no-unused-vars
const fivestageChart = (() => {
  // Columns of cycles kept in sight after the current one, where there are any.
  const cyclesAhead = 3;

  const openings = new WeakMap();  // the opening tag each chart on screen was made from

  // Shows `chart` ({ opening, head, rows: [{ fetch, html }] }, or null for
  // none) in `scroller`, with `cycle` marked as the current one. A new
  // window of cycles is a new chart. The head is the same from one Step to
  // the next but for the cycle marked, which is moved from cell to cell.
  function show(scroller, chart, cycle) {
    if (!chart) {
      scroller.replaceChildren();
      return;
    }
    let frame = scroller.firstElementChild;
    if (!frame || openings.get(frame) !== chart.opening) {
      [frame] = fivestageRedraw.elements([chart.opening + chart.closing]);
      openings.set(frame, chart.opening);
      scroller.replaceChildren(frame);
    }
    fivestageRedraw.showParts(frame, [['head', chart.head], ...chart.rows.map(({ fetch, html }) => [fetch, html])]);
    const marked = frame.querySelector('.cycle.current');
    const current = frame.querySelector(`.cycle[data-cycle="${cycle}"]`);
    if (marked !== current) {
      marked?.classList.remove('current');
      current?.classList.add('current');
    }
  }

  // Scrolls to the latest instructions, at the bottom, and to the current
  // cycle with a few columns after it. It reads the layout: call it once
  // everything else has been written.
  function scrollToCurrent(scroller) {
    scroller.scrollTop = scroller.scrollHeight;
    const current = scroller.querySelector('.cycle.current');
    if (!current) return;
    const box = current.getBoundingClientRect();
    const right = box.right - scroller.getBoundingClientRect().left + scroller.scrollLeft + box.width * cyclesAhead;
    scroller.scrollLeft = Math.max(0, right - scroller.clientWidth);
  }

  return { show, scrollToCurrent };
})();
