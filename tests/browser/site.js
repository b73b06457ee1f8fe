// Serves a static folder on a free local port, as any web host would, and
// counts the bytes it sends.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join, normalize } from 'node:path';

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
