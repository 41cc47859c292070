#include "validate.h"

#include "track_kinds.h"

#include <cmath>
#include <unordered_set>

namespace mdlx
{

namespace
{

struct Checker
{
    const Model& model;
    std::string first; // the first broken rule, with its place
    size_t node_count = 0;

    bool Fail(const std::string& where, const std::string& what)
    {
        if (first.empty())
            first = where + ": " + what;
        return false;
    }

    bool Text(const std::string& where, const char* field, const std::string& text, size_t limit)
    {
        if (text.size() > limit)
            return Fail(where, std::string(field) + " of " + std::to_string(text.size()) +
                                   " bytes is longer than its field (at most " +
                                   std::to_string(limit) + ")");
        for (size_t i = 0; i < text.size(); ++i)
        {
            const char c = text[i];
            if (c == '\\')
            {
                if (i + 1 == text.size())
                    return Fail(where, std::string(field) + " ends in a lone backslash");
                ++i; // the pair is kept as it is
                if (text[i] != '\n' && text[i] != '\r' && text[i] != '\0')
                    continue;
            }
            if (c == '"' || text[i] == '\n' || text[i] == '\r' || text[i] == '\0')
                return Fail(where,
                            std::string(field) + " holds a quote, a line break or a zero byte");
        }
        return true;
    }

    bool Index(const std::string& where, const char* field, int64_t value, size_t count,
               bool none_allowed)
    {
        if ((none_allowed && value == -1) || (value >= 0 && uint64_t(value) < count))
            return true;
        return Fail(where, std::string(field) + " " + std::to_string(value) + " is not one of " +
                               std::to_string(count));
    }

    bool Flags(const std::string& where, const char* field, uint32_t value, uint32_t known)
    {
        if ((value & ~known) == 0)
            return true;
        return Fail(where, std::string(field) + " " + std::to_string(value) +
                               " holds bits the format does not define");
    }

    bool Tracks(const std::string& where, const std::vector<Track>& tracks, TrackOwner owner)
    {
        for (size_t t = 0; t < tracks.size(); ++t)
        {
            const Track& track = tracks[t];
            const TrackKind* kind = TrackKindOf(track.tag);
            const std::string name = kind ? kind->mdl_name : TagText(track.tag);
            const std::string place = where + ": " + name;
            if (kind == nullptr || !OwnerHolds(owner, track.tag))
                return Fail(where, "a track " + TagText(track.tag) + " does not belong here");
            for (size_t u = 0; u < t; ++u)
            {
                if (tracks[u].tag == track.tag)
                    return Fail(place, "given twice");
            }
            if (uint32_t(track.interpolation) > 3)
                return Fail(place, "interpolation " +
                                       std::to_string(uint32_t(track.interpolation)) +
                                       " is not 0 to 3");
            if (!Index(place, "GlobalSeqId", track.global_sequence_id,
                       model.global_sequences.size(), true))
                return false;
            const size_t values = track.frames.size() * kind->width;
            const bool tangents = track.interpolation >= Interpolation::kHermite;
            if (track.values.size() != values || track.in_tans.size() != (tangents ? values : 0) ||
                track.out_tans.size() != (tangents ? values : 0))
                return Fail(place, "values or tangents do not match the " +
                                       std::to_string(track.frames.size()) + " keys");
            if (kind->integer)
            {
                for (const std::vector<float>* set :
                     {&track.values, &track.in_tans, &track.out_tans})
                {
                    for (float v : *set)
                    {
                        if (!(v >= 0 && v <= 16777216.0f) || v != std::floor(v))
                            return Fail(place, "a key is not a whole number from 0 to 2^24");
                    }
                }
            }
        }
        return true;
    }

    bool NodePart(const std::string& where, const Node& node, TrackOwner owner, uint32_t own,
                  std::vector<bool>& seen)
    {
        if (!Text(where, "the name", node.name, 79))
            return false;
        if (!Index(where, "ObjectId", node.object_id, node_count, false))
            return false;
        if (seen[size_t(node.object_id)])
            return Fail(where, "ObjectId " + std::to_string(node.object_id) + " is taken");
        seen[size_t(node.object_id)] = true;
        if (!Index(where, "Parent", node.parent_id, node_count, true))
            return false;
        if (node.parent_id == node.object_id)
            return Fail(where, "the node is its own parent");
        return Flags(where, "flags", node.flags, 0xFF | own) && Tracks(where, node.tracks, owner);
    }

