#include "stand_in_model.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

struct HostVertex
{
    Vec3 position;
    Vec2 uv;
    int32_t bone_index;
};

struct HostTriangle
{
    VertexIndexTriple corners;
};

struct HostMesh
{
    std::string name;
    std::vector<HostVertex> vertices;
    std::vector<HostTriangle> triangles;
};

struct HostBone
{
    char name[kNameBufferSize];
    char parent_name[kNameBufferSize];
    bool raw_name;
    Vec3 position;
    std::vector<PositionKey> position_keys;
    std::vector<RotationKey> rotation_keys;
};

struct HostModel
{
    std::vector<std::unique_ptr<HostMesh>> meshes;
    std::vector<std::unique_ptr<HostBone>> bones;
    int32_t destroy_count = 0;
};

namespace
{

int64_t g_library_calls = 0;

void CopyName(char (&to)[kNameBufferSize], const char* from)
{
    std::memset(to, 0, sizeof to);
    if (from != nullptr)
        std::strncpy(to, from, sizeof to - 1);
}

// Copies a terminated name into a caller's buffer of `size` bytes: at most
// size-1 bytes, always terminated.
void FillName(const char* name, char* out, int32_t size)
{
    if (out == nullptr || size <= 0)
        return;
    size_t length = std::strlen(name);
    if (length > static_cast<size_t>(size) - 1)
        length = static_cast<size_t>(size) - 1;
    std::memcpy(out, name, length);
    out[length] = '\0';
}

template <typename T> T* ItemAt(std::vector<T>& items, int32_t index)
{
    if (index < 0 || static_cast<size_t>(index) >= items.size())
        return nullptr;
    return &items[static_cast<size_t>(index)];
}

template <typename T> T* ItemAt(std::vector<std::unique_ptr<T>>& items, int32_t index)
{
    if (index < 0 || static_cast<size_t>(index) >= items.size())
        return nullptr;
    return items[static_cast<size_t>(index)].get();
}

int32_t CountOf(size_t size)
{
    return static_cast<int32_t>(size);
}

} // namespace

