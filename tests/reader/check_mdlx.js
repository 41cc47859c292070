#!/usr/bin/env node
// Checks the model library (mdlx/, through its driver mdlx-convert) against
// an independent implementation, mdx-m3-viewer (pinned in package.json), on
// a corpus of MDL files:
//   - the bundled example with its heading;
//   - real scene files converted by mdlexport with --heading auto (Debian's
//     assimp-testmodels), whose MDX written by mdlexport itself must also be
//     mdx-m3-viewer's MDX of that MDL;
//   - models built here with mdx-m3-viewer's own classes and written by its
//     own MDL writer, covering every block and every interpolation, and the
//     same files edited the way people edit them (CR LF, tabs, comments).
// For every MDL: our MDX is byte for byte mdx-m3-viewer's saveMdx of the same
// MDL; our reading of that MDX gives back the same bytes (MDX -> MDX), and
// as MDL (MDX -> MDL) it reads in mdx-m3-viewer to the same MDX again, and in
// ours to the same bytes (MDX -> MDL -> MDX); our MDL of our MDX is stable
// (MDL -> MDX -> MDL -> MDX).
//
//   node check_mdlx.js MDLX_CONVERT MDLEXPORT [MODELS_FOLDER] [EXAMPLES_FOLDER]
'use strict';

const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { parsers } = require('mdx-m3-viewer');
const { Tally } = require('./common');
const animations = require('mdx-m3-viewer/dist/cjs/parsers/mdlx/animations');

const [convert, mdlexport] = process.argv.slice(2, 4);
const models = process.argv[4] || '/usr/share/assimp/models';
const examples = process.argv[5] || path.join(__dirname, '..', '..', 'examples');
if (!convert || !mdlexport) {
  console.error('usage: node check_mdlx.js MDLX_CONVERT MDLEXPORT [MODELS_FOLDER] [EXAMPLES]');
  process.exit(2);
}
const mdlx = parsers.mdlx;

const tally = new Tally();
const check = tally.check.bind(tally);

// A fixed pseudo-random sequence, so that every run builds the same corpus.
let seed = 12345;
function random() {
  seed = (Math.imul(seed, 1103515245) + 12345) >>> 0;
  return seed / 4294967296;
}
function pick(n) {
  return Math.floor(random() * n);
}
function float() {
  // Mostly plain values; now and then a tiny or a huge one (exponents in the MDL).
  const r = random();
  if (r < 0.05) return Math.fround((random() - 0.5) * 3e25);
  if (r < 0.1) return Math.fround((random() - 0.5) * 1e-5);
  return Math.fround((random() - 0.5) * 400);
}
function floats(n) {
  return Float32Array.from({ length: n }, float);
}

const kTrackTypes = {
  uint: animations.UintAnimation,
  float: animations.FloatAnimation,
  vec3: animations.Vector3Animation,
  vec4: animations.Vector4Animation,
};
// A track with `keys` keys of interpolation `mode` (0 to 3).
function track(tag, type, mode, keys, globalSequences, maxValue) {
  const animation = new kTrackTypes[type]();
  animation.name = tag;
  animation.interpolationType = mode;
  animation.globalSequenceId = globalSequences > 0 && random() < 0.3 ? pick(globalSequences) : -1;
  const width = { uint: 1, float: 1, vec3: 3, vec4: 4 }[type];
  const value = () => (type === 'uint' ? Uint32Array.from({ length: 1 }, () => pick(maxValue))
    : floats(width));
  let frame = pick(100);
  for (let i = 0; i < keys; i++) {
    frame += 1 + pick(500);
    animation.frames.push(frame);
    animation.values.push(value());
    if (mode > 1) {
      animation.inTans.push(value());
      animation.outTans.push(value());
    }
  }
  return animation;
}

