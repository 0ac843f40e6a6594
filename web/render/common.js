// What every part of the renderer shares: building elements (text from the plan file only ever
// goes in through textContent), the table of labels, and the plan file's bytes as text.

const SVG = 'http://www.w3.org/2000/svg';

export function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

export function svg(tag, attributes) {
  const node = document.createElementNS(SVG, tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value);
  return node;
}

// The report's words: the table of labels that tosim-report's summary uses too (the data carries
// it as "labels"), so that the summary, the page and the report page say the same.
let labelTable = {};
export function useLabels(table) {
  labelTable = table || {};
}
export const word = (key) => (key in labelTable ? labelTable[key] : key);
export const hasWord = (key) => key in labelTable;
// A sentence of the table with its places ("{x}", "{from}") filled in from `values`.
export const fill = (text, values) => text.replace(/\{(\w+)\}/g, (place, name) =>
  (name in values ? String(values[name]) : place));

export function plural(count, one, many) {
  return count + ' ' + (count === 1 ? one : many);
}

// Windows-1252 bytes as text; the bytes come as an array or as a "byte string" (one character a
// byte), as the report carries them.
const decoder = new TextDecoder('windows-1252');
export function decode1252(bytes) {
  if (typeof bytes === 'string') {
    const array = new Uint8Array(bytes.length);
    for (let i = 0; i < bytes.length; i++) array[i] = bytes.charCodeAt(i);
    bytes = array;
  }
  return decoder.decode(bytes);
}

// The plan file's lines as tosim reads them: a line ends at LF, at CR or at CR LF, and a Ctrl-Z
// ends the data.
export function planLines(text) {
  const end = text.indexOf('\x1a');
  const lines = (end >= 0 ? text.slice(0, end) : text).split(/\r\n|\r|\n/);
  if (lines.length && lines[lines.length - 1] === '') lines.pop();
  return lines;
}

// What is wider than its panel scrolls sideways inside it, with a hint that it does; while it
// overflows it can also take the focus, to be scrolled with the arrow keys.
const overflow = typeof ResizeObserver === 'undefined' ? null : new ResizeObserver((entries) => {
  for (const { target } of entries) {
    const overflowing = target.scrollWidth > target.clientWidth + 1;
    target.parentNode.classList.toggle('overflowing', overflowing);
    if (overflowing) target.tabIndex = 0;
    else target.removeAttribute('tabindex');
  }
});
export function scrolling(content, name) {
  const box = el('div', 'scroll-box');
  const area = el('div', 'scroll');
  area.setAttribute('role', 'region');
  area.setAttribute('aria-label', name);
  area.append(content);
  box.append(el('p', 'scroll-hint', '↔ Deslice a los lados para ver todas las columnas'), area);
  if (overflow) overflow.observe(area);
  return box;
}
