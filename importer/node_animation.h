// A node's transform at a time of one of the source's animations, as the
// source's own tools evaluate it: position and scaling keys interpolated
// linearly, rotation keys spherically, each track held at its first or last
// key outside its keys' span, and composed as translation · rotation · scaling.
#ifndef MDLEXPORT_IMPORTER_NODE_ANIMATION_H
#define MDLEXPORT_IMPORTER_NODE_ANIMATION_H

#include "pose_math.h"

#include <assimp/anim.h>
#include <assimp/matrix4x4.h>

Affine AffineFromAssimp(const aiMatrix4x4& m);

// The channel's transform at `ticks`. A track without keys takes its part
// from `rest` (the node's own transform), decomposed.
Affine ChannelTransformAt(const aiNodeAnim& channel, double ticks, const aiMatrix4x4& rest);

// The last key time of any track of `animation`, in ticks; 0 without keys.
double LastKeyTime(const aiAnimation& animation);

#endif
