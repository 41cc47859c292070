#include "pivot_writer.h"

#include "mdl_convert.h"

void WritePivotPoints(MdlStream& out, ModelHandle model, ParentTable table)
{
    int32_t bone_count = table.count;
    const int32_t* parent_table = table.parents;
    MdlPrint<"\nPivotPoints %d {\n">(out, bone_count);
    if (bone_count > 0)
    {
        // Each bone's offset, read once; and for each bone the last walk that
        // passed it, so that a loop of parents is seen in constant time.
        auto* offsets = static_cast<Vec3*>(MdlAllocateArray(out, bone_count, sizeof(Vec3)));
        auto* seen_on_walk =
            static_cast<int32_t*>(MdlAllocateArray(out, bone_count, sizeof(int32_t)));
        if (offsets != nullptr && seen_on_walk != nullptr)
        {
            for (int32_t b = 0; b < bone_count; ++b)
            {
                offsets[b] = Vec3{0.0f, 0.0f, 0.0f};
                msBone_GetPosition(msModel_GetBoneAt(model, b), &offsets[b]);
                seen_on_walk[b] = -1;
            }
            for (int32_t p = 0; p < bone_count; ++p)
            {
                Vec3 sum = offsets[p];
                seen_on_walk[p] = p;
                for (int32_t q = parent_table[p]; q > -1 && seen_on_walk[q] != p;
                     q = parent_table[q])
                {
                    seen_on_walk[q] = p;
                    sum.x = sum.x + offsets[q].x;
                    sum.y = sum.y + offsets[q].y;
                    sum.z = sum.z + offsets[q].z;
                }
                MdlAxes a = ToMdlAxes(sum);
                MdlPrint<"\t{ %f, %f, %f },\n">(out, a.first, a.second, a.third);
            }
        }
        MdlRelease(out, seen_on_walk);
        MdlRelease(out, offsets);
    }
    MdlPrint<"}">(out);
}
