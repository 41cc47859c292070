# Builds the importer's test scenes from scratch in Blender and exports each
# with Blender's own glTF, FBX and Collada exporters, so that the importer is
# checked on files written by the tool that modders use. Run headless:
#
#   blender --background --factory-startup --python build_scenes.py -- OUTDIR
#
# Beside the exports, SCENE.json holds Blender's own evaluated world positions
# (Blender's axes, Z up) of the body's vertices: "rest" without any action,
# and per action at some whole frames, with the bounds of every vertex at
# rest. "points" picks which vertices, as indices into the body mesh.
#
# Scenes:
#   figure   a rigged figure (each vertex on one bone) with actions "Stand"
#            and "Walk", held on NLA tracks; the FBX takes are
#            "Armature|Stand" and "Armature|Walk"
#   turned   the same with the armature object moved and turned
#   scaled   the same moved, turned and scaled x50 (to reach game size)
#   offset   the figure's mesh with its own transform under an untouched
#            armature
#   sphere   a UV sphere of more than 80,000 vertices on one bone that turns,
#            its action "Spin" written twice to FBX ("Spin", "Armature|Spin")
#   box      a box with a packed image "Bricks" and texture coordinates from
#            0 to 3 (a repeating texture); the .glb embeds the image
import json
import math
import os
import sys

import bmesh
import bpy
from mathutils import Matrix, Quaternion, Vector

FPS = 24
LAST_FRAME = 24
RECORDED_FRAMES = [0, 5, 12, 19, 24]

# Body parts: bone, head, tail, and the box around the bone (centre, size).
# The boxes do not touch, so that no two vertices share a place.
PARTS = [
    ("Hips", (0, 0, 0.95), (0, 0, 1.15), (0, 0, 1.0), (0.34, 0.2, 0.2)),
    ("Spine", (0, 0, 1.15), (0, 0, 1.5), (0, 0, 1.34), (0.4, 0.22, 0.34)),
    ("Head", (0, 0, 1.5), (0, 0, 1.8), (0.01, 0, 1.65), (0.2, 0.22, 0.24)),
    ("UpperArm_L", (0.25, 0, 1.45), (0.55, 0, 1.45), (0.41, 0, 1.42), (0.26, 0.1, 0.1)),
    ("UpperArm_R", (-0.25, 0, 1.45), (-0.55, 0, 1.45), (-0.41, 0, 1.42), (0.26, 0.1, 0.1)),
    ("Leg_L", (0.1, 0, 0.9), (0.1, 0, 0.05), (0.1, 0, 0.47), (0.12, 0.12, 0.8)),
    ("Leg_R", (-0.1, 0, 0.9), (-0.1, 0, 0.05), (-0.1, 0, 0.47), (0.12, 0.12, 0.8)),
]
PARENT = {"Spine": "Hips", "Head": "Spine", "UpperArm_L": "Spine", "UpperArm_R": "Spine",
          "Leg_L": "Hips", "Leg_R": "Hips"}


def reset():
    bpy.ops.wm.read_factory_settings(use_empty=True)
    scene = bpy.context.scene
    scene.render.fps = FPS
    scene.frame_start = 0
    scene.frame_end = LAST_FRAME
    return scene


def link(obj):
    bpy.context.scene.collection.objects.link(obj)
    return obj


def make_armature(bones):
    data = bpy.data.armatures.new("Armature")
    arm = link(bpy.data.objects.new("Armature", data))
    bpy.context.view_layer.objects.active = arm
    arm.select_set(True)
    bpy.ops.object.mode_set(mode="EDIT")
    for name, head, tail in bones:
        bone = data.edit_bones.new(name)
        bone.head = head
        bone.tail = tail
    for name, parent in PARENT.items():
        if name in data.edit_bones and parent in data.edit_bones:
            data.edit_bones[name].parent = data.edit_bones[parent]
    bpy.ops.object.mode_set(mode="OBJECT")
    for pose_bone in arm.pose.bones:
        pose_bone.rotation_mode = "QUATERNION"
    return arm


