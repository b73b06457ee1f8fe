// The page's side of the simulator: requests to the host (see host.js), in
// a Web Worker where one can start, else in the page itself, which a page
// opened from disk needs. Every request returns a promise of its answer.
'use strict';

// eslint-disable-next-line no-unused-vars
const fivestageClient = (() => {
  // Loads a script into the page, for the host when it runs in the page.
  const loadScript = (src) => new Promise((resolve, reject) => {
    const script = document.createElement('script');
    script.src = src;
    script.onload = resolve;
    script.onerror = () => reject(new Error(`${src} could not be loaded`));
    document.head.append(script);
  });

  // A port to the host: in a worker, or else in the page.
  async function connect(onMessage) {
    try {
      const worker = new Worker('worker.js');
      const ready = new Promise((resolve, reject) => {
        worker.onmessage = (event) => {
          if (event.data.ready) resolve();
          else if (event.data.failed) reject(new Error(event.data.failed));
          else onMessage(event.data);
        };
        worker.onerror = (event) => reject(new Error(event.message || 'the worker could not start'));
      });
      await ready;
      return (message) => worker.postMessage(message);
    } catch (error) {
      // Browsers start no worker for a page opened from disk.
      if (!(error instanceof DOMException)) throw error;
    }
    await loadScript('fivestage.js');
    await loadScript('host.js');
    // Messages go through the event loop, as they would to a worker.
    const host = fivestageHost.create((message) => setTimeout(() => onMessage(message), 0));
    await host.ready;
    return (message) => setTimeout(() => host.receive(message), 0);
  }

  // `onProgress(cycles)` hears how far a long run has got; `onBusy(busy)`
  // whether answers are awaited.
  function create({ onProgress = () => {}, onBusy = () => {} } = {}) {
    const pending = new Map();
    let nextId = 0;
    const answered = (message) => {
      if ('progress' in message) {
        onProgress(message.progress);
        return;
      }
      const { resolve, reject } = pending.get(message.id);
      pending.delete(message.id);
      if (pending.size === 0) onBusy(false);
      if ('error' in message) reject(new Error(message.error)); else resolve(message.result);
    };
    const port = connect(answered);

    async function request(name, args) {
      const send = await port;
      return new Promise((resolve, reject) => {
        const id = ++nextId;
        pending.set(id, { resolve, reject });
        onBusy(true);
        send({ id, request: name, args });
      });
    }

    return {
      ready: port.then(() => undefined),
      request,
      // Asks a long run to stop where it is; its request then answers.
      stop: async () => (await port)({ request: 'stop' }),
    };
  }

  return { create };
})();
