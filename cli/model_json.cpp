#include "model_json.h"

#include "stand_in_model.h"

#include <array>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>

namespace
{

int32_t CountToInt32(size_t count)
{
    // The 4 GiB limit on the file keeps every count below 2^31: a vertex
    // takes at least 8 bytes of JSON ("[0,0,0],"), and so do the others.
    assert(count <= static_cast<size_t>(std::numeric_limits<int32_t>::max()));
    return static_cast<int32_t>(count);
}

void AppendNumber(std::string& out, float value)
{
    if (!std::isfinite(value))
        value = 0.0f; // a description holds finite numbers only
    std::array<char, 32> buffer{};
    auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

void AppendString(std::string& out, const char* text)
{
    out += '"';
    for (const char* c = text; *c != '\0'; ++c)
    {
        unsigned char byte = static_cast<unsigned char>(*c);
        if (byte == '"' || byte == '\\')
        {
            out += '\\';
            out += *c;
        }
        else if (byte < 0x20)
        {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        }
        else
            out += *c;
    }
    out += '"';
}

void AppendVec3(std::string& out, Vec3 v)
{
    out += '[';
    AppendNumber(out, v.x);
    out += ", ";
    AppendNumber(out, v.y);
    out += ", ";
    AppendNumber(out, v.z);
    out += ']';
}

void AppendKey(std::string& out, float time, Vec3 v)
{
    out += '[';
    AppendNumber(out, time);
    out += ", ";
    AppendNumber(out, v.x);
    out += ", ";
    AppendNumber(out, v.y);
    out += ", ";
    AppendNumber(out, v.z);
    out += ']';
}

void AppendMesh(std::string& out, MeshHandle mesh)
{
    int32_t vertex_count = msMesh_GetVertexCount(mesh);
    out += "    {\n      \"positions\": [";
    for (int32_t v = 0; v < vertex_count; ++v)
    {
        Vec3 p{0.0f, 0.0f, 0.0f};
        msVertex_GetVertex(msMesh_GetVertexAt(mesh, v), &p);
        out += v > 0 ? ", " : "";
        AppendVec3(out, p);
    }
    out += "],\n      \"uvs\": [";
    for (int32_t v = 0; v < vertex_count; ++v)
    {
        Vec2 uv{0.0f, 0.0f};
        msVertex_GetTexCoords(msMesh_GetVertexAt(mesh, v), &uv);
        out += v > 0 ? ", [" : "[";
        AppendNumber(out, uv.u);
        out += ", ";
        AppendNumber(out, uv.v);
        out += ']';
    }
    out += "],\n      \"bone_indices\": [";
    for (int32_t v = 0; v < vertex_count; ++v)
    {
        out += v > 0 ? ", " : "";
        out += std::to_string(msVertex_GetBoneIndex(msMesh_GetVertexAt(mesh, v)));
    }
    out += "],\n      \"triangles\": [";
    int32_t triangle_count = msMesh_GetTriangleCount(mesh);
    for (int32_t t = 0; t < triangle_count; ++t)
    {
        VertexIndexTriple corners{{0, 0, 0}};
        msTriangle_GetVertexIndices(msMesh_GetTriangleAt(mesh, t), &corners);
        out += t > 0 ? ", [" : "[";
        out += std::to_string(corners.corner[0]) + ", " + std::to_string(corners.corner[1]) + ", " +
               std::to_string(corners.corner[2]) + "]";
    }
    out += "]\n    }";
}

void AppendBone(std::string& out, BoneHandle bone)
{
    char name[kNameBufferSize] = {};
    char parent[kNameBufferSize] = {};
    msBone_GetName(bone, name, kNameBufferSize);
    msBone_GetParentName(bone, parent, kNameBufferSize);
    Vec3 position{0.0f, 0.0f, 0.0f};
    msBone_GetPosition(bone, &position);
    out += "    {\n      \"name\": ";
    AppendString(out, name);
    out += ",\n      \"parent\": ";
    AppendString(out, parent);
    out += ",\n      \"position\": ";
    AppendVec3(out, position);
    out += ",\n      \"position_keys\": [";
    int32_t count = msBone_GetPositionKeyCount(bone);
    for (int32_t k = 0; k < count; ++k)
    {
        const PositionKey* key = msBone_GetPositionKeyAt(bone, k);
        out += k > 0 ? ", " : "";
        AppendKey(out, key->time, key->position);
    }
    out += "],\n      \"rotation_keys\": [";
    count = msBone_GetRotationKeyCount(bone);
    for (int32_t k = 0; k < count; ++k)
    {
        const RotationKey* key = msBone_GetRotationKeyAt(bone, k);
        out += k > 0 ? ", " : "";
        AppendKey(out, key->time, key->rotation);
    }
    out += "]\n    }";
}

} // namespace

void BuildStandInModel(ModelDescription& description, ModelHandle model)
{
    for (MeshDescription& mesh : description.meshes)
    {
        size_t vertex_count = mesh.positions.size() / 3;
        size_t triangle_count = mesh.corners.size() / 3;
        MeshHandle handle = StandIn_AddMesh(model, mesh.name.c_str());
        StandIn_ReserveMesh(handle, CountToInt32(vertex_count), CountToInt32(triangle_count));
        const float* p = mesh.positions.data();
        for (size_t v = 0; v < vertex_count; ++v, p += 3)
        {
            float u = mesh.uvs.empty() ? 0.0f : mesh.uvs[2 * v];
            float w = mesh.uvs.empty() ? 0.0f : mesh.uvs[2 * v + 1];
            int32_t bone = mesh.bone_indices.empty() ? -1 : mesh.bone_indices[v];
            StandIn_AddVertex(handle, p[0], p[1], p[2], u, w, bone);
        }
        const uint16_t* c = mesh.corners.data();
        for (size_t t = 0; t < triangle_count; ++t, c += 3)
            StandIn_AddTriangle(handle, c[0], c[1], c[2]);
        mesh = MeshDescription();
    }
    description.meshes.clear();
    description.meshes.shrink_to_fit();

    for (BoneDescription& bone : description.bones)
    {
        BoneHandle handle = StandIn_AddBone(model, bone.name.c_str(), bone.parent.c_str(),
                                            bone.position[0], bone.position[1], bone.position[2]);
        size_t position_keys = bone.position_keys.size() / 4;
        size_t rotation_keys = bone.rotation_keys.size() / 4;
        StandIn_ReserveKeys(handle, CountToInt32(position_keys), CountToInt32(rotation_keys));
        for (size_t k = 0; k < position_keys; ++k)
        {
            const float* key = &bone.position_keys[4 * k];
            StandIn_AddPositionKey(handle, key[0], key[1], key[2], key[3]);
        }
        for (size_t k = 0; k < rotation_keys; ++k)
        {
            const float* key = &bone.rotation_keys[4 * k];
            StandIn_AddRotationKey(handle, key[0], key[1], key[2], key[3]);
        }
        bone = BoneDescription();
    }
    description.bones.clear();
    description.bones.shrink_to_fit();
}

std::string ModelDescriptionJson(ModelHandle model)
{
    std::string out = "{\n  \"meshes\": [\n";
    int32_t mesh_count = msModel_GetMeshCount(model);
    for (int32_t m = 0; m < mesh_count; ++m)
    {
        AppendMesh(out, msModel_GetMeshAt(model, m));
        out += m + 1 < mesh_count ? ",\n" : "\n";
    }
    out += "  ],\n  \"bones\": [\n";
    int32_t bone_count = msModel_GetBoneCount(model);
    for (int32_t b = 0; b < bone_count; ++b)
    {
        AppendBone(out, msModel_GetBoneAt(model, b));
        out += b + 1 < bone_count ? ",\n" : "\n";
    }
    out += "  ]\n}\n";
    return out;
}

bool WriteModelDescription(ModelHandle model, const std::string& path, std::string& error)
{
    std::string text;
    try
    {
        text = ModelDescriptionJson(model);
    }
    catch (const std::bad_alloc&)
    {
        error = "cannot write " + path + ": out of memory";
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
    {
        error = "cannot write " + path;
        return false;
    }
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    bool closed = std::fclose(file) == 0;
    if (!written || !closed)
    {
        error = "cannot write " + path;
        std::remove(path.c_str());
        return false;
    }
    return true;
}
