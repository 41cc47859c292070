#include "hostile_model.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <unordered_map>

// A name as the host keeps it.
struct HostileName
{
    enum class Kind
    {
        Terminated,
        SameAs,
        Raw,
        Untouched
    };
    Kind kind = Kind::Terminated;
    std::string bytes;
    uint32_t same_as = 0;
};

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
    int32_t vertex_count = 0;
    int32_t triangle_count = 0;
    int32_t last_vertex_count = 0; // what the export was last told
    int32_t last_triangle_count = 0;
    std::vector<HostVertex> vertices;
    std::vector<HostTriangle> triangles;
};

struct HostBone
{
    HostileName name;
    HostileName parent_name;
    Vec3 position{0.0f, 0.0f, 0.0f};
    int32_t position_key_count = 0;
    int32_t rotation_key_count = 0;
    int32_t last_position_key_count = 0;
    int32_t last_rotation_key_count = 0;
    uint32_t null_every = 0;
    std::vector<PositionKey> position_keys;
    std::vector<RotationKey> rotation_keys;
};

struct HostModel
{
    int32_t mesh_count = 0;
    int32_t bone_count = 0;
    int32_t last_mesh_count = 0;
    int32_t last_bone_count = 0;
    std::vector<std::unique_ptr<HostMesh>> meshes;
    std::vector<std::unique_ptr<HostBone>> bones;
    std::vector<int8_t> wobble; // added to counts in turn, when counts are unstable
    size_t wobble_at = 0;
    HostileRecord record;
};

