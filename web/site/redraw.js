// Redrawing in place. The page redraws the chart and the panels at every
// Step, and most of what they show has not changed. So a new drawing is not
// put in whole: the browser would lay all of it out again. What is on screen
// is brought to the new html node by node, and a drawing made of parts (the
// chart's rows, the bars of energy over time) looks only at the parts whose
// markup changed.
'use strict';

// eslint-disable-next-line no-unused-vars
const fivestageRedraw = (() => {
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

  // Makes the children of `shown` like those of `next`, place by place.
  function updateChildren(shown, next) {
    let cursor = shown.firstChild;
    for (const child of [...next.childNodes]) {
      if (!cursor) {
        shown.append(child);
        continue;
      }
      const following = cursor.nextSibling;
      update(cursor, child);
      cursor = following;
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

  // Makes the children of `container` the parts `parts`, [key, markup] in
  // order, each markup that of one HTML element. A part whose markup is the
  // one on screen stays as it is; one whose markup changed is brought to it
  // node by node (a chart row gains a cell, say), and a new one is put in.
  const partsShown = new WeakMap();
  function showParts(container, parts) {
    const shown = partsShown.get(container) ?? new Map();  // key → { markup, element }
    const changed = parts.filter(([key, markup]) => shown.get(key)?.markup !== markup);
    const made = elements(changed.map(([, markup]) => markup), container);
    const madeFor = new Map(changed.map(([key], i) => [key, made[i]]));
    const next = new Map();
    let cursor = container.firstElementChild;
    for (const [key, markup] of parts) {
      let element = shown.get(key)?.element;
      shown.delete(key);
      const fresh = madeFor.get(key);
      if (fresh && element?.nodeName === fresh.nodeName) {
        update(element, fresh);
      } else if (fresh) {
        if (element === cursor) cursor = cursor.nextElementSibling;
        element?.remove();
        element = fresh;
      }
      next.set(key, { markup, element });
      if (element === cursor) cursor = cursor.nextElementSibling; else container.insertBefore(element, cursor);
    }
    for (const { element } of shown.values()) element.remove();
    partsShown.set(container, next);
  }

  // The elements of `markups`, each the markup of one element: of HTML, or
  // of SVG when they are to go `inside` an SVG element (outside one, a <g>
  // would be read as an unknown HTML element).
  function elements(markups, inside = null) {
    if (markups.length === 0) return [];
    const template = document.createElement('template');
    const svg = inside instanceof SVGElement;
    template.innerHTML = svg ? `<svg>${markups.join('')}</svg>` : markups.join('');
    return [...(svg ? template.content.firstElementChild : template.content).children];
  }

  return { showHtml, showParts, elements, updateAttributes };
})();
