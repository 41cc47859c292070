// What several of the reader checks share: the browser ImageData class that
// the BLP decoder makes (installed on require), PSNR, a text table, the
// scene files of the Blender-built folder, and a pass/fail tally.
'use strict';

const fs = require('fs');
const path = require('path');

if (typeof globalThis.ImageData === 'undefined') {
  globalThis.ImageData = class {
    constructor(width, height) {
      this.width = width;
      this.height = height;
      this.data = new Uint8ClampedArray(width * height * 4);
    }
  };
}

// PSNR of `decoded` against `reference` (RGBA both) over R, G, B, and A
// where the texture has alpha.
function psnr(decoded, reference, withAlpha) {
  let sum = 0;
  let count = 0;
  for (let i = 0; i < reference.length; i++) {
    if (i % 4 === 3 && !withAlpha) continue;
    const d = decoded[i] - reference[i];
    sum += d * d;
    count++;
  }
  return sum === 0 ? Infinity : 10 * Math.log10((255 * 255 * count) / sum);
}

// Prints `rows` under `header`, the first column to the left, the others to
// the right.
function printTable(header, rows) {
  const widths = header.map((h, i) => Math.max(h.length, ...rows.map((r) => r[i].length)));
  for (const row of [header].concat(rows)) {
    console.log(row.map((cell, i) => (i === 0 ? cell.padEnd(widths[i]) : cell.padStart(widths[i])))
      .join('  '));
  }
}

// Every glTF, FBX and Collada file in `folder` (build_scenes.py's output),
// in name order; none without a folder.
function sceneFiles(folder) {
  if (!folder) return [];
  return fs.readdirSync(folder).sort().filter((file) => /\.(glb|gltf|fbx|dae)$/.test(file))
    .map((file) => path.join(folder, file));
}

// A tally of checks; a failed one prints `what`.
class Tally {
  constructor() {
    this.passed = 0;
    this.failed = 0;
  }

  check(condition, what) {
    if (condition) {
      this.passed++;
    } else {
      this.failed++;
      console.log('FAILED: ' + what);
    }
  }
}

module.exports = { psnr, printTable, sceneFiles, Tally };
