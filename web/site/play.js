// Play: Step after Step at the pace chosen, until paused, the end of the
// run, or a breakpoint: the cycle that fetches the instruction of a src.txt
// line named in "break at line". Each step is an ordinary move of the page,
// one request to the simulator at a time: the next is asked for only once
// the last has been drawn, and no sooner than the pace allows. While Play
// goes, document.body.dataset.playing is set.
'use strict';

// eslint-disable-next-line no-unused-vars
const fivestagePlay = (() => {
  const $ = (id) => document.getElementById(id);

  // The lines a "break at line" text names ("6, 9"), or null when it is not
  // a list of line numbers.
  function breakLines(text) {
    const items = text.split(/[\s,]+/).filter(Boolean);
    return items.every((item) => /^[1-9]\d*$/.test(item)) ? items.map(Number) : null;
  }

  const wait = (milliseconds) => new Promise((resolve) => setTimeout(resolve, Math.max(0, milliseconds)));

  // `advance(noteOf)` moves the run on one cycle and shows it with the note
  // `noteOf(view)` writes after the status line; it answers the view, or
  // null when the page was busy with another move. `canStep(view)` tells
  // whether a cycle can follow the view; `instructionLines()` gives the
  // source line of each instruction of the program loaded; `notify(text)`
  // tells of a breakpoint that cannot be reached; `settle()` runs the
  // edits not yet run.
  function create({ advance, canStep, instructionLines, notify, settle }) {
    let playing = null;  // the play going on; a pause, or a new play, ends it
    let breaks = [];     // the lines of "break at line", read when it changes and when Play starts

    function show() {
      const button = $('play');
      const label = playing ? 'Pause' : 'Play';
      if (button.textContent !== label) button.textContent = label;
      if (playing) document.body.dataset.playing = 'yes'; else delete document.body.dataset.playing;
    }

    function pause() {
      if (!playing) return;
      playing = null;
      show();
    }

    // The line whose breakpoint the view's cycle reached: that of the
    // instruction it fetched, when a breakpoint is on it.
    function breakpointOf(view) {
      const fetch = view.diagram?.stages.Fetch;
      if (fetch?.state !== 'instruction') return null;
      const line = instructionLines()[fetch.instruction.index];
      return breaks.includes(line) ? line : null;
    }

    async function play() {
      await settle();
      readBreaks();
      const token = {};
      playing = token;
      show();
      while (playing === token) {
        const started = performance.now();
        let line = null;
        const view = await advance((shown) => {
          line = breakpointOf(shown);
          return line === null ? '' : ` · <span id="breakpoint">paused at the breakpoint on line ${line}</span>`;
        });
        if (playing !== token) return;
        if (view === null || line !== null || !canStep(view)) {
          pause();
          return;
        }
        await wait(1000 / Number($('pace').value) - (performance.now() - started));
      }
    }

    // Reads "break at line" once, for every cycle Play goes on; answers the
    // lines, or null when the text is not a list of line numbers.
    function readBreaks() {
      const lines = breakLines($('breaks').value);
      breaks = lines ?? [];
      return lines;
    }

    // Says at once when "break at line" names what Play can never pause at.
    function checkBreaks() {
      const field = $('breaks');
      const lines = readBreaks();
      const known = new Set(instructionLines());
      const unreached = (lines ?? []).filter((line) => !known.has(line));
      const problem = lines === null ? 'write line numbers of src.txt, such as 6 or 6, 9'
        : unreached.length > 0 && `no instruction on line ${unreached.join(', ')}: Play never pauses there`;
      if (problem) field.setAttribute('aria-invalid', 'true'); else field.removeAttribute('aria-invalid');
      if (problem) notify(`Break at line: ${problem}.`);
    }

    function wire() {
      $('play').addEventListener('click', () => (playing ? pause() : play()));
      $('breaks').addEventListener('change', checkBreaks);
    }

    return { wire, pause, isPlaying: () => playing !== null };
  }

  return { create };
})();
