// Redrawing in place. The page redraws the chart, the datapath and the
// panels at every Step, and most of what they show has not changed. So the
// new drawing is not put in whole: the one on screen is brought to it, node
// by node, and the browser lays out again only the texts and attributes
// that changed.
'use strict';

// eslint-disable-next-line no-unused-vars
const fivestageRedraw = (() => {
  // A node that keeps its identity as others come and go: a row of the chart
  // by the fetch it follows, a part of the datapath by its name. Other nodes
  // are matched by their place.
  const keyOf = (node) => (node.nodeType === Node.ELEMENT_NODE ? node.dataset?.fetch ?? node.dataset?.part : undefined);

  function updateAttributes(shown, next) {
    for (const { name } of [...shown.attributes]) if (!next.hasAttribute(name)) shown.removeAttribute(name);
    for (const { name, value } of next.attributes) if (shown.getAttribute(name) !== value) shown.setAttribute(name, value);
  }

  // Makes `shown` like `next`, or puts `next` in its place where they are
  // not the same kind of node.
  function update(shown, next) {
    if (shown.nodeName !== next.nodeName) {
      shown.replaceWith(next);
    } else if (shown.nodeType !== Node.ELEMENT_NODE) {
      if (shown.nodeValue !== next.nodeValue) shown.nodeValue = next.nodeValue;
    } else {
      updateAttributes(shown, next);
      updateChildren(shown, next);
    }
  }

  // Makes the children of `shown` like those of `next`, in `next`'s order.
  function updateChildren(shown, next) {
    const keyed = new Map();
    for (const child of shown.childNodes) if (keyOf(child) !== undefined) keyed.set(keyOf(child), child);
    let cursor = shown.firstChild;
    for (const child of [...next.childNodes]) {
      const key = keyOf(child);
      const match = key !== undefined ? keyed.get(key) : cursor && keyOf(cursor) === undefined ? cursor : null;
      if (!match) {
        shown.insertBefore(child, cursor);
        continue;
      }
      keyed.delete(key);
      if (match === cursor) cursor = cursor.nextSibling; else shown.insertBefore(match, cursor);
      update(match, child);
    }
    // What is left has no counterpart any more.
    while (cursor) {
      const gone = cursor;
      cursor = cursor.nextSibling;
      gone.remove();
    }
  }

  // Shows `html` as the content of `element`; the same html again costs nothing.
  const htmlShown = new WeakMap();
  function showHtml(element, html) {
    if (htmlShown.get(element) === html) return;
    htmlShown.set(element, html);
    const template = document.createElement('template');
    template.innerHTML = html;
    updateChildren(element, template.content);
  }

  return { update, showHtml };
})();
