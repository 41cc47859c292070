#include "mdx_reader.h"

#include "track_kinds.h"
#include "validate.h"

#include <bit>
#include <cstring>

namespace mdlx
{

namespace
{

// The bits of a node's flags that name its kind (bone, light, ...): the
// writer adds its own.
constexpr uint32_t kNodeKindBits = 0x7F00;

struct Failure
{
};

// A cursor over the bytes of one chunk or object. Every read checks the
// room left before it reads; the first refusal is kept and unwinds the parse
// (the exception never leaves this file).
class Reader
{
  public:
    Reader(const uint8_t* begin, const uint8_t* at, const uint8_t* end, std::string& where,
           std::string& error)
        : begin_(begin), at_(at), end_(end), where_(where), error_(error)
    {
    }

    size_t Left() const
    {
        return size_t(end_ - at_);
    }
    [[noreturn]] void Fail(const std::string& what)
    {
        error_ = "at byte " + std::to_string(at_ - begin_) + ": " + where_ + ": " + what;
        throw Failure{};
    }
    void Need(uint64_t bytes, const char* what)
    {
        if (bytes > Left())
            Fail(std::string(what) + " needs " + std::to_string(bytes) + " bytes, " +
                 std::to_string(Left()) + " remain");
    }
    void Raw(void* out, size_t bytes, const char* what)
    {
        Need(bytes, what);
        std::memcpy(out, at_, bytes);
        at_ += bytes;
    }
    uint32_t U32(const char* what = "a number")
    {
        uint32_t value;
        Raw(&value, 4, what);
        return value;
    }
    int32_t I32(const char* what = "a number")
    {
        return int32_t(U32(what));
    }
    void CheckFinite(const float* values, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
        {
            if ((std::bit_cast<uint32_t>(values[i]) & 0x7F800000u) == 0x7F800000u)
                Fail("a float that is not a finite number");
        }
    }
    float F32()
    {
        float value;
        Raw(&value, 4, "a float");
        CheckFinite(&value, 1);
        return value;
    }
    template <size_t N> void Floats(std::array<float, N>& out)
    {
        Raw(out.data(), 4 * N, "floats");
        CheckFinite(out.data(), N);
    }
    std::string Text(size_t field)
    {
        Need(field, "a name");
        const void* zero = std::memchr(at_, 0, field);
        const size_t length = zero ? size_t(static_cast<const uint8_t*>(zero) - at_) : field;
        std::string text(reinterpret_cast<const char*>(at_), length);
        at_ += field;
        return text;
    }
    void Expect(uint32_t tag)
    {
        const uint32_t found = U32("a tag");
        if (found != tag)
            Fail("found " + TagText(found) + " where " + TagText(tag) + " belongs");
    }
    // `count` items of `T`, the count read first and checked against the room.
    template <typename T> void Array(std::vector<T>& out, uint64_t count, const char* what)
    {
        Need(count * sizeof(T), what);
        out.resize(size_t(count));
        if (count > 0)
            std::memcpy(out.data(), at_, size_t(count) * sizeof(T));
        at_ += count * sizeof(T);
        if constexpr (std::is_same_v<T, float>)
            CheckFinite(out.data(), out.size());
    }
    // A reader over the next `size` bytes, which this one skips.
    Reader Sub(uint64_t size, const char* what)
    {
        Need(size, what);
        Reader sub(begin_, at_, at_ + size, where_, error_);
        at_ += size;
        return sub;
    }
    // An object that starts with its own size (counting the size field).
    Reader Sized(const char* what)
    {
        const uint8_t* start = at_;
        const uint32_t size = U32(what);
        if (size < 4)
            Fail(std::string(what) + " of size " + std::to_string(size));
        at_ = start;
        Reader sub = Sub(size, what);
        sub.at_ += 4;
        return sub;
    }
    void End()
    {
        if (Left() != 0)
            Fail(std::to_string(Left()) + " bytes left over");
    }
    std::string& Where()
    {
        return where_;
    }

