// A scene's node tree, and the pose of its nodes and bones at the times an
// import samples: what turning animations into keys needs, and what any later
// look at the sampled poses (the extents of each sequence, say) needs too.
#ifndef MDLEXPORT_IMPORTER_SCENE_POSE_H
#define MDLEXPORT_IMPORTER_SCENE_POSE_H

#include "bone_choice.h"
#include "pose_math.h"
#include "scene_import.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

struct aiAnimation;
struct aiNode;
struct aiNodeAnim;
struct aiScene;
struct aiString;

// A name as the scene holds it, every byte of it.
std::string NameOf(const aiString& name);

struct SceneNode
{
    const aiNode* node = nullptr;
    int32_t parent = -1; // an earlier node, or -1 for the root
    Affine rest_global;  // source space, the scene root's transform included
};

// The scene's nodes in preorder from the root (node 0), and their names.
struct SceneNodes
{
    std::vector<SceneNode> nodes;
    std::unordered_map<std::string, int32_t> by_name; // the first in preorder

    // The first node in preorder named `name`; -1 when none is.
    int32_t Find(const std::string& name) const;
};

// The nodes below and including `root`, each with its parent and rest
// transform. A node met twice (a malformed graph) is not followed again.
SceneNodes CollectNodes(const aiNode* root);

// Per node, the first channel of `animation` that names it, or null.
std::vector<const aiNodeAnim*> ChannelsOfNodes(const SceneNodes& nodes,
                                               const aiAnimation& animation);

// Every node's global transform (source space) at `ticks`: each node's
// channel (`channels`, one per node, null for none) at that time, or its own
// transform where it has no channel.
void NodeGlobalsAt(const SceneNodes& nodes, const aiNodeAnim* const* channels, double ticks,
                   Affine* globals);

// What one sample gives: its host frame, the sequence it belongs to (an index
// into the sequences sampled) and each bone's skinning transform in model
// space, the bind pose's vertices to the posed ones.
using PoseVisitor =
    std::function<void(float frame, int32_t sequence, const std::vector<Affine>& skinning)>;

// Calls `visit` for every sample of every sequence, in order: the sample
// times of the sequence's animation (SampleTimes), or its start alone for a
// still sequence, which holds the nodes' own pose (not always the bind pose).
// `up` turns source space into model space.
void SamplePoses(const aiScene& scene, const SceneNodes& nodes, const Affine& up,
                 const std::vector<BoneRecord>& bones,
                 const std::vector<ImportedSequence>& sequences, const PoseVisitor& visit);

#endif
