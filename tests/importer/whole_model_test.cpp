// Whole models of files that nobody here wrote, posed as the game poses them
// (each vertex by the equal average of its group's bone transforms, bones
// from their own translation and quaternion keys) against the source's own
// weighted skinning (Assimp's node channels, node transforms and bone
// offsets, through the pose oracle's SourcePose): at every sampled frame a
// vertex of one bone lands within 1e-3 of the model's size, and over the
// frames no vertex strays further on average than with its heaviest bone
// alone. The figures go to the test log.
#include "mdl_convert.h"
#include "pose_oracle.h"
#include "scene_import.h"
#include "test_support.h"
#include "whole_model.h"

#include <algorithm>
#include <assimp/Importer.hpp>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>

namespace
{

const std::string kModels = MDL_ASSIMP_MODELS;

using Quaternion = aiQuaterniont<double>;

// Host axes (x, y, z) from the MDL's order (host z, x, y).
Vector FromMdl(const float* v)
{
    return Vector(v[1], v[2], v[0]);
}

// One bone's keys within a sequence, at `ms`: linear translation, spherical
// rotation, the first or last key outside them; none: the rest pose.
void KeyAt(const mdlx::Track* track, int32_t ms, int32_t start, int32_t end, double* out)
{
    if (!track)
        return;
    const int width = track->tag == mdlx::Tag("KGRT") ? 4 : 3;
    size_t before = SIZE_MAX, after = SIZE_MAX;
    for (size_t k = 0; k < track->frames.size(); ++k)
    {
        int32_t t = track->frames[k];
        if (t < start || t > end)
            continue;
        if (t <= ms)
            before = k;
        if (t >= ms && after == SIZE_MAX)
            after = k;
    }
    if (before == SIZE_MAX)
        before = after;
    if (after == SIZE_MAX)
        after = before;
    if (before == SIZE_MAX)
        return;
    const float* a = &track->values[before * size_t(width)];
    const float* b = &track->values[after * size_t(width)];
    double span = double(track->frames[after]) - track->frames[before];
    double u = span > 0 ? (ms - track->frames[before]) / span : 0.0;
    if (width == 3)
    {
        for (int i = 0; i < 3; ++i)
            out[i] = a[i] + (b[i] - a[i]) * u;
        return;
    }
    Quaternion q;
    Quaternion::Interpolate(q, Quaternion(a[3], a[0], a[1], a[2]),
                            Quaternion(b[3], b[0], b[1], b[2]), u);
    out[0] = q.x, out[1] = q.y, out[2] = q.z, out[3] = q.w;
}

// Every bone's world transform in host axes at `ms`.
std::vector<Matrix> BoneWorlds(const mdlx::Model& model, int32_t ms, int32_t start, int32_t end)
{
    std::vector<Matrix> world(model.bones.size());
    for (size_t b = 0; b < model.bones.size(); ++b)
    {
        const mdlx::Node& node = model.bones[b].node;
        double t[3] = {0, 0, 0}, r[4] = {0, 0, 0, 1};
        KeyAt(mdlx::FindTrack(node.tracks, mdlx::Tag("KGTR")), ms, start, end, t);
        KeyAt(mdlx::FindTrack(node.tracks, mdlx::Tag("KGRT")), ms, start, end, r);
        Vector pivot = FromMdl(model.pivot_points[b].data());
        Matrix a, moved, turned, back;
        Matrix::Translation(pivot + Vector(t[1], t[2], t[0]), moved);
        turned = Matrix(Quaternion(r[3], r[1], r[2], r[0]).GetMatrix());
        Matrix::Translation(-pivot, back);
        Matrix local = moved * turned * back;
        world[b] = node.parent_id >= 0 ? world[size_t(node.parent_id)] * local : local;
    }
    return world;
}

struct WholeFile
{
    const char* path;
    double
        mean_gain; // the group's mean error of blended vertices at most this part of the heaviest's
    double height = 0.0; // --height, when set
};

void PrintTo(const WholeFile& file, std::ostream* out)
{
    *out << file.path;
    if (file.height > 0.0)
        *out << " at height " << file.height;
}

class WholeModel : public testing::TestWithParam<WholeFile>
{
};

} // namespace