  private:
    const uint8_t* begin_;
    const uint8_t* at_;
    const uint8_t* end_;
    std::string& where_;
    std::string& error_;
};

void ReadExtent(Reader& in, Extent& extent)
{
    extent.bounds_radius = in.F32();
    in.Floats(extent.min);
    in.Floats(extent.max);
}

void ReadTrack(Reader& in, uint32_t tag, Track& track)
{
    const TrackKind* kind = TrackKindOf(tag);
    if (kind == nullptr)
        in.Fail("unknown track " + TagText(tag));
    track.tag = tag;
    const uint32_t count = in.U32();
    const uint32_t interpolation = in.U32();
    if (interpolation > 3)
        in.Fail("interpolation " + std::to_string(interpolation) + " is not 0 to 3");
    track.interpolation = Interpolation(interpolation);
    track.global_sequence_id = in.I32();
    const size_t width = kind->width;
    const size_t sets = interpolation >= 2 ? 3 : 1;
    in.Need(uint64_t(count) * (4 + 4 * width * sets), "the keys");
    track.frames.resize(count);
    track.values.resize(count * width);
    if (sets == 3)
    {
        track.in_tans.resize(count * width);
        track.out_tans.resize(count * width);
    }
    std::vector<float>* targets[3] = {&track.values, &track.in_tans, &track.out_tans};
    for (size_t i = 0; i < count; ++i)
    {
        track.frames[i] = in.I32();
        for (size_t s = 0; s < sets; ++s)
        {
            float* out = targets[s]->data() + i * width;
            for (size_t c = 0; c < width; ++c)
            {
                if (kind->integer)
                {
                    const uint32_t value = in.U32();
                    if (value > (1u << 24))
                        in.Fail(std::string(kind->mdl_name) + " key " + std::to_string(value) +
                                " is out of range");
                    out[c] = float(value);
                }
                else
                {
                    out[c] = in.F32();
                }
            }
        }
    }
}

// Tracks until the end of `in`.
void ReadTracks(Reader& in, std::vector<Track>& tracks)
{
    while (in.Left() > 0)
    {
        const uint32_t tag = in.U32("a track tag");
        tracks.emplace_back();
        ReadTrack(in, tag, tracks.back());
    }
}

void ReadNode(Reader& chunk, Node& node)
{
    Reader in = chunk.Sized("a node");
    node.name = in.Text(80);
    node.object_id = in.I32();
    node.parent_id = in.I32();
    node.flags = in.U32() & ~kNodeKindBits;
    ReadTracks(in, node.tracks);
}

void ReadGeoset(Reader& in, Geoset& g)
{
    in.Expect(Tag("VRTX"));
    in.Array(g.vertices, uint64_t(in.U32()) * 3, "the vertices");
    in.Expect(Tag("NRMS"));
    in.Array(g.normals, uint64_t(in.U32()) * 3, "the normals");
    std::vector<uint32_t> types, counts;
    in.Expect(Tag("PTYP"));
    in.Array(types, in.U32(), "the face types");
    in.Expect(Tag("PCNT"));
    in.Array(counts, in.U32(), "the face groups");
    in.Expect(Tag("PVTX"));
    in.Array(g.faces, in.U32(), "the faces");
    uint64_t total = 0;
    for (uint32_t type : types)
    {
        if (type != 4)
            in.Fail("face type " + std::to_string(type) + " is not 4 (triangles)");
    }
    for (uint32_t count : counts)
        total += count;
    if (types.size() != counts.size() || total != g.faces.size())
        in.Fail("the face groups do not add up to the " + std::to_string(g.faces.size()) +
                " corners");
    in.Expect(Tag("GNDX"));
    in.Array(g.vertex_groups, in.U32(), "the vertex groups");
    in.Expect(Tag("MTGC"));
    in.Array(g.matrix_groups, in.U32(), "the matrix groups");
    in.Expect(Tag("MATS"));
    in.Array(g.matrix_indices, in.U32(), "the matrix indices");
    g.material_id = in.U32();
    g.selection_group = in.U32();
    g.selection_flags = in.U32();
    ReadExtent(in, g.extent);
    const uint32_t extents = in.U32();
    in.Need(uint64_t(extents) * 28, "the sequence extents");
    g.sequence_extents.resize(extents);
    for (Extent& extent : g.sequence_extents)
        ReadExtent(in, extent);
    in.Expect(Tag("UVAS"));
    const uint32_t sets = in.U32();
    in.Need(uint64_t(sets) * 8, "the texture coordinate sets");
    g.uv_sets.resize(sets);
    for (std::vector<float>& uvs : g.uv_sets)
    {
        in.Expect(Tag("UVBS"));
        in.Array(uvs, uint64_t(in.U32()) * 2, "the texture coordinates");
    }
}

void ReadMaterial(Reader& in, Material& material)
{
    material.priority_plane = in.I32();
    material.flags = in.U32();
    in.Expect(Tag("LAYS"));
    const uint32_t layers = in.U32();
    in.Need(uint64_t(layers) * 28, "the layers");
    material.layers.resize(layers);
    for (Layer& layer : material.layers)
    {
        Reader part = in.Sized("a layer");
        const uint32_t filter = part.U32();
        if (filter > 6)
            part.Fail("FilterMode " + std::to_string(filter) + " is not 0 to 6");
        layer.filter_mode = FilterMode(filter);
        layer.flags = part.U32();
        layer.texture_id = part.I32();
        layer.texture_animation_id = part.I32();
        layer.coord_id = part.U32();
        layer.alpha = part.F32();
        ReadTracks(part, layer.tracks);
    }
}

void ReadEmitter2(Reader& in, ParticleEmitter2& e)
{
    for (float* value : {&e.speed, &e.variation, &e.latitude, &e.gravity, &e.life_span,
                         &e.emission_rate, &e.width, &e.length})
        *value = in.F32();
    e.filter_mode = in.U32();
    e.rows = in.U32();
    e.columns = in.U32();
    e.head_or_tail = in.U32();
    e.tail_length = in.F32();
    e.time_middle = in.F32();
    for (Vec3& color : e.segment_colors)
        in.Floats(color);
    in.Raw(e.segment_alphas.data(), 3, "the segment alphas");
    in.Floats(e.segment_scaling);
    for (auto& interval : e.head_intervals)
        in.Raw(interval.data(), 12, "an interval");
    for (auto& interval : e.tail_intervals)
        in.Raw(interval.data(), 12, "an interval");
    e.texture_id = in.I32();
    e.squirt = in.U32();
    e.priority_plane = in.I32();
    e.replaceable_id = in.U32();
}

// Objects that start with their own size, until the chunk ends.
template <typename T, typename Fn>
void ReadSizedObjects(Reader& chunk, const char* name, std::vector<T>& out, Fn read_one)
{
    const std::string base = chunk.Where();
    while (chunk.Left() > 0)
    {
        chunk.Where() = base + ": " + name + " " + std::to_string(out.size());
        Reader in = chunk.Sized(name);
        out.emplace_back();
        read_one(in, out.back());
        in.End();
    }
}

// Node objects without a size of their own, until the chunk ends.
template <typename T, typename Fn>
void ReadNodeObjects(Reader& chunk, const char* name, std::vector<T>& out, Fn read_rest)
{
    const std::string base = chunk.Where();
    while (chunk.Left() > 0)
    {
        chunk.Where() = base + ": " + name + " " + std::to_string(out.size());
        out.emplace_back();
        ReadNode(chunk, out.back().node);
        read_rest(chunk, out.back());
    }
}

template <typename T, typename Fn>
void ReadFixedObjects(Reader& chunk, size_t size, const char* name, std::vector<T>& out,
                      Fn read_one)
{
    if (chunk.Left() % size != 0)
        chunk.Fail("a size that is not a whole number of " + std::to_string(size) + "-byte " +
                   name + "s");
    out.resize(chunk.Left() / size);
    for (T& item : out)
        read_one(item);
}

void ReadChunk(Reader& in, uint32_t tag, Model& m)
{
    if (tag == Tag("VERS"))
    {
        if (in.Left() != 4)
            in.Fail("a size that is not 4");
        m.version = in.U32();
        if (m.version != kFormatVersion)
            in.Fail("FormatVersion " + std::to_string(m.version) +
                    " is not read; this reader reads FormatVersion 800");
    }
    else if (tag == Tag("MODL"))
    {
        if (in.Left() != 372)
            in.Fail("a size that is not 372");
        m.name = in.Text(80);
        m.animation_file = in.Text(260);
        ReadExtent(in, m.extent);
        m.blend_time = in.U32();
    }
    else if (tag == Tag("SEQS"))
    {
        ReadFixedObjects(in, 132, "sequence", m.sequences,
                         [&](Sequence& s)
                         {
                             s.name = in.Text(80);
                             s.interval[0] = in.U32();
                             s.interval[1] = in.U32();
                             s.move_speed = in.F32();
                             s.non_looping = in.U32();
                             s.rarity = in.F32();
                             s.sync_point = in.U32();
                             ReadExtent(in, s.extent);
                         });
    }
    else if (tag == Tag("GLBS"))
    {
        ReadFixedObjects(in, 4, "global sequence", m.global_sequences,
                         [&](uint32_t& d) { d = in.U32(); });
    }
    else if (tag == Tag("TEXS"))
    {
        ReadFixedObjects(in, 268, "texture", m.textures,
                         [&](Texture& t)
                         {
                             t.replaceable_id = in.U32();
                             t.path = in.Text(260);
                             t.wrap_flags = in.U32();
                         });
    }
    else if (tag == Tag("PIVT"))
    {
        ReadFixedObjects(in, 12, "pivot point", m.pivot_points, [&](Vec3& p) { in.Floats(p); });
    }
    else if (tag == Tag("MTLS"))
    {
        ReadSizedObjects(in, "Material", m.materials, ReadMaterial);
    }
    else if (tag == Tag("TXAN"))
    {
        ReadSizedObjects(in, "TVertexAnim", m.texture_animations,
                         [](Reader& part, TextureAnimation& a) { ReadTracks(part, a.tracks); });
    }
    else if (tag == Tag("GEOS"))
    {
        ReadSizedObjects(in, "Geoset", m.geosets, ReadGeoset);
    }
    else if (tag == Tag("GEOA"))
    {
        ReadSizedObjects(in, "GeosetAnim", m.geoset_animations,
                         [](Reader& part, GeosetAnimation& a)
                         {
                             a.alpha = part.F32();
                             a.flags = part.U32();
                             part.Floats(a.color);
                             a.geoset_id = part.I32();
                             ReadTracks(part, a.tracks);
                         });
    }
    else if (tag == Tag("BONE"))
    {
        ReadNodeObjects(in, "Bone", m.bones,
                        [](Reader& part, Bone& b)
                        {
                            b.geoset_id = part.I32();
                            b.geoset_animation_id = part.I32();
                        });
    }
    else if (tag == Tag("HELP"))
    {
        ReadNodeObjects(in, "Helper", m.helpers, [](Reader&, Helper&) {});
    }
    else if (tag == Tag("LITE"))
    {
        ReadSizedObjects(in, "Light", m.lights,
                         [](Reader& part, Light& l)
                         {
                             ReadNode(part, l.node);
                             l.type = part.I32();
                             part.Floats(l.attenuation);
                             part.Floats(l.color);
                             l.intensity = part.F32();
                             part.Floats(l.ambient_color);
                             l.ambient_intensity = part.F32();
                             ReadTracks(part, l.node.tracks);
                         });
    }
    else if (tag == Tag("ATCH"))
    {
        ReadSizedObjects(in, "Attachment", m.attachments,
                         [](Reader& part, Attachment& a)
                         {
                             ReadNode(part, a.node);
                             a.path = part.Text(260);
                             a.attachment_id = part.I32();
                             ReadTracks(part, a.node.tracks);
                         });
    }
    else if (tag == Tag("PREM"))
    {
        ReadSizedObjects(in, "ParticleEmitter", m.particle_emitters,
                         [](Reader& part, ParticleEmitter& e)
                         {
                             ReadNode(part, e.node);
                             e.emission_rate = part.F32();
                             e.gravity = part.F32();
                             e.longitude = part.F32();
                             e.latitude = part.F32();
                             e.path = part.Text(260);
                             e.life_span = part.F32();
                             e.speed = part.F32();
                             ReadTracks(part, e.node.tracks);
                         });
    }
    else if (tag == Tag("PRE2"))
    {
        ReadSizedObjects(in, "ParticleEmitter2", m.particle_emitters2,
                         [](Reader& part, ParticleEmitter2& e)
                         {
                             ReadNode(part, e.node);
                             ReadEmitter2(part, e);
                             ReadTracks(part, e.node.tracks);
                         });
    }
    else if (tag == Tag("RIBB"))
    {
        ReadSizedObjects(in, "RibbonEmitter", m.ribbon_emitters,
                         [](Reader& part, RibbonEmitter& r)
                         {
                             ReadNode(part, r.node);
                             r.height_above = part.F32();
                             r.height_below = part.F32();
                             r.alpha = part.F32();
                             part.Floats(r.color);
                             r.life_span = part.F32();
                             r.texture_slot = part.U32();
                             r.emission_rate = part.U32();
                             r.rows = part.U32();
                             r.columns = part.U32();
                             r.material_id = part.I32();
                             r.gravity = part.F32();
                             ReadTracks(part, r.node.tracks);
                         });
    }
    else if (tag == Tag("CAMS"))
    {
        ReadSizedObjects(in, "Camera", m.cameras,
                         [](Reader& part, Camera& c)
                         {
                             c.name = part.Text(80);
                             part.Floats(c.position);
                             c.field_of_view = part.F32();
                             c.far_clipping_plane = part.F32();
                             c.near_clipping_plane = part.F32();
                             part.Floats(c.target_position);
                             ReadTracks(part, c.tracks);
                         });
    }
    else if (tag == Tag("EVTS"))
    {
        ReadNodeObjects(in, "EventObject", m.event_objects,
                        [](Reader& part, EventObject& e)
                        {
                            part.Expect(Tag("KEVT"));
                            const uint32_t count = part.U32();
                            e.global_sequence_id = part.I32();
                            part.Array(e.event_frames, count, "the event frames");
                        });
    }
    else if (tag == Tag("CLID"))
    {
        ReadNodeObjects(in, "CollisionShape", m.collision_shapes,
                        [](Reader& part, CollisionShape& c)
                        {
                            const uint32_t type = part.U32();
                            if (type > 3)
                                part.Fail("type " + std::to_string(type) + " is not 0 to 3");
                            c.type = CollisionType(type);
                            part.Floats(c.vertices[0]);
                            if (c.type != CollisionType::kSphere)
                                part.Floats(c.vertices[1]);
                            if (c.type == CollisionType::kSphere ||
                                c.type == CollisionType::kCylinder)
                                c.bounds_radius = part.F32();
                        });
    }
    else
    {
        in.Fail("unknown chunk");
    }
    in.End();
}

} // namespace

Status ReadMdx(const void* data, size_t size, const std::string& file, Model& model)
{
    model = Model{};
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    std::string where = "MDLX";
    std::string error;
    try
    {
        Reader file_reader(bytes, bytes, bytes + size, where, error);
        if (file_reader.Left() < 4 || file_reader.U32() != Tag("MDLX"))
        {
            where = "the file";
            Reader start(bytes, bytes, bytes + size, where, error);
            start.Fail("not an MDX file (it does not start with MDLX)");
        }
        while (file_reader.Left() > 0)
        {
            where = "the file";
            const uint32_t tag = file_reader.U32("a chunk tag");
            where = TagText(tag);
            const uint32_t chunk_size = file_reader.U32("a chunk size");
            Reader chunk = file_reader.Sub(chunk_size, "the chunk");
            ReadChunk(chunk, tag, model);
        }
    }
    catch (const Failure&)
    {
        model = Model{};
        return {false, file + ": " + error};
    }
    Status status = ValidateModel(model, file);
    if (!status.ok)
        model = Model{};
    return status;
}

} // namespace mdlx