def skin(mesh_obj, arm):
    mesh_obj.parent = arm
    mesh_obj.parent_type = "OBJECT"
    modifier = mesh_obj.modifiers.new("Armature", "ARMATURE")
    modifier.object = arm


def make_body():
    """One mesh of boxes, each vertex in its part's vertex group alone."""
    mesh = bpy.data.meshes.new("Body")
    bm = bmesh.new()
    groups = []
    for name, _head, _tail, centre, size in PARTS:
        result = bmesh.ops.create_cube(bm, size=1.0)
        for v in result["verts"]:
            v.co = Vector((centre[i] + v.co[i] * size[i] for i in range(3)))
            groups.append(name)
    bm.to_mesh(mesh)
    bm.free()
    obj = link(bpy.data.objects.new("Body", mesh))
    for name, *_ in PARTS:
        obj.vertex_groups.new(name=name)
    for index, name in enumerate(groups):
        obj.vertex_groups[name].add([index], 1.0, "REPLACE")
    return obj


def key_bone(arm, bone, frames_values, location=False):
    pose_bone = arm.pose.bones[bone]
    for frame, value in frames_values:
        if location:
            pose_bone.location = value
            pose_bone.keyframe_insert("location", frame=frame)
        else:
            pose_bone.rotation_quaternion = value
            pose_bone.keyframe_insert("rotation_quaternion", frame=frame)


def turn(axis, degrees):
    return Quaternion(axis, math.radians(degrees))


def make_figure_actions(arm):
    arm.animation_data_create()
    actions = []

    stand = bpy.data.actions.new("Stand")
    arm.animation_data.action = stand
    key_bone(arm, "Spine", [(0, turn((1, 0, 0), 0)), (12, turn((1, 0, 0), 6)),
                            (24, turn((1, 0, 0), 0))])
    key_bone(arm, "Head", [(0, turn((0, 0, 1), -10)), (12, turn((0, 0, 1), 15)),
                           (24, turn((0, 0, 1), -10))])
    actions.append(stand)

    walk = bpy.data.actions.new("Walk")
    arm.animation_data.action = walk
    swing = [(0, 30), (12, -30), (24, 30)]
    key_bone(arm, "Leg_L", [(f, turn((1, 0, 0), a)) for f, a in swing])
    key_bone(arm, "Leg_R", [(f, turn((1, 0, 0), -a)) for f, a in swing])
    key_bone(arm, "UpperArm_L", [(f, turn((0, 1, 0), -a)) for f, a in swing])
    key_bone(arm, "UpperArm_R", [(f, turn((0, 1, 0), a)) for f, a in swing])
    key_bone(arm, "Hips", [(0, (0, 0, 0)), (6, (0, 0.3, 0.05)), (12, (0, 0.6, 0)),
                           (18, (0, 0.9, 0.05)), (24, (0, 1.2, 0))], location=True)
    key_bone(arm, "Hips", [(0, turn((0, 1, 0), 0)), (12, turn((0, 1, 0), 200)),
                           (24, turn((0, 1, 0), 359))])
    actions.append(walk)

    for action in actions:
        for curve in action.fcurves:
            for point in curve.keyframe_points:
                point.interpolation = "LINEAR"
    return actions


def rest_pose(arm):
    if arm.animation_data is not None:
        arm.animation_data.action = None
    for pose_bone in arm.pose.bones:
        pose_bone.location = (0, 0, 0)
        pose_bone.rotation_quaternion = (1, 0, 0, 0)
        pose_bone.scale = (1, 1, 1)


def world_positions(obj):
    depsgraph = bpy.context.evaluated_depsgraph_get()
    evaluated = obj.evaluated_get(depsgraph)
    mesh = evaluated.to_mesh()
    world = evaluated.matrix_world
    positions = [list(world @ v.co) for v in mesh.vertices]
    evaluated.to_mesh_clear()
    return positions


