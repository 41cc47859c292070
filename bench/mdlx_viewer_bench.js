#!/usr/bin/env node
// mdx-m3-viewer's conversion of one MDL file to MDX, timed the way
// bench/run times ours: read the file, load it, saveMdx, write the result.
// Prints one JSON line: {"cpu_s": ..., "wall_s": ..., "mdx_bytes": ...}.
//
//   node mdlx_viewer_bench.js MODULES_FOLDER MODEL.mdl OUT.mdx
'use strict';

const fs = require('fs');
const path = require('path');

const [modules, input, output] = process.argv.slice(2);
const { parsers } = require(path.join(modules, 'mdx-m3-viewer'));
const cpuStart = process.cpuUsage();
const wallStart = process.hrtime.bigint();
const model = new parsers.mdlx.Model();
model.load(fs.readFileSync(input, 'utf8'));
const mdx = model.saveMdx();
fs.writeFileSync(output, mdx);
const cpu = process.cpuUsage(cpuStart);
console.log(JSON.stringify({
  cpu_s: (cpu.user + cpu.system) / 1e6,
  wall_s: Number(process.hrtime.bigint() - wallStart) / 1e9,
  mdx_bytes: mdx.length,
}));
