#!/usr/bin/env node
// Reads the bundled example, exported with its heading, with an independent
// MDL reader (mdx-m3-viewer, pinned in package.json) and checks that the
// reader sees the model the description holds: the counts of geosets,
// vertices, normals, texture coordinates, faces, bones, keys and pivots, and
// the values themselves (positions, coordinates, corners, bone indices,
// parents, key times and values, pivots), read back through the MDL text.
// Then the reader's sanity test must find no error and nothing severe, and
// only the warnings listed below; and the reader's MDX writer must turn the
// model into a binary MDX that reads back the same.
//
//   node check.js MDLEXPORT [EXAMPLES_FOLDER]
'use strict';

const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { parsers, utils } = require('mdx-m3-viewer');
const { Tally } = require('./common');

const binary = process.argv[2];
const examples = process.argv[3] || path.join(__dirname, '..', '..', 'examples');
if (!binary) {
  console.error('usage: node check.js MDLEXPORT [EXAMPLES_FOLDER]');
  process.exit(2);
}

const tally = new Tally();
const check = tally.check.bind(tally);

// The MDL holds six decimals of each float; reading them back as a float
// lands within a few units of the sixth decimal.
function near(actual, expected, tolerance = 2e-6) {
  return Math.abs(actual - expected) <= tolerance * Math.max(1, Math.abs(expected));
}
function allNear(actual, expected, tolerance) {
  return actual.length === expected.length &&
    expected.every((value, i) => near(actual[i], value, tolerance));
}
function sameValues(actual, expected) {
  return actual.length === expected.length && expected.every((value, i) => actual[i] === value);
}

// Host axes (x, y, z) are written z, x, y.
function mdlAxes([x, y, z]) {
  return [z, x, y];
}
// A key time in frames at 24 per second, as milliseconds cut toward zero.
function milliseconds(frame) {
  return Math.trunc((Math.fround(frame) * 1000) / 24);
}
// The rotation of three angles as the export writes it: q(x)·q(z)·q(y), the
// vector part in MDL axis order.
function quaternion([rx, ry, rz]) {
  const [hx, hy, hz] = [Math.fround(rx) / 2, Math.fround(ry) / 2, Math.fround(rz) / 2];
  const [cx, sx, cy, sy, cz, sz] = [Math.cos(hx), Math.sin(hx), Math.cos(hy), Math.sin(hy),
    Math.cos(hz), Math.sin(hz)];
  const a = cy * cz;
  const b = sy * sz;
  return [cy * sz * cx + sy * cz * sx, a * sx - b * cx, sy * cz * cx - cy * sz * sx, a * cx + b * sx];
}

function track(bone, tag) {
  return bone.animations.find((animation) => animation.name === tag);
}

// Every count the reader gives, to compare the MDL with its MDX twin.
function counts(model) {
  return {
    geosets: model.geosets.map((g) => [g.vertices.length, g.normals.length,
      g.uvSets.map((u) => u.length), g.faces.length, g.vertexGroups.length,
      g.matrixGroups.length, g.matrixIndices.length, g.materialId]),
    bones: model.bones.map((b) => [b.name, b.objectId, b.parentId,
      b.animations.map((a) => [a.name, a.frames.length, a.interpolationType])]),
    pivots: model.pivotPoints.length,
    sequences: model.sequences.map((s) => [s.name, Array.from(s.interval), s.nonLooping]),
    textures: model.textures.map((t) => [t.path, t.replaceableId]),
    materials: model.materials.map((m) => m.layers.map((l) => [l.textureId, l.filterMode])),
  };
}

// --- The export -------------------------------------------------------------

const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'mdlexport-reader-'));
const output = path.join(folder, 'walker.mdl');
try {
  execFileSync(binary, [path.join(examples, 'walker.json'), '--heading',
    path.join(examples, 'walker-heading.txt'), '-o', output, '--quiet'], { stdio: 'inherit' });
} catch (error) {
  console.error('FAIL: mdlexport did not export the example: ' + error.message);
  process.exit(1);
}
const text = fs.readFileSync(output, 'utf8');
fs.rmSync(folder, { recursive: true, force: true });
const description = JSON.parse(fs.readFileSync(path.join(examples, 'walker.json'), 'utf8'));
const heading = fs.readFileSync(path.join(examples, 'walker-heading.txt'), 'utf8');

