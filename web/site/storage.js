// What the page keeps between visits, in the browser's local storage.
// Storage can be missing or full (some private windows): then nothing is
// kept, and what was to be kept lasts as long as the page.
'use strict';

// eslint-disable-next-line no-unused-vars
const fivestageStorage = (() => {
  // The text kept under `key`, or null.
  function read(key) {
    try {
      return localStorage.getItem(key);
    } catch {
      return null;
    }
  }

  // The value kept under `key` as JSON, or null where none can be read.
  function readJson(key) {
    try {
      return JSON.parse(read(key));
    } catch {
      return null;
    }
  }

  // Keeps `text` under `key`; null keeps nothing there any more.
  function write(key, text) {
    try {
      if (text === null) localStorage.removeItem(key); else localStorage.setItem(key, text);
    } catch {
      // nothing kept
    }
  }

  return { read, readJson, write };
})();