// A model with every block, its tracks in every interpolation.
function buildModel(variant) {
  const m = new mdlx.Model();
  m.name = `Synthetic ${variant}`;
  m.blendTime = 150;
  m.extent.min.set(floats(3));
  m.extent.max.set(floats(3));
  m.extent.boundsRadius = float();
  const globalSequences = 1 + pick(3);
  for (let i = 0; i < globalSequences; i++) m.globalSequences.push(1000 + pick(5000));
  let mode = variant % 4;
  const nextMode = () => (mode = (mode + 1) % 4);
  const keys = () => pick(6);
  const sequences = 1 + pick(3);
  for (let i = 0; i < sequences; i++) {
    const s = new mdlx.Sequence();
    s.name = `Anim ${i}`;
    s.interval.set([i * 1000, i * 1000 + 500 + pick(500)]);
    s.nonLooping = pick(2);
    s.moveSpeed = random() < 0.5 ? float() : 0;
    s.rarity = random() < 0.5 ? float() : 0;
    s.extent.min.set(floats(3));
    s.extent.max.set(floats(3));
    s.extent.boundsRadius = float();
    m.sequences.push(s);
  }
  const textures = 1 + pick(3);
  for (let i = 0; i < textures; i++) {
    const t = new mdlx.Texture();
    t.path = i === 0 ? 'Textures\\white.blp' : `Textures\\T${i}.blp`;
    t.replaceableId = i === 1 ? 1 : 0;
    t.wrapMode = pick(4);
    m.textures.push(t);
  }
  const textureAnimations = 1 + pick(2);
  for (let i = 0; i < textureAnimations; i++) {
    const a = new mdlx.TextureAnimation();
    a.animations.push(track('KTAT', 'vec3', nextMode(), keys(), globalSequences));
    a.animations.push(track('KTAR', 'vec4', nextMode(), keys(), globalSequences));
    a.animations.push(track('KTAS', 'vec3', nextMode(), keys(), globalSequences));
    m.textureAnimations.push(a);
  }
  const materials = 1 + pick(3);
  for (let i = 0; i < materials; i++) {
    const material = new mdlx.Material();
    material.priorityPlane = pick(3) - 1;
    material.flags = [0, 1, 8, 16, 32, 1 | 16][pick(6)];
    for (let l = 0, layers = 1 + pick(3); l < layers; l++) {
      const layer = new mdlx.Layer();
      layer.filterMode = pick(7);
      layer.flags = [0, 1, 2, 16, 32, 64, 128, 1 | 32][pick(8)];
      layer.textureId = pick(textures);
      layer.textureAnimationId = random() < 0.5 ? pick(textureAnimations) : -1;
      layer.coordId = pick(2);
      layer.alpha = random() < 0.5 ? 1 : Math.fround(random());
      if (random() < 0.5) layer.animations.push(track('KMTF', 'uint', nextMode(), keys(), globalSequences, textures));
      if (random() < 0.5) layer.animations.push(track('KMTA', 'float', nextMode(), keys(), globalSequences));
      material.layers.push(layer);
    }
    m.materials.push(material);
  }
  const nodes = { bones: 2 + pick(3), lights: 1 + pick(2), helpers: 1, attachments: 1 + pick(2),
    emitters: 1, emitters2: 1 + pick(2), ribbons: 1, events: 1 + pick(2), shapes: 4 };
  const nodeCount = Object.values(nodes).reduce((a, b) => a + b, 0);
  let objectId = 0;
  function node(object, name, own) {
    object.name = `${name} ${objectId}`;
    object.objectId = objectId;
    object.parentId = objectId > 0 && random() < 0.7 ? pick(objectId) : -1;
    object.flags |= [0, 1, 2, 4, 8, 16, 32, 64, 128, 1 | 4 | 8][pick(10)] | own;
    if (random() < 0.6) object.animations.push(track('KGTR', 'vec3', nextMode(), keys(), globalSequences));
    if (random() < 0.6) object.animations.push(track('KGRT', 'vec4', nextMode(), keys(), globalSequences));
    if (random() < 0.6) object.animations.push(track('KGSC', 'vec3', nextMode(), keys(), globalSequences));
    objectId++;
    m.pivotPoints.push(floats(3));
    return object;
  }
  const geosets = 1 + pick(3);
  for (let i = 0; i < geosets; i++) {
    const g = new mdlx.Geoset();
    const vertices = 3 + pick(40);
    g.vertices = floats(vertices * 3);
    g.normals = floats(vertices * 3);
    for (let u = 0, sets = 1 + pick(2); u < sets; u++) g.uvSets.push(floats(vertices * 2));
    const groups = 1 + pick(4);
    const groupSizes = Array.from({ length: groups }, () => 1 + pick(4));
    g.matrixGroups = Uint32Array.from(groupSizes);
    g.matrixIndices = Uint32Array.from({ length: groupSizes.reduce((a, b) => a + b, 0) },
      () => pick(nodeCount));
    g.vertexGroups = Uint8Array.from({ length: vertices }, () => pick(groups));
    const triangles = 1 + pick(30);
    g.faceTypeGroups = Uint32Array.from([4]);
    g.faceGroups = Uint32Array.from([triangles * 3]);
    g.faces = Uint16Array.from({ length: triangles * 3 }, () => pick(vertices));
    g.materialId = pick(materials);
    g.selectionGroup = pick(3);
    g.selectionFlags = random() < 0.3 ? 4 : 0;
    g.extent.min.set(floats(3));
    g.extent.max.set(floats(3));
    g.extent.boundsRadius = float();
    for (let s = 0; s < sequences; s++) {
      const extent = new (require('mdx-m3-viewer/dist/cjs/parsers/mdlx/extent').default)();
      extent.min.set(floats(3));
      extent.max.set(floats(3));
      extent.boundsRadius = float();
      g.sequenceExtents.push(extent);
    }
    m.geosets.push(g);
  }
  for (let i = 0; i < geosets; i++) {
    const a = new mdlx.GeosetAnimation();
    a.geosetId = i;
    a.alpha = Math.fround(random());
    a.flags = pick(4);
    if (a.flags & 2) a.color.set(floats(3));
    if (random() < 0.5) a.animations.push(track('KGAO', 'float', nextMode(), keys(), globalSequences));
    if (a.flags & 2 && random() < 0.5) a.animations.push(track('KGAC', 'vec3', nextMode(), keys(), globalSequences));
    m.geosetAnimations.push(a);
  }
  for (let i = 0; i < nodes.bones; i++) {
    const b = node(new mdlx.Bone(), 'Bone', 0);
    b.geosetId = random() < 0.5 ? pick(geosets) : -1;
    b.geosetAnimationId = random() < 0.5 ? pick(geosets) : -1;
    m.bones.push(b);
  }
  for (let i = 0; i < nodes.lights; i++) {
    const l = node(new mdlx.Light(), 'Light', 0);
    l.type = pick(3);
    l.attenuation.set(floats(2));
    l.color.set(floats(3));
    l.intensity = float();
    l.ambientColor.set(floats(3));
    l.ambientIntensity = float();
    for (const [tag, type] of [['KLAS', 'float'], ['KLAE', 'float'], ['KLAC', 'vec3'],
      ['KLAI', 'float'], ['KLBI', 'float'], ['KLBC', 'vec3'], ['KLAV', 'float']]) {
      if (random() < 0.4) l.animations.push(track(tag, type, nextMode(), keys(), globalSequences));
    }
    m.lights.push(l);
  }
  m.helpers.push(node(new mdlx.Helper(), 'Helper', 0));
  for (let i = 0; i < nodes.attachments; i++) {
    const a = node(new mdlx.Attachment(), 'Attachment', 0);
    a.attachmentId = i;
    a.path = i === 0 ? 'Abilities\\Spells\\Effect.mdl' : '';
    if (random() < 0.5) a.animations.push(track('KATV', 'float', nextMode(), keys(), globalSequences));
    m.attachments.push(a);
  }
  {
    const e = node(new mdlx.ParticleEmitter(), 'Emitter', [32768, 65536][pick(2)]);
    e.emissionRate = float(); e.gravity = float(); e.longitude = float(); e.latitude = float();
    e.path = 'Particles\\Dust.mdl'; e.lifeSpan = float(); e.speed = float();
    for (const tag of ['KPEE', 'KPEG', 'KPLN', 'KPLT', 'KPEV', 'KPEL', 'KPES']) {
      if (random() < 0.4) e.animations.push(track(tag, 'float', nextMode(), keys(), globalSequences));
    }
    m.particleEmitters.push(e);
  }
  for (let i = 0; i < nodes.emitters2; i++) {
    const e = node(new mdlx.ParticleEmitter2(), 'Emitter2', [0, 32768, 65536, 131072, 262144, 524288, 1048576][pick(7)]);
    for (const field of ['speed', 'variation', 'latitude', 'gravity', 'lifeSpan', 'emissionRate',
      'width', 'length', 'tailLength', 'timeMiddle']) e[field] = float();
    e.filterMode = pick(5); e.rows = pick(4); e.columns = pick(4); e.headOrTail = pick(3);
    for (const color of e.segmentColors) color.set(floats(3));
    e.segmentAlphas.set([pick(256), pick(256), pick(256)]);
    e.segmentScaling.set(floats(3));
    for (const interval of [...e.headIntervals, ...e.tailIntervals]) interval.set([pick(9), pick(9), pick(9)]);
    e.textureId = pick(textures); e.squirt = pick(2); e.priorityPlane = pick(3); e.replaceableId = pick(2);
    for (const tag of ['KP2S', 'KP2R', 'KP2L', 'KP2G', 'KP2E', 'KP2N', 'KP2W', 'KP2V']) {
      if (random() < 0.4) e.animations.push(track(tag, 'float', nextMode(), keys(), globalSequences));
    }
    m.particleEmitters2.push(e);
  }
  {
    const r = node(new mdlx.RibbonEmitter(), 'Ribbon', 0);
    r.heightAbove = float(); r.heightBelow = float(); r.alpha = float(); r.color.set(floats(3));
    r.lifeSpan = float(); r.textureSlot = pick(4); r.emissionRate = pick(50); r.rows = pick(4);
    r.columns = pick(4); r.materialId = pick(materials); r.gravity = random() < 0.5 ? float() : 0;
    for (const [tag, type] of [['KRHA', 'float'], ['KRHB', 'float'], ['KRAL', 'float'],
      ['KRCO', 'vec3'], ['KRTX', 'uint'], ['KRVS', 'float']]) {
      if (random() < 0.5) r.animations.push(track(tag, type, nextMode(), keys(), globalSequences, 4));
    }
    m.ribbonEmitters.push(r);
  }
  for (let i = 0; i < nodes.events; i++) {
    const e = node(new mdlx.EventObject(), i === 0 ? 'SNDxBLAH' : 'FPTxLEFT', 0);
    e.globalSequenceId = random() < 0.5 ? pick(globalSequences) : -1;
    e.tracks = Uint32Array.from({ length: pick(5) }, () => pick(5000));
    m.eventObjects.push(e);
  }
  for (let type = 0; type < 4; type++) {
    const c = node(new mdlx.CollisionShape(), 'Collision', 0);
    c.type = type;
    c.vertices[0].set(floats(3));
    if (type !== 2) c.vertices[1].set(floats(3));
    if (type >= 2) c.boundsRadius = float();
    m.collisionShapes.push(c);
  }
  for (let i = 0; i < 1 + pick(2); i++) {
    const c = new mdlx.Camera();
    c.name = `Camera ${i}`;
    c.position.set(floats(3)); c.fieldOfView = float(); c.farClippingPlane = float();
    c.nearClippingPlane = float(); c.targetPosition.set(floats(3));
    if (random() < 0.6) c.animations.push(track('KCTR', 'vec3', nextMode(), keys(), globalSequences));
    if (random() < 0.6) c.animations.push(track('KCRL', 'float', nextMode(), keys(), globalSequences));
    if (random() < 0.6) c.animations.push(track('KTTR', 'vec3', nextMode(), keys(), globalSequences));
    m.cameras.push(c);
  }
  return m;
}

