#include "mdl_writer.h"

#include "track_kinds.h"
#include "validate.h"

#include <bit>
#include <charconv>

namespace mdlx
{

void AppendMdlFloat(std::string& out, float value)
{
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, value);
    // The readers go through a double; where the float's shortest text
    // would round twice to a neighbour, the double's shortest text of the
    // same value is exact.
    double back = 0;
    std::from_chars(text, result.ptr, back);
    if (std::bit_cast<uint32_t>(float(back)) != std::bit_cast<uint32_t>(value))
        result = std::to_chars(text, text + sizeof text, double(value));
    out.append(text, result.ptr);
}

namespace
{

class Writer
{
  public:
    explicit Writer(std::string& out) : out_(out) {}

    // A line at the current depth: its pieces, then ",\r\n" or what `end` says.
    Writer& Start()
    {
        out_.append(depth_, '\t');
        return *this;
    }
    Writer& Put(std::string_view text)
    {
        out_.append(text);
        return *this;
    }
    Writer& Float(float value)
    {
        AppendMdlFloat(out_, value);
        return *this;
    }
    Writer& Int(int64_t value)
    {
        char text[24];
        out_.append(text, std::to_chars(text, text + sizeof text, value).ptr);
        return *this;
    }
    Writer& Quoted(const std::string& text)
    {
        out_.push_back('"');
        out_.append(text);
        out_.push_back('"');
        return *this;
    }
    template <typename T> Writer& Values(const T* values, size_t count)
    {
        out_.append("{ ");
        for (size_t i = 0; i < count; ++i)
        {
            if (i > 0)
                out_.append(", ");
            if constexpr (std::is_same_v<T, float>)
                Float(values[i]);
            else
                Int(int64_t(values[i]));
        }
        out_.append(" }");
        return *this;
    }
    template <typename T, size_t N> Writer& Values(const std::array<T, N>& values)
    {
        return Values(values.data(), N);
    }
    Writer& Rgb(const Vec3& bgr)
    {
        const Vec3 rgb{bgr[2], bgr[1], bgr[0]};
        return Values(rgb);
    }
    void End(std::string_view end = ",")
    {
        out_.append(end);
        out_.append("\r\n");
    }
    // `NAME {` and one level deeper.
    void Open(std::string_view head)
    {
        Start().Put(head).End(" {");
        ++depth_;
    }
    void Close()
    {
        --depth_;
        Start().End("}");
    }
    // `NAME VALUE,`
    void Field(std::string_view name, float value)
    {
        Start().Put(name).Put(" ").Float(value).End();
    }
    void IntField(std::string_view name, int64_t value)
    {
        Start().Put(name).Put(" ").Int(value).End();
    }
    void Flag(std::string_view name)
    {
        Start().Put(name).End();
    }
    std::string& out_;
    size_t depth_ = 0;
};

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

// Every track of `tracks` but those `skip` says, in their order.
template <typename Skip> void WriteTracks(Writer& w, const std::vector<Track>& tracks, Skip skip)
{
    for (const Track& track : tracks)
    {
        if (!skip(track.tag))
            WriteTrack(w, track);
    }
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

void WriteMaterials(Writer& w, const Model& m)
{
    static constexpr const char* kModes[] = {"None",     "Transparent", "Blend",     "Additive",
                                             "AddAlpha", "Modulate",    "Modulate2x"};
    static constexpr std::pair<uint32_t, const char*> kMaterialFlags[] = {
        {kMaterialConstantColor, "ConstantColor"},
        {kMaterialTwoSided, "TwoSided"},
        {kMaterialSortPrimsNearZ, "SortPrimsNearZ"},
        {kMaterialSortPrimsFarZ, "SortPrimsFarZ"},
        {kMaterialFullResolution, "FullResolution"}};
    static constexpr std::pair<uint32_t, const char*> kLayerFlags[] = {
        {kLayerUnshaded, "Unshaded"},
        {kLayerSphereEnvMap, "SphereEnvMap"},
        {kLayerTwoSided, "TwoSided"},
        {kLayerUnfogged, "Unfogged"},
        {kLayerNoDepthTest, "NoDepthTest"},
        {kLayerNoDepthSet, "NoDepthSet"},
        {kLayerUnlit, "Unlit"}};
    w.Start().Put("Materials ").Int(int64_t(m.materials.size())).End(" {");
    ++w.depth_;
    for (const Material& material : m.materials)
    {
        w.Open("Material");
        for (const auto& [bit, name] : kMaterialFlags)
        {
            if (material.flags & bit)
                w.Flag(name);
        }
        if (material.priority_plane != 0)
            w.IntField("PriorityPlane", material.priority_plane);
        for (const Layer& layer : material.layers)
        {
            w.Open("Layer");
            w.Start().Put("FilterMode ").Put(kModes[uint32_t(layer.filter_mode)]).End();
            for (const auto& [bit, name] : kLayerFlags)
            {
                if (layer.flags & bit)
                    w.Flag(name);
            }
            w.IntField("static TextureID", layer.texture_id);
            if (layer.texture_animation_id != -1)
                w.IntField("TVertexAnimId", layer.texture_animation_id);
            if (layer.coord_id != 0)
                w.IntField("CoordId", layer.coord_id);
            if (std::bit_cast<uint32_t>(layer.alpha) != std::bit_cast<uint32_t>(1.0f))
                w.Field("static Alpha", layer.alpha);
            WriteTracks(w, layer.tracks);
            w.Close();
        }
        w.Close();
    }
    w.Close();
}

void WriteRows(Writer& w, const char* name, const std::vector<float>& values, size_t width)
{
    w.Start().Put(name).Put(" ").Int(int64_t(values.size() / width)).End(" {");
    ++w.depth_;
    for (size_t i = 0; i < values.size(); i += width)
        w.Start().Values(&values[i], width).End();
    w.Close();
}

void WriteGeoset(Writer& w, const Geoset& g)
{
    w.Open("Geoset");
    WriteRows(w, "Vertices", g.vertices, 3);
    WriteRows(w, "Normals", g.normals, 3);
    for (const std::vector<float>& uvs : g.uv_sets)
        WriteRows(w, "TVertices", uvs, 2);
    if (!g.vertex_groups.empty())
    {
        w.Open("VertexGroup");
        for (uint8_t group : g.vertex_groups)
            w.Start().Int(group).End();
        w.Close();
    }
    w.Start().Put("Faces 1 ").Int(int64_t(g.faces.size())).End(" {");
    ++w.depth_;
    w.Open("Triangles");
    w.Start().Values(g.faces.data(), g.faces.size()).End();
    w.Close();
    w.Close();
    w.Start()
        .Put("Groups ")
        .Int(int64_t(g.matrix_groups.size()))
        .Put(" ")
        .Int(int64_t(g.matrix_indices.size()))
        .End(" {");
    ++w.depth_;
    size_t index = 0;
    for (uint32_t size : g.matrix_groups)
    {
        w.Start().Put("Matrices ").Values(&g.matrix_indices[index], size).End();
        index += size;
    }
    w.Close();
    WriteExtent(w, g.extent);
    for (const Extent& extent : g.sequence_extents)
    {
        w.Open("Anim");
        WriteExtent(w, extent);
        w.Close();
    }
    w.IntField("MaterialID", g.material_id);
    w.IntField("SelectionGroup", g.selection_group);
    if (g.selection_flags == 4)
        w.Flag("Unselectable");
    w.Close();
}

void WriteHeader(Writer& w, const Model& m)
{
    w.Open("Version");
    w.IntField("FormatVersion", m.version);
    w.Close();
    w.Start().Put("Model ").Quoted(m.name).End(" {");
    ++w.depth_;
    const std::pair<const char*, size_t> counts[] = {
        {"NumGeosets", m.geosets.size()},
        {"NumGeosetAnims", m.geoset_animations.size()},
        {"NumHelpers", m.helpers.size()},
        {"NumLights", m.lights.size()},
        {"NumBones", m.bones.size()},
        {"NumAttachments", m.attachments.size()},
        {"NumParticleEmitters", m.particle_emitters.size()},
        {"NumParticleEmitters2", m.particle_emitters2.size()},
        {"NumRibbonEmitters", m.ribbon_emitters.size()},
        {"NumEvents", m.event_objects.size()}};
    for (const auto& [name, count] : counts)
    {
        if (count > 0)
            w.IntField(name, int64_t(count));
    }
    w.IntField("BlendTime", m.blend_time);
    WriteExtent(w, m.extent);
    if (!m.animation_file.empty())
        w.Start().Put("AnimationFile ").Quoted(m.animation_file).End();
    w.Close();
    if (!m.sequences.empty())
    {
        w.Start().Put("Sequences ").Int(int64_t(m.sequences.size())).End(" {");
        ++w.depth_;
        for (const Sequence& s : m.sequences)
        {
            w.Start().Put("Anim ").Quoted(s.name).End(" {");
            ++w.depth_;
            w.Start().Put("Interval ").Values(s.interval).End();
            if (s.non_looping)
                w.Flag("NonLooping");
            if (NonZero(s.move_speed))
                w.Field("MoveSpeed", s.move_speed);
            if (NonZero(s.rarity))
                w.Field("Rarity", s.rarity);
            if (s.sync_point != 0)
                w.IntField("SyncPoint", s.sync_point);
            WriteExtent(w, s.extent);
            w.Close();
        }
        w.Close();
    }
    if (!m.global_sequences.empty())
    {
        w.Start().Put("GlobalSequences ").Int(int64_t(m.global_sequences.size())).End(" {");
        ++w.depth_;
        for (uint32_t duration : m.global_sequences)
            w.IntField("Duration", duration);
        w.Close();
    }
    if (!m.textures.empty())
    {
        w.Start().Put("Textures ").Int(int64_t(m.textures.size())).End(" {");
        ++w.depth_;
        for (const Texture& t : m.textures)
        {
            w.Open("Bitmap");
            if (!t.path.empty())
                w.Start().Put("Image ").Quoted(t.path).End();
            if (t.replaceable_id != 0)
                w.IntField("ReplaceableId", t.replaceable_id);
            if (t.wrap_flags & kWrapWidth)
                w.Flag("WrapWidth");
            if (t.wrap_flags & kWrapHeight)
                w.Flag("WrapHeight");
            w.Close();
        }
        w.Close();
    }
    if (!m.materials.empty())
        WriteMaterials(w, m);
    if (!m.texture_animations.empty())
    {
        w.Start().Put("TextureAnims ").Int(int64_t(m.texture_animations.size())).End(" {");
        ++w.depth_;
        for (const TextureAnimation& a : m.texture_animations)
        {
            w.Open("TVertexAnim");
            WriteTracks(w, a.tracks);
            w.Close();
        }
        w.Close();
    }
}

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

void WriteNodes(Writer& w, const Model& m)
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

} // namespace

Status WriteMdl(const Model& model, std::string& out, const std::string& file)
{
    out.clear();
    Status status = ValidateModel(model, file);
    if (!status.ok)
        return status;
    Writer w(out);
    WriteHeader(w, model);
    for (const Geoset& g : model.geosets)
        WriteGeoset(w, g);
    for (const GeosetAnimation& a : model.geoset_animations)
    {
        w.Open("GeosetAnim");
        if (a.flags & kGeosetAnimDropShadow)
            w.Flag("DropShadow");
        w.Field("static Alpha", a.alpha);
        if (a.flags & kGeosetAnimUseColor)
            w.Start().Put("static Color ").Rgb(a.color).End();
        w.IntField("GeosetId", a.geoset_id);
        WriteTracks(w, a.tracks);
        w.Close();
    }
    WriteNodes(w, model);
    return status;
}

} // namespace mdlx
