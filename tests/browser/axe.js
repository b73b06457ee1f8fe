// Checks a page with axe-core, the accessibility checker, inside the browser:
// the page must have no critical or serious violation. A failure names each
// rule broken and the elements that break it.
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';

const axeScript = createRequire(import.meta.url).resolve('axe-core/axe.min.js');

// The violations of `page` as lines of text, the worst ones only.
export async function seriousViolations(page) {
  if (!(await page.evaluate(() => 'axe' in window))) await page.addScriptTag({ path: axeScript });
  const violations = await page.evaluate(async () => (await window.axe.run(document)).violations);
  return violations.filter(({ impact }) => impact === 'critical' || impact === 'serious')
    .flatMap(({ id, impact, help, nodes }) => nodes.map((node) =>
      `${impact} ${id} (${help}): ${node.target.join(' ')}: ${node.failureSummary.replace(/\s+/g, ' ')}`));
}

export async function assertAccessible(page, what) {
  const violations = await seriousViolations(page);
  assert.deepEqual(violations, [], `${what}:\n${violations.join('\n')}`);
}
