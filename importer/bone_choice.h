// Which nodes of a scene become host bones, and the bind transform that each
// bone's skinning inverts. Plain arrays of transforms in model space (the up
// axis already turned); nothing here reads a scene or a host model.
//
// A host vertex follows one bone and is stored in the rest pose, so a bone
// stands for a node with the bind transform its skinning inverts: the node's
// own rest transform (SkinPlacement), whatever the skins record.
#ifndef MDLEXPORT_IMPORTER_BONE_CHOICE_H
#define MDLEXPORT_IMPORTER_BONE_CHOICE_H

#include "pose_math.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The rest rule: a vertex that a skin bone carries stands where the skin puts
// it with the joints at rest, `node_rest` (the bone's node at rest) times the
// bone's `offset` matrix (which takes the mesh into the bone's space), with no
// transform of the mesh's own node on top; the bone's bind is its node at
// rest. An offset that cannot be inverted sets `singular`, and the mesh's
// node (`mesh_global`) places the vertex instead.
Affine SkinPlacement(const Affine& node_rest, const Affine& offset, const Affine& mesh_global,
                     bool& singular);

// True when two bind transforms are the same to within 1e-5 of the larger
// of 1 and their largest entry, which absorbs the rounding of a file's floats.
bool SameBind(const Affine& a, const Affine& b);

// Adds `bind` to `binds` unless it is the SameBind of one there.
void AddBind(std::vector<Affine>& binds, const Affine& bind);

// What the scene asks of one node.
struct NodeNeeds
{
    int32_t parent = -1;            // an earlier node; -1 for the scene's root, node 0
    Affine rest;                    // the node's rest transform in model space
    std::vector<Affine> binds;      // the binds skin bones ask of it (AddBind), in the order met
    bool animated = false;          // a channel moves it
    bool carries_unskinned = false; // it places a mesh with vertices that no bone skins
};

// One host bone.
struct BoneRecord
{
    int32_t node = -1;
    Affine bind;         // in model space
    Affine inverse_bind; // what the skinning applies first
    int32_t parent = -1; // an earlier bone, or -1
};

struct BoneChoice
{
    std::vector<BoneRecord> bones;   // parents before children
    std::vector<int32_t> first_bone; // per node: its first bone (they are consecutive), or -1
};

// The host bones of `count` nodes in preorder (each parent before its
// children):
// - the nodes that skin bones bind or channels move; where there is one,
//   also those that carry unskinned vertices; and the ancestors of all of
//   these below the root;
// - per node, one bone for each of its binds in order, then one for its rest
//   transform where it has no binds or carries unskinned vertices (unless a
//   bind is already the SameBind of it);
// - each bone's parent is the first bone of its nearest ancestor with bones.
// A bind that cannot be inverted (a node's own collapsed transform: its
// vertices are gone anyway) keeps only its place: the inverse of its
// translation stands in.
BoneChoice ChooseBones(const NodeNeeds* nodes, size_t count);

// How many bones `node` has (0 when it is not a bone).
size_t BoneCount(const BoneChoice& choice, int32_t node);

// The first bone of `node` whose bind is the SameBind of `bind`; -1 when none.
int32_t FindBone(const BoneChoice& choice, int32_t node, const Affine& bind);

#endif