namespace
{

HostModel* g_model = nullptr; // the one model the library serves

float FloatFromBits(uint32_t bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Values that a random bit pattern rarely hits: non-finite numbers,
// subnormals, the extremes, key times on either side of the int32
// saturation of milliseconds, and halves at the sixth decimal.
constexpr uint32_t kSpecialFloatBits[kHostileSpecialFloats] = {
    0x00000000, // 0
    0x80000000, // -0
    0x3f800000, // 1
    0xbf800000, // -1
    0x7fc00000, // NaN
    0xffc00000, // NaN with the sign bit
    0x7f800001, // signalling NaN
    0x7f800000, // +infinity
    0xff800000, // -infinity
    0x7f7fffff, // largest finite
    0xff7fffff, // its negative
    0x00000001, // smallest subnormal
    0x80000001, // its negative
    0x007fffff, // largest subnormal
    0x00800000, // smallest normal
    0x3f000000, // 0.5
    0x4c44e6a6, // 51550872 frames: past INT32_MAX milliseconds
    0xcc44e6a6, // and past INT32_MIN
    0x4c449ba6, // 51539608 frames: 2147483666 ms, just past the limit
    0x33d6bf95, // 1e-7: rounds to zero at six decimals
    0xb3d6bf95, // -1e-7: "-0.000000"
    0x350637bd, // 5e-7: the rounding boundary of the sixth decimal
    0x40490fdb, // pi
    0x7149f2ca, // 1e30
};

class Reader
{
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t U8()
    {
        return at_ < size_ ? data_[at_++] : 0;
    }
    uint16_t U16()
    {
        uint16_t low = U8();
        return static_cast<uint16_t>(low | (U8() << 8));
    }
    uint32_t U32()
    {
        uint32_t low = U16();
        return low | (static_cast<uint32_t>(U16()) << 16);
    }
    float Float()
    {
        uint8_t tag = U8();
        if (tag < kHostileSpecialFloats)
            return FloatFromBits(kSpecialFloatBits[tag]);
        return FloatFromBits(U32());
    }
    std::string Bytes(size_t count)
    {
        std::string bytes(count, '\0');
        for (char& c : bytes)
            c = static_cast<char>(U8());
        return bytes;
    }

    // A count as the host reports it. Positive counts take from `budget` and
    // stop at what it has left; a huge one is kept only where `allow_huge`.
    int32_t Count(int32_t& budget, bool allow_huge)
    {
        uint8_t tag = U8();
        int64_t value = tag;
        if (tag == 0xff)
            return std::numeric_limits<int32_t>::min();
        if (tag == 0xfe)
            return -1;
        if (tag == 0xfd)
            return static_cast<int32_t>(U32() | 0x80000000u);
        if (tag == 0xfc || tag == 0xfb)
        {
            value = tag == 0xfc ? (int64_t{1} << 30) + U16()
                                : int64_t{(U32() | 0x08000000u) & 0x7fffffffu};
            if (allow_huge)
                return static_cast<int32_t>(value);
        }
        else if (tag >= 0xf0)
            value = U16();
        int32_t count = static_cast<int32_t>(
            std::min<int64_t>({value, int64_t{kHostileMaxPerCount}, int64_t{budget}}));
        budget -= count;
        return count;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

HostileName ReadName(Reader& in)
{
    HostileName name;
    uint8_t tag = in.U8();
    switch (tag >> 6)
    {
    case 0:
        name.kind = HostileName::Kind::Terminated;
        name.bytes = in.Bytes(tag & 63u);
        break;
    case 1:
        name.kind = HostileName::Kind::SameAs;
        name.same_as = in.U16();
        break;
    case 2:
        name.kind = HostileName::Kind::Raw;
        name.bytes = in.Bytes(kNameBufferSize);
        break;
    default:
        name.kind = HostileName::Kind::Untouched;
        break;
    }
    return name;
}

// The name that bone `index` bears once references are followed; a chain of
// references that never reaches a name of its own ends in "".
HostileName ResolveName(const std::vector<std::unique_ptr<HostBone>>& bones, size_t index)
{
    for (size_t step = 0; step <= bones.size(); ++step)
    {
        const HostileName& name = bones[index]->name;
        if (name.kind != HostileName::Kind::SameAs)
            return name;
        index = name.same_as % bones.size();
    }
    return HostileName{};
}

void ResolveNames(HostModel& model)
{
    auto& bones = model.bones;
    if (bones.empty())
        return;
    std::vector<HostileName> names;
    for (size_t b = 0; b < bones.size(); ++b)
        names.push_back(ResolveName(bones, b));
    for (size_t b = 0; b < bones.size(); ++b)
    {
        bones[b]->name = names[b];
        HostileName& parent = bones[b]->parent_name;
        if (parent.kind == HostileName::Kind::SameAs)
            parent = names[parent.same_as % bones.size()];
    }
}

void ReadMesh(Reader& in, HostMesh& mesh, int32_t& vertex_budget, int32_t& triangle_budget)
{
    // The Geoset's scratch block is allocated before its first loop: a huge
    // vertex count meets a refusal (or, in a 32-bit module, a size that wraps)
    // at once.
    mesh.vertex_count = in.Count(vertex_budget, true);
    mesh.triangle_count = in.Count(triangle_budget, false);
    for (uint8_t n = in.U8(); n > 0; --n)
    {
        HostVertex vertex;
        vertex.position.x = in.Float();
        vertex.position.y = in.Float();
        vertex.position.z = in.Float();
        vertex.uv.u = in.Float();
        vertex.uv.v = in.Float();
        vertex.bone_index = static_cast<int32_t>(in.U32());
        mesh.vertices.push_back(vertex);
    }
    for (uint8_t n = in.U8(); n > 0; --n)
    {
        HostTriangle triangle;
        for (uint16_t& corner : triangle.corners.corner)
            corner = in.U16();
        mesh.triangles.push_back(triangle);
    }
}

void ReadBone(Reader& in, HostBone& bone, int32_t& key_budget)
{
    bone.name = ReadName(in);
    bone.parent_name = ReadName(in);
    bone.position.x = in.Float();
    bone.position.y = in.Float();
    bone.position.z = in.Float();
    bone.position_key_count = in.Count(key_budget, false);
    bone.rotation_key_count = in.Count(key_budget, false);
    bone.null_every = in.U8();
    for (uint8_t n = in.U8(); n > 0; --n)
    {
        PositionKey key;
        key.time = in.Float();
        key.position.x = in.Float();
        key.position.y = in.Float();
        key.position.z = in.Float();
        bone.position_keys.push_back(key);
    }
    for (uint8_t n = in.U8(); n > 0; --n)
    {
        RotationKey key;
        key.time = in.Float();
        key.rotation.x = in.Float();
        key.rotation.y = in.Float();
        key.rotation.z = in.Float();
        bone.rotation_keys.push_back(key);
    }
}

// Every call goes through here: counts it, and notes a call after the model
// was destroyed.
HostModel* Enter()
{
    HostModel* model = g_model;
    if (model == nullptr)
        return nullptr;
    ++model->record.calls;
    if (model->record.destroy_count > 0 && model->record.first_violation.empty())
        model->record.first_violation = "a call after msModel_Destroy";
    return model;
}

void Violation(const char* what, int32_t index, int32_t count)
{
    HostModel* model = g_model;
    if (model == nullptr || !model->record.first_violation.empty())
        return;
    model->record.first_violation = std::string(what) + ": index " + std::to_string(index) +
                                    " of a count of " + std::to_string(count);
}

// The count as this call reports it, and remembered as the last one told.
int32_t Report(int32_t count, int32_t& last)
{
    HostModel* model = g_model;
    int64_t value = count;
    if (model != nullptr && !model->wobble.empty())
        value += model->wobble[model->wobble_at++ % model->wobble.size()];
    value = std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                std::numeric_limits<int32_t>::max());
    last = static_cast<int32_t>(value);
    return last;
}

void CheckIndex(const char* what, int32_t index, int32_t count)
{
    if (index < 0 || index >= count)
        Violation(what, index, count);
}

// Record `index` of a list that repeats; null when the list is empty.
template <typename T> T* Cycled(std::vector<T>& items, int32_t index)
{
    if (items.empty())
        return nullptr;
    return &items[static_cast<uint32_t>(index) % items.size()];
}

template <typename T> T* ItemAt(std::vector<std::unique_ptr<T>>& items, int32_t index)
{
    if (index < 0 || static_cast<size_t>(index) >= items.size())
        return nullptr;
    return items[static_cast<size_t>(index)].get();
}

// Writes `name` into a caller's buffer of `size` bytes as this host does:
// a terminated name cut to size-1 bytes, raw bytes without a terminator, or
// nothing at all.
void FillName(const HostileName& name, char* out, int32_t size)
{
    if (out == nullptr || size <= 0)
        return;
    size_t room = static_cast<size_t>(size);
    switch (name.kind)
    {
    case HostileName::Kind::Terminated:
    case HostileName::Kind::SameAs:
    {
        size_t length = std::min(name.bytes.size(), room - 1);
        std::memcpy(out, name.bytes.data(), length);
        out[length] = '\0';
        break;
    }
    case HostileName::Kind::Raw:
        std::memcpy(out, name.bytes.data(), std::min(name.bytes.size(), room));
        break;
    case HostileName::Kind::Untouched:
        break;
    }
}

// The name as the export holds it: a zeroed 32-byte buffer filled by the host,
// its last byte forced to a terminator.
std::string HeldName(const HostileName& name)
{
    char buffer[kNameBufferSize] = {};
    FillName(name, buffer, kNameBufferSize);
    buffer[kNameBufferSize - 1] = '\0';
    return std::string(buffer);
}

} // namespace

ModelHandle HostileModel_Decode(const uint8_t* data, size_t size, const HostileOptions& options,
                                HostileRun& run)
{
    Reader in(data, size);
    auto model = std::make_unique<HostModel>();
    run = HostileRun{};
    uint8_t flags = in.U8();
    run.dialog_cancels = (flags & 1u) != 0;
    run.open_fails = (flags & 2u) != 0;
    run.disk_fills = (flags & 4u) != 0;
    run.close_fails = (flags & 8u) != 0;
    run.refuses_allocation = (flags & 16u) != 0;
    if (run.disk_fills)
        run.write_budget = in.U32() % (1u << 20);
    if (run.refuses_allocation)
        run.refused_allocation = in.U8();
    if ((flags & 32u) != 0)
    {
        for (uint8_t n = in.U8(); n > 0; --n)
        {
            auto delta = static_cast<int8_t>(in.U8());
            if (options.unstable_counts)
                model->wobble.push_back(delta);
        }
    }

    run.counts_change = !model->wobble.empty();

    int32_t mesh_budget = kHostileMaxMeshes;
    int32_t vertex_budget = kHostileMaxVertices;
    int32_t triangle_budget = kHostileMaxTriangles;
    model->mesh_count = in.Count(mesh_budget, false);
    for (int32_t m = 0; m < model->mesh_count; ++m)
    {
        auto mesh = std::make_unique<HostMesh>();
        ReadMesh(in, *mesh, vertex_budget, triangle_budget);
        model->meshes.push_back(std::move(mesh));
    }

    int32_t bone_budget = kHostileMaxBones;
    int32_t key_budget = kHostileMaxKeys;
    // A huge bone count is kept only where the export stops before its
    // loops: with no mesh. Counts that change between calls can tell the
    // export of a mesh all the same, and then it would walk them all.
    model->bone_count = in.Count(bone_budget, model->mesh_count <= 0 && model->wobble.empty());
    int32_t bones_held = std::min(model->bone_count, kHostileMaxBones);
    for (int32_t b = 0; b < bones_held; ++b)
    {
        auto bone = std::make_unique<HostBone>();
        ReadBone(in, *bone, key_budget);
        model->bones.push_back(std::move(bone));
    }
    ResolveNames(*model);

    g_model = model.release();
    return g_model;
}

void HostileModel_Free(ModelHandle model)
{
    if (model == g_model)
        g_model = nullptr;
    delete model;
}

const HostileRecord& HostileModel_Record(ModelHandle model)
{
    return model->record;
}

HostileExpectations HostileModel_Expect(ModelHandle model)
{
    HostileExpectations expect;
    expect.mesh_count = model->mesh_count;
    expect.bone_count = model->bone_count;
    for (const auto& mesh : model->meshes)
    {
        HostileMeshExpectations& seen = expect.meshes.emplace_back();
        seen.vertex_count = mesh->vertex_count;
        seen.triangle_count = mesh->triangle_count;
        if (mesh->vertex_count > kHostileMaxPerCount)
            continue; // a huge count: no run of the fuzz target completes it
        for (int32_t v = 0; v < mesh->vertex_count; ++v)
        {
            const HostVertex* vertex = Cycled(mesh->vertices, v);
            seen.bone_indices.push_back(vertex ? vertex->bone_index
                                               : std::numeric_limits<int32_t>::min());
        }
        for (int32_t t = 0; t < mesh->triangle_count; ++t)
        {
            const HostTriangle* triangle = Cycled(mesh->triangles, t);
            seen.corners.push_back(triangle ? triangle->corners : VertexIndexTriple{{0, 0, 0}});
        }
    }
    if (model->bone_count > kHostileMaxBones)
        return expect;
    std::unordered_map<std::string, int32_t> last_bearer;
    for (const auto& bone : model->bones)
    {
        HostileBoneExpectations& seen = expect.bones.emplace_back();
        seen.name = HeldName(bone->name);
        seen.position_key_count = bone->position_key_count;
        seen.rotation_key_count = bone->rotation_key_count;
        last_bearer[seen.name] = static_cast<int32_t>(expect.bones.size() - 1);
    }
    for (size_t b = 0; b < expect.bones.size(); ++b)
    {
        auto found = last_bearer.find(HeldName(model->bones[b]->parent_name));
        expect.bones[b].parent = found == last_bearer.end() ? -1 : found->second;
    }
    return expect;
}

extern "C"
{

    int32_t msModel_GetMeshCount(ModelHandle model)
    {
        if (Enter() == nullptr || model == nullptr)
            return 0;
        return Report(model->mesh_count, model->last_mesh_count);
    }

    MeshHandle msModel_GetMeshAt(ModelHandle model, int32_t index)
    {
        if (Enter() == nullptr || model == nullptr)
            return nullptr;
        CheckIndex("msModel_GetMeshAt", index, model->last_mesh_count);
        return ItemAt(model->meshes, index);
    }

    int32_t msMesh_GetVertexCount(MeshHandle mesh)
    {
        if (Enter() == nullptr || mesh == nullptr)
            return 0;
        return Report(mesh->vertex_count, mesh->last_vertex_count);
    }

    VertexHandle msMesh_GetVertexAt(MeshHandle mesh, int32_t index)
    {
        if (Enter() == nullptr || mesh == nullptr)
            return nullptr;
        CheckIndex("msMesh_GetVertexAt", index, mesh->last_vertex_count);
        return Cycled(mesh->vertices, index);
    }

    void msVertex_GetVertex(VertexHandle vertex, Vec3* position)
    {
        if (Enter() != nullptr && vertex != nullptr && position != nullptr)
            *position = vertex->position;
    }

    void msVertex_GetTexCoords(VertexHandle vertex, Vec2* uv)
    {
        if (Enter() != nullptr && vertex != nullptr && uv != nullptr)
            *uv = vertex->uv;
    }

    int32_t msVertex_GetBoneIndex(VertexHandle vertex)
    {
        if (Enter() == nullptr || vertex == nullptr)
            return std::numeric_limits<int32_t>::min();
        return vertex->bone_index;
    }

    int32_t msMesh_GetTriangleCount(MeshHandle mesh)
    {
        if (Enter() == nullptr || mesh == nullptr)
            return 0;
        return Report(mesh->triangle_count, mesh->last_triangle_count);
    }

    TriangleHandle msMesh_GetTriangleAt(MeshHandle mesh, int32_t index)
    {
        if (Enter() == nullptr || mesh == nullptr)
            return nullptr;
        CheckIndex("msMesh_GetTriangleAt", index, mesh->last_triangle_count);
        return Cycled(mesh->triangles, index);
    }

    void msTriangle_GetVertexIndices(TriangleHandle triangle, VertexIndexTriple* corners)
    {
        if (Enter() != nullptr && triangle != nullptr && corners != nullptr)
            *corners = triangle->corners;
    }

    int32_t msModel_GetBoneCount(ModelHandle model)
    {
        if (Enter() == nullptr || model == nullptr)
            return 0;
        return Report(model->bone_count, model->last_bone_count);
    }

    BoneHandle msModel_GetBoneAt(ModelHandle model, int32_t index)
    {
        if (Enter() == nullptr || model == nullptr)
            return nullptr;
        CheckIndex("msModel_GetBoneAt", index, model->last_bone_count);
        return ItemAt(model->bones, index);
    }

    void msBone_GetName(BoneHandle bone, char* name, int32_t size)
    {
        if (Enter() != nullptr && bone != nullptr)
            FillName(bone->name, name, size);
    }

    void msBone_GetParentName(BoneHandle bone, char* name, int32_t size)
    {
        if (Enter() != nullptr && bone != nullptr)
            FillName(bone->parent_name, name, size);
    }

    void msBone_GetPosition(BoneHandle bone, Vec3* position)
    {
        if (Enter() != nullptr && bone != nullptr && position != nullptr)
            *position = bone->position;
    }

    int32_t msBone_GetPositionKeyCount(BoneHandle bone)
    {
        if (Enter() == nullptr || bone == nullptr)
            return 0;
        return Report(bone->position_key_count, bone->last_position_key_count);
    }

    PositionKey* msBone_GetPositionKeyAt(BoneHandle bone, int32_t index)
    {
        if (Enter() == nullptr || bone == nullptr)
            return nullptr;
        CheckIndex("msBone_GetPositionKeyAt", index, bone->last_position_key_count);
        if (bone->null_every > 0 &&
            static_cast<uint32_t>(index) % bone->null_every == bone->null_every - 1)
            return nullptr;
        return Cycled(bone->position_keys, index);
    }

    int32_t msBone_GetRotationKeyCount(BoneHandle bone)
    {
        if (Enter() == nullptr || bone == nullptr)
            return 0;
        return Report(bone->rotation_key_count, bone->last_rotation_key_count);
    }

    RotationKey* msBone_GetRotationKeyAt(BoneHandle bone, int32_t index)
    {
        if (Enter() == nullptr || bone == nullptr)
            return nullptr;
        CheckIndex("msBone_GetRotationKeyAt", index, bone->last_rotation_key_count);
        if (bone->null_every > 0 &&
            static_cast<uint32_t>(index) % bone->null_every == bone->null_every - 1)
            return nullptr;
        return Cycled(bone->rotation_keys, index);
    }

    void msModel_Destroy(ModelHandle model)
    {
        if (Enter() == nullptr || model == nullptr)
            return;
        ++model->record.destroy_count;
    }

} // extern "C"