// What people do to an MDL by hand: CR LF, tabs for the indentation, comments
// at the ends of lines and between tokens, integers where floats belong.
function handEdited(text) {
  return text.split('\n').map((line, i) => {
    let edited = line.replace(/^( {4})+/, (spaces) => '\t'.repeat(spaces.length / 4));
    if (i % 7 === 3) edited += ' // a note';
    if (i % 11 === 5) edited = edited.replace(/ \{$/, ' // opens below\n{');
    return edited;
  }).join('\r\n').replace(/(\d)\.0+(?=[,\s}])/g, '$1');
}

function viewerMdx(mdlText) {
  const model = new mdlx.Model();
  model.load(mdlText);
  return Buffer.from(model.saveMdx());
}

function run(input, output) {
  try {
    execFileSync(convert, [input, output], { stdio: ['ignore', 'ignore', 'pipe'] });
    return null;
  } catch (error) {
    return String(error.stderr || error);
  }
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'mdlx-check-'));
const corpus = []; // [name, mdl text]
try {
  corpus.push(['example', fs.readFileSync(path.join(examples, 'walker-with-heading.mdl'), 'utf8')]);
  for (const file of ['glTF2/simple_skin/simple_skin.gltf', 'glTF2/BoxTextured-glTF/BoxTextured.gltf',
    'X/BCN_Epileptic.X', 'X/Testwuson.X', 'FBX/animation_with_skeleton.fbx',
    'Collada/box_nested_animation.dae', 'Collada/duck.dae', 'SMD/WusonSMD.smd', 'OBJ/spider.obj']) {
    const out = path.join(work, 'import.mdl');
    const outMdx = path.join(work, 'import.mdx');
    try {
      execFileSync(mdlexport, [path.join(models, file), '-q', '-o', out, '--heading', 'auto'],
        { stdio: ['ignore', 'ignore', 'pipe'] });
      const text = fs.readFileSync(out, 'utf8');
      corpus.push([file, text]);
      // Written as MDX by mdlexport itself: the MDX of exactly that MDL.
      execFileSync(mdlexport, [path.join(models, file), '-q', '-o', outMdx, '--heading', 'auto'],
        { stdio: ['ignore', 'ignore', 'pipe'] });
      check(Buffer.compare(fs.readFileSync(outMdx), viewerMdx(text)) === 0,
        `${file}: mdlexport's MDX differs from mdx-m3-viewer's MDX of its MDL`);
    } catch (error) {
      check(false, `${file}: mdlexport failed: ${error.stderr}`);
    }
  }
  for (let variant = 0; variant < 24; variant++) {
    const text = buildModel(variant).saveMdl();
    corpus.push([`synthetic ${variant}`, text]);
    if (variant % 3 === 0) corpus.push([`synthetic ${variant}, hand-edited`, handEdited(text)]);
  }

  let mdlBytes = 0;
  let mdxBytes = 0;
  for (const [name, text] of corpus) {
    const mdl = path.join(work, 'in.mdl');
    fs.writeFileSync(mdl, text);
    mdlBytes += Buffer.byteLength(text);
    let expected;
    try {
      expected = viewerMdx(text);
    } catch (error) {
      check(false, `${name}: mdx-m3-viewer refuses it: ${error}`);
      continue;
    }
    mdxBytes += expected.length;
    const ours = path.join(work, 'ours.mdx');
    const refused = run(mdl, ours);
    if (refused !== null) {
      check(false, `${name}: refused: ${refused}`);
      continue;
    }
    check(Buffer.compare(fs.readFileSync(ours), expected) === 0,
      `${name}: our MDX differs from mdx-m3-viewer's`);

    // Reading its MDX: again the same bytes, as MDX and through our MDL.
    const theirs = path.join(work, 'theirs.mdx');
    fs.writeFileSync(theirs, expected);
    const again = path.join(work, 'again.mdx');
    const back = path.join(work, 'back.mdl');
    const twice = path.join(work, 'twice.mdx');
    check(run(theirs, again) === null && Buffer.compare(fs.readFileSync(again), expected) === 0,
      `${name}: MDX -> MDX changes the bytes`);
    check(run(theirs, back) === null && run(back, twice) === null &&
      Buffer.compare(fs.readFileSync(twice), expected) === 0,
      `${name}: MDX -> MDL -> MDX changes the bytes`);
    check(Buffer.compare(viewerMdx(fs.readFileSync(back, 'utf8')), expected) === 0,
      `${name}: mdx-m3-viewer reads our MDL of the MDX differently`);
    const backAgain = path.join(work, 'back-again.mdl');
    check(run(twice, backAgain) === null &&
      Buffer.compare(fs.readFileSync(backAgain), fs.readFileSync(back)) === 0,
      `${name}: MDL -> MDX -> MDL -> MDX is not stable`);
  }
  console.log(`corpus: ${corpus.length} MDL files, ${mdlBytes} bytes of MDL, ${mdxBytes} bytes of MDX`);
} finally {
  fs.rmSync(work, { recursive: true, force: true });
}

console.log(`reader (model library): ${tally.passed} passed, ${tally.failed} failed`);
process.exit(tally.failed === 0 ? 0 : 1);
