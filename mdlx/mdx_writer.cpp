#include "mdx_writer.h"

#include "memory_advice.h"
#include "track_kinds.h"
#include "validate.h"

#include <bit>
#include <cstring>

namespace mdlx
{

static_assert(std::endian::native == std::endian::little,
              "the MDX writer stores words as they are in memory");

namespace
{

class ByteWriter
{
  public:
    explicit ByteWriter(std::string& out) : out_(out) {}

    void Bytes(const void* data, size_t size)
    {
        out_.append(static_cast<const char*>(data), size);
    }
    void U32(uint32_t value)
    {
        Bytes(&value, 4);
    }
    void I32(int32_t value)
    {
        Bytes(&value, 4);
    }
    void F32(float value)
    {
        Bytes(&value, 4);
    }
    void Tag(uint32_t tag)
    {
        U32(tag);
    }
    template <typename T, size_t N> void Array(const std::array<T, N>& values)
    {
        Bytes(values.data(), sizeof(T) * N);
    }
    template <typename T> void Vector(const std::vector<T>& values)
    {
        if (!values.empty())
            Bytes(values.data(), sizeof(T) * values.size());
    }
    // A text in a field of `size` bytes, padded with zeros (validation has
    // made sure that it fits).
    void Text(const std::string& text, size_t size)
    {
        out_.append(text);
        out_.append(size - text.size(), '\0');
    }
    // A size field counting from itself to where EndSize is called.
    size_t BeginSize()
    {
        const size_t at = out_.size();
        U32(0);
        return at;
    }
    void EndSize(size_t at)
    {
        const uint32_t size = uint32_t(out_.size() - at);
        std::memcpy(&out_[at], &size, 4);
    }
    // A chunk header whose size counts what follows it.
    size_t BeginChunk(uint32_t tag)
    {
        Tag(tag);
        return BeginSize();
    }
    void EndChunk(size_t at)
    {
        const uint32_t size = uint32_t(out_.size() - at - 4);
        std::memcpy(&out_[at], &size, 4);
    }

