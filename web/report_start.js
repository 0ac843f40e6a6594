// The report page's start: the data travels inside the page, and this script is the renderer's
// modules joined into one at build time (cmake/join_modules.py).
import { renderExercises } from './render/exercises.js';
import { render } from './render/output.js';

const data = JSON.parse(document.getElementById('tosim-data').textContent);
if (data.mode === 'exercises') {
  // The sheet says what it is itself; the report's header would give the game away.
  document.title = 'Hoja de ejercicios de tosim';
  document.querySelector('header').hidden = true;
  renderExercises(document.getElementById('out'), data);
} else {
  render(document.getElementById('out'), data);
}
