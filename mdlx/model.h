// The in-memory model of a Warcraft III model, FormatVersion 800: every block
// of the MDL text form and of the MDX binary form, as plain structs and
// vectors. The readers (mdl_reader.h, mdx_reader.h) fill one; the writers
// (mdl_writer.h, mdx_writer.h) write one; ValidateModel (validate.h) says
// whether a model built by hand can be written.
//
// Field order and default values are the MDX's: a field the MDL leaves out
// keeps the default given here. Colors that are not animated are stored as
// the MDX stores them, blue first (the MDL writes them red first); animated
// colors are stored and written as they come.
//
// Filling a model: push the objects, keep the indices consistent (a Geoset's
// material_id names a Material, a Layer's texture_id a Texture, a node's
// object_id is its index in the model's node order, parent_id another node's
// object_id or -1), give every node a pivot point (pivot_points[object_id]),
// and give every Geoset one extent per sequence (sequence_extents). For
// example, a Geoset whose vertices follow two bones each:
//
//     mdlx::Geoset geoset;
//     geoset.vertices = {x0, y0, z0, ...};          // 3 floats per vertex
//     geoset.normals = {...};                       // as many as vertices
//     geoset.uv_sets.push_back({u0, v0, ...});      // 2 floats per vertex
//     geoset.faces = {0, 1, 2, ...};                // 3 corners per triangle
//     geoset.matrix_groups = {2};                   // one group of two bones
//     geoset.matrix_indices = {0, 1};               // their object ids
//     geoset.vertex_groups.assign(vertex_count, 0); // every vertex: group 0
//
// Animated values are Tracks, each tagged with the MDX's four-letter tag
// (TrackKind lists them with their MDL names and widths). A node keeps all
// its tracks in one vector, in the order they were read.
#ifndef MDLEXPORT_MDLX_MODEL_H
#define MDLEXPORT_MDLX_MODEL_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace mdlx
{

// The one FormatVersion this library reads and writes.
constexpr uint32_t kFormatVersion = 800;

// A four-letter MDX tag as the little-endian word the file holds.
constexpr uint32_t Tag(const char (&text)[5])
{
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 |
           uint32_t(uint8_t(text[2])) << 16 | uint32_t(uint8_t(text[3])) << 24;
}

using Vec3 = std::array<float, 3>;

enum class Interpolation : uint32_t
{
    kDontInterp = 0,
    kLinear = 1,
    kHermite = 2,
    kBezier = 3,
};

// One animated value: a key per frame, each with `width` components
// (TrackKindOf(tag)->width), and for Hermite and Bezier an in and an out
// tangent per key. Integer tracks (TextureID, TextureSlot) hold whole numbers
// from 0 to 2^24 in their floats.
struct Track
{
    uint32_t tag = 0;
    Interpolation interpolation = Interpolation::kDontInterp;
    int32_t global_sequence_id = -1; // -1: the track follows the sequences
    std::vector<int32_t> frames;     // milliseconds
    std::vector<float> values;       // frames.size() * width
    std::vector<float> in_tans;      // as values for Hermite and Bezier, else empty
    std::vector<float> out_tans;

    bool operator==(const Track&) const = default;
};

// What a track tag means: its MDL keyword, the number of components of a
// value, and whether the values are integers.
struct TrackKind
{
    uint32_t tag;
    const char* mdl_name;
    uint8_t width;
    bool integer;
};
// Null for a tag that no block of FormatVersion 800 holds.
const TrackKind* TrackKindOf(uint32_t tag);

// The first track of `tracks` with `tag`, or null.
const Track* FindTrack(const std::vector<Track>& tracks, uint32_t tag);

struct Extent
{
    float bounds_radius = 0;
    Vec3 min{};
    Vec3 max{};

    bool operator==(const Extent&) const = default;
};

struct Sequence
{
    std::string name; // at most 79 bytes
    std::array<uint32_t, 2> interval{};
    float move_speed = 0;
    uint32_t non_looping = 0; // 0 or 1
    float rarity = 0;
    uint32_t sync_point = 0;
    Extent extent;

    bool operator==(const Sequence&) const = default;
};

enum TextureWrap : uint32_t
{
    kWrapWidth = 1,
    kWrapHeight = 2,
};

struct Texture
{
    uint32_t replaceable_id = 0;
    std::string path; // at most 259 bytes
    uint32_t wrap_flags = 0;

    bool operator==(const Texture&) const = default;
};

enum class FilterMode : uint32_t
{
    kNone,
    kTransparent,
    kBlend,
    kAdditive,
    kAddAlpha,
    kModulate,
    kModulate2x,
};

enum LayerFlag : uint32_t
{
    kLayerUnshaded = 0x1,
    kLayerSphereEnvMap = 0x2,
    kLayerTwoSided = 0x10,
    kLayerUnfogged = 0x20,
    kLayerNoDepthTest = 0x40,
    kLayerNoDepthSet = 0x80,
    kLayerUnlit = 0x100,
};

struct Layer
{
    FilterMode filter_mode = FilterMode::kNone;
    uint32_t flags = 0; // LayerFlag
    int32_t texture_id = -1;
    int32_t texture_animation_id = -1;
    uint32_t coord_id = 0;
    float alpha = 1;
    std::vector<Track> tracks; // KMTF TextureID, KMTA Alpha

    bool operator==(const Layer&) const = default;
};

enum MaterialFlag : uint32_t
{
    kMaterialConstantColor = 0x1,
    kMaterialTwoSided = 0x2,
    kMaterialSortPrimsNearZ = 0x8,
    kMaterialSortPrimsFarZ = 0x10,
    kMaterialFullResolution = 0x20,
};

struct Material
{
    int32_t priority_plane = 0;
    uint32_t flags = 0; // MaterialFlag
    std::vector<Layer> layers;

    bool operator==(const Material&) const = default;
};

struct TextureAnimation
{
    std::vector<Track> tracks; // KTAT Translation, KTAR Rotation, KTAS Scaling

    bool operator==(const TextureAnimation&) const = default;
};

struct Geoset
{
    std::vector<float> vertices;             // x, y, z per vertex
    std::vector<float> normals;              // x, y, z per vertex
    std::vector<std::vector<float>> uv_sets; // u, v per vertex, per set
    std::vector<uint8_t> vertex_groups;      // a matrix group per vertex
    std::vector<uint16_t> faces;             // three corners per triangle
    std::vector<uint32_t> matrix_groups;     // the size of each group
    std::vector<uint32_t> matrix_indices;    // the groups' object ids, one after another
    uint32_t material_id = 0;
    uint32_t selection_group = 0;
    uint32_t selection_flags = 0; // 0, or 4: Unselectable
    Extent extent;
    std::vector<Extent> sequence_extents; // one per sequence

    bool operator==(const Geoset&) const = default;
};

enum GeosetAnimationFlag : uint32_t
{
    kGeosetAnimDropShadow = 0x1,
    kGeosetAnimUseColor = 0x2, // the color applies; without it, the color is 1, 1, 1
};

struct GeosetAnimation
{
    float alpha = 1;
    uint32_t flags = 0;
    Vec3 color{1, 1, 1}; // blue, green, red
    int32_t geoset_id = -1;
    std::vector<Track> tracks; // KGAO Alpha, KGAC Color

    bool operator==(const GeosetAnimation&) const = default;
};

// The flags of every node. The MDX also marks each node with its kind
// (0x100 bone, 0x200 light, ...): the MDX writer adds that bit and the MDX
// reader drops it, so `flags` holds only the bits below and those of the
// node's own kind.
enum NodeFlag : uint32_t
{
    kNodeDontInheritTranslation = 0x1,
    kNodeDontInheritScaling = 0x2,
    kNodeDontInheritRotation = 0x4,
    kNodeBillboarded = 0x8,
    kNodeBillboardedLockX = 0x10,
    kNodeBillboardedLockY = 0x20,
    kNodeBillboardedLockZ = 0x40,
    kNodeCameraAnchored = 0x80,
    // Particle emitters.
    kEmitterUsesMdl = 0x8000,
    kEmitterUsesTga = 0x10000,
    // Particle emitters 2.
    kEmitter2Unshaded = 0x8000,
    kEmitter2SortPrimsFarZ = 0x10000,
    kEmitter2LineEmitter = 0x20000,
    kEmitter2Unfogged = 0x40000,
    kEmitter2ModelSpace = 0x80000,
    kEmitter2XYQuad = 0x100000,
};

// What bones, lights, helpers, attachments, emitters, event objects and
// collision shapes share. Its tracks hold the node's KGTR Translation, KGRT
// Rotation and KGSC Scaling and those of the object itself.
struct Node
{
    std::string name; // at most 79 bytes
    int32_t object_id = -1;
    int32_t parent_id = -1;
    uint32_t flags = 0; // NodeFlag
    std::vector<Track> tracks;

    bool operator==(const Node&) const = default;
};

struct Bone
{
    Node node;
    int32_t geoset_id = -1;           // -1: Multiple
    int32_t geoset_animation_id = -1; // -1: None

    bool operator==(const Bone&) const = default;
};

struct Light
{
    Node node;
    int32_t type = -1; // 0 omnidirectional, 1 directional, 2 ambient, -1 none given
    std::array<float, 2> attenuation{};
    Vec3 color{}; // blue, green, red
    float intensity = 0;
    Vec3 ambient_color{};
    float ambient_intensity = 0;

    bool operator==(const Light&) const = default;
};

struct Helper
{
    Node node;

    bool operator==(const Helper&) const = default;
};

struct Attachment
{
    Node node;
    std::string path; // at most 259 bytes
    int32_t attachment_id = 0;

    bool operator==(const Attachment&) const = default;
};

struct ParticleEmitter
{
    Node node;
    float emission_rate = 0;
    float gravity = 0;
    float longitude = 0;
    float latitude = 0;
    std::string path; // at most 259 bytes
    float life_span = 0;
    float speed = 0;

    bool operator==(const ParticleEmitter&) const = default;
};

struct ParticleEmitter2
{
    Node node;
    float speed = 0;
    float variation = 0;
    float latitude = 0;
    float gravity = 0;
    float life_span = 0;
    float emission_rate = 0;
    float width = 0;
    float length = 0;
    uint32_t filter_mode = 0; // 0 Blend, 1 Additive, 2 Modulate, 3 Modulate2x, 4 AlphaKey
    uint32_t rows = 0;
    uint32_t columns = 0;
    uint32_t head_or_tail = 0; // 0 Head, 1 Tail, 2 Both
    float tail_length = 0;
    float time_middle = 0;
    std::array<Vec3, 3> segment_colors{}; // each blue, green, red
    std::array<uint8_t, 3> segment_alphas{};
    Vec3 segment_scaling{};
    std::array<std::array<uint32_t, 3>, 2> head_intervals{};
    std::array<std::array<uint32_t, 3>, 2> tail_intervals{};
    int32_t texture_id = -1;
    uint32_t squirt = 0; // 0 or 1
    int32_t priority_plane = 0;
    uint32_t replaceable_id = 0;

    bool operator==(const ParticleEmitter2&) const = default;
};

struct RibbonEmitter
{
    Node node;
    float height_above = 0;
    float height_below = 0;
    float alpha = 0;
    Vec3 color{}; // blue, green, red
    float life_span = 0;
    uint32_t texture_slot = 0;
    uint32_t emission_rate = 0;
    uint32_t rows = 0;
    uint32_t columns = 0;
    int32_t material_id = 0;
    float gravity = 0;

    bool operator==(const RibbonEmitter&) const = default;
};

struct Camera
{
    std::string name; // at most 79 bytes
    Vec3 position{};
    float field_of_view = 0;
    float far_clipping_plane = 0;
    float near_clipping_plane = 0;
    Vec3 target_position{};
    std::vector<Track> tracks; // KCTR Translation, KCRL Rotation, KTTR target Translation

    bool operator==(const Camera&) const = default;
};

struct EventObject
{
    Node node;
    int32_t global_sequence_id = -1;
    std::vector<uint32_t> event_frames;

    bool operator==(const EventObject&) const = default;
};

enum class CollisionType : uint32_t
{
    kBox,
    kPlane,
    kSphere, // one vertex and a radius
    kCylinder,
};

struct CollisionShape
{
    Node node;
    CollisionType type = CollisionType::kBox;
    std::array<Vec3, 2> vertices{};
    float bounds_radius = 0;

    bool operator==(const CollisionShape&) const = default;
};

struct Model
{
    uint32_t version = kFormatVersion;
    std::string name;           // at most 79 bytes
    std::string animation_file; // at most 259 bytes
    Extent extent;
    uint32_t blend_time = 0;
    std::vector<Sequence> sequences;
    std::vector<uint32_t> global_sequences; // durations
    std::vector<Material> materials;
    std::vector<Texture> textures;
    std::vector<TextureAnimation> texture_animations;
    std::vector<Geoset> geosets;
    std::vector<GeosetAnimation> geoset_animations;
    std::vector<Bone> bones;
    std::vector<Light> lights;
    std::vector<Helper> helpers;
    std::vector<Attachment> attachments;
    std::vector<Vec3> pivot_points;
    std::vector<ParticleEmitter> particle_emitters;
    std::vector<ParticleEmitter2> particle_emitters2;
    std::vector<RibbonEmitter> ribbon_emitters;
    std::vector<Camera> cameras;
    std::vector<EventObject> event_objects;
    std::vector<CollisionShape> collision_shapes;

    bool operator==(const Model&) const = default;
};

// The outcome of a read or a write: ok, or one line saying what is wrong and
// where (for the MDL `FILE:LINE:COLUMN: BLOCK PATH: what`, for the MDX
// `FILE: at byte OFFSET: BLOCK PATH: what`).
struct Status
{
    bool ok = true;
    std::string message;
};

} // namespace mdlx

#endif