    bool Geoset(const std::string& where, const mdlx::Geoset& g)
    {
        if (g.vertices.size() % 3 != 0)
            return Fail(where, "Vertices: not whole vertices");
        const size_t vertices = g.vertices.size() / 3;
        if (!g.normals.empty() && g.normals.size() != g.vertices.size())
            return Fail(where, "Normals: " + std::to_string(g.normals.size() / 3) + " for " +
                                   std::to_string(vertices) + " vertices");
        for (const std::vector<float>& uvs : g.uv_sets)
        {
            if (uvs.size() != 2 * vertices)
                return Fail(where, "TVertices: " + std::to_string(uvs.size() / 2) + " for " +
                                       std::to_string(vertices) + " vertices");
        }
        if (g.vertex_groups.size() != vertices)
            return Fail(where, "VertexGroup: " + std::to_string(g.vertex_groups.size()) + " for " +
                                   std::to_string(vertices) + " vertices");
        if (g.faces.size() % 3 != 0)
            return Fail(where, "Faces: not whole triangles");
        for (uint16_t corner : g.faces)
        {
            if (corner >= vertices)
                return Fail(where, "Faces: corner " + std::to_string(corner) + " is not one of " +
                                       std::to_string(vertices) + " vertices");
        }
        for (uint8_t group : g.vertex_groups)
        {
            if (group >= g.matrix_groups.size())
                return Fail(where, "VertexGroup: group " + std::to_string(group) +
                                       " is not one of " + std::to_string(g.matrix_groups.size()) +
                                       " matrix groups");
        }
        uint64_t total = 0;
        for (uint32_t size : g.matrix_groups)
        {
            if (size == 0)
                return Fail(where, "Groups: an empty matrix group");
            total += size;
        }
        if (total != g.matrix_indices.size())
            return Fail(where, "Groups: the sizes add up to " + std::to_string(total) + ", not " +
                                   std::to_string(g.matrix_indices.size()));
        for (uint32_t index : g.matrix_indices)
        {
            if (!Index(where + ": Groups", "matrix", index, node_count, false))
                return false;
        }
        if (g.selection_flags != 0 && g.selection_flags != 4)
            return Fail(where,
                        "selection flags " + std::to_string(g.selection_flags) + " are not 0 or 4");
        return Index(where, "MaterialID", g.material_id, model.materials.size(), false);
    }

