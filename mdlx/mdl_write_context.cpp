#include "mdl_write_context.h"

#include "track_kinds.h"

#include <bit>

namespace mdlx
{

bool NonZero(float value)
{
    return std::bit_cast<uint32_t>(value) != 0;
}
bool NonZero(const Vec3& v)
{
    return NonZero(v[0]) || NonZero(v[1]) || NonZero(v[2]);
}

void WriteExtent(Writer& w, const Extent& extent)
{
    if (NonZero(extent.min))
        w.Start().Put("MinimumExtent ").Values(extent.min).End();
    if (NonZero(extent.max))
        w.Start().Put("MaximumExtent ").Values(extent.max).End();
    if (NonZero(extent.bounds_radius))
        w.Field("BoundsRadius", extent.bounds_radius);
}

void WriteTrack(Writer& w, const Track& track)
{
    static constexpr const char* kModes[] = {"DontInterp", "Linear", "Hermite", "Bezier"};
    const TrackKind* kind = TrackKindOf(track.tag);
    const size_t width = kind->width;
    w.Start().Put(kind->mdl_name).Put(" ").Int(int64_t(track.frames.size())).End(" {");
    ++w.depth_;
    w.Flag(kModes[uint32_t(track.interpolation)]);
    if (track.global_sequence_id != -1)
        w.IntField("GlobalSeqId", track.global_sequence_id);
    const bool tangents = track.interpolation >= Interpolation::kHermite;
    auto value = [&](const float* v)
    {
        if (width == 1 && kind->integer)
            w.Int(int64_t(v[0]));
        else if (width == 1)
            w.Float(v[0]);
        else
            w.Values(v, width);
        w.End();
    };
    for (size_t i = 0; i < track.frames.size(); ++i)
    {
        w.Start().Int(track.frames[i]).Put(": ");
        value(&track.values[i * width]);
        if (tangents)
        {
            ++w.depth_;
            w.Start().Put("InTan ");
            value(&track.in_tans[i * width]);
            w.Start().Put("OutTan ");
            value(&track.out_tans[i * width]);
            --w.depth_;
        }
    }
    w.Close();
}

void WriteTracks(Writer& w, const std::vector<Track>& tracks)
{
    WriteTracks(w, tracks, [](uint32_t) { return false; });
}

void WriteNodeHeader(Writer& w, const Node& node)
{
    w.IntField("ObjectId", node.object_id);
    if (node.parent_id != -1)
        w.IntField("Parent", node.parent_id);
    static constexpr std::pair<uint32_t, const char*> kFlags[] = {
        {kNodeBillboardedLockZ, "BillboardedLockZ"},
        {kNodeBillboardedLockY, "BillboardedLockY"},
        {kNodeBillboardedLockX, "BillboardedLockX"},
        {kNodeBillboarded, "Billboarded"},
        {kNodeCameraAnchored, "CameraAnchored"},
        {kNodeDontInheritRotation, "DontInherit { Rotation }"},
        {kNodeDontInheritTranslation, "DontInherit { Translation }"},
        {kNodeDontInheritScaling, "DontInherit { Scaling }"}};
    for (const auto& [bit, name] : kFlags)
    {
        if (node.flags & bit)
            w.Flag(name);
    }
}

void OpenNode(Writer& w, const char* block, const Node& node)
{
    w.Start().Put(block).Put(" ").Quoted(node.name).End(" {");
    ++w.depth_;
    WriteNodeHeader(w, node);
}

} // namespace mdlx
