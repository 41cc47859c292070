#include "mdl_reader.h"

#include "mdl_read_context.h"
#include "validate.h"

namespace mdlx
{

namespace
{

void ReadLayer(MdlReadContext& r, Layer& layer)
{
    static constexpr const char* kModes[] = {"None",     "Transparent", "Blend",     "Additive",
                                             "AddAlpha", "Modulate",    "Modulate2x"};
    static constexpr std::pair<const char*, uint32_t> kFlags[] = {
        {"Unshaded", kLayerUnshaded},
        {"SphereEnvMap", kLayerSphereEnvMap},
        {"TwoSided", kLayerTwoSided},
        {"Unfogged", kLayerUnfogged},
        {"NoDepthTest", kLayerNoDepthTest},
        {"NoDepthSet", kLayerNoDepthSet},
        {"Unlit", kLayerUnlit}};
    r.in.Open();
    size_t at = 0;
    for (std::string key; r.Key(key, at);)
    {
        bool known = true;
        if (key == "FilterMode")
        {
            const size_t mode_at = r.in.Skip();
            const std::string_view mode = r.in.Word("a filter mode");
            size_t i = 0;
            while (i < 7 && mode != kModes[i])
                ++i;
            if (i == 7)
                r.in.Fail(mode_at, "unknown filter mode \"" + std::string(mode) + "\"");
            layer.filter_mode = FilterMode(i);
        }
        else if (key == "static TextureID")
            layer.texture_id = r.I32();
        else if (key == "TVertexAnimId")
            layer.texture_animation_id = r.I32();
        else if (key == "CoordId")
            layer.coord_id = r.U32();
        else if (key == "static Alpha")
            layer.alpha = r.in.Float();
        else if (!r.TrackOf(TrackOwner::kLayer, key, layer.tracks))
        {
            known = false;
            for (const auto& [name, bit] : kFlags)
            {
                if (key == name)
                {
                    layer.flags |= bit;
                    known = true;
                }
            }
        }
        if (!known)
            r.Unknown(at, key);
    }
}

void ReadGeoset(MdlReadContext& r, Geoset& g)
{
    r.in.Open();
    size_t at = 0;
    for (std::string key; r.Key(key, at);)
    {
        if (key == "Vertices")
            r.FloatRows("Vertices", g.vertices, 3);
        else if (key == "Normals")
            r.FloatRows("Normals", g.normals, 3);
        else if (key == "TVertices")
        {
            g.uv_sets.emplace_back();
            r.FloatRows("TVertices", g.uv_sets.back(), 2);
        }
        else if (key == "VertexGroup")
        {
            MdlReadContext::Scope scope(r.in, key);
            r.in.Open();
            while (!r.in.TryClose())
                g.vertex_groups.push_back(uint8_t(r.in.Integer(0, 255)));
        }
        else if (key == "Faces")
        {
            MdlReadContext::Scope scope(r.in, key);
            const int64_t groups = r.in.Integer(0, kU32Max);
            const int64_t corners = r.in.Integer(0, kU32Max);
            r.in.Open();
            const size_t type_at = r.in.Skip();
            if (r.in.Word("Triangles") != "Triangles")
                r.in.Fail(type_at, "only Triangles are read");
            r.in.Open();
            g.faces.reserve(r.Reserve(corners, 2));
            size_t vectors = 0;
            size_t extra_at = 0;
            while (r.in.PeekChar() != '}')
            {
                if (vectors == size_t(groups))
                    extra_at = r.in.Skip();
                r.in.Open();
                while (!r.in.TryClose())
                    g.faces.push_back(uint16_t(r.in.Integer(0, 65535)));
                ++vectors;
            }
            const size_t close_at = r.in.Skip();
            r.in.Close();
            r.CountCheck(groups, vectors, close_at, extra_at, "groups");
            r.CountCheck(corners, g.faces.size(), close_at, close_at, "corners");
            r.in.Close();
        }
        else if (key == "Groups")
        {
            MdlReadContext::Scope scope(r.in, key);
            const int64_t count = r.in.Integer(0, kU32Max);
            const int64_t total = r.in.Integer(0, kU32Max);
            r.in.Open();
            size_t extra_at = 0;
            size_t matrices_at = 0;
            for (std::string item; r.Key(item, matrices_at);)
            {
                if (item != "Matrices")
                    r.Unknown(matrices_at, item);
                if (g.matrix_groups.size() == size_t(count))
                    extra_at = matrices_at;
                const size_t before = g.matrix_indices.size();
                r.in.Open();
                while (!r.in.TryClose())
                    g.matrix_indices.push_back(r.U32());
                g.matrix_groups.push_back(uint32_t(g.matrix_indices.size() - before));
            }
            const size_t close_at = r.in.Offset() - 1;
            r.CountCheck(count, g.matrix_groups.size(), close_at, extra_at, "groups");
            r.CountCheck(total, g.matrix_indices.size(), close_at, close_at, "indices");
        }
        else if (key == "Anim")
        {
            MdlReadContext::Scope scope(r.in, "Anim " + std::to_string(g.sequence_extents.size()));
            g.sequence_extents.emplace_back();
            r.in.Open();
            size_t inner_at = 0;
            for (std::string item; r.Key(item, inner_at);)
            {
                if (!r.ExtentKey(item, g.sequence_extents.back()))
                    r.Unknown(inner_at, item);
            }
        }
        else if (key == "MaterialID")
            g.material_id = r.U32();
        else if (key == "SelectionGroup")
            g.selection_group = r.U32();
        else if (key == "Unselectable")
            g.selection_flags = 4;
        else if (!r.ExtentKey(key, g.extent))
            r.Unknown(at, key);
    }
}

void ReadGeosetAnim(MdlReadContext& r, GeosetAnimation& a)
{
    r.in.Open();
    size_t at = 0;
    for (std::string key; r.Key(key, at);)
    {
        if (key == "DropShadow")
            a.flags |= kGeosetAnimDropShadow;
        else if (key == "static Alpha")
            a.alpha = r.in.Float();
        else if (key == "static Color")
        {
            a.flags |= kGeosetAnimUseColor;
            r.Color(a.color);
        }
        else if (key == "GeosetId")
            a.geoset_id = r.I32();
        else if (r.TrackOf(TrackOwner::kGeosetAnimation, key, a.tracks))
        {
            if (key == "Color")
                a.flags |= kGeosetAnimUseColor;
        }
        else
            r.Unknown(at, key);
    }
}

void ReadModelBlock(MdlReadContext& r)
{
    MdlReadContext::Scope scope(r.in, "Model");
    r.model.name = r.in.Text("the model's name");
    r.in.Open();
    size_t at = 0;
    for (std::string key; r.Key(key, at);)
    {
        if (key.starts_with("Num"))
            r.in.Integer(0, kU32Max); // informative only
        else if (key == "BlendTime")
            r.model.blend_time = r.U32();
        else if (key == "AnimationFile")
            r.model.animation_file = r.in.Text("a path");
        else if (!r.ExtentKey(key, r.model.extent))
            r.Unknown(at, key);
    }
}

void ReadFile(MdlReadContext& r)
{
    while (!r.in.AtEnd())
    {
        const size_t at = r.in.Skip();
        if (r.in.PeekChar() == '{' || r.in.PeekChar() == '}' || r.in.PeekChar() == '"')
            r.in.Fail(at, "a block name expected");
        const std::string block(r.in.Word("a block name"));
        if (block == "Version")
        {
            MdlReadContext::Scope scope(r.in, block);
            r.in.Open();
            size_t key_at = 0;
            for (std::string key; r.Key(key, key_at);)
            {
                if (key != "FormatVersion")
                    r.Unknown(key_at, key);
                const size_t number_at = r.in.Skip();
                const int64_t version = r.in.Integer(0, kU32Max);
                if (version != kFormatVersion)
                    r.in.Fail(number_at, "FormatVersion " + std::to_string(version) +
                                             " is not read; this reader reads FormatVersion 800");
                r.model.version = uint32_t(version);
            }
        }
        else if (block == "Model")
            ReadModelBlock(r);
        else if (block == "Sequences")
        {
            MdlReadContext::Scope scope(r.in, block);
            r.Numbered("Anim", r.model.sequences,
                       [&](Sequence& s)
                       {
                           s.name = r.in.Text("a name");
                           r.in.Open();
                           size_t key_at = 0;
                           for (std::string key; r.Key(key, key_at);)
                           {
                               if (key == "Interval")
                                   r.Vector(s.interval);
                               else if (key == "NonLooping")
                                   s.non_looping = 1;
                               else if (key == "MoveSpeed")
                                   s.move_speed = r.in.Float();
                               else if (key == "Rarity")
                                   s.rarity = r.in.Float();
                               else if (key == "SyncPoint")
                                   s.sync_point = r.U32();
                               else if (!r.ExtentKey(key, s.extent))
                                   r.Unknown(key_at, key);
                           }
                       });
        }
        else if (block == "GlobalSequences")
        {
            MdlReadContext::Scope scope(r.in, block);
            const int64_t count = r.in.Integer(0, kU32Max);
            r.in.Open();
            size_t key_at = 0;
            size_t extra_at = 0;
            for (std::string key; r.Key(key, key_at);)
            {
                if (key != "Duration")
                    r.Unknown(key_at, key);
                if (r.model.global_sequences.size() == size_t(count))
                    extra_at = key_at;
                r.model.global_sequences.push_back(r.U32());
            }
            r.CountCheck(count, r.model.global_sequences.size(), r.in.Offset() - 1, extra_at,
                         "durations");
        }
        else if (block == "Textures")
        {
            MdlReadContext::Scope scope(r.in, block);
            r.Numbered("Bitmap", r.model.textures,
                       [&](Texture& t)
                       {
                           r.in.Open();
                           size_t key_at = 0;
                           for (std::string key; r.Key(key, key_at);)
                           {
                               if (key == "Image")
                                   t.path = r.in.Text("a path");
                               else if (key == "ReplaceableId")
                                   t.replaceable_id = r.U32();
                               else if (key == "WrapWidth")
                                   t.wrap_flags |= kWrapWidth;
                               else if (key == "WrapHeight")
                                   t.wrap_flags |= kWrapHeight;
                               else
                                   r.Unknown(key_at, key);
                           }
                       });
        }
        else if (block == "Materials")
        {
            MdlReadContext::Scope scope(r.in, block);
            r.Numbered("Material", r.model.materials,
                       [&](Material& material)
                       {
                           static constexpr std::pair<const char*, uint32_t> kFlags[] = {
                               {"ConstantColor", kMaterialConstantColor},
                               {"TwoSided", kMaterialTwoSided},
                               {"SortPrimsNearZ", kMaterialSortPrimsNearZ},
                               {"SortPrimsFarZ", kMaterialSortPrimsFarZ},
                               {"FullResolution", kMaterialFullResolution}};
                           r.in.Open();
                           size_t key_at = 0;
                           for (std::string key; r.Key(key, key_at);)
                           {
                               bool known = true;
                               if (key == "PriorityPlane")
                                   material.priority_plane = r.I32();
                               else if (key == "Layer")
                               {
                                   MdlReadContext::Scope layer(
                                       r.in, "Layer " + std::to_string(material.layers.size()));
                                   material.layers.emplace_back();
                                   ReadLayer(r, material.layers.back());
                               }
                               else
                               {
                                   known = false;
                                   for (const auto& [name, bit] : kFlags)
                                   {
                                       if (key == name)
                                       {
                                           material.flags |= bit;
                                           known = true;
                                       }
                                   }
                               }
                               if (!known)
                                   r.Unknown(key_at, key);
                           }
                       });
        }
        else if (block == "TextureAnims")
        {
            MdlReadContext::Scope scope(r.in, block);
            r.Numbered("TVertexAnim", r.model.texture_animations,
                       [&](TextureAnimation& a)
                       {
                           r.in.Open();
                           size_t key_at = 0;
                           for (std::string key; r.Key(key, key_at);)
                           {
                               if (!r.TrackOf(TrackOwner::kTextureAnimation, key, a.tracks))
                                   r.Unknown(key_at, key);
                           }
                       });
        }
        else if (block == "Geoset")
        {
            MdlReadContext::Scope scope(r.in, "Geoset " + std::to_string(r.model.geosets.size()));
            r.model.geosets.emplace_back();
            ReadGeoset(r, r.model.geosets.back());
        }
        else if (block == "GeosetAnim")
        {
            MdlReadContext::Scope scope(r.in, "GeosetAnim " +
                                                  std::to_string(r.model.geoset_animations.size()));
            r.model.geoset_animations.emplace_back();
            ReadGeosetAnim(r, r.model.geoset_animations.back());
        }
        else if (block == "PivotPoints")
        {
            std::vector<float> points;
            r.FloatRows("PivotPoints", points, 3);
            for (size_t i = 0; i + 2 < points.size(); i += 3)
                r.model.pivot_points.push_back({points[i], points[i + 1], points[i + 2]});
        }
        else if (!ReadMdlNodeBlock(r, block))
            r.in.Fail(at, "unknown block \"" + block + "\"");
    }
}

} // namespace

Status ReadMdl(std::string_view text, const std::string& file, Model& model)
{
    model = Model{};
    MdlTokenizer tokenizer(text);
    MdlReadContext context{tokenizer, model};
    try
    {
        ReadFile(context);
    }
    catch (const MdlFailure& failure)
    {
        model = Model{};
        return {false, file + ":" + MdlPlace(text, failure.offset) + ": " + failure.what};
    }
    Status status = ValidateModel(model, file);
    if (!status.ok)
        model = Model{};
    return status;
}

} // namespace mdlx