    bool Run()
    {
        const Model& m = model;
        if (m.version != kFormatVersion)
            return Fail("Version", "FormatVersion " + std::to_string(m.version) +
                                       " is not 800, the one version read and written");
        if (!Text("Model", "the name", m.name, 79) ||
            !Text("Model", "AnimationFile", m.animation_file, 259))
            return false;
        for (size_t i = 0; i < m.sequences.size(); ++i)
        {
            const std::string where = "Sequences: Anim " + std::to_string(i);
            if (!Text(where, "the name", m.sequences[i].name, 79))
                return false;
            if (m.sequences[i].non_looping > 1)
                return Fail(where, "NonLooping is not 0 or 1");
        }
        for (size_t i = 0; i < m.textures.size(); ++i)
        {
            const std::string where = "Textures: Bitmap " + std::to_string(i);
            if (!Text(where, "Image", m.textures[i].path, 259) ||
                !Flags(where, "wrap flags", m.textures[i].wrap_flags, 3))
                return false;
        }
        for (size_t i = 0; i < m.materials.size(); ++i)
        {
            const std::string where = "Materials: Material " + std::to_string(i);
            if (!Flags(where, "flags", m.materials[i].flags, 0x3B))
                return false;
            for (size_t l = 0; l < m.materials[i].layers.size(); ++l)
            {
                const Layer& layer = m.materials[i].layers[l];
                const std::string at = where + ": Layer " + std::to_string(l);
                if (uint32_t(layer.filter_mode) > 6)
                    return Fail(at, "FilterMode " + std::to_string(uint32_t(layer.filter_mode)) +
                                        " is not 0 to 6");
                if (!Flags(at, "flags", layer.flags, 0x1F3) ||
                    !Index(at, "TextureID", layer.texture_id, m.textures.size(), true) ||
                    !Index(at, "TVertexAnimId", layer.texture_animation_id,
                           m.texture_animations.size(), true) ||
                    !Tracks(at, layer.tracks, TrackOwner::kLayer))
                    return false;
                const Track* ids = FindTrack(layer.tracks, Tag("KMTF"));
                for (size_t k = 0; ids && k < ids->values.size(); ++k)
                {
                    if (ids->values[k] >= float(m.textures.size()))
                        return Fail(at + ": TextureID", "a key names no texture");
                }
            }
        }
        for (size_t i = 0; i < m.texture_animations.size(); ++i)
        {
            if (!Tracks("TextureAnims: TVertexAnim " + std::to_string(i),
                        m.texture_animations[i].tracks, TrackOwner::kTextureAnimation))
                return false;
        }
        node_count = m.bones.size() + m.lights.size() + m.helpers.size() + m.attachments.size() +
                     m.particle_emitters.size() + m.particle_emitters2.size() +
                     m.ribbon_emitters.size() + m.event_objects.size() + m.collision_shapes.size();
        for (size_t i = 0; i < m.geosets.size(); ++i)
        {
            if (!Geoset("Geoset " + std::to_string(i), m.geosets[i]))
                return false;
        }
        for (size_t i = 0; i < m.geoset_animations.size(); ++i)
        {
            const GeosetAnimation& a = m.geoset_animations[i];
            const std::string where = "GeosetAnim " + std::to_string(i);
            if (!Flags(where, "flags", a.flags, 3) ||
                !Index(where, "GeosetId", a.geoset_id, m.geosets.size(), false) ||
                !Tracks(where, a.tracks, TrackOwner::kGeosetAnimation))
                return false;
            if (!(a.flags & kGeosetAnimUseColor) &&
                (a.color != Vec3{1, 1, 1} || FindTrack(a.tracks, Tag("KGAC"))))
                return Fail(where, "a color without the UseColor flag");
        }
        std::vector<bool> seen(node_count, false);
        for (size_t i = 0; i < m.bones.size(); ++i)
        {
            const std::string where = "Bone " + std::to_string(i);
            if (!NodePart(where, m.bones[i].node, TrackOwner::kNode, 0, seen) ||
                !Index(where, "GeosetId", m.bones[i].geoset_id, m.geosets.size(), true) ||
                !Index(where, "GeosetAnimId", m.bones[i].geoset_animation_id,
                       m.geoset_animations.size(), true))
                return false;
        }
        for (size_t i = 0; i < m.lights.size(); ++i)
        {
            const std::string where = "Light " + std::to_string(i);
            if (!NodePart(where, m.lights[i].node, TrackOwner::kLight, 0, seen))
                return false;
            if (m.lights[i].type < -1 || m.lights[i].type > 2)
                return Fail(where, "type " + std::to_string(m.lights[i].type) + " is not -1 to 2");
        }
        for (size_t i = 0; i < m.helpers.size(); ++i)
        {
            if (!NodePart("Helper " + std::to_string(i), m.helpers[i].node, TrackOwner::kNode, 0,
                          seen))
                return false;
        }
        for (size_t i = 0; i < m.attachments.size(); ++i)
        {
            const std::string where = "Attachment " + std::to_string(i);
            if (!NodePart(where, m.attachments[i].node, TrackOwner::kAttachment, 0, seen) ||
                !Text(where, "Path", m.attachments[i].path, 259))
                return false;
        }
        for (size_t i = 0; i < m.particle_emitters.size(); ++i)
        {
            const std::string where = "ParticleEmitter " + std::to_string(i);
            if (!NodePart(where, m.particle_emitters[i].node, TrackOwner::kParticleEmitter,
                          kEmitterUsesMdl | kEmitterUsesTga, seen) ||
                !Text(where, "Path", m.particle_emitters[i].path, 259))
                return false;
        }
        for (size_t i = 0; i < m.particle_emitters2.size(); ++i)
        {
            const ParticleEmitter2& e = m.particle_emitters2[i];
            const std::string where = "ParticleEmitter2 " + std::to_string(i);
            if (!NodePart(where, e.node, TrackOwner::kParticleEmitter2, 0x1F8000, seen) ||
                !Index(where, "TextureID", e.texture_id, m.textures.size(), true))
                return false;
            if (e.filter_mode > 4 || e.head_or_tail > 2 || e.squirt > 1)
                return Fail(where, "filter mode, Head/Tail/Both or Squirt out of range");
        }
        for (size_t i = 0; i < m.ribbon_emitters.size(); ++i)
        {
            const std::string where = "RibbonEmitter " + std::to_string(i);
            if (!NodePart(where, m.ribbon_emitters[i].node, TrackOwner::kRibbonEmitter, 0, seen))
                return false;
        }
        for (size_t i = 0; i < m.event_objects.size(); ++i)
        {
            const std::string where = "EventObject " + std::to_string(i);
            if (!NodePart(where, m.event_objects[i].node, TrackOwner::kNode, 0, seen) ||
                !Index(where, "GlobalSeqId", m.event_objects[i].global_sequence_id,
                       m.global_sequences.size(), true))
                return false;
        }
        for (size_t i = 0; i < m.collision_shapes.size(); ++i)
        {
            const std::string where = "CollisionShape " + std::to_string(i);
            if (!NodePart(where, m.collision_shapes[i].node, TrackOwner::kNode, 0, seen))
                return false;
            if (uint32_t(m.collision_shapes[i].type) > 3)
                return Fail(where, "type " + std::to_string(uint32_t(m.collision_shapes[i].type)) +
                                       " is not 0 to 3");
        }
        for (size_t i = 0; i < m.cameras.size(); ++i)
        {
            const std::string where = "Camera " + std::to_string(i);
            if (!Text(where, "the name", m.cameras[i].name, 79) ||
                !Tracks(where, m.cameras[i].tracks, TrackOwner::kCamera))
                return false;
        }
        return true;
    }
};

} // namespace

Status ValidateModel(const Model& model, const std::string& file)
{
    Checker checker{model, {}};
    if (checker.Run())
        return {};
    return {false, file + ": " + checker.first};
}

} // namespace mdlx