const model = new parsers.mdlx.Model();
model.load(text);

// --- Geosets ----------------------------------------------------------------

const meshes = description.meshes;
const bones = description.bones;
check(model.geosets.length === meshes.length, `${meshes.length} geosets`);
meshes.forEach((mesh, m) => {
  const geoset = model.geosets[m];
  if (!geoset) return;
  const n = mesh.positions.length;
  const where = `geoset ${m} (${mesh.name})`;
  check(geoset.vertices.length === 3 * n, `${where}: ${n} vertices`);
  check(geoset.normals.length === 3 * n, `${where}: ${n} normals`);
  check(geoset.uvSets.length === 1 && geoset.uvSets[0].length === 2 * n,
    `${where}: one set of ${n} texture coordinates`);
  check(geoset.faces.length === 3 * mesh.triangles.length,
    `${where}: ${mesh.triangles.length} triangles`);
  check(allNear(geoset.vertices, mesh.positions.flatMap(mdlAxes)), `${where}: positions`);
  check(allNear(geoset.uvSets[0], mesh.uvs.flat()), `${where}: texture coordinates`);
  check(sameValues(geoset.faces, mesh.triangles.flat()), `${where}: corners`);
  check(sameValues(geoset.vertexGroups, mesh.bone_indices), `${where}: vertex groups`);
  // One matrix group of one bone per bone of the model.
  check(sameValues(geoset.matrixGroups, bones.map(() => 1)), `${where}: matrix group sizes`);
  check(sameValues(geoset.matrixIndices, bones.map((_, b) => b)), `${where}: matrix indices`);
  check(geoset.materialId === 0, `${where}: material 0`);
  let unit = true;
  for (let v = 0; v < n; v++) {
    const [x, y, z] = geoset.normals.subarray(3 * v, 3 * v + 3);
    unit = unit && near(Math.hypot(x, y, z), 1, 1e-5);
  }
  check(unit, `${where}: normals of unit length`);
});
// The torso's first face is its +x side: the host's +x is the MDL's second axis.
check(sameValues(Array.from(model.geosets[0].normals.subarray(0, 3)), [0, 1, 0]),
  'the torso\'s first normal');

// --- Bones, keys and pivots ------------------------------------------------

check(model.bones.length === bones.length, `${bones.length} bones`);
const parentOf = bones.map((bone) => bones.map((b) => b.name).lastIndexOf(bone.parent || ''));
bones.forEach((bone, b) => {
  const read = model.bones[b];
  if (!read) return;
  const where = `bone ${b} (${bone.name})`;
  check(read.name === bone.name && read.objectId === b, `${where}: name and object id`);
  check(read.parentId === parentOf[b], `${where}: parent ${parentOf[b]}`);
  const positionKeys = bone.position_keys || [];
  const rotationKeys = bone.rotation_keys || [];
  const translation = track(read, 'KGTR');
  const rotation = track(read, 'KGRT');
  check(positionKeys.length === 0 ? !translation : translation &&
    translation.frames.length === positionKeys.length && translation.interpolationType === 1,
    `${where}: ${positionKeys.length} linear translation keys`);
  check(rotationKeys.length === 0 ? !rotation : rotation &&
    rotation.frames.length === rotationKeys.length && rotation.interpolationType === 1,
    `${where}: ${rotationKeys.length} linear rotation keys`);
  if (translation) {
    check(sameValues(translation.frames, positionKeys.map((k) => milliseconds(k[0]))),
      `${where}: translation times`);
    check(positionKeys.every((k, i) => allNear(translation.values[i], mdlAxes(k.slice(1)))),
      `${where}: translation values`);
  }
  if (rotation) {
    check(sameValues(rotation.frames, rotationKeys.map((k) => milliseconds(k[0]))),
      `${where}: rotation times`);
    check(rotationKeys.every((k, i) => allNear(rotation.values[i], quaternion(k.slice(1)), 4e-6)),
      `${where}: rotation values`);
  }
});
check(model.pivotPoints.length === bones.length, `${bones.length} pivot points`);
bones.forEach((bone, b) => {
  // The pivot is the bone's offset plus those of its ancestors.
  const sum = [0, 0, 0];
  for (let at = b, steps = 0; at >= 0 && steps <= bones.length; at = parentOf[at], steps++) {
    (bones[at].position || [0, 0, 0]).forEach((c, i) => { sum[i] += c; });
  }
  check(model.pivotPoints[b] && allNear(model.pivotPoints[b], mdlAxes(sum)), `pivot of ${bone.name}`);
});