def pick(count, wanted=24):
    step = max(1, count // wanted)
    return list(range(0, count, step))[:wanted]


def record(body, arm, actions, points):
    """Blender's own positions: at rest, and at some frames of each action."""
    scene = bpy.context.scene
    result = {"points": points, "actions": {}}
    for action in actions:
        rest_pose(arm)  # what an action does not key stays at rest
        arm.animation_data.action = action
        frames = {}
        for frame in RECORDED_FRAMES:
            scene.frame_set(frame)
            positions = world_positions(body)
            frames[str(frame)] = [positions[i] for i in points]
        result["actions"][action.name] = frames
    rest_pose(arm)
    scene.frame_set(0)
    positions = world_positions(body)
    result["rest"] = [positions[i] for i in points]
    result["minimum"] = [min(p[i] for p in positions) for i in range(3)]
    result["maximum"] = [max(p[i] for p in positions) for i in range(3)]
    return result


def to_nla(arm, actions):
    """Each action on its own NLA track, none active: the exporters' usual input."""
    for action in actions:
        track = arm.animation_data.nla_tracks.new()
        track.name = action.name
        strip = track.strips.new(action.name, 0, action)
        strip.extrapolation = "NOTHING"
    arm.animation_data.action = None
    # Before the strips nothing plays: the scene shows the rest pose, which
    # the FBX exporter writes as its nodes' own transforms.
    bpy.context.scene.frame_set(-1)


def export(outdir, name, recorded, arm=None, gltf_separate=False):
    with open(os.path.join(outdir, name + ".json"), "w") as out:
        json.dump(recorded, out, indent=1)
    bpy.ops.export_scene.gltf(filepath=os.path.join(outdir, name + ".glb"), export_format="GLB")
    if gltf_separate:
        bpy.ops.export_scene.gltf(filepath=os.path.join(outdir, name + ".gltf"),
                                  export_format="GLTF_SEPARATE")
    # FBX: every action as a take "Armature|NAME" (the exporter's default),
    # and, with the exporter's defaults, every NLA strip as a take "NAME" too;
    # but it bakes each action over the NLA tracks playing beneath it, so the
    # figures' two actions go without the strips and the tracks (only the
    # sphere's one action comes twice, the same both times).
    if arm is not None and len(arm.animation_data.nla_tracks) > 1:
        arm.animation_data.use_nla = False
        bpy.ops.export_scene.fbx(filepath=os.path.join(outdir, name + ".fbx"),
                                 bake_anim_use_nla_strips=False)
        arm.animation_data.use_nla = True
    else:
        bpy.ops.export_scene.fbx(filepath=os.path.join(outdir, name + ".fbx"))
    # Blender's Collada exporter writes the actions only of an object with an
    # active one (and then writes only that one), so "Walk" alone is active
    # there, without the NLA tracks beneath it.
    if arm is not None:
        arm.animation_data.use_nla = False
        arm.animation_data.action = bpy.data.actions.get("Walk") or bpy.data.actions[0]
    bpy.ops.wm.collada_export(filepath=os.path.join(outdir, name + ".dae"))


def build_figure(outdir, name, arm_matrix=None, body_matrix=None):
    reset()
    arm = make_armature([(n, h, t) for n, h, t, _c, _s in PARTS])
    body = make_body()
    skin(body, arm)
    if arm_matrix is not None:
        arm.matrix_world = arm_matrix
    if body_matrix is not None:
        body.matrix_parent_inverse = Matrix.Identity(4)
        body.matrix_basis = body_matrix
    actions = make_figure_actions(arm)
    rest_pose(arm)
    recorded = record(body, arm, actions, pick(len(body.data.vertices), 56))
    to_nla(arm, actions)
    export(outdir, name, recorded, arm)


def build_sphere(outdir):
    reset()
    arm = make_armature([("Pole", (0, 0, 0), (0, 0, 1))])
    bpy.ops.mesh.primitive_uv_sphere_add(segments=320, ring_count=256, radius=1.0)
    sphere = bpy.context.active_object
    sphere.name = "Sphere"
    sphere.data.name = "Sphere"
    bpy.ops.object.shade_smooth()  # shared normals: the exports share vertices
    group = sphere.vertex_groups.new(name="Pole")
    group.add(list(range(len(sphere.data.vertices))), 1.0, "REPLACE")
    skin(sphere, arm)
    arm.animation_data_create()
    spin = bpy.data.actions.new("Spin")
    arm.animation_data.action = spin
    key_bone(arm, "Pole", [(0, turn((0, 0, 1), 0)), (12, turn((0, 0, 1), 90)),
                           (24, turn((0, 0, 1), 180))])
    recorded = record(sphere, arm, [spin], pick(len(sphere.data.vertices)))
    to_nla(arm, [spin])
    export(outdir, "sphere", recorded, arm)


def build_box(outdir):
    reset()
    bpy.ops.mesh.primitive_cube_add(size=2.0)
    box = bpy.context.active_object
    box.name = "Box"
    box.data.name = "Box"
    for loop_uv in box.data.uv_layers.active.data:
        loop_uv.uv = (loop_uv.uv[0] * 3.0, loop_uv.uv[1] * 3.0)
    image = bpy.data.images.new("Bricks", 8, 8)
    image.pixels = [channel for y in range(8) for x in range(8)
                    for channel in ((0.8, 0.3, 0.2, 1.0) if (x + y) % 2 else (0.9, 0.9, 0.8, 1.0))]
    image.filepath_raw = os.path.join(outdir, "Bricks.png")
    image.file_format = "PNG"
    image.save()
    image.pack()
    material = bpy.data.materials.new("Brick")
    material.use_nodes = True
    nodes = material.node_tree.nodes
    texture = nodes.new("ShaderNodeTexImage")
    texture.image = image
    texture.extension = "REPEAT"
    material.node_tree.links.new(texture.outputs["Color"],
                                 nodes["Principled BSDF"].inputs["Base Color"])
    box.data.materials.append(material)
    recorded = {"points": [], "actions": {}}
    positions = world_positions(box)
    recorded["points"] = list(range(len(positions)))
    recorded["rest"] = positions
    recorded["minimum"] = [min(p[i] for p in positions) for i in range(3)]
    recorded["maximum"] = [max(p[i] for p in positions) for i in range(3)]
    export(outdir, "box", recorded, gltf_separate=True)


def main():
    argv = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    if len(argv) != 1:
        print("usage: blender --background --factory-startup --python build_scenes.py -- OUTDIR",
              file=sys.stderr)
        sys.exit(2)
    outdir = os.path.abspath(argv[0])
    os.makedirs(outdir, exist_ok=True)
    build_figure(outdir, "figure")
    build_figure(outdir, "turned",
                 arm_matrix=Matrix.Translation((0.7, -0.4, 0.3)) @
                 Matrix.Rotation(math.radians(40), 4, "Z") @
                 Matrix.Rotation(math.radians(15), 4, "X"))
    build_figure(outdir, "scaled",
                 arm_matrix=Matrix.Translation((20.0, -10.0, 5.0)) @
                 Matrix.Rotation(math.radians(40), 4, "Z") @ Matrix.Scale(50.0, 4))
    build_figure(outdir, "offset",
                 body_matrix=Matrix.Translation((0.3, 0.2, 0.1)) @
                 Matrix.Rotation(math.radians(20), 4, "Z"))
    build_sphere(outdir)
    build_box(outdir)


try:
    main()
except Exception as failure:  # a failed build must fail the run, not just print
    import traceback
    traceback.print_exc()
    sys.exit(1)
