// A small static file server for the web page and the package's browser files:
//   node web/serve.mjs [FOLDER] [--port N] [--isolated]
// --isolated adds the headers that make the page cross-origin isolated
// (Cross-Origin-Opener-Policy: same-origin, Cross-Origin-Embedder-Policy:
// require-corp), which the threaded engine needs. Port 0 picks a free port;
// the address is printed on the first line.
import { createServer } from 'node:http';
import { readFile, stat } from 'node:fs/promises';
import { extname, join, normalize, resolve, sep } from 'node:path';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.json': 'application/json',
  '.png': 'image/png',
  '.svg': 'image/svg+xml',
  '.txt': 'text/plain; charset=utf-8',
};

export function serve(folder, { port = 0, isolated = false } = {}) {
  const root = resolve(folder);
  const server = createServer(async (request, response) => {
    const headers = { 'Cache-Control': 'no-store' };
    if (isolated) {
      headers['Cross-Origin-Opener-Policy'] = 'same-origin';
      headers['Cross-Origin-Embedder-Policy'] = 'require-corp';
    }
    try {
      let path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
      let file = normalize(join(root, path));
      if (file !== root && !file.startsWith(root + sep)) throw new Error('outside the folder');
      if ((await stat(file)).isDirectory()) file = join(file, 'index.html');
      const body = await readFile(file);
      headers['Content-Type'] = TYPES[extname(file)] || 'application/octet-stream';
      response.writeHead(200, headers);
      response.end(body);
    } catch {
      response.writeHead(404, headers);
      response.end('not found');
    }
  });
  return new Promise((done) => server.listen(port, '127.0.0.1', () => done(server)));
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const args = process.argv.slice(2);
  const option = (name) => args.indexOf(name);
  const port = option('--port') >= 0 ? Number(args[option('--port') + 1]) : 8000;
  const folder = args.find((arg, i) => !arg.startsWith('--') && args[i - 1] !== '--port') || 'build-web/site';
  const server = await serve(folder, { port, isolated: args.includes('--isolated') });
  console.log(`http://127.0.0.1:${server.address().port}/${args.includes('--isolated') ? ' (cross-origin isolated)' : ''}`);
}
