// Serves a static folder on a free local port, as any web host would, and
// counts the bytes it sends.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join, normalize } from 'node:path';
import { before, after } from 'node:test';
import { launch, openPage } from './browser.js';

const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm' };

export async function serve(folder) {
  let sent = 0;
  const server = createServer(async (request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname)).replace(/^\/+/, '');
    try {
      const body = await readFile(join(folder, path || 'index.html'));
      sent += body.length;
      response.writeHead(200, { 'Content-Type': types[extname(path || 'index.html')] ?? 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    bytesSent: () => sent,
    close: () => new Promise((resolve) => server.close(resolve)),
  };
}

// The site in a browser, for a file of tests: Chromium and the server start
// before its first test and stop after its last. `visit` opens the page as a
// new visitor, or as the one of `context` again, once the module is ready
// and, unless told not to wait, once it has answered what it was asked.
export function openSite(folder = process.env.FIVESTAGE_WEB_SITE) {
  const site = {
    browser: null,
    server: null,
    get url() {
      return site.server.url;
    },
    async visit(url = site.url, context = null, { settle = true } = {}) {
      const opened = await openPage(site.browser, url, context);
      await opened.page.evaluate(() => window.fivestage.ready);
      if (settle) await settled(opened.page);
      return opened;
    },
  };
  before(async () => {
    site.browser = await launch();
    site.server = await serve(folder);
  });
  after(async () => {
    await site.browser?.close();
    await site.server?.close();
  });
  return site;
}

// Waits until the page has every answer it asked the module for.
export const settled = (page) => page.waitForFunction(() => !document.body.dataset.busy);
