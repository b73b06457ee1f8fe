// The pipeline chart in the page: the report's chart of the latest cycles,
// as the simulator renders it. A Step changes little of it: the head's
// current cycle, a cell in each row still in the pipeline, the row just
// fetched.
'use strict';

// eslint-disable-next-line no-unused-vars
const fivestageChart = (() => {
  // Columns of cycles kept in sight after the current one, where there are any.
  const cyclesAhead = 3;

  // Shows the chart `html` in `scroller`.
  const show = (scroller, html) => fivestageRedraw.showHtml(scroller, html);

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