TEST_P(WholeModel, MovesAsTheSourcesWeightedSkin)
{
    const WholeFile& file = GetParam();
    std::string path = kModels + "/" + file.path;
    Assimp::Importer importer;
    const aiScene* scene = ReadSceneFile(importer, path);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    TestModel host;
    std::string error;
    std::vector<std::string> notes;
    ImportSummary summary;
    ImportOptions options;
    options.height = file.height;
    options.ground = file.height > 0.0;
    ASSERT_TRUE(ImportAssimpScene(*scene, path, options, host.handle(), error, notes, &summary));
    mdlx::Model model;
    std::vector<WholeModelTexture> textures;
    ASSERT_TRUE(BuildWholeModel(*scene, path, summary, host.handle(), options, "m", model, textures,
                                notes, error))
        << error;

    ASSERT_EQ(model.geosets.size(), summary.meshes.size()); // no mesh needs more groups

    Matrix up;
    for (unsigned i = 0; i < 3; ++i)
        for (unsigned j = 0; j < 4; ++j)
            up[i][j] = summary.to_model[i][j];
    SourcePose source(*scene);
    std::map<int, int32_t> bone_of_node;
    for (size_t b = summary.bones.size(); b-- > 0;)
        bone_of_node[summary.bones[b].node] = int32_t(b);

    // Each vertex: its bind-pose position, group, weights (node, offset,
    // weight) and heaviest bone.
    struct Weight
    {
        int node;
        Matrix offset;
        double weight;
    };
    // The heaviest bone alone is measured from where it puts the vertex at
    // rest (the model's own vertex may stand elsewhere with its group).
    const std::vector<Matrix> rest = source.GlobalsAt(-1, 0.0);
    struct Placed
    {
        Vector position, raw, heaviest_at;
        std::vector<uint32_t> group;
        std::vector<Weight> weights;
        int32_t heaviest = -1;
        int mesh_node = 0;
        bool exact = false; // equal weights on exactly its group's bones
        double group_sum = 0, heaviest_sum = 0;
    };
    std::vector<Placed> vertices;
    size_t exact_vertices = 0;
    Vector low(1e300, 1e300, 1e300), high(-1e300, -1e300, -1e300);
    for (size_t g = 0; g < model.geosets.size(); ++g)
    {
        const mdlx::Geoset& geoset = model.geosets[g];
        const ImportSummary::MeshOrigin& origin = summary.meshes[g];
        const aiMesh& mesh = *scene->mMeshes[origin.source_mesh];
        std::vector<size_t> group_start;
        for (size_t i = 0, at = 0; i < geoset.matrix_groups.size(); at += geoset.matrix_groups[i++])
            group_start.push_back(at);
        std::vector<std::vector<Weight>> weights_of(mesh.mNumVertices);
        for (unsigned b = 0; b < mesh.mNumBones; ++b)
            for (unsigned w = 0; w < mesh.mBones[b]->mNumWeights; ++w)
            {
                const aiVertexWeight& weight = mesh.mBones[b]->mWeights[w];
                int node = source.NodeByName(mesh.mBones[b]->mName.C_Str());
                if (weight.mVertexId < mesh.mNumVertices && weight.mWeight > 0 && node >= 0)
                    weights_of[weight.mVertexId].push_back(
                        {node, Matrix(mesh.mBones[b]->mOffsetMatrix), weight.mWeight});
            }
        for (size_t v = 0; v < geoset.vertices.size() / 3; ++v)
        {
            Placed p;
            p.position = FromMdl(&geoset.vertices[3 * v]);
            uint32_t sv = origin.source_vertex[v];
            p.raw = Vector(mesh.mVertices[sv].x, mesh.mVertices[sv].y, mesh.mVertices[sv].z);
            p.mesh_node = origin.node;
            size_t group = geoset.vertex_groups[v];
            p.group.assign(geoset.matrix_indices.begin() + long(group_start[group]),
                           geoset.matrix_indices.begin() +
                               long(group_start[group] + geoset.matrix_groups[group]));
            double heaviest = 0;
            for (const Weight& weight : weights_of[sv])
            {
                p.weights.push_back(weight);
                if (weight.weight > heaviest)
                {
                    heaviest = weight.weight, p.heaviest = bone_of_node[weight.node];
                    p.heaviest_at = up * ((rest[size_t(weight.node)] * weight.offset) * p.raw);
                }
            }
            // A group of the vertex's bones, all weighted alike, reproduces
            // the skin exactly (where the bind pose is the rest pose).
            std::vector<uint32_t> weighted;
            for (const Weight& weight : p.weights)
                weighted.push_back(uint32_t(bone_of_node[weight.node]));
            std::sort(weighted.begin(), weighted.end());
            p.exact = p.weights.size() > 1 && weighted == p.group &&
                      std::all_of(p.weights.begin(), p.weights.end(),
                                  [&](const Weight& w)
                                  { return std::fabs(w.weight - p.weights[0].weight) < 1e-6; }) &&
                      (p.heaviest_at - p.position).Length() < 1e-9 * (1.0 + p.position.Length());
            exact_vertices += p.exact ? 1 : 0;
            low = Vector(std::min(low.x, p.position.x), std::min(low.y, p.position.y),
                         std::min(low.z, p.position.z));
            high = Vector(std::max(high.x, p.position.x), std::max(high.y, p.position.y),
                          std::max(high.z, p.position.z));
            vertices.push_back(std::move(p));
        }
    }
    const double size = (high - low).Length();

    double worst_single = 0;
    size_t poses = 0;
    for (const ImportedSequence& sequence : summary.sequences)
    {
        if (sequence.animation < 0)
            continue;
        const aiAnimation& animation = *scene->mAnimations[sequence.animation];
        double tps = animation.mTicksPerSecond > 0 ? animation.mTicksPerSecond : 25.0;
        double end_frames = (sequence.end_frame - sequence.start_frame);
        for (double f = 0.0; f <= end_frames + 1e-9; f += 1.0)
        {
            ++poses;
            int32_t ms = FrameToMdlTime(static_cast<float>(sequence.start_frame + f));
            std::vector<Matrix> globals = source.GlobalsAt(sequence.animation, f / 24.0 * tps);
            std::vector<Matrix> world = BoneWorlds(model, ms, sequence.start_ms, sequence.end_ms);
            for (Placed& p : vertices)
            {
                Vector expected;
                double total = 0;
                for (const Weight& w : p.weights)
                {
                    expected += w.weight * (up * ((globals[size_t(w.node)] * w.offset) * p.raw));
                    total += w.weight;
                }
                expected =
                    total > 0 ? expected / total : up * (globals[size_t(p.mesh_node)] * p.raw);
                Vector actual;
                for (uint32_t b : p.group)
                    actual += world[b] * p.position;
                actual /= double(p.group.size());
                double distance = (actual - expected).Length() / size;
                p.group_sum += distance;
                if (p.heaviest >= 0)
                    p.heaviest_sum +=
                        (world[size_t(p.heaviest)] * p.heaviest_at - expected).Length() / size;
                if (p.weights.size() <= 1 || p.exact)
                    worst_single = std::max(worst_single, distance);
            }
        }
    }
    ASSERT_GT(poses, 0u);
    EXPECT_LE(worst_single, 1e-3);
    double group_sum = 0, heaviest_sum = 0;
    size_t blended = 0, worse = 0;
    for (const Placed& p : vertices)
    {
        if (p.weights.size() < 2)
            continue;
        ++blended;
        group_sum += p.group_sum / double(poses);
        heaviest_sum += p.heaviest_sum / double(poses);
        worse += p.group_sum > p.heaviest_sum + 1e-4 * double(poses) ? 1 : 0;
    }
    EXPECT_EQ(worse, 0u) << "vertices further from the skin than with their heaviest bone";
    ASSERT_GT(blended, 0u);
    EXPECT_LE(group_sum, file.mean_gain * heaviest_sum);
    std::printf("%s: %zu poses, vertices of one bone (and %zu of an exact group) within %.2g "
                "of the size; %zu blended "
                "vertices, mean error %.3g of the size with the heaviest bone, %.3g with the "
                "groups\n",
                file.path, poses, exact_vertices, worst_single, blended,
                heaviest_sum / double(blended), group_sum / double(blended));
}

INSTANTIATE_TEST_SUITE_P(Files, WholeModel,
                         testing::Values(WholeFile{"glTF2/simple_skin/simple_skin.gltf", 0.7},
                                         WholeFile{"X/BCN_Epileptic.X", 0.7},
                                         WholeFile{"X/Testwuson.X", 0.7},
                                         WholeFile{"FBX/animation_with_skeleton.fbx", 0.7},
                                         WholeFile{"X/Testwuson.X", 0.7, 150.0}));
