// A check of imported animation against the source's own skinning.
//
// Two evaluators that share nothing with the importer: the MDL's pose of a
// host model as the game applies it (bones found by parent name, pivots summed
// as the export sums them, keys at the export's milliseconds, translation
// interpolated linearly and rotation spherically or normalized-linearly, each
// bone's world = parent world · T(pivot) · T(translation) · R · T(-pivot)),
// and the source's skinning from Assimp's own data (node channels, node
// transforms, bone offsets), both in Assimp's double-precision types.
#ifndef MDLEXPORT_TESTS_IMPORTER_POSE_ORACLE_H
#define MDLEXPORT_TESTS_IMPORTER_POSE_ORACLE_H

#include "host_model_lib.h"
#include "scene_import.h"

#include <assimp/matrix4x4.h>
#include <assimp/scene.h>
#include <string>
#include <vector>

using Matrix = aiMatrix4x4t<double>;
using Vector = aiVector3t<double>;

// The host model's bones as the MDL animates them.
class MdlPose
{
  public:
    explicit MdlPose(ModelHandle model);

    // Every bone's world transform at `ms`, playing the sequence that spans
    // [start_ms, end_ms] (keys outside it are not used).
    std::vector<Matrix> WorldAt(int32_t ms, int32_t start_ms, int32_t end_ms, bool slerp) const;

    size_t BoneCount() const
    {
        return parent_.size();
    }

  private:
    struct Key
    {
        int32_t ms;
        double value[4];
    };
    std::vector<int32_t> parent_;
    std::vector<Vector> pivot_;
    std::vector<std::vector<Key>> translation_;
    std::vector<std::vector<Key>> rotation_; // host-axes quaternion x, y, z, w
};

// The source scene as Assimp holds it.
class SourcePose
{
  public:
    explicit SourcePose(const aiScene& scene);

    // Every node's global transform (preorder, root first) at `ticks` of
    // animation `animation`, or at rest for -1.
    std::vector<Matrix> GlobalsAt(int animation, double ticks) const;
    const aiNode* Node(size_t preorder) const
    {
        return nodes_[preorder];
    }
    int NodeByName(const std::string& name) const;

  private:
    const aiScene& scene_;
    std::vector<const aiNode*> nodes_;
    std::vector<int> parent_;
};

struct OracleFigures
{
    double model_size = 0.0;
    double worst = 0.0; // the largest distance, over the model size
    std::string worst_where;
    size_t vertices = 0;
    size_t poses = 0;  // sample times checked
    size_t checks = 0; // vertex positions compared
    std::vector<std::string> faults;
};

// Compares, at every sample time of every sequence (every whole frame of the
// source animation from its time 0 to its end, and the end), each host
// vertex moved by the MDL with the source vertex skinned by the one bone its
// host bone stands for at weight 1; also that this bone is one of the
// vertex's heaviest. `up` is the rotation expected from source to host axes.
// The rest pose is compared at the start of each still sequence and in a
// still second after the last sequence.
OracleFigures CheckPoses(const aiScene& scene, const ImportSummary& summary, ModelHandle model,
                         const Matrix& up, bool slerp);

#endif