  private:
    std::string& out_;
};

void WriteExtent(ByteWriter& out, const Extent& extent)
{
    out.F32(extent.bounds_radius);
    out.Array(extent.min);
    out.Array(extent.max);
}

void WriteTrack(ByteWriter& out, const Track& track)
{
    const TrackKind* kind = TrackKindOf(track.tag);
    const size_t width = kind->width;
    const bool tangents = track.interpolation >= Interpolation::kHermite;
    out.Tag(track.tag);
    out.U32(uint32_t(track.frames.size()));
    out.U32(uint32_t(track.interpolation));
    out.I32(track.global_sequence_id);
    for (size_t i = 0; i < track.frames.size(); ++i)
    {
        out.I32(track.frames[i]);
        const float* sets[3] = {&track.values[i * width], nullptr, nullptr};
        if (tangents)
        {
            sets[1] = &track.in_tans[i * width];
            sets[2] = &track.out_tans[i * width];
        }
        for (const float* set : sets)
        {
            if (set == nullptr)
                break;
            if (kind->integer)
            {
                for (size_t c = 0; c < width; ++c)
                    out.U32(uint32_t(set[c]));
            }
            else
            {
                out.Bytes(set, 4 * width);
            }
        }
    }
}

// The node part of an object: its own size, name, ids, flags and the
// node's three tracks.
void WriteNode(ByteWriter& out, const Node& node, uint32_t kind_bit)
{
    const size_t size = out.BeginSize();
    out.Text(node.name, 80);
    out.I32(node.object_id);
    out.I32(node.parent_id);
    out.U32(node.flags | kind_bit);
    for (const Track& track : node.tracks)
    {
        if (IsNodeTrack(track.tag))
            WriteTrack(out, track);
    }
    out.EndSize(size);
}

void WriteOwnTracks(ByteWriter& out, const std::vector<Track>& tracks)
{
    for (const Track& track : tracks)
    {
        if (!IsNodeTrack(track.tag))
            WriteTrack(out, track);
    }
}

void WriteTracks(ByteWriter& out, const std::vector<Track>& tracks)
{
    for (const Track& track : tracks)
        WriteTrack(out, track);
}

template <typename T, typename Fn>
void WriteChunk(ByteWriter& out, uint32_t tag, const std::vector<T>& objects, Fn write_one)
{
    if (objects.empty())
        return;
    const size_t chunk = out.BeginChunk(tag);
    for (const T& object : objects)
        write_one(object);
    out.EndChunk(chunk);
}

void WriteGeoset(ByteWriter& out, const Geoset& geoset)
{
    const size_t size = out.BeginSize();
    out.Tag(Tag("VRTX"));
    out.U32(uint32_t(geoset.vertices.size() / 3));
    out.Vector(geoset.vertices);
    out.Tag(Tag("NRMS"));
    out.U32(uint32_t(geoset.normals.size() / 3));
    out.Vector(geoset.normals);
    out.Tag(Tag("PTYP"));
    out.U32(1);
    out.U32(4); // triangles
    out.Tag(Tag("PCNT"));
    out.U32(1);
    out.U32(uint32_t(geoset.faces.size()));
    out.Tag(Tag("PVTX"));
    out.U32(uint32_t(geoset.faces.size()));
    out.Vector(geoset.faces);
    out.Tag(Tag("GNDX"));
    out.U32(uint32_t(geoset.vertex_groups.size()));
    out.Vector(geoset.vertex_groups);
    out.Tag(Tag("MTGC"));
    out.U32(uint32_t(geoset.matrix_groups.size()));
    out.Vector(geoset.matrix_groups);
    out.Tag(Tag("MATS"));
    out.U32(uint32_t(geoset.matrix_indices.size()));
    out.Vector(geoset.matrix_indices);
    out.U32(geoset.material_id);
    out.U32(geoset.selection_group);
    out.U32(geoset.selection_flags);
    WriteExtent(out, geoset.extent);
    out.U32(uint32_t(geoset.sequence_extents.size()));
    for (const Extent& extent : geoset.sequence_extents)
        WriteExtent(out, extent);
    out.Tag(Tag("UVAS"));
    out.U32(uint32_t(geoset.uv_sets.size()));
    for (const std::vector<float>& uvs : geoset.uv_sets)
    {
        out.Tag(Tag("UVBS"));
        out.U32(uint32_t(uvs.size() / 2));
        out.Vector(uvs);
    }
    out.EndSize(size);
}

void WriteMaterial(ByteWriter& out, const Material& material)
{
    const size_t size = out.BeginSize();
    out.I32(material.priority_plane);
    out.U32(material.flags);
    out.Tag(Tag("LAYS"));
    out.U32(uint32_t(material.layers.size()));
    for (const Layer& layer : material.layers)
    {
        const size_t layer_size = out.BeginSize();
        out.U32(uint32_t(layer.filter_mode));
        out.U32(layer.flags);
        out.I32(layer.texture_id);
        out.I32(layer.texture_animation_id);
        out.U32(layer.coord_id);
        out.F32(layer.alpha);
        WriteTracks(out, layer.tracks);
        out.EndSize(layer_size);
    }
    out.EndSize(size);
}

void WriteEmitter2(ByteWriter& out, const ParticleEmitter2& emitter)
{
    const size_t size = out.BeginSize();
    WriteNode(out, emitter.node, 0);
    for (float value : {emitter.speed, emitter.variation, emitter.latitude, emitter.gravity,
                        emitter.life_span, emitter.emission_rate, emitter.width, emitter.length})
        out.F32(value);
    out.U32(emitter.filter_mode);
    out.U32(emitter.rows);
    out.U32(emitter.columns);
    out.U32(emitter.head_or_tail);
    out.F32(emitter.tail_length);
    out.F32(emitter.time_middle);
    for (const Vec3& color : emitter.segment_colors)
        out.Array(color);
    out.Array(emitter.segment_alphas);
    out.Array(emitter.segment_scaling);
    for (const auto& interval : emitter.head_intervals)
        out.Array(interval);
    for (const auto& interval : emitter.tail_intervals)
        out.Array(interval);
    out.I32(emitter.texture_id);
    out.U32(emitter.squirt);
    out.I32(emitter.priority_plane);
    out.U32(emitter.replaceable_id);
    WriteOwnTracks(out, emitter.node.tracks);
    out.EndSize(size);
}

void WriteBody(ByteWriter& out, const Model& model)
{
    out.Tag(Tag("MDLX"));
    out.Tag(Tag("VERS"));
    out.U32(4);
    out.U32(model.version);
    out.Tag(Tag("MODL"));
    out.U32(372);
    out.Text(model.name, 80);
    out.Text(model.animation_file, 260);
    WriteExtent(out, model.extent);
    out.U32(model.blend_time);

    WriteChunk(out, Tag("SEQS"), model.sequences,
               [&](const Sequence& sequence)
               {
                   out.Text(sequence.name, 80);
                   out.Array(sequence.interval);
                   out.F32(sequence.move_speed);
                   out.U32(sequence.non_looping);
                   out.F32(sequence.rarity);
                   out.U32(sequence.sync_point);
                   WriteExtent(out, sequence.extent);
               });
    WriteChunk(out, Tag("GLBS"), model.global_sequences, [&](uint32_t d) { out.U32(d); });
    WriteChunk(out, Tag("MTLS"), model.materials,
               [&](const Material& material) { WriteMaterial(out, material); });
    WriteChunk(out, Tag("TEXS"), model.textures,
               [&](const Texture& texture)
               {
                   out.U32(texture.replaceable_id);
                   out.Text(texture.path, 260);
                   out.U32(texture.wrap_flags);
               });
    WriteChunk(out, Tag("TXAN"), model.texture_animations,
               [&](const TextureAnimation& anim)
               {
                   const size_t size = out.BeginSize();
                   WriteTracks(out, anim.tracks);
                   out.EndSize(size);
               });
    WriteChunk(out, Tag("GEOS"), model.geosets,
               [&](const Geoset& geoset) { WriteGeoset(out, geoset); });
    WriteChunk(out, Tag("GEOA"), model.geoset_animations,
               [&](const GeosetAnimation& anim)
               {
                   const size_t size = out.BeginSize();
                   out.F32(anim.alpha);
                   out.U32(anim.flags);
                   out.Array(anim.color);
                   out.I32(anim.geoset_id);
                   WriteTracks(out, anim.tracks);
                   out.EndSize(size);
               });
    WriteChunk(out, Tag("BONE"), model.bones,
               [&](const Bone& bone)
               {
                   WriteNode(out, bone.node, 0x100);
                   out.I32(bone.geoset_id);
                   out.I32(bone.geoset_animation_id);
               });
    WriteChunk(out, Tag("LITE"), model.lights,
               [&](const Light& light)
               {
                   const size_t size = out.BeginSize();
                   WriteNode(out, light.node, 0x200);
                   out.U32(uint32_t(light.type));
                   out.Array(light.attenuation);
                   out.Array(light.color);
                   out.F32(light.intensity);
                   out.Array(light.ambient_color);
                   out.F32(light.ambient_intensity);
                   WriteOwnTracks(out, light.node.tracks);
                   out.EndSize(size);
               });
    WriteChunk(out, Tag("HELP"), model.helpers,
               [&](const Helper& helper) { WriteNode(out, helper.node, 0); });
    WriteChunk(out, Tag("ATCH"), model.attachments,
               [&](const Attachment& attachment)
               {
                   const size_t size = out.BeginSize();
                   WriteNode(out, attachment.node, 0x800);
                   out.Text(attachment.path, 260);
                   out.I32(attachment.attachment_id);
                   WriteOwnTracks(out, attachment.node.tracks);
                   out.EndSize(size);
               });
    WriteChunk(out, Tag("PIVT"), model.pivot_points, [&](const Vec3& p) { out.Array(p); });
    WriteChunk(out, Tag("PREM"), model.particle_emitters,
               [&](const ParticleEmitter& emitter)
               {
                   const size_t size = out.BeginSize();
                   WriteNode(out, emitter.node, 0x1000);
                   out.F32(emitter.emission_rate);
                   out.F32(emitter.gravity);
                   out.F32(emitter.longitude);
                   out.F32(emitter.latitude);
                   out.Text(emitter.path, 260);
                   out.F32(emitter.life_span);
                   out.F32(emitter.speed);
                   WriteOwnTracks(out, emitter.node.tracks);
                   out.EndSize(size);
               });
    WriteChunk(out, Tag("PRE2"), model.particle_emitters2,
               [&](const ParticleEmitter2& emitter) { WriteEmitter2(out, emitter); });
    WriteChunk(out, Tag("RIBB"), model.ribbon_emitters,
               [&](const RibbonEmitter& ribbon)
               {
                   const size_t size = out.BeginSize();
                   WriteNode(out, ribbon.node, 0x4000);
                   out.F32(ribbon.height_above);
                   out.F32(ribbon.height_below);
                   out.F32(ribbon.alpha);
                   out.Array(ribbon.color);
                   out.F32(ribbon.life_span);
                   out.U32(ribbon.texture_slot);
                   out.U32(ribbon.emission_rate);
                   out.U32(ribbon.rows);
                   out.U32(ribbon.columns);
                   out.I32(ribbon.material_id);
                   out.F32(ribbon.gravity);
                   WriteOwnTracks(out, ribbon.node.tracks);
                   out.EndSize(size);
               });
    WriteChunk(out, Tag("CAMS"), model.cameras,
               [&](const Camera& camera)
               {
                   const size_t size = out.BeginSize();
                   out.Text(camera.name, 80);
                   out.Array(camera.position);
                   out.F32(camera.field_of_view);
                   out.F32(camera.far_clipping_plane);
                   out.F32(camera.near_clipping_plane);
                   out.Array(camera.target_position);
                   WriteTracks(out, camera.tracks);
                   out.EndSize(size);
               });
    WriteChunk(out, Tag("EVTS"), model.event_objects,
               [&](const EventObject& event)
               {
                   WriteNode(out, event.node, 0x400);
                   out.Tag(Tag("KEVT"));
                   out.U32(uint32_t(event.event_frames.size()));
                   out.I32(event.global_sequence_id);
                   out.Vector(event.event_frames);
               });
    WriteChunk(out, Tag("CLID"), model.collision_shapes,
               [&](const CollisionShape& shape)
               {
                   WriteNode(out, shape.node, 0x2000);
                   out.U32(uint32_t(shape.type));
                   out.Array(shape.vertices[0]);
                   if (shape.type != CollisionType::kSphere)
                       out.Array(shape.vertices[1]);
                   if (shape.type == CollisionType::kSphere ||
                       shape.type == CollisionType::kCylinder)
                       out.F32(shape.bounds_radius);
               });
}

size_t TracksSize(const std::vector<Track>& tracks)
{
    size_t size = 0;
    for (const Track& track : tracks)
        size += 16 + track.frames.size() * 4 +
                (track.values.size() + track.in_tans.size() + track.out_tans.size()) * 4;
    return size;
}

// The file's size within a few hundred bytes per object, so that the output
// grows once.
size_t EstimateSize(const Model& m)
{
    size_t size = 4096 + 132 * m.sequences.size() + 268 * m.textures.size();
    for (const Geoset& g : m.geosets)
    {
        size += 256 +
                4 * (g.vertices.size() + g.normals.size() + g.matrix_groups.size() +
                     g.matrix_indices.size()) +
                2 * g.faces.size() + g.vertex_groups.size() + 28 * g.sequence_extents.size();
        for (const std::vector<float>& uvs : g.uv_sets)
            size += 8 + 4 * uvs.size();
    }
    for (const Material& material : m.materials)
    {
        for (const Layer& layer : material.layers)
            size += 64 + TracksSize(layer.tracks);
    }
    for (const TextureAnimation& a : m.texture_animations)
        size += 8 + TracksSize(a.tracks);
    for (const GeosetAnimation& a : m.geoset_animations)
        size += 32 + TracksSize(a.tracks);
    for (const Camera& c : m.cameras)
        size += 128 + TracksSize(c.tracks);
    auto nodes = [&](const auto& objects)
    {
        for (const auto& object : objects)
            size += 512 + TracksSize(object.node.tracks);
    };
    nodes(m.bones);
    nodes(m.lights);
    nodes(m.helpers);
    nodes(m.attachments);
    nodes(m.particle_emitters);
    nodes(m.particle_emitters2);
    nodes(m.ribbon_emitters);
    nodes(m.collision_shapes);
    for (const EventObject& e : m.event_objects)
        size += 512 + TracksSize(e.node.tracks) + 4 * e.event_frames.size();
    return size + 12 * m.pivot_points.size() + 4 * m.global_sequences.size();
}

} // namespace

Status WriteMdx(const Model& model, std::string& out, const std::string& file)
{
    out.clear();
    Status status = ValidateModel(model, file);
    if (!status.ok)
        return status;
    out.reserve(EstimateSize(model));
    AdviseLargeBlock(out.data(), out.capacity());
    ByteWriter writer(out);
    WriteBody(writer, model);
    return status;
}

} // namespace mdlx