extern "C"
{

    // The host's twenty functions. An index outside the model yields a null
    // handle, which the stand-in's other functions treat as an empty item; the
    // export itself never asks for one.

    int32_t msModel_GetMeshCount(ModelHandle model)
    {
        ++g_library_calls;
        return model ? CountOf(model->meshes.size()) : 0;
    }

    MeshHandle msModel_GetMeshAt(ModelHandle model, int32_t index)
    {
        ++g_library_calls;
        return model ? ItemAt(model->meshes, index) : nullptr;
    }

    int32_t msMesh_GetVertexCount(MeshHandle mesh)
    {
        ++g_library_calls;
        return mesh ? CountOf(mesh->vertices.size()) : 0;
    }

    VertexHandle msMesh_GetVertexAt(MeshHandle mesh, int32_t index)
    {
        ++g_library_calls;
        return mesh ? ItemAt(mesh->vertices, index) : nullptr;
    }

    void msVertex_GetVertex(VertexHandle vertex, Vec3* position)
    {
        ++g_library_calls;
        if (vertex && position)
            *position = vertex->position;
    }

    void msVertex_GetTexCoords(VertexHandle vertex, Vec2* uv)
    {
        ++g_library_calls;
        if (vertex && uv)
            *uv = vertex->uv;
    }

    int32_t msVertex_GetBoneIndex(VertexHandle vertex)
    {
        ++g_library_calls;
        return vertex ? vertex->bone_index : -1;
    }

    int32_t msMesh_GetTriangleCount(MeshHandle mesh)
    {
        ++g_library_calls;
        return mesh ? CountOf(mesh->triangles.size()) : 0;
    }

    TriangleHandle msMesh_GetTriangleAt(MeshHandle mesh, int32_t index)
    {
        ++g_library_calls;
        return mesh ? ItemAt(mesh->triangles, index) : nullptr;
    }

    void msTriangle_GetVertexIndices(TriangleHandle triangle, VertexIndexTriple* corners)
    {
        ++g_library_calls;
        if (triangle && corners)
            *corners = triangle->corners;
    }

    int32_t msModel_GetBoneCount(ModelHandle model)
    {
        ++g_library_calls;
        return model ? CountOf(model->bones.size()) : 0;
    }

    BoneHandle msModel_GetBoneAt(ModelHandle model, int32_t index)
    {
        ++g_library_calls;
        return model ? ItemAt(model->bones, index) : nullptr;
    }

    void msBone_GetName(BoneHandle bone, char* name, int32_t size)
    {
        ++g_library_calls;
        if (bone == nullptr)
        {
            FillName("", name, size);
            return;
        }
        if (bone->raw_name)
        {
            if (name != nullptr && size > 0)
            {
                size_t limit = sizeof bone->name;
                std::memcpy(name, bone->name,
                            static_cast<size_t>(size) < limit ? size_t(size) : limit);
            }
            return;
        }
        FillName(bone->name, name, size);
    }

    void msBone_GetParentName(BoneHandle bone, char* name, int32_t size)
    {
        ++g_library_calls;
        FillName(bone ? bone->parent_name : "", name, size);
    }

    void msBone_GetPosition(BoneHandle bone, Vec3* position)
    {
        ++g_library_calls;
        if (bone && position)
            *position = bone->position;
    }

    int32_t msBone_GetPositionKeyCount(BoneHandle bone)
    {
        ++g_library_calls;
        return bone ? CountOf(bone->position_keys.size()) : 0;
    }

    PositionKey* msBone_GetPositionKeyAt(BoneHandle bone, int32_t index)
    {
        ++g_library_calls;
        return bone ? ItemAt(bone->position_keys, index) : nullptr;
    }

    int32_t msBone_GetRotationKeyCount(BoneHandle bone)
    {
        ++g_library_calls;
        return bone ? CountOf(bone->rotation_keys.size()) : 0;
    }

    RotationKey* msBone_GetRotationKeyAt(BoneHandle bone, int32_t index)
    {
        ++g_library_calls;
        return bone ? ItemAt(bone->rotation_keys, index) : nullptr;
    }

    void msModel_Destroy(ModelHandle model)
    {
        ++g_library_calls;
        if (model == nullptr)
            return;
        ++model->destroy_count;
        model->meshes.clear();
        model->meshes.shrink_to_fit();
        model->bones.clear();
        model->bones.shrink_to_fit();
    }

    // The construction interface.

    ModelHandle StandIn_CreateModel(void)
    {
        return new HostModel();
    }

    void StandIn_FreeModel(ModelHandle model)
    {
        delete model;
    }

    int32_t StandIn_DestroyCount(ModelHandle model)
    {
        return model ? model->destroy_count : 0;
    }

    int64_t StandIn_LibraryCallCount(void)
    {
        return g_library_calls;
    }

    MeshHandle StandIn_AddMesh(ModelHandle model, const char* name)
    {
        auto mesh = std::make_unique<HostMesh>();
        if (name != nullptr)
            mesh->name = name;
        model->meshes.push_back(std::move(mesh));
        return model->meshes.back().get();
    }

    void StandIn_ReserveMesh(MeshHandle mesh, int32_t vertices, int32_t triangles)
    {
        if (vertices > 0)
            mesh->vertices.reserve(static_cast<size_t>(vertices));
        if (triangles > 0)
            mesh->triangles.reserve(static_cast<size_t>(triangles));
    }

    void StandIn_AddVertex(MeshHandle mesh, float x, float y, float z, float u, float v,
                           int32_t bone_index)
    {
        mesh->vertices.push_back(HostVertex{{x, y, z}, {u, v}, bone_index});
    }

    void StandIn_AddTriangle(MeshHandle mesh, uint16_t i0, uint16_t i1, uint16_t i2)
    {
        mesh->triangles.push_back(HostTriangle{{{i0, i1, i2}}});
    }

    BoneHandle StandIn_AddBone(ModelHandle model, const char* name, const char* parent_name,
                               float x, float y, float z)
    {
        auto bone = std::make_unique<HostBone>();
        CopyName(bone->name, name);
        CopyName(bone->parent_name, parent_name);
        bone->raw_name = false;
        bone->position = Vec3{x, y, z};
        model->bones.push_back(std::move(bone));
        return model->bones.back().get();
    }

    void StandIn_ReserveKeys(BoneHandle bone, int32_t position_keys, int32_t rotation_keys)
    {
        if (position_keys > 0)
            bone->position_keys.reserve(static_cast<size_t>(position_keys));
        if (rotation_keys > 0)
            bone->rotation_keys.reserve(static_cast<size_t>(rotation_keys));
    }

    void StandIn_AddPositionKey(BoneHandle bone, float time, float x, float y, float z)
    {
        bone->position_keys.push_back(PositionKey{time, {x, y, z}});
    }

    void StandIn_AddRotationKey(BoneHandle bone, float time, float x, float y, float z)
    {
        bone->rotation_keys.push_back(RotationKey{time, {x, y, z}});
    }

    void StandIn_SetRawName(BoneHandle bone, const char raw[32])
    {
        std::memcpy(bone->name, raw, kNameBufferSize);
        bone->raw_name = true;
    }

} // extern "C"