// --- The heading --------------------------------------------------------------

check(model.sequences.length === 2, 'two sequences');
const intervals = [...heading.matchAll(/Anim "(\w+)" \{\s*Interval \{ (\d+), (\d+) \}/g)]
  .map((m) => [m[1], [Number(m[2]), Number(m[3])]]);
check(JSON.stringify(model.sequences.map((s) => [s.name, Array.from(s.interval)])) ===
  JSON.stringify(intervals), 'the sequences of the heading');
const allTimes = model.bones.flatMap((b) => b.animations.flatMap((a) => Array.from(a.frames)));
check(allTimes.every((t) => model.sequences.some((s) => t >= s.interval[0] && t <= s.interval[1])),
  'every key within a sequence');
check(model.textures.length === 1 && model.textures[0].path === 'Textures\\white.blp',
  'one texture');
check(model.materials.length === 1 && model.materials[0].layers.length === 1 &&
  model.materials[0].layers[0].textureId === 0, 'one material using the texture');

// --- The sanity test --------------------------------------------------------

const expectedWarnings = [
  // Every Geoset block of the export carries exactly one Anim extent, fixed
  // text of the plug-in; the heading defines two sequences.
  ...meshes.map((_, m) =>
    `Geoset ${m} > Number of sequence extents (1) does not match the number of sequences (2)`),
  // The export writes bones only: an attachment point is an object of its
  // own with a pivot of its own, which a heading cannot add.
  'Missing the Origin attachment point',
];
const result = utils.mdlx.sanityTest(model);
const findings = [];
(function collect(node, where) {
  for (const entry of node.nodes) {
    if (entry.type === 'node') collect(entry, where.concat(entry.name));
    else findings.push({ type: entry.type, text: where.concat(entry.message).join(' > ') });
  }
})(result, []);
const show = (type) => findings.filter((f) => f.type === type).map((f) => f.text);
check(result.errors === 0, 'no sanity error: ' + show('error').join('; '));
check(result.severe === 0, 'nothing severe: ' + show('severe').join('; '));
check(JSON.stringify(show('warning').sort()) === JSON.stringify(expectedWarnings.sort()),
  'only the expected warnings: ' + show('warning').join('; '));
check(result.unused === 0, 'nothing unused: ' + show('unused').join('; '));

// --- MDX ----------------------------------------------------------------------

const mdx = model.saveMdx();
const back = new parsers.mdlx.Model();
back.load(mdx);
check(mdx.byteLength > 0 && JSON.stringify(counts(back)) === JSON.stringify(counts(model)),
  'the MDX reads back with the same counts');
check(back.geosets.every((g, m) => sameValues(g.vertices, model.geosets[m].vertices) &&
  sameValues(g.faces, model.geosets[m].faces)), 'the MDX reads back the same geometry');
check(back.bones.every((b, i) => b.animations.every((a, k) =>
  sameValues(a.frames, model.bones[i].animations[k].frames))), 'the MDX reads back the same keys');

console.log(`reader: ${tally.passed} passed, ${tally.failed} failed`);
process.exit(tally.failed === 0 ? 0 : 1);
