#include "bench_model.h"

#include "stand_in_model.h"

#include <cassert>
#include <cstdio>

namespace
{

constexpr int32_t kGridColumns = 256;
constexpr float kPi = 3.14159265f;
constexpr uint64_t kMeshStream = uint64_t{0x6d657368} << 32;
constexpr uint64_t kBoneStream = uint64_t{0x626f6e65} << 32;

BenchMesh MakeMesh(const BenchModelShape& shape, BenchRandom& random)
{
    assert(shape.vertices_per_mesh % kGridColumns == 0);
    assert(shape.vertices_per_mesh <= 65536);
    const int32_t rows = shape.vertices_per_mesh / kGridColumns;
    const auto vertex_count = static_cast<size_t>(shape.vertices_per_mesh);
    const auto bone_limit = static_cast<uint32_t>(shape.bone_count > 0 ? shape.bone_count : 1);

    BenchMesh mesh;
    mesh.positions.reserve(3 * vertex_count);
    mesh.uvs.reserve(2 * vertex_count);
    mesh.bone_indices.reserve(vertex_count);
    for (size_t v = 0; v < vertex_count; ++v)
    {
        for (int axis = 0; axis < 3; ++axis)
            mesh.positions.push_back(random.Symmetric(1000.0f));
        mesh.uvs.push_back(static_cast<float>(random.Unit()));
        mesh.uvs.push_back(static_cast<float>(random.Unit()));
        mesh.bone_indices.push_back(static_cast<int32_t>(random.Below(bone_limit)));
    }

    // Two triangles per grid cell, the grid closed in both directions.
    mesh.corners.reserve(6 * vertex_count);
    for (int32_t r = 0; r < rows; ++r)
    {
        const int32_t next_row = (r + 1) % rows;
        for (int32_t c = 0; c < kGridColumns; ++c)
        {
            const int32_t next_column = (c + 1) % kGridColumns;
            const auto at = [](int32_t row, int32_t column)
            { return static_cast<uint16_t>(row * kGridColumns + column); };
            mesh.corners.insert(mesh.corners.end(),
                                {at(r, c), at(r, next_column), at(next_row, c)});
            mesh.corners.insert(mesh.corners.end(),
                                {at(r, next_column), at(next_row, next_column), at(next_row, c)});
        }
    }
    return mesh;
}

std::string BoneName(int32_t index, int32_t chain_depth)
{
    char name[kNameBufferSize];
    std::snprintf(name, sizeof name, "chain%04d_bone%02d", index / chain_depth,
                  index % chain_depth);
    return name;
}

BenchBone MakeBone(const BenchModelShape& shape, int32_t index, BenchRandom& random)
{
    BenchBone bone;
    bone.name = BoneName(index, shape.chain_depth);
    if (index % shape.chain_depth != 0)
        bone.parent = BoneName(index - 1, shape.chain_depth);
    for (float& axis : bone.position)
        axis = random.Symmetric(10.0f);
    bone.position_keys.reserve(4 * static_cast<size_t>(shape.position_keys));
    for (int32_t k = 0; k < shape.position_keys; ++k)
    {
        bone.position_keys.push_back(static_cast<float>(k));
        for (int axis = 0; axis < 3; ++axis)
            bone.position_keys.push_back(random.Symmetric(100.0f));
    }
    bone.rotation_keys.reserve(4 * static_cast<size_t>(shape.rotation_keys));
    for (int32_t k = 0; k < shape.rotation_keys; ++k)
    {
        bone.rotation_keys.push_back(static_cast<float>(k));
        for (int axis = 0; axis < 3; ++axis)
            bone.rotation_keys.push_back(random.Symmetric(kPi));
    }
    return bone;
}

} // namespace

uint64_t BenchRandom::Next()
{
    uint64_t z = (state_ += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

double BenchRandom::Unit()
{
    return static_cast<double>(Next() >> 11) * 0x1.0p-53;
}

float BenchRandom::Symmetric(float limit)
{
    return static_cast<float>((2.0 * Unit() - 1.0) * static_cast<double>(limit));
}

uint32_t BenchRandom::Below(uint32_t count)
{
    return static_cast<uint32_t>((Next() >> 32) * count >> 32);
}

BenchModel MakeBenchModel(const BenchModelShape& shape, uint64_t seed)
{
    // A sequence of its own for each mesh and bone: a model with more meshes
    // holds the same bones, and its first meshes are those of a smaller one.
    BenchModel model;
    for (int32_t m = 0; m < shape.mesh_count; ++m)
    {
        BenchRandom random(seed ^ (kMeshStream | static_cast<uint32_t>(m)));
        model.meshes.push_back(MakeMesh(shape, random));
    }
    for (int32_t b = 0; b < shape.bone_count; ++b)
    {
        BenchRandom random(seed ^ (kBoneStream | static_cast<uint32_t>(b)));
        model.bones.push_back(MakeBone(shape, b, random));
    }
    return model;
}

ModelHandle MakeStandInModel(const BenchModel& model)
{
    ModelHandle handle = StandIn_CreateModel();
    for (const BenchMesh& mesh : model.meshes)
    {
        MeshHandle to = StandIn_AddMesh(handle, "mesh");
        const size_t vertex_count = mesh.bone_indices.size();
        const size_t triangle_count = mesh.corners.size() / 3;
        StandIn_ReserveMesh(to, static_cast<int32_t>(vertex_count),
                            static_cast<int32_t>(triangle_count));
        for (size_t v = 0; v < vertex_count; ++v)
        {
            const float* p = &mesh.positions[3 * v];
            const float* uv = &mesh.uvs[2 * v];
            StandIn_AddVertex(to, p[0], p[1], p[2], uv[0], uv[1], mesh.bone_indices[v]);
        }
        for (size_t t = 0; t < triangle_count; ++t)
        {
            const uint16_t* c = &mesh.corners[3 * t];
            StandIn_AddTriangle(to, c[0], c[1], c[2]);
        }
    }
    for (const BenchBone& bone : model.bones)
    {
        BoneHandle to = StandIn_AddBone(handle, bone.name.c_str(), bone.parent.c_str(),
                                        bone.position[0], bone.position[1], bone.position[2]);
        StandIn_ReserveKeys(to, static_cast<int32_t>(bone.position_keys.size() / 4),
                            static_cast<int32_t>(bone.rotation_keys.size() / 4));
        for (size_t k = 0; k < bone.position_keys.size(); k += 4)
        {
            const float* key = &bone.position_keys[k];
            StandIn_AddPositionKey(to, key[0], key[1], key[2], key[3]);
        }
        for (size_t k = 0; k < bone.rotation_keys.size(); k += 4)
        {
            const float* key = &bone.rotation_keys[k];
            StandIn_AddRotationKey(to, key[0], key[1], key[2], key[3]);
        }
    }
    return handle;
}

uint64_t ExportRowCount(const BenchModel& model)
{
    uint64_t rows = 0;
    for (const BenchMesh& mesh : model.meshes)
        rows += 4 * mesh.bone_indices.size() + mesh.corners.size() / 3 + model.bones.size();
    for (const BenchBone& bone : model.bones)
        rows += 1 + bone.position_keys.size() / 4 + bone.rotation_keys.size() / 4;
    return rows;
}
