// The side of the page that holds the simulator: the WebAssembly module and
// the session being stepped. Input files go to the module as they are, an
// object of texts by path: a path without a text is a missing file. It answers the page's
// requests, one at a time, in a Web Worker, or in the page itself where a
// worker cannot start (a page opened from disk). Long runs go a slice at a
// time, so that a request to stop is heard between two slices and progress
// can be shown.
'use strict';

// eslint-disable-next-line no-unused-vars
const fivestageHost = (() => {
  // A slice of a long run lasts about this long, in milliseconds: short
  // enough for Stop to be heard at once, long enough to cost little.
  const sliceMilliseconds = 30;

  // Hands control back to the event loop, so that waiting messages are heard:
  // by a message to itself, which runs as soon as they have been, where a
  // timer would be held back some milliseconds once a run takes a few slices.
  const breathe = () =>
    new Promise((resolve) => {
      const channel = new MessageChannel();
      channel.port1.onmessage = () => {
        channel.port1.close();
        resolve();
      };
      channel.port2.postMessage(null);
    });

  // `send(message)` delivers a message to the page.
  function create(send) {
    let module = null;
    let session = null;
    let stopping = false;
    let queue = Promise.resolve();

    // `work(file)` on the exercise file of `text`, read here: the module
    // validates what the browser's JSON reader makes of it.
    function readExercise(text, work) {
      let file;
      try {
        file = JSON.parse(text);
      } catch (error) {
        return { error: `not JSON: ${error.message}` };
      }
      return JSON.parse(work(file));
    }

    // The memory words from `first`, at most `count` of them: { first, words }.
    const memoryWords = ({ first, count }) => JSON.parse(session.memoryWords(first, count));

    // The session's view, with the memory words in sight of the page
    // (`inSight`, { first, count }) when asked: the page then draws its
    // answer at once, in one go.
    const viewWith = (inSight) => ({ ...session.view(), ...(inSight && { wordsInSight: memoryWords(inSight) }) });

    // Moves the session to the end of `cycle` a slice at a time, telling the
    // page how far it got, until it gets there, the run ends, or Stop.
    async function go(cycle, inSight) {
      let budget = 1000;
      let reached = -1;
      for (;;) {
        const start = performance.now();
        const before = reached;
        reached = session.advance(cycle, budget);
        if (reached === cycle || reached === before || stopping) break;
        // Aim each slice at the same length of time, whatever a cycle costs.
        const spent = Math.max(1, performance.now() - start);
        budget = Math.max(100, Math.min(budget * 4, Math.round(budget * sliceMilliseconds / spent)));
        send({ progress: reached });
        await breathe();
      }
      return viewWith(inSight);
    }

    const requests = {
      // A session on `files`, on `machine` (the JSON `machine` object), at `cycle`.
      async load({ files, machine, cycle, inSight }) {
        if (session) session.delete();
        session = new module.Session(files, machine ?? {});
        return { opening: JSON.parse(session.opening()), view: await go(cycle ?? 0, inSight) };
      },
      go: ({ cycle, inSight }) => go(cycle, inSight),
      energyFiles: () => module.energyFiles(),
      idleFiles: () => module.idleFiles(),
      machineOptions: () => module.machineOptions(),
      view: () => viewWith(),
      memory: memoryWords,
      trace: () => session.trace(),
      reportPage: () => session.reportPage(),
      runConsole: ({ files, stdin, machine }) => {
        const result = module.runConsole(files, stdin, machine ?? {});
        return { stdout: new TextDecoder().decode(result.stdout), status: result.status };
      },
      report: ({ files, machine }) =>
        JSON.parse(module.reportJson(files, machine ?? {})),
      compare: ({ files }) => JSON.parse(module.compareJson(files)),
      compareTable: ({ files, machine, predictors }) => JSON.parse(module.compareTable(files, machine, predictors)),
      // Exercises, by the text of their file, or a draft of one: each
      // answer is what was asked for or { error }.
      exercise: ({ exercise }) => readExercise(exercise, (file) => module.exerciseView(file)),
      check: ({ exercise, source }) => readExercise(exercise, (file) => module.checkAnswer(file, source)),
      choices: ({ draft, solution }) => JSON.parse(module.answerChoices(draft, solution)),
      author: ({ draft, solution, registers, words, fromMeaning }) =>
        JSON.parse(module.authorExercise(draft, solution, registers, words, Boolean(fromMeaning))),
    };

    // One request at a time, in the order they came; Stop is heard at once.
    function receive({ id, request, args }) {
      if (request === 'stop') {
        stopping = true;
        return;
      }
      queue = queue.then(async () => {
        stopping = false;
        try {
          send({ id, result: await requests[request](args ?? {}) });
        } catch (error) {
          send({ id, error: String(error?.message ?? error) });
        }
      });
    }

    const ready = createFivestage().then((instance) => { module = instance; });
    return { receive, ready };
  }

  return { create };
})();

// In a worker: serve the page that started it.
if (typeof WorkerGlobalScope !== 'undefined' && self instanceof WorkerGlobalScope) {
  const host = fivestageHost.create((message) => self.postMessage(message));
  host.ready.then(() => self.postMessage({ ready: true }), (error) => self.postMessage({ failed: String(error) }));
  self.onmessage = (event) => host.receive(event.data);
}
