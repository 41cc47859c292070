#!/usr/bin/env node
// Renders a model with mdx-m3-viewer in headless Chromium (software WebGL)
// to a PNG, one picture per pose, to look at what a conversion made.
//
//   node render.js MODEL.mdx OUT.png [SEQUENCE:MS,...]
//
// SEQUENCE is an index into the model's sequences (-1: none), MS the time
// into it. The model's textures are read from its folder. Needs
// /usr/bin/chromium (Debian's chromium package). RENDER_DOM=1 prints the
// page as rendered instead (its title says "done" or the error).
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');

const [model, out, shots = '-1:0'] = process.argv.slice(2);
if (!model || !out) {
  console.error('usage: node render.js MODEL.mdx OUT.png [SEQUENCE:MS,...]');
  process.exit(2);
}
const bundle = require.resolve('mdx-m3-viewer/dist/umd/viewer.min.js');
const modelFolder = path.dirname(path.resolve(model));

// The page, the bundle and the model's folder, on a loopback port.
const server = http.createServer((request, response) => {
  const url = decodeURIComponent(new URL(request.url, 'http://x').pathname);
  const file = url === '/' ? path.join(__dirname, 'page.html')
    : url === '/viewer.min.js' ? bundle
      : path.join(modelFolder, path.normalize(url.replace(/^\/model\//, '/')));
  if (!file.startsWith(modelFolder) && file !== bundle && !file.startsWith(__dirname)) {
    response.writeHead(403).end();
    return;
  }
  fs.readFile(file, (error, data) => {
    if (error) response.writeHead(404).end();
    else response.writeHead(200).end(data);
  });
});
server.listen(0, '127.0.0.1', () => {
  const port = server.address().port;
  const url = `http://127.0.0.1:${port}/?model=${encodeURIComponent('/model/' + path.basename(model))}` +
    `&shots=${encodeURIComponent(shots)}`;
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'mdl-render-'));
  const count = shots.split(',').length;
  const width = Math.min(count, 4) * 308 + 32;
  const height = Math.ceil(count / 4) * 330 + 16;
  const chrome = spawn('/usr/bin/chromium', [
    '--headless', '--no-sandbox', '--disable-gpu', '--enable-unsafe-swiftshader',
    '--use-angle=swiftshader', '--disable-background-networking', '--disable-component-update',
    '--disable-sync', '--no-first-run', '--disable-quic', `--user-data-dir=${profile}`,
    `--window-size=${width},${height}`, '--virtual-time-budget=20000',
    ...(process.env.RENDER_DOM ? ['--dump-dom'] : [`--screenshot=${path.resolve(out)}`]), url], { stdio: ['ignore', process.env.RENDER_DOM ? 'inherit' : 'ignore', 'pipe'] });
  let log = '';
  chrome.stderr.on('data', (d) => { log += d; });
  chrome.on('close', (status) => {
    server.close();
    fs.rmSync(profile, { recursive: true, force: true });
    if (status !== 0 || !fs.existsSync(out)) {
      console.error(`render: chromium failed (${status}):\n${log}`);
      process.exit(1);
    }
    console.log(`render: ${out}`);
  });
});
