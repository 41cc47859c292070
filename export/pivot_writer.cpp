#include "pivot_writer.h"

#include "mdl_convert.h"
#include "mdl_print.h"

void WritePivotPoints(MdlStream& out, ModelHandle model, ParentTable table)
{
    int32_t bone_count = table.count;
    const int32_t* parent_table = table.parents;
    MdlPrint<"\nPivotPoints %d {\n">(out, bone_count);
    if (bone_count > 0)
    {
        // Each bone's offset, read once; and for each bone the last walk that
        // passed it, so that a loop of parents is seen in constant time.
        MdlScratch blocks = MdlScratchOf(out);
        auto* offsets = blocks.Array<Vec3>(bone_count);
        auto* seen_on_walk = blocks.Array<int32_t>(bone_count);
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
    }
    MdlPrint<"}">(out);
}
