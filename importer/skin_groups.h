// The bone group of each vertex for a model whose vertices follow groups of
// bones that the game averages equally (a matrix group of up to four bones),
// from the source's weighted skinning. Plain arrays; nothing here reads a
// scene or writes a model.
//
// S_f(b) is the skinning transform of bone b at sampled frame f, the joints
// at rest to posed. The source moves a vertex to  sum_i w_i S_f(b_i) q_i /
// sum_i w_i, where q_i is where bone b_i alone puts it with the joints at rest
// (the q_i differ where the source's bind pose is not its rest pose); the
// game moves the model's one vertex p with group G to  sum_{b in G} S_f(b) p
// / |G|.
// Of every group of one to four of the vertex's bones (its six heaviest at
// most), the chosen one has the smallest sum over the frames of the distance
// between the two; ties go to the smaller group, then to the heavier bones.
// The heaviest bone alone is one of the candidates, so no vertex ever does
// worse than with it; a vertex of one bone keeps that bone.
#ifndef MDLEXPORT_IMPORTER_SKIN_GROUPS_H
#define MDLEXPORT_IMPORTER_SKIN_GROUPS_H

#include "pose_math.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

// One bone's weight on one vertex.
struct BoneWeight
{
    int32_t bone = 0; // an index into each frame's transforms
    float weight = 0.0f;
    Vec3d at; // where this bone alone puts the vertex with the joints at rest
};

// The most bones a group holds.
constexpr size_t kMaxGroupBones = 4;

// A vertex's group, bones in ascending order.
struct SkinGroup
{
    std::vector<int32_t> bones;
    Vec3d position;              // where the vertex stands with it
    double error = 0.0;          // the mean distance over the frames, with the group
    double heaviest_error = 0.0; // the same with the heaviest bone alone
};

// Sampled skinning transforms: `frame_count` frames of `bone_count`
// transforms each, frame after frame.
struct SkinFrames
{
    const Affine* transforms = nullptr;
    size_t frame_count = 0;
    size_t bone_count = 0;

    const Affine& At(size_t frame, int32_t bone) const
    {
        return transforms[frame * bone_count + static_cast<size_t>(bone)];
    }
};

// The group of the model's vertex at `position` (rest pose) with `weights`
// (only those above zero count; each bone below frames.bone_count). Without
// a weight that counts the group is empty.
SkinGroup ChooseSkinGroup(Vec3d position, const BoneWeight* weights, size_t weight_count,
                          const SkinFrames& frames);

// The average of the transforms of `bones` at `frame` (the identity for no
// bones): what the game applies to a vertex of that group.
Affine AverageTransform(const SkinFrames& frames, size_t frame, const std::vector<int32_t>& bones);

// Identical groups shared: each distinct bone list gets one index, in the
// order first met.
class GroupTable
{
  public:
    // The index of `bones` (kept as given: the caller sorts).
    uint32_t Add(const std::vector<int32_t>& bones);
    // The groups, in index order.
    const std::vector<std::vector<int32_t>>& Groups() const
    {
        return groups_;
    }

  private:
    std::map<std::vector<int32_t>, uint32_t> index_;
    std::vector<std::vector<int32_t>> groups_;
};

// The triangles of a mesh (three corners each, `faces`) in runs, in order,
// such that the vertices of each run use at most `limit` distinct groups
// (`group_of`: a group number per vertex; `limit` at least 3): the geosets
// the mesh becomes where one cannot tell its vertices' groups apart. Each
// run lists its triangles' indices.
std::vector<std::vector<size_t>> SplitByGroups(const std::vector<uint16_t>& faces,
                                               const std::vector<uint32_t>& group_of, size_t limit);

#endif
