#include "mdl_read_context.h"

namespace mdlx
{

void MdlReadContext::FloatRows(const char* name, std::vector<float>& out, size_t width)
{
    Scope scope(in, name);
    const int64_t count = in.Integer(0, kU32Max);
    in.Open();
    out.clear();
    out.reserve(Reserve(count, 2 * width + 2) * width);
    size_t rows = 0;
    size_t extra_at = 0;
    while (in.PeekChar() != '}')
    {
        if (rows == size_t(count))
            extra_at = in.Skip();
        in.Open();
        for (size_t c = 0; c < width; ++c)
            out.push_back(in.Float());
        in.Close();
        ++rows;
    }
    const size_t close_at = in.Skip();
    in.Close();
    CountCheck(count, rows, close_at, extra_at, "rows");
}

void MdlReadContext::ReadTrack(std::vector<mdlx::Track>& tracks, uint32_t tag)
{
    const TrackKind* kind = TrackKindOf(tag);
    Scope scope(in, kind->mdl_name);
    tracks.emplace_back();
    mdlx::Track& track = tracks.back();
    track.tag = tag;
    const int64_t count = in.Integer(0, kU32Max);
    in.Open();
    const size_t at = in.Skip();
    const std::string_view mode = in.Word("an interpolation");
    if (mode == "DontInterp")
        track.interpolation = Interpolation::kDontInterp;
    else if (mode == "Linear")
        track.interpolation = Interpolation::kLinear;
    else if (mode == "Hermite")
        track.interpolation = Interpolation::kHermite;
    else if (mode == "Bezier")
        track.interpolation = Interpolation::kBezier;
    else
        in.Fail(at, "unknown interpolation \"" + std::string(mode) + "\"");
    const size_t after = in.Skip();
    if (in.PeekChar() != '}' && in.PeekChar() != '"' && in.PeekChar() != '{' &&
        in.Word("a key") == "GlobalSeqId")
        track.global_sequence_id = I32();
    else
        in.Seek(after);
    const bool tangents = track.interpolation >= Interpolation::kHermite;
    const size_t width = kind->width;
    const size_t room = Reserve(count, 4 + 2 * width);
    track.frames.reserve(room);
    track.values.reserve(room * width);
    auto value = [&](std::vector<float>& out)
    {
        if (width == 1)
        {
            out.push_back(kind->integer ? float(in.Integer(0, 1 << 24)) : in.Float());
            return;
        }
        in.Open();
        for (size_t c = 0; c < width; ++c)
            out.push_back(in.Float());
        in.Close();
    };
    size_t extra_at = 0;
    while (in.PeekChar() != '}')
    {
        if (track.frames.size() == size_t(count))
            extra_at = in.Skip();
        track.frames.push_back(I32());
        value(track.values);
        if (tangents)
        {
            for (const char* name : {"InTan", "OutTan"})
            {
                const size_t word_at = in.Skip();
                if (in.Word(name) != name)
                    in.Fail(word_at, std::string(name) + " expected");
                value(name[0] == 'I' ? track.in_tans : track.out_tans);
            }
        }
    }
    const size_t close_at = in.Skip();
    in.Close();
    CountCheck(count, track.frames.size(), close_at, extra_at, "keys");
}

// A track keyword of `owner` (the node's three included for node owners).
bool MdlReadContext::TrackOf(TrackOwner owner, const std::string& key,
                             std::vector<mdlx::Track>& tracks)
{
    for (uint32_t tag : OwnTracks(owner))
    {
        if (tag != Tag("KTTR") && key == TrackKindOf(tag)->mdl_name)
        {
            ReadTrack(tracks, tag);
            return true;
        }
    }
    if (owner == TrackOwner::kLayer || owner == TrackOwner::kTextureAnimation ||
        owner == TrackOwner::kGeosetAnimation || owner == TrackOwner::kCamera)
        return false;
    for (uint32_t tag : {Tag("KGTR"), Tag("KGRT"), Tag("KGSC")})
    {
        if (key == TrackKindOf(tag)->mdl_name)
        {
            ReadTrack(tracks, tag);
            return true;
        }
    }
    return false;
}

// `Name COUNT { Item ... }`: the count must match the items.
bool MdlReadContext::ExtentKey(const std::string& key, Extent& extent)
{
    if (key == "MinimumExtent")
        Vector(extent.min);
    else if (key == "MaximumExtent")
        Vector(extent.max);
    else if (key == "BoundsRadius")
        extent.bounds_radius = in.Float();
    else
        return false;
    return true;
}

bool MdlReadContext::NodeKey(const std::string& key, Node& node, TrackOwner owner)
{
    if (key == "ObjectId")
        node.object_id = I32();
    else if (key == "Parent")
        node.parent_id = I32();
    else if (key == "BillboardedLockZ")
        node.flags |= kNodeBillboardedLockZ;
    else if (key == "BillboardedLockY")
        node.flags |= kNodeBillboardedLockY;
    else if (key == "BillboardedLockX")
        node.flags |= kNodeBillboardedLockX;
    else if (key == "Billboarded")
        node.flags |= kNodeBillboarded;
    else if (key == "CameraAnchored")
        node.flags |= kNodeCameraAnchored;
    else if (key == "DontInherit")
    {
        Scope scope(in, key);
        in.Open();
        size_t at = 0;
        for (std::string what; Key(what, at);)
        {
            if (what == "Rotation")
                node.flags |= kNodeDontInheritRotation;
            else if (what == "Translation")
                node.flags |= kNodeDontInheritTranslation;
            else if (what == "Scaling")
                node.flags |= kNodeDontInheritScaling;
            else
                Unknown(at, what);
        }
    }
    else
        return TrackOf(owner, key, node.tracks);
    return true;
}

} // namespace mdlx
