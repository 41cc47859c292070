#!/usr/bin/env node
// Converts real images that nobody here wrote (textures among Debian's
// assimp-testmodels: PNG, JPEG, BMP and TGA, with and without alpha, square or
// not, powers of two or not) and one generated here, with
// `blp-convert IMAGE OUT.blp --reference LEVEL0.rgba` (and a smaller largest
// side for a few, where large images are read and averaged down before the
// filter that makes level 0), and reads every BLP
// with the independent decoder (mdx-m3-viewer, pinned in package.json):
// the header's size and alpha bits must be what the image calls for, every
// level must be present and decode at its size down to 1 x 1, and level 0
// decoded must be within 35 dB PSNR of the scaled image before compression at
// the default quality. Prints the figures per image. Given the exporter, it
// also converts each image with `mdlexport IMAGE -o OUT.blp`, which must
// write the same bytes.
//
//   node check_blp.js BLP_CONVERT [MODELS_FOLDER [MDLEXPORT]]
'use strict';

const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { parsers } = require('mdx-m3-viewer');
const { psnr, printTable, Tally } = require('./common');

const binary = process.argv[2];
const models = process.argv[3] || '/usr/share/assimp/models';
const exporter = process.argv[4];
if (!binary) {
  console.error('usage: node check_blp.js BLP_CONVERT [MODELS_FOLDER [MDLEXPORT]]');
  process.exit(2);
}

// Each image with its size and whether some pixel is translucent, as the
// files are (an alpha channel that is opaque everywhere counts as none), and
// the largest texture side where it is not the default 512.
const images = [
  ['glTF2/ClearCoat-glTF/PartialCoating_Alpha.png', 256, 256, true],  // RGBA
  ['glTF2/textureTransform/Arrow.png', 128, 128, false],              // RGBA, all opaque
  ['glTF2/BoxTextured-glTF/CesiumLogoFlat.png', 211, 211, false],     // paletted
  ['glTF/CesiumMilkTruck/CesiumMilkTruck.png', 2048, 2048, false],
  ['ReferenceImages/MappingModes/spherical.png', 693, 570, false],
  ['Collada/duck_sample.jpg', 640, 480, false],
  ['OBJ/SpiderTex.jpg', 249, 250, false],
  ['IQM/Head.jpg', 512, 512, false],
  ['LWO/LWO2/MappingModes/earthCylindric.jpg', 2048, 1024, false],
  ['MD2/sydney.bmp', 308, 193, false],                                // 8-bit paletted BMP
  ['SMD/holygrail.tga', 256, 512, false],                             // 32-bit, all opaque
  ['IQM/Body.jpg', 1024, 1024, false, 128],        // decoded at 1/4 of its size
  ['Ogre/TheThing/Wrinkles.jpg', 1024, 683, false, 64], // at 1/4: 256 x 171
  ['IRRMesh/1.png', 512, 512, true, 32],           // translucent everywhere, averaged to 64
].map(([file, width, height, alpha, maxSide = 512]) =>
  ({ file: path.join(models, file), width, height, alpha, maxSide }));

const tally = new Tally();
const check = tally.check.bind(tally);

// Each side to its nearest power of two, the larger on a tie, at most `maxSide`.
function textureSide(side, maxSide) {
  let below = 1;
  while (below * 2 <= side) below *= 2;
  return Math.min(side - below < 2 * below - side ? below : 2 * below, maxSide);
}

