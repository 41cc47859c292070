#include "bone_writer.h"

#include "mdl_convert.h"
#include "mdl_print.h"

#include <cstring>

namespace
{

// Reads a name into a 32-byte buffer. Whatever the host leaves in it, the
// last byte is a terminator, so nothing reads past the buffer.
void ReadName(void (*get)(BoneHandle, char*, int32_t), BoneHandle bone, char* name)
{
    std::memset(name, 0, kNameBufferSize);
    get(bone, name, kNameBufferSize);
    name[kNameBufferSize - 1] = '\0';
}

uint32_t HashName(const char* name)
{
    uint32_t hash = 2166136261u;
    for (; *name != '\0'; ++name)
        hash = (hash ^ static_cast<unsigned char>(*name)) * 16777619u;
    return hash;
}

// Every bone's name, read once, and an open-addressing index from a name to
// the highest bone index bearing it: the same answer as comparing the parent
// name with every bone in turn and keeping the last match, without the scan
// growing with the square of the bone count.
struct BoneNames
{
    char* names = nullptr;    // bone_count names of kNameBufferSize bytes
    int32_t* slots = nullptr; // bone index or -1; slot_count is a power of two
    uint64_t slot_count = 0;

    const char* NameOf(int32_t bone) const
    {
        return names + static_cast<size_t>(bone) * kNameBufferSize;
    }
};

bool BuildBoneNames(MdlScratch& blocks, ModelHandle model, int32_t bone_count, BoneNames& index)
{
    // At least twice as many slots as bones, a power of two: at most 2^32,
    // counted in 64 bits so that no bone count can wrap it.
    uint64_t slot_count = 16;
    while (slot_count < 2 * static_cast<uint64_t>(bone_count))
        slot_count *= 2;
    index.names = blocks.Array<char>(static_cast<int64_t>(bone_count) * kNameBufferSize);
    index.slots = blocks.Array<int32_t>(static_cast<int64_t>(slot_count));
    if (index.names == nullptr || index.slots == nullptr)
        return false;
    index.slot_count = slot_count;
    std::memset(index.slots, 0xff, static_cast<size_t>(sizeof(int32_t) * slot_count));

    for (int32_t b = 0; b < bone_count; ++b)
    {
        char* name = index.names + static_cast<size_t>(b) * kNameBufferSize;
        ReadName(msBone_GetName, msModel_GetBoneAt(model, b), name);
        uint64_t slot = HashName(name) & (slot_count - 1);
        while (index.slots[slot] >= 0 && std::strcmp(index.NameOf(index.slots[slot]), name) != 0)
            slot = (slot + 1) & (slot_count - 1);
        index.slots[slot] = b; // a later bone of the same name wins
    }
    return true;
}

int32_t FindBone(const BoneNames& index, const char* name)
{
    uint64_t slot = HashName(name) & (index.slot_count - 1);
    while (index.slots[slot] >= 0)
    {
        if (std::strcmp(index.NameOf(index.slots[slot]), name) == 0)
            return index.slots[slot];
        slot = (slot + 1) & (index.slot_count - 1);
    }
    return -1;
}

void WriteTranslationTrack(MdlStream& out, BoneHandle bone)
{
    int32_t count = msBone_GetPositionKeyCount(bone);
    if (count <= 0)
        return;
    MdlPrint<"\tTranslation %d {\n\t\tLinear,\n">(out, count);
    for (int32_t k = 0; k < count; ++k)
    {
        const PositionKey* key = msBone_GetPositionKeyAt(bone, k);
        PositionKey value = key ? *key : PositionKey{0.0f, {0.0f, 0.0f, 0.0f}};
        MdlAxes a = ToMdlAxes(value.position);
        MdlPrint<"\t\t%d: { %f, %f, %f },\n">(out, FrameToMdlTime(value.time), a.first, a.second,
                                              a.third);
    }
    MdlPrint<"\t}\n">(out);
}

void WriteRotationTrack(MdlStream& out, BoneHandle bone)
{
    int32_t count = msBone_GetRotationKeyCount(bone);
    if (count <= 0)
        return;
    MdlPrint<"\tRotation %d {\n\t\tLinear,\n">(out, count);
    // A block of keys at a time, so that their quaternions are computed
    // together.
    float times[kRotationKeyBlock];
    Vec3 rotations[kRotationKeyBlock];
    MdlQuaternion quaternions[kRotationKeyBlock];
    ForEachRotationKeyBlock(
        count,
        [&](int32_t first, int32_t n)
        {
            for (int32_t k = 0; k < n; ++k)
            {
                const RotationKey* key = msBone_GetRotationKeyAt(bone, first + k);
                const RotationKey value = key ? *key : RotationKey{0.0f, {0.0f, 0.0f, 0.0f}};
                times[k] = value.time;
                rotations[k] = value.rotation;
            }
            EulerToMdlQuaternions(rotations, quaternions, n);
            for (int32_t k = 0; k < n; ++k)
            {
                const MdlQuaternion& q = quaternions[k];
                MdlPrint<"\t\t%d: { %f, %f, %f, %f },\n">(out, FrameToMdlTime(times[k]), q.first,
                                                          q.second, q.third, q.fourth);
            }
        });
    MdlPrint<"\t}\n">(out);
}

} // namespace

void WriteBones(MdlStream& out, ModelHandle model, ParentTable table)
{
    int32_t bone_count = table.count;
    int32_t* parent_table = table.parents;
    if (bone_count <= 0)
        return;
    BoneNames index;
    MdlScratch blocks = MdlScratchOf(out);
    if (BuildBoneNames(blocks, model, bone_count, index))
    {
        for (int32_t r = 0; r < bone_count; ++r)
        {
            BoneHandle bone = msModel_GetBoneAt(model, r);
            MdlPrint<"Bone \"%s\" {\n">(out, index.NameOf(r));
            MdlPrint<"\tObjectId %d,\n">(out, r);

            char parent_name[kNameBufferSize];
            ReadName(msBone_GetParentName, bone, parent_name);
            int32_t parent = FindBone(index, parent_name);
            if (parent > -1)
                parent_table[r] = parent;
            if (parent_table[r] > -1)
                MdlPrint<"\tParent %d,\n">(out, parent_table[r]);

            MdlPrint<"\tGeosetId Multiple,\n\tGeosetAnimId None,\n">(out);
            WriteTranslationTrack(out, bone);
            WriteRotationTrack(out, bone);
            MdlPrint<"}\n">(out);
        }
    }
}
