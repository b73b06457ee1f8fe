// Measures the browser edition in headless Chromium: the median Step with
// 1,000 cycles behind it (target 20 ms), Run to the end of a 100,000-cycle
// loop (target 3 s), and the bytes the page and module take to load (target
// under 1 MB). Build the site first (cmake --preset web && cmake --build
// --preset web) and install the driver (npm ci --prefix tests/browser).
// Usage: node bench/web_bench.mjs [SITE]   (default build/web)
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch, openPage } from '../tests/browser/browser.js';
import { serve } from '../tests/browser/site.js';

const root = join(dirname(fileURLToPath(import.meta.url)), '..');
const site = process.argv[2] ?? join(root, 'build', 'web');
const energy = join(root, 'tests', 'e2e', 'energy', 'EnergyConsumptionInput');
const energyNames = ['Fetch', 'Execute', 'Mem', 'WriteBack', ...['add', 'addi', 'and', 'beq', 'bne', 'j', 'lw', 'or', 'sub', 'sw'].map((op) => `Decode/${op}`)];

// The benchmark loop of run_bench.py: ten cycles an iteration, $2 iterations.
function loopFiles(iterations) {
  const files = {
    'src.txt': 'addi $1, $1, 1\nlw $1, 0($0)\nsw $4, 0($0)\nadd $5, $4, $3\nbne $1, $2, L1\naddi $6, $6, 1\n',
    'reg.txt': Array.from({ length: 32 }, (_, r) => (r === 2 ? iterations : r === 3 ? 1 : 0)).join('\n') + '\n',
    'mem.txt': Array.from({ length: 16 }, (_, w) => w).join('\n') + '\n',
  };
  for (const name of energyNames) files[`EnergyConsumptionInput/${name}/energy.txt`] = readFileSync(join(energy, name, 'energy.txt'), 'utf8');
  return files;
}

// Fills the page's editors with `files` through its own controls and loads them.
async function open(page, files) {
  await page.evaluate((files) => {
    for (const [path, text] of Object.entries(files)) {
      const editor = document.getElementById(path) ?? document.querySelector(`tr[data-path="${path}"] textarea`);
      editor.value = text;
    }
    document.getElementById('load').click();
  }, files);
}

// Milliseconds a button's work takes, the page's layout included.
const timed = (page, id) => page.evaluate((id) => {
  const start = performance.now();
  document.getElementById(id).click();
  void document.body.offsetHeight;
  return performance.now() - start;
}, id);

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

const server = await serve(site);
const browser = await launch();
try {
  const { page, errors } = await openPage(browser, server.url);
  await page.evaluate(() => window.fivestage.ready);
  const transferred = server.bytesSent();

  await open(page, loopFiles(1000));
  await page.$eval('#until', (input) => { input.value = '1000'; });
  await timed(page, 'run');
  const steps = [];
  for (let i = 0; i < 41; ++i) steps.push(await timed(page, 'step'));
  const cycle = await page.$eval('#cycle', (element) => Number(element.textContent));

  await open(page, loopFiles(9999));
  await page.$eval('#until', (input) => { input.value = ''; });
  const run = await timed(page, 'run');
  const cycles = await page.$eval('#cycle', (element) => Number(element.textContent));
  const state = await page.$eval('#run-state', (element) => element.textContent);
  if (errors.length) throw new Error(errors.join('\n'));

  const step = median(steps);
  console.log(`page and module: ${transferred} bytes (${(transferred / 2 ** 20).toFixed(2)} MiB), target under 1 MB ${transferred < 1e6 ? 'ok' : 'MISSED'}`);
  console.log(`step with ${cycle - 41} to ${cycle} cycles behind: median ${step.toFixed(1)} ms, target 20 ms ${step <= 20 ? 'ok' : 'MISSED'}`);
  console.log(`run to the end of the loop: ${cycles} cycles (${state}) in ${(run / 1000).toFixed(2)} s, target 3 s ${run <= 3000 && state === 'completed' ? 'ok' : 'MISSED'}`);
  process.exitCode = transferred < 1e6 && step <= 20 && run <= 3000 ? 0 : 1;
} finally {
  await browser.close();
  await server.close();
}