// A generated 300 x 75 image with translucency: a 32-bit TGA, rows top down.
function writeGeneratedTga(file) {
  const width = 300;
  const height = 75;
  const header = Buffer.alloc(18);
  header[2] = 2; // uncompressed true colour
  header.writeUInt16LE(width, 12);
  header.writeUInt16LE(height, 14);
  header[16] = 32;
  header[17] = 0x28; // 8 alpha bits, top-left origin
  const pixels = Buffer.alloc(width * height * 4);
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const at = (y * width + x) * 4;
      const inside = (x - 150) ** 2 + (y - 37) ** 2 < 30 ** 2;
      pixels[at] = Math.round(255 * (y / (height - 1))); // B
      pixels[at + 1] = inside ? 40 : 180; // G
      pixels[at + 2] = Math.round(255 * (x / (width - 1))); // R
      pixels[at + 3] = inside ? 255 : Math.round(255 * Math.abs(Math.sin(x / 40))); // A
    }
  }
  fs.writeFileSync(file, Buffer.concat([header, pixels]));
  return { file, width, height, alpha: true, maxSide: 512 };
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'mdl-blp-'));
try {
  const corpus = images.concat([writeGeneratedTga(path.join(work, 'generated.tga'))]);
  const rows = [];
  for (const image of corpus) {
    const name = path.relative(models, image.file).startsWith('..') ? 'generated.tga (300 x 75)'
      : path.relative(models, image.file);
    const blpFile = path.join(work, 'out.blp');
    const referenceFile = path.join(work, 'level0.rgba');
    try {
      execFileSync(binary, [image.file, blpFile, '--reference', referenceFile,
        '--max-side', String(image.maxSide)],
        { stdio: ['ignore', 'pipe', 'pipe'] });
    } catch (error) {
      check(false, `${name}: blp-convert failed: ${error.stderr}`);
      continue;
    }
    if (exporter && image.maxSide === 512) {
      const fromExporter = path.join(work, 'exporter.blp');
      try {
        execFileSync(exporter, [image.file, '-o', fromExporter, '-q'],
          { stdio: ['ignore', 'pipe', 'pipe'] });
        check(fs.readFileSync(fromExporter).equals(fs.readFileSync(blpFile)),
          `${name}: mdlexport writes other bytes than blp-convert`);
      } catch (error) {
        check(false, `${name}: mdlexport failed: ${error.stderr}`);
      }
    }
    const blp = new parsers.blp.Image();
    // A copy of its own: the reader takes the header from offset 0 of the
    // bytes' buffer, and a small file's Buffer lies inside a shared pool.
    blp.load(new Uint8Array(fs.readFileSync(blpFile)));
    const width = textureSide(image.width, image.maxSide);
    const height = textureSide(image.height, image.maxSide);
    const levels = Math.log2(Math.max(width, height)) + 1;
    check(blp.content === 0, `${name}: JPEG content (${blp.content})`);
    check(blp.width === width && blp.height === height,
      `${name}: ${blp.width} x ${blp.height}, expected ${width} x ${height}`);
    check(blp.alphaBits === (image.alpha ? 8 : 0), `${name}: alpha bits ${blp.alphaBits}`);
    check(blp.mipmaps() === levels, `${name}: ${blp.mipmaps()} levels, expected ${levels}`);
    let level0 = null;
    for (let level = 0; level < levels; level++) {
      const w = Math.max(width >> level, 1);
      const h = Math.max(height >> level, 1);
      let decoded = null;
      try {
        decoded = blp.getMipmap(level);
      } catch (error) {
        check(false, `${name}: level ${level} does not decode: ${error.message}`);
        continue;
      }
      check(decoded.width === w && decoded.height === h,
        `${name}: level ${level} is ${decoded.width} x ${decoded.height}, expected ${w} x ${h}`);
      if (level === 0) level0 = decoded;
    }
    if (!level0) continue;
    const reference = fs.readFileSync(referenceFile);
    check(reference.length === width * height * 4, `${name}: reference of ${reference.length} bytes`);
    const db = psnr(level0.data, reference, image.alpha);
    check(db >= 35, `${name}: level 0 at ${db.toFixed(2)} dB PSNR, expected 35 or more`);
    rows.push([name, `${image.width} x ${image.height}`, `${width} x ${height}`,
      String(blp.alphaBits), String(levels), String(fs.statSync(blpFile).size), db.toFixed(2)]);
  }
  printTable(['image', 'source', 'texture', 'alpha', 'levels', 'bytes', 'PSNR dB'], rows);
} finally {
  fs.rmSync(work, { recursive: true, force: true });
}

console.log(`check_blp: ${tally.passed} checks passed, ${tally.failed} failed`);
process.exit(tally.failed === 0 ? 0 : 1);
