// Starts Debian's Chromium headless for the tests. The network flags keep it
// from reaching out at start-up: the machines that run the tests have no
// network beyond the package registries.
import puppeteer from 'puppeteer-core';

export const chromiumPath = process.env.CHROMIUM ?? '/usr/bin/chromium';

export function launch() {
  return puppeteer.launch({
    executablePath: chromiumPath,
    headless: true,
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
      '--disable-dev-shm-usage',
    ],
  });
}

// Opens a page and collects what it logs as an error, and uncaught exceptions.
// The page is a visitor of its own, whose storage no other page sees, unless
// it is opened in the `context` of an earlier one, as the same visitor again.
export async function openPage(browser, url, context = null) {
  const page = await (context ?? (await browser.createBrowserContext())).newPage();
  const errors = [];
  page.on('console', (message) => {
    if (message.type() === 'error') errors.push(message.text());
  });
  page.on('pageerror', (error) => errors.push(String(error)));
  await page.setViewport({ width: 1280, height: 900 });
  await page.goto(url, { waitUntil: 'load' });
  return { page, errors };
}
