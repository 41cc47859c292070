#!/usr/bin/env node
// Converts real scene files that nobody here wrote (Debian's
// assimp-testmodels) as whole game models, `mdlexport FILE -o OUT.mdx` and
// `-o OUT.mdl`, and reads each with the independent reader (mdx-m3-viewer,
// pinned in package.json): its sanity test must find no error, nothing
// severe, an Origin attachment point and one extent per sequence in every
// geoset; the MDL and the MDX must be the same model (the reader's MDX of
// both, byte for byte); every texture the model names must be a BLP written
// beside it, which the reader's BLP decoder reads at every mip level down to
// 1 x 1; where it comes from an image of the scene (a file in the scene's
// folder, or one inside a GLB), `blp-convert` must give the same bytes and
// level 0 must be within 35 dB PSNR of the scaled image. Prints the skin
// figures mdlexport reports and the figures of every texture.
//
//   node check_whole.js MDLEXPORT [MODELS_FOLDER [SCENES_FOLDER]]
//
// SCENES_FOLDER holds tests/importer/scenes/build_scenes.py's output: every
// glTF, FBX and Collada file in it is checked too. blp-convert is taken from
// MDLEXPORT's build (textures/blp-convert beside cli/).
'use strict';

const { execFileSync, spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { parsers, utils } = require('mdx-m3-viewer');
const { psnr, printTable, sceneFiles, Tally } = require('./common');

const binary = process.argv[2];
const models = process.argv[3] || '/usr/share/assimp/models';
const scenes = process.argv[4];
if (!binary) {
  console.error('usage: node check_whole.js MDLEXPORT [MODELS_FOLDER [SCENES_FOLDER]]');
  process.exit(2);
}
const blpConvert = path.join(path.dirname(path.dirname(binary)), 'textures', 'blp-convert');

const files = [
  'glTF2/simple_skin/simple_skin.gltf',
  'glTF2/BoxTextured-glTF/BoxTextured.gltf',
  'glTF2/BoxTextured-glTF-Binary/BoxTextured.glb', // its image embedded
  'X/BCN_Epileptic.X',
  'X/Testwuson.X',
  'FBX/animation_with_skeleton.fbx',
  'Collada/box_nested_animation.dae',
  'Collada/duck.dae',
  'OBJ/spider.obj',
].map((file) => path.join(models, file)).concat(sceneFiles(scenes));

const tally = new Tally();
const check = tally.check.bind(tally);

// The images a texture may come from: those in the scene's folder, and
// those inside a GLB (written to `work`).
function sourceImages(scene, work) {
  const folder = path.dirname(scene);
  const found = fs.readdirSync(folder).filter((f) => /\.(png|jpe?g|bmp|tga)$/i.test(f))
    .map((f) => path.join(folder, f));
  if (/\.glb$/i.test(scene)) {
    const glb = fs.readFileSync(scene);
    const jsonLength = glb.readUInt32LE(12);
    const json = JSON.parse(glb.subarray(20, 20 + jsonLength).toString('utf8'));
    const bin = glb.subarray(20 + jsonLength + 8);
    (json.images || []).forEach((image, i) => {
      if (image.bufferView === undefined) return;
      const view = json.bufferViews[image.bufferView];
      const start = view.byteOffset || 0;
      const file = path.join(work, `embedded-${i}.${image.mimeType === 'image/jpeg' ? 'jpg' : 'png'}`);
      fs.writeFileSync(file, bin.subarray(start, start + view.byteLength));
      found.push(file);
    });
  }
  return found;
}

const textureRows = [];
// The BLP `blpFile` of `name`: every level decodes at its size; the image
// of the scene that blp-convert turns into the same bytes, if any, gives
// the reference for level 0's PSNR.
function checkTexture(name, blpFile, candidates, work) {
  const blp = new parsers.blp.Image();
  blp.load(new Uint8Array(fs.readFileSync(blpFile)));
  const levels = Math.log2(Math.max(blp.width, blp.height)) + 1;
  check(Number.isInteger(levels) && blp.mipmaps() === levels,
    `${name}: ${blp.mipmaps()} levels of ${blp.width} x ${blp.height}`);
  let level0 = null;
  for (let level = 0; level < blp.mipmaps(); level++) {
    try {
      const decoded = blp.getMipmap(level);
      check(decoded.width === Math.max(blp.width >> level, 1) &&
        decoded.height === Math.max(blp.height >> level, 1), `${name}: level ${level}'s size`);
      if (level === 0) level0 = decoded;
    } catch (error) {
      check(false, `${name}: level ${level} does not decode: ${error.message}`);
    }
  }
  const written = fs.readFileSync(blpFile);
  for (const image of candidates) {
    const again = path.join(work, 'again.blp');
    const reference = path.join(work, 'level0.rgba');
    try {
      execFileSync(blpConvert, [image, again, '--reference', reference],
        { stdio: ['ignore', 'pipe', 'pipe'] });
    } catch (error) {
      continue;
    }
    if (!fs.readFileSync(again).equals(written) || !level0) continue;
    const db = psnr(level0.data, fs.readFileSync(reference), blp.alphaBits > 0);
    check(db >= 35, `${name}: level 0 at ${db.toFixed(2)} dB PSNR, expected 35 or more`);
    textureRows.push([name, path.basename(image), `${blp.width} x ${blp.height}`,
      String(levels), db.toFixed(2)]);
    return;
  }
  textureRows.push([name, '(own)', `${blp.width} x ${blp.height}`, String(levels), '']);
}

function findings(model) {
  const result = utils.mdlx.sanityTest(model);
  const all = [];
  (function collect(node, where) {
    for (const entry of node.nodes) {
      if (entry.type === 'node') collect(entry, where.concat(entry.name));
      else all.push(`${entry.type}: ${where.concat(entry.message).join(' > ')}`);
    }
  })(result, []);
  return { result, all };
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'mdl-whole-'));
try {
  for (const source of files) {
    const file = source.startsWith(models) ? path.relative(models, source)
      : path.basename(source);
    const folder = fs.mkdtempSync(path.join(work, 'model-'));
    const mdx = path.join(folder, 'out.mdx');
    const mdl = path.join(folder, 'out.mdl');
    let summary;
    try {
      const run = spawnSync(binary, [source, '-o', mdx], { encoding: 'utf8' });
      if (run.status !== 0) throw { stderr: run.stderr };
      summary = run.stderr;
      execFileSync(binary, [source, '-q', '-o', mdl], { stdio: ['ignore', 'ignore', 'pipe'] });
    } catch (error) {
      check(false, `${file}: mdlexport failed: ${error.stderr}`);
      continue;
    }
    const model = new parsers.mdlx.Model();
    const text = new parsers.mdlx.Model();
    try {
      const bytes = fs.readFileSync(mdx);
      model.load(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length));
      text.load(fs.readFileSync(mdl, 'utf8'));
    } catch (error) {
      check(false, `${file}: the reader refuses the model: ${error}`);
      continue;
    }
    const { result, all } = findings(model);
    check(result.errors === 0 && result.severe === 0,
      `${file}: no sanity error and nothing severe: ` +
      all.filter((f) => f.startsWith('error') || f.startsWith('severe')).join('; '));
    check(!all.some((f) => f.includes('Missing the Origin attachment point')),
      `${file}: an Origin attachment point`);
    check(!all.some((f) => f.includes('Number of sequence extents')),
      `${file}: one extent per sequence in every geoset`);
    check(Buffer.from(model.saveMdx()).equals(Buffer.from(text.saveMdx())),
      `${file}: the MDL and the MDX are the same model`);
    const candidates = sourceImages(source, folder);
    for (const texture of model.textures) {
      const blp = path.join(folder, texture.path);
      const there = fs.existsSync(blp) && fs.readFileSync(blp).subarray(0, 4).toString() === 'BLP1';
      check(there, `${file}: the texture ${texture.path} is a BLP beside the model`);
      if (there) checkTexture(`${file}: ${texture.path}`, blp, candidates, folder);
    }
    const skin = summary.split('\n').filter((line) => line.includes('mean distance'));
    for (const line of skin) console.log(line.replace(/^mdlexport: /, ''));
  }
  // A texture the scene names that is not there refuses the scene: its name
  // and the reason, and nothing written.
  const folder = fs.mkdtempSync(path.join(work, 'refused-'));
  const run = spawnSync(binary, [path.join(models, 'SMD/WusonSMD.smd'), '-o',
    path.join(folder, 'out.mdx')], { encoding: 'utf8' });
  check(run.status === 2 && run.stderr.includes('default.bmp: cannot open') &&
    fs.readdirSync(folder).length === 0,
    `SMD/WusonSMD.smd: refused for its missing texture, nothing written: ${run.stderr}`);
} finally {
  fs.rmSync(work, { recursive: true, force: true });
}
printTable(['texture', 'from', 'size', 'levels', 'PSNR dB'], textureRows);

console.log(`reader (whole models): ${tally.passed} passed, ${tally.failed} failed`);
process.exit(tally.failed === 0 ? 0 : 1);
