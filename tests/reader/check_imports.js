#!/usr/bin/env node
// Converts real scene files that nobody here wrote (Debian's
// assimp-testmodels, and the scenes that Blender builds and exports for the
// importer's tests) with `mdlexport FILE --heading auto`, and reads each
// result with the independent reader (mdx-m3-viewer, pinned in package.json):
// the counts it sees must be the imported model's (from --dump-json), its
// sanity test must find no error and nothing severe, and its MDX writer must
// give a file that reads back with the same counts.
//
//   node check_imports.js MDLEXPORT [MODELS_FOLDER [SCENES_FOLDER]]
//
// SCENES_FOLDER holds tests/importer/scenes/build_scenes.py's output: every
// glTF, FBX and Collada file in it is checked too.
'use strict';

const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { parsers, utils } = require('mdx-m3-viewer');
const { sceneFiles, Tally } = require('./common');

const binary = process.argv[2];
const models = process.argv[3] || '/usr/share/assimp/models';
const scenes = process.argv[4];
if (!binary) {
  console.error('usage: node check_imports.js MDLEXPORT [MODELS_FOLDER [SCENES_FOLDER]]');
  process.exit(2);
}

const files = [
  'glTF2/simple_skin/simple_skin.gltf',
  'glTF2/BoxTextured-glTF/BoxTextured.gltf',
  'X/BCN_Epileptic.X',
  'X/Testwuson.X',
  'FBX/animation_with_skeleton.fbx',
  'Collada/box_nested_animation.dae',
  'Collada/duck.dae',
  'SMD/WusonSMD.smd',
  'OBJ/spider.obj',
].map((file) => path.join(models, file)).concat(sceneFiles(scenes));

const tally = new Tally();
const check = tally.check.bind(tally);

function counts(model) {
  return {
    geosets: model.geosets.length,
    vertices: model.geosets.reduce((n, g) => n + g.vertices.length / 3, 0),
    faces: model.geosets.reduce((n, g) => n + g.faces.length / 3, 0),
    bones: model.bones.length,
    pivots: model.pivotPoints.length,
    keys: model.bones.reduce((n, b) => n + b.animations.reduce((k, a) => k + a.frames.length, 0), 0),
  };
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'mdl-imports-'));
try {
  for (const file of files) {
    const source = file;
    const mdl = path.join(work, 'out.mdl');
    const json = path.join(work, 'out.json');
    try {
      execFileSync(binary, [source, '-q', '-o', mdl, '--heading', 'auto', '--dump-json', json],
        { stdio: ['ignore', 'ignore', 'pipe'] });
    } catch (error) {
      check(false, `${file}: mdlexport failed: ${error.stderr}`);
      continue;
    }
    const description = JSON.parse(fs.readFileSync(json, 'utf8'));
    const meshes = description.meshes || [];
    const bones = description.bones || [];
    const expected = {
      geosets: meshes.length,
      vertices: meshes.reduce((n, m) => n + m.positions.length, 0),
      faces: meshes.reduce((n, m) => n + (m.triangles || []).length, 0),
      bones: bones.length,
      pivots: bones.length,
      keys: bones.reduce((n, b) =>
        n + (b.position_keys || []).length + (b.rotation_keys || []).length, 0),
    };

    const model = new parsers.mdlx.Model();
    try {
      model.load(fs.readFileSync(mdl, 'utf8'));
    } catch (error) {
      check(false, `${file}: the reader refuses the MDL: ${error}`);
      continue;
    }
    check(JSON.stringify(counts(model)) === JSON.stringify(expected),
      `${file}: counts ${JSON.stringify(counts(model))}, imported ${JSON.stringify(expected)}`);
    check(model.sequences.length >= 1 && model.textures.length === 1 &&
      model.materials.length === 1, `${file}: the heading's sequences, texture and material`);

    const result = utils.mdlx.sanityTest(model);
    const findings = [];
    (function collect(node, where) {
      for (const entry of node.nodes) {
        if (entry.type === 'node') collect(entry, where.concat(entry.name));
        else findings.push(`${entry.type}: ${where.concat(entry.message).join(' > ')}`);
      }
    })(result, []);
    check(result.errors === 0 && result.severe === 0,
      `${file}: no sanity error and nothing severe: ` +
      findings.filter((f) => !f.startsWith('warning') && !f.startsWith('unused')).join('; '));

    const back = new parsers.mdlx.Model();
    back.load(model.saveMdx());
    check(JSON.stringify(counts(back)) === JSON.stringify(counts(model)),
      `${file}: the MDX reads back with the same counts`);
  }
} finally {
  fs.rmSync(work, { recursive: true, force: true });
}

console.log(`reader (imports): ${tally.passed} passed, ${tally.failed} failed`);
process.exit(tally.failed === 0 ? 0 : 1);
