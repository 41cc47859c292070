// The MDL writer's node blocks, pivot points and cameras (mdl_write_context.h).
#include "mdl_write_context.h"

namespace mdlx
{

namespace
{

void WriteEmitter(Writer& w, const ParticleEmitter& e)
{
    OpenNode(w, "ParticleEmitter", e.node);
    if (e.node.flags & kEmitterUsesMdl)
        w.Flag("EmitterUsesMDL");
    if (e.node.flags & kEmitterUsesTga)
        w.Flag("EmitterUsesTGA");
    w.Field("static EmissionRate", e.emission_rate);
    w.Field("static Gravity", e.gravity);
    w.Field("static Longitude", e.longitude);
    w.Field("static Latitude", e.latitude);
    auto in_particle = [](uint32_t tag) { return tag == Tag("KPEL") || tag == Tag("KPES"); };
    WriteTracks(w, e.node.tracks, in_particle);
    w.Open("Particle");
    w.Field("static LifeSpan", e.life_span);
    w.Field("static InitVelocity", e.speed);
    if (!e.path.empty())
        w.Start().Put("Path ").Quoted(e.path).End();
    WriteTracks(w, e.node.tracks, [&](uint32_t tag) { return !in_particle(tag); });
    w.Close();
    w.Close();
}

void WriteEmitter2(Writer& w, const ParticleEmitter2& e)
{
    static constexpr std::pair<uint32_t, const char*> kFlags[] = {
        {kEmitter2SortPrimsFarZ, "SortPrimsFarZ"}, {kEmitter2Unshaded, "Unshaded"},
        {kEmitter2LineEmitter, "LineEmitter"},     {kEmitter2Unfogged, "Unfogged"},
        {kEmitter2ModelSpace, "ModelSpace"},       {kEmitter2XYQuad, "XYQuad"}};
    static constexpr const char* kModes[] = {"Blend", "Additive", "Modulate", "Modulate2x",
                                             "AlphaKey"};
    static constexpr const char* kHeads[] = {"Head", "Tail", "Both"};
    OpenNode(w, "ParticleEmitter2", e.node);
    for (const auto& [bit, name] : kFlags)
    {
        if (e.node.flags & bit)
            w.Flag(name);
    }
    w.Field("static Speed", e.speed);
    w.Field("static Variation", e.variation);
    w.Field("static Latitude", e.latitude);
    w.Field("static Gravity", e.gravity);
    if (e.squirt)
        w.Flag("Squirt");
    w.Field("LifeSpan", e.life_span);
    w.Field("static EmissionRate", e.emission_rate);
    w.Field("static Width", e.width);
    w.Field("static Length", e.length);
    w.Flag(kModes[e.filter_mode]);
    w.IntField("Rows", e.rows);
    w.IntField("Columns", e.columns);
    w.Flag(kHeads[e.head_or_tail]);
    w.Field("TailLength", e.tail_length);
    w.Field("Time", e.time_middle);
    w.Open("SegmentColor");
    for (const Vec3& color : e.segment_colors)
        w.Start().Put("Color ").Rgb(color).End();
    w.Close();
    w.Start().Put("Alpha ").Values(e.segment_alphas).End();
    w.Start().Put("ParticleScaling ").Values(e.segment_scaling).End();
    w.Start().Put("LifeSpanUVAnim ").Values(e.head_intervals[0]).End();
    w.Start().Put("DecayUVAnim ").Values(e.head_intervals[1]).End();
    w.Start().Put("TailUVAnim ").Values(e.tail_intervals[0]).End();
    w.Start().Put("TailDecayUVAnim ").Values(e.tail_intervals[1]).End();
    w.IntField("TextureID", e.texture_id);
    if (e.replaceable_id != 0)
        w.IntField("ReplaceableId", e.replaceable_id);
    if (e.priority_plane != 0)
        w.IntField("PriorityPlane", e.priority_plane);
    WriteTracks(w, e.node.tracks);
    w.Close();
}

} // namespace

void WriteMdlNodes(Writer& w, const Model& m)
{
    for (const Bone& b : m.bones)
    {
        OpenNode(w, "Bone", b.node);
        if (b.geoset_id == -1)
            w.Flag("GeosetId Multiple");
        else
            w.IntField("GeosetId", b.geoset_id);
        if (b.geoset_animation_id == -1)
            w.Flag("GeosetAnimId None");
        else
            w.IntField("GeosetAnimId", b.geoset_animation_id);
        WriteTracks(w, b.node.tracks);
        w.Close();
    }
    for (const Light& l : m.lights)
    {
        static constexpr const char* kTypes[] = {"Omnidirectional", "Directional", "Ambient"};
        OpenNode(w, "Light", l.node);
        if (l.type >= 0)
            w.Flag(kTypes[l.type]);
        w.Field("static AttenuationStart", l.attenuation[0]);
        w.Field("static AttenuationEnd", l.attenuation[1]);
        w.Field("static Intensity", l.intensity);
        w.Start().Put("static Color ").Rgb(l.color).End();
        w.Field("static AmbIntensity", l.ambient_intensity);
        w.Start().Put("static AmbColor ").Rgb(l.ambient_color).End();
        WriteTracks(w, l.node.tracks);
        w.Close();
    }
    for (const Helper& h : m.helpers)
    {
        OpenNode(w, "Helper", h.node);
        WriteTracks(w, h.node.tracks);
        w.Close();
    }
    for (const Attachment& a : m.attachments)
    {
        OpenNode(w, "Attachment", a.node);
        w.IntField("AttachmentID", a.attachment_id);
        if (!a.path.empty())
            w.Start().Put("Path ").Quoted(a.path).End();
        WriteTracks(w, a.node.tracks);
        w.Close();
    }
    if (!m.pivot_points.empty())
    {
        w.Start().Put("PivotPoints ").Int(int64_t(m.pivot_points.size())).End(" {");
        ++w.depth_;
        for (const Vec3& p : m.pivot_points)
            w.Start().Values(p).End();
        w.Close();
    }
    for (const ParticleEmitter& e : m.particle_emitters)
        WriteEmitter(w, e);
    for (const ParticleEmitter2& e : m.particle_emitters2)
        WriteEmitter2(w, e);
    for (const RibbonEmitter& r : m.ribbon_emitters)
    {
        OpenNode(w, "RibbonEmitter", r.node);
        w.Field("static HeightAbove", r.height_above);
        w.Field("static HeightBelow", r.height_below);
        w.Field("static Alpha", r.alpha);
        w.Start().Put("static Color ").Rgb(r.color).End();
        w.IntField("static TextureSlot", r.texture_slot);
        w.IntField("EmissionRate", r.emission_rate);
        w.Field("LifeSpan", r.life_span);
        if (NonZero(r.gravity))
            w.Field("Gravity", r.gravity);
        w.IntField("Rows", r.rows);
        w.IntField("Columns", r.columns);
        w.IntField("MaterialID", r.material_id);
        WriteTracks(w, r.node.tracks);
        w.Close();
    }
    for (const Camera& c : m.cameras)
    {
        w.Start().Put("Camera ").Quoted(c.name).End(" {");
        ++w.depth_;
        w.Start().Put("Position ").Values(c.position).End();
        w.Field("FieldOfView", c.field_of_view);
        w.Field("FarClip", c.far_clipping_plane);
        w.Field("NearClip", c.near_clipping_plane);
        auto target = [](uint32_t tag) { return tag == Tag("KTTR"); };
        WriteTracks(w, c.tracks, target);
        w.Open("Target");
        w.Start().Put("Position ").Values(c.target_position).End();
        WriteTracks(w, c.tracks, [&](uint32_t tag) { return !target(tag); });
        w.Close();
        w.Close();
    }
    for (const EventObject& e : m.event_objects)
    {
        OpenNode(w, "EventObject", e.node);
        w.Start().Put("EventTrack ").Int(int64_t(e.event_frames.size())).End(" {");
        ++w.depth_;
        if (e.global_sequence_id != -1)
            w.IntField("GlobalSeqId", e.global_sequence_id);
        for (uint32_t frame : e.event_frames)
            w.Start().Int(frame).End();
        w.Close();
        WriteTracks(w, e.node.tracks);
        w.Close();
    }
    for (const CollisionShape& c : m.collision_shapes)
    {
        static constexpr const char* kTypes[] = {"Box", "Plane", "Sphere", "Cylinder"};
        OpenNode(w, "CollisionShape", c.node);
        w.Flag(kTypes[uint32_t(c.type)]);
        const bool sphere = c.type == CollisionType::kSphere;
        w.Start().Put("Vertices ").Int(sphere ? 1 : 2).End(" {");
        ++w.depth_;
        w.Start().Values(c.vertices[0]).End();
        if (!sphere)
            w.Start().Values(c.vertices[1]).End();
        w.Close();
        if (sphere || c.type == CollisionType::kCylinder)
            w.Field("BoundsRadius", c.bounds_radius);
        WriteTracks(w, c.node.tracks);
        w.Close();
    }
}

} // namespace mdlx
