#include "mdl_writer.h"

#include "mdl_write_context.h"
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
    WriteMdlNodes(w, model);
    return status;
}

} // namespace mdlx
