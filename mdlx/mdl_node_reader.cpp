// The MDL reader's node blocks and cameras (mdl_read_context.h).
#include "mdl_read_context.h"

namespace mdlx
{

namespace
{

bool BoneKey(MdlReadContext& r, const std::string& key, Bone& b)
{
    if (key != "GeosetId" && key != "GeosetAnimId")
        return false;
    const size_t value_at = r.in.Skip();
    const std::string_view word = r.in.Word("an id");
    const bool geoset = key == "GeosetId";
    int32_t& field = geoset ? b.geoset_id : b.geoset_animation_id;
    if (word == (geoset ? "Multiple" : "None"))
    {
        field = -1;
    }
    else
    {
        r.in.Seek(value_at);
        field = r.I32();
    }
    return true;
}

bool LightKey(MdlReadContext& r, const std::string& key, Light& l)
{
    if (key == "Omnidirectional")
        l.type = 0;
    else if (key == "Directional")
        l.type = 1;
    else if (key == "Ambient")
        l.type = 2;
    else if (key == "static AttenuationStart")
        l.attenuation[0] = r.in.Float();
    else if (key == "static AttenuationEnd")
        l.attenuation[1] = r.in.Float();
    else if (key == "static Intensity")
        l.intensity = r.in.Float();
    else if (key == "static Color")
        r.Color(l.color);
    else if (key == "static AmbIntensity")
        l.ambient_intensity = r.in.Float();
    else if (key == "static AmbColor")
        r.Color(l.ambient_color);
    else
        return false;
    return true;
}

bool EmitterKey(MdlReadContext& r, const std::string& key, ParticleEmitter& e)
{
    if (key == "EmitterUsesMDL")
        e.node.flags |= kEmitterUsesMdl;
    else if (key == "EmitterUsesTGA")
        e.node.flags |= kEmitterUsesTga;
    else if (key == "static EmissionRate")
        e.emission_rate = r.in.Float();
    else if (key == "static Gravity")
        e.gravity = r.in.Float();
    else if (key == "static Longitude")
        e.longitude = r.in.Float();
    else if (key == "static Latitude")
        e.latitude = r.in.Float();
    else if (key == "Particle")
    {
        MdlReadContext::Scope scope(r.in, key);
        r.in.Open();
        size_t at = 0;
        for (std::string item; r.Key(item, at);)
        {
            if (item == "static LifeSpan")
                e.life_span = r.in.Float();
            else if (item == "static InitVelocity")
                e.speed = r.in.Float();
            else if (item == "Path")
                e.path = r.in.Text("a path");
            else if ((item != "LifeSpan" && item != "InitVelocity") ||
                     !r.TrackOf(TrackOwner::kParticleEmitter, item, e.node.tracks))
                r.Unknown(at, item);
        }
    }
    else if (key == "LifeSpan" || key == "InitVelocity")
        return false; // only inside Particle
    else
        return false;
    return true;
}

bool Emitter2Key(MdlReadContext& r, const std::string& key, ParticleEmitter2& e)
{
    static constexpr std::pair<const char*, uint32_t> kFlags[] = {
        {"SortPrimsFarZ", kEmitter2SortPrimsFarZ}, {"Unshaded", kEmitter2Unshaded},
        {"LineEmitter", kEmitter2LineEmitter},     {"Unfogged", kEmitter2Unfogged},
        {"ModelSpace", kEmitter2ModelSpace},       {"XYQuad", kEmitter2XYQuad}};
    static constexpr const char* kModes[] = {"Blend", "Additive", "Modulate", "Modulate2x",
                                             "AlphaKey"};
    static constexpr const char* kHeads[] = {"Head", "Tail", "Both"};
    for (const auto& [name, bit] : kFlags)
    {
        if (key == name)
        {
            e.node.flags |= bit;
            return true;
        }
    }
    for (uint32_t i = 0; i < 5; ++i)
    {
        if (key == kModes[i])
        {
            e.filter_mode = i;
            return true;
        }
    }
    for (uint32_t i = 0; i < 3; ++i)
    {
        if (key == kHeads[i])
        {
            e.head_or_tail = i;
            return true;
        }
    }
    if (key == "static Speed")
        e.speed = r.in.Float();
    else if (key == "static Variation")
        e.variation = r.in.Float();
    else if (key == "static Latitude")
        e.latitude = r.in.Float();
    else if (key == "static Gravity")
        e.gravity = r.in.Float();
    else if (key == "Squirt")
        e.squirt = 1;
    else if (key == "LifeSpan")
        e.life_span = r.in.Float();
    else if (key == "static EmissionRate")
        e.emission_rate = r.in.Float();
    else if (key == "static Width")
        e.width = r.in.Float();
    else if (key == "static Length")
        e.length = r.in.Float();
    else if (key == "Rows")
        e.rows = r.U32();
    else if (key == "Columns")
        e.columns = r.U32();
    else if (key == "TailLength")
        e.tail_length = r.in.Float();
    else if (key == "Time")
        e.time_middle = r.in.Float();
    else if (key == "SegmentColor")
    {
        MdlReadContext::Scope scope(r.in, key);
        r.in.Open();
        for (Vec3& color : e.segment_colors)
        {
            const size_t at = r.in.Skip();
            if (r.in.PeekChar() == '}' || r.in.Word("Color") != "Color")
                r.in.Fail(at, "three Color rows expected");
            r.Color(color);
        }
        r.in.Close();
    }
    else if (key == "Alpha")
        r.Vector(e.segment_alphas);
    else if (key == "ParticleScaling")
        r.Vector(e.segment_scaling);
    else if (key == "LifeSpanUVAnim")
        r.Vector(e.head_intervals[0]);
    else if (key == "DecayUVAnim")
        r.Vector(e.head_intervals[1]);
    else if (key == "TailUVAnim")
        r.Vector(e.tail_intervals[0]);
    else if (key == "TailDecayUVAnim")
        r.Vector(e.tail_intervals[1]);
    else if (key == "TextureID")
        e.texture_id = r.I32();
    else if (key == "ReplaceableId")
        e.replaceable_id = r.U32();
    else if (key == "PriorityPlane")
        e.priority_plane = r.I32();
    else
        return false;
    return true;
}

bool RibbonKey(MdlReadContext& r, const std::string& key, RibbonEmitter& e)
{
    if (key == "static HeightAbove")
        e.height_above = r.in.Float();
    else if (key == "static HeightBelow")
        e.height_below = r.in.Float();
    else if (key == "static Alpha")
        e.alpha = r.in.Float();
    else if (key == "static Color")
        r.Color(e.color);
    else if (key == "static TextureSlot")
        e.texture_slot = r.U32();
    else if (key == "EmissionRate")
        e.emission_rate = r.U32();
    else if (key == "LifeSpan")
        e.life_span = r.in.Float();
    else if (key == "Gravity")
        e.gravity = r.in.Float();
    else if (key == "Rows")
        e.rows = r.U32();
    else if (key == "Columns")
        e.columns = r.U32();
    else if (key == "MaterialID")
        e.material_id = r.I32();
    else
        return false;
    return true;
}

bool EventKey(MdlReadContext& r, const std::string& key, EventObject& e)
{
    if (key != "EventTrack")
        return false;
    MdlReadContext::Scope scope(r.in, key);
    const int64_t count = r.in.Integer(0, kU32Max);
    r.in.Open();
    const size_t after = r.in.Skip();
    if (r.in.PeekChar() != '}' && r.in.PeekChar() != '{' && r.in.PeekChar() != '"' &&
        r.in.Word("a frame") == "GlobalSeqId")
        e.global_sequence_id = r.I32();
    else
        r.in.Seek(after);
    e.event_frames.reserve(r.Reserve(count, 2));
    size_t extra_at = 0;
    while (r.in.PeekChar() != '}')
    {
        if (e.event_frames.size() == size_t(count))
            extra_at = r.in.Skip();
        e.event_frames.push_back(r.U32());
    }
    const size_t close_at = r.in.Skip();
    r.in.Close();
    r.CountCheck(count, e.event_frames.size(), close_at, extra_at, "frames");
    return true;
}

bool CollisionKey(MdlReadContext& r, const std::string& key, CollisionShape& c)
{
    static constexpr const char* kTypes[] = {"Box", "Plane", "Sphere", "Cylinder"};
    for (uint32_t i = 0; i < 4; ++i)
    {
        if (key == kTypes[i])
        {
            c.type = CollisionType(i);
            return true;
        }
    }
    if (key == "BoundsRadius")
    {
        c.bounds_radius = r.in.Float();
        return true;
    }
    if (key != "Vertices")
        return false;
    std::vector<float> rows;
    r.FloatRows("Vertices", rows, 3);
    if (rows.size() != 3 && rows.size() != 6)
        r.in.Fail(r.in.Offset() - 1, "Vertices: 1 or 2 rows expected");
    for (size_t i = 0; i < rows.size(); ++i)
        c.vertices[i / 3][i % 3] = rows[i];
    return true;
}

void ReadCamera(MdlReadContext& r)
{
    MdlReadContext::Scope scope(r.in, "Camera " + std::to_string(r.model.cameras.size()));
    r.model.cameras.emplace_back();
    Camera& c = r.model.cameras.back();
    c.name = r.in.Text("a name");
    r.in.Open();
    size_t at = 0;
    for (std::string key; r.Key(key, at);)
    {
        if (key == "Position")
            r.Vector(c.position);
        else if (key == "FieldOfView")
            c.field_of_view = r.in.Float();
        else if (key == "FarClip")
            c.far_clipping_plane = r.in.Float();
        else if (key == "NearClip")
            c.near_clipping_plane = r.in.Float();
        else if (key == "Target")
        {
            MdlReadContext::Scope target(r.in, key);
            r.in.Open();
            size_t inner_at = 0;
            for (std::string item; r.Key(item, inner_at);)
            {
                if (item == "Position")
                    r.Vector(c.target_position);
                else if (item == "Translation")
                    r.ReadTrack(c.tracks, Tag("KTTR"));
                else
                    r.Unknown(inner_at, item);
            }
        }
        else if (!r.TrackOf(TrackOwner::kCamera, key, c.tracks))
            r.Unknown(at, key);
    }
}

} // namespace

bool ReadMdlNodeBlock(MdlReadContext& r, const std::string& block)
{
    Model& m = r.model;
    auto none = [](MdlReadContext&, const std::string&, auto&) { return false; };
    if (block == "Bone")
        r.NodeBlock("Bone", m.bones, TrackOwner::kNode, BoneKey);
    else if (block == "Light")
        r.NodeBlock("Light", m.lights, TrackOwner::kLight, LightKey);
    else if (block == "Helper")
        r.NodeBlock("Helper", m.helpers, TrackOwner::kNode, none);
    else if (block == "Attachment")
        r.NodeBlock("Attachment", m.attachments, TrackOwner::kAttachment,
                    [](MdlReadContext& c, const std::string& key, Attachment& a)
                    {
                        if (key == "AttachmentID")
                            a.attachment_id = c.I32();
                        else if (key == "Path")
                            a.path = c.in.Text("a path");
                        else
                            return false;
                        return true;
                    });
    else if (block == "ParticleEmitter")
        r.NodeBlock("ParticleEmitter", m.particle_emitters, TrackOwner::kParticleEmitter,
                    EmitterKey);
    else if (block == "ParticleEmitter2")
        r.NodeBlock("ParticleEmitter2", m.particle_emitters2, TrackOwner::kParticleEmitter2,
                    Emitter2Key);
    else if (block == "RibbonEmitter")
        r.NodeBlock("RibbonEmitter", m.ribbon_emitters, TrackOwner::kRibbonEmitter, RibbonKey);
    else if (block == "EventObject")
        r.NodeBlock("EventObject", m.event_objects, TrackOwner::kNode, EventKey);
    else if (block == "CollisionShape")
        r.NodeBlock("CollisionShape", m.collision_shapes, TrackOwner::kNode, CollisionKey);
    else if (block == "Camera")
        ReadCamera(r);
    else
        return false;
    return true;
}

} // namespace mdlx
