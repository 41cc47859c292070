#!/usr/bin/env python3
"""Writes the large skinned scene of the scene benchmark as a GLB.

    make_skinned_scene.py OUT.glb [ROWS [SEGMENTS]]

A tube 2 units tall of ROWS rings of SEGMENTS vertices (400 x 200 = 80,000
by default) skinned to a chain of 8 joints, every vertex blended between
the two joints nearest it, and two animations ("Walk" and "Attack", 2 seconds
each, a rotation key per joint at 30 per second). Only the standard library:
the file is laid out by hand as glTF 2.0 defines it.
"""

import json
import math
import struct
import sys

JOINTS = 8
SPACING = 2.0 / JOINTS
RADIUS = 0.2


def quaternion_z(angle):
    return (0.0, 0.0, math.sin(angle / 2), math.cos(angle / 2))


def main():
    out = sys.argv[1]
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 400
    segments = int(sys.argv[3]) if len(sys.argv) > 3 else 200

    positions, joints, weights, indices = bytearray(), bytearray(), bytearray(), bytearray()
    for r in range(rows):
        y = 2.0 * r / (rows - 1)
        at = min(y / SPACING, JOINTS - 1.0)
        lower = min(int(at), JOINTS - 1)
        upper = min(lower + 1, JOINTS - 1)
        blend = at - lower if upper != lower else 0.0
        for s in range(segments):
            a = 2 * math.pi * s / segments
            positions += struct.pack("<3f", RADIUS * math.cos(a), y, RADIUS * math.sin(a))
            joints += struct.pack("<4H", lower, upper, 0, 0)
            weights += struct.pack("<4f", 1.0 - blend, blend, 0.0, 0.0)
    for r in range(rows - 1):
        for s in range(segments):
            a, b = r * segments + s, r * segments + (s + 1) % segments
            c, d = a + segments, b + segments
            indices += struct.pack("<6I", a, c, b, b, c, d)

    inverse_binds = bytearray()
    for j in range(JOINTS):
        inverse_binds += struct.pack("<16f", 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -j * SPACING, 0, 1)

    keys = 61
    times = bytearray(struct.pack(f"<{keys}f", *[k / 30.0 for k in range(keys)]))
    rotations = []
    for animation, amplitude in ((0, 0.4), (1, 0.9)):
        for j in range(JOINTS):
            data = bytearray()
            for k in range(keys):
                phase = 2 * math.pi * k / (keys - 1) + j * 0.5 + animation
                data += struct.pack("<4f", *quaternion_z(amplitude * math.sin(phase)))
            rotations.append(data)

    binary = bytearray()
    views, accessors = [], []

    def add(data, count, kind, component, target=None, extra=None):
        while len(binary) % 4:
            binary.append(0)
        view = {"buffer": 0, "byteOffset": len(binary), "byteLength": len(data)}
        if target:
            view["target"] = target
        views.append(view)
        binary.extend(data)
        accessor = {"bufferView": len(views) - 1, "count": count, "type": kind,
                    "componentType": component}
        accessor.update(extra or {})
        accessors.append(accessor)
        return len(accessors) - 1

    vertex_count = rows * segments
    position = add(positions, vertex_count, "VEC3", 5126, 34962,
                   {"min": [-RADIUS, 0.0, -RADIUS], "max": [RADIUS, 2.0, RADIUS]})
    joint = add(joints, vertex_count, "VEC4", 5123, 34962)
    weight = add(weights, vertex_count, "VEC4", 5126, 34962)
    index = add(indices, len(indices) // 4, "SCALAR", 5125, 34963)
    inverse = add(inverse_binds, JOINTS, "MAT4", 5126)
    time = add(times, keys, "SCALAR", 5126, None, {"min": [0.0], "max": [2.0]})
    rotation = [add(data, keys, "VEC4", 5126) for data in rotations]

    nodes = [{"name": "Tube", "mesh": 0, "skin": 0}]
    for j in range(JOINTS):
        node = {"name": f"Joint{j}", "translation": [0.0, 0.0 if j == 0 else SPACING, 0.0]}
        if j + 1 < JOINTS:
            node["children"] = [j + 2]
        nodes.append(node)
    animations = []
    for animation, name in enumerate(("Walk", "Attack")):
        channels, samplers = [], []
        for j in range(JOINTS):
            samplers.append({"input": time, "output": rotation[animation * JOINTS + j],
                             "interpolation": "LINEAR"})
            channels.append({"sampler": j, "target": {"node": j + 1, "path": "rotation"}})
        animations.append({"name": name, "channels": channels, "samplers": samplers})

    document = {
        "asset": {"version": "2.0", "generator": "mdlexport bench"},
        "scene": 0,
        "scenes": [{"nodes": [0, 1]}],
        "nodes": nodes,
        "meshes": [{"primitives": [{"attributes": {"POSITION": position, "JOINTS_0": joint,
                                                   "WEIGHTS_0": weight}, "indices": index}]}],
        "skins": [{"joints": list(range(1, JOINTS + 1)), "inverseBindMatrices": inverse,
                   "skeleton": 1}],
        "animations": animations,
        "buffers": [{"byteLength": len(binary)}],
        "bufferViews": views,
        "accessors": accessors,
    }
    text = json.dumps(document, separators=(",", ":")).encode("utf-8")
    text += b" " * (-len(text) % 4)
    while len(binary) % 4:
        binary.append(0)
    total = 12 + 8 + len(text) + 8 + len(binary)
    with open(out, "wb") as f:
        f.write(struct.pack("<4sII", b"glTF", 2, total))
        f.write(struct.pack("<I4s", len(text), b"JSON") + text)
        f.write(struct.pack("<I4s", len(binary), b"BIN\0") + binary)


if __name__ == "__main__":
    main()
