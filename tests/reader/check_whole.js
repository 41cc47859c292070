#!/usr/bin/env node
// Converts real scene files that nobody here wrote (Debian's
// assimp-testmodels) as whole game models, `mdlexport FILE -o OUT.mdx` and
// `-o OUT.mdl`, and reads each with the independent reader (mdx-m3-viewer,
// pinned in package.json): its sanity test must find no error, nothing
// severe, an Origin attachment point and one extent per sequence in every
// geoset; the MDL and the MDX must be the same model (the reader's MDX of
// both, byte for byte); every texture the model names must be a BLP written
// beside it. Prints the skin figures mdlexport reports.
//
//   node check_whole.js MDLEXPORT [MODELS_FOLDER]
'use strict';

const { execFileSync, spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { parsers, utils } = require('mdx-m3-viewer');

const binary = process.argv[2];
const models = process.argv[3] || '/usr/share/assimp/models';
if (!binary) {
  console.error('usage: node check_whole.js MDLEXPORT [MODELS_FOLDER]');
  process.exit(2);
}

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
];

let passed = 0;
let failed = 0;
function check(condition, what) {
  if (condition) {
    passed++;
  } else {
    failed++;
    console.log('FAILED: ' + what);
  }
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
  for (const file of files) {
    const source = path.join(models, file);
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
    for (const texture of model.textures) {
      const blp = path.join(folder, texture.path);
      check(fs.existsSync(blp) && fs.readFileSync(blp).subarray(0, 4).toString() === 'BLP1',
        `${file}: the texture ${texture.path} is a BLP beside the model`);
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

console.log(`reader (whole models): ${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
