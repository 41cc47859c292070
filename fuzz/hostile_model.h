// A model library that answers whatever the host's interface can express: the
// twenty host functions over a model decoded from a fuzzer's bytes, and a
// record of how the export called them. One model at a time, one thread.
//
// Any byte string is a model: a read past the end of the input yields zeros.
// The layout, in order (u8/u16/u32 little-endian; a "count", a "float" and a
// "name" are encoded as below):
//
//   u8 run flags    bit 0 the dialog cancels      bit 1 the file does not open
//                   bit 2 the disk fills (u32 budget follows, taken mod 2^20)
//                   bit 3 closing fails           bit 4 the k-th allocation is
//                   refused (u8 k follows)        bit 5 counts change from one
//                   call to the next (only when HostileOptions allows it)
//   [u32 budget] [u8 k] [if bit 5: u8 n, then n signed bytes of wobble]
//   count meshes, then per mesh:
//       count vertices, count triangles,
//       u8 n, n vertex records (float x y z u v, u32 bone index),
//       u8 n, n triangle records (u16 corners, any value)
//   count bones, then per bone:
//       name, parent name, float x y z,
//       count position keys, count rotation keys, u8 null_every,
//       u8 n, n position key records (float time x y z), the same for rotation
//
// A vertex, triangle or key at index i is record i mod n: a count far larger
// than the input still answers every index. With no records the host hands
// out a null handle (vertices, triangles) or a null key pointer. Key i is also
// null when null_every > 0 and i mod null_every == null_every - 1: the real
// host never does that for an index below the count, but the interface can
// express it and the export promises to treat it as a zero key, so the path
// is exercised rather than trusted.
//
// Count (u8 tag): 0xFF INT32_MIN; 0xFE -1; 0xFD any negative (u32 with the
// sign bit set); 0xFC huge (2^30 + u16); 0xFB huge (a u32 forced into 2^27 ..
// 2^31-1); 0xF0..0xFA a u16; otherwise the tag itself. Positive counts are
// capped (kHostileMax*) so that one run stays fast: the export loops over
// whatever count it is given. A huge count is kept only where the export
// allocates for it before it loops (a mesh's vertices; the bones of a model
// whose mesh count is not positive, unless counts change between calls),
// where an allocation of that size is refused at once; elsewhere it is capped.
//
// Float (u8 tag): below kHostileSpecialFloats one of the special values
// (NaN, infinities, subnormals, the largest finite, times that saturate);
// otherwise four raw bytes follow: every bit pattern is reachable.
//
// Name (u8 tag, two top bits): 00 a terminated name of (tag & 63) bytes, which
// may hold NULs and be longer than the 31 a buffer takes (the host then cuts
// it, as its contract says); 01 the same name as bone (u16 mod bone count),
// which is how repeated names and loops of parents arise; 10 32 raw bytes
// copied without a terminator; 11 the host writes nothing at all.
#ifndef MDLEXPORT_FUZZ_HOSTILE_MODEL_H
#define MDLEXPORT_FUZZ_HOSTILE_MODEL_H

#include "host_model_lib.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t kHostileMaxMeshes = 16;
constexpr int32_t kHostileMaxPerCount = 4096;
constexpr int32_t kHostileMaxVertices = 4096; // all meshes together
constexpr int32_t kHostileMaxTriangles = 4096;
constexpr int32_t kHostileMaxBones = 256; // unless the count is huge
constexpr int32_t kHostileMaxKeys = 4096; // all bones and both tracks together
constexpr uint8_t kHostileSpecialFloats = 24;

// What the world around the export does in this run.
struct HostileRun
{
    bool dialog_cancels = false;
    bool open_fails = false;
    bool disk_fills = false;
    uint32_t write_budget = 0; // bytes the file takes when disk_fills
    bool close_fails = false;
    bool refuses_allocation = false;
    uint32_t refused_allocation = 0; // 0-based, when refuses_allocation
    bool counts_change = false;      // flag bit 5, where HostileOptions allows it
};

struct HostileOptions
{
    // Counts that differ from one call to the next. The real host's model does
    // not change while the plug-in runs, so this is off by default.
    bool unstable_counts = false;
};

// How the export used the library. A violation is a call the export promised
// never to make: an index outside the count it was just given, or any call
// after msModel_Destroy.
struct HostileRecord
{
    int32_t destroy_count = 0;
    int64_t calls = 0;
    std::string first_violation;
};

// What a complete file must show, worked out from the model by the rules the
// export follows: what the host reports as it reports it (counts, bone indices
// of vertices, triangle corners; a null handle leaves the export's zero, or
// INT32_MIN for a bone index, as this host answers for one); the names as a
// 32-byte buffer holds them after its last byte is forced to a terminator; and
// each bone's parent as the highest-numbered bone bearing its parent's name.
struct HostileMeshExpectations
{
    int32_t vertex_count = 0;
    int32_t triangle_count = 0;
    std::vector<int32_t> bone_indices;      // one per vertex; none for a huge count
    std::vector<VertexIndexTriple> corners; // one per triangle
};

struct HostileBoneExpectations
{
    std::string name;
    int32_t parent = -1; // -1: no Parent line
    int32_t position_key_count = 0;
    int32_t rotation_key_count = 0;
};

struct HostileExpectations
{
    int32_t mesh_count = 0;
    int32_t bone_count = 0;
    std::vector<HostileMeshExpectations> meshes;
    std::vector<HostileBoneExpectations> bones; // empty unless the host holds every bone
};

// Decodes `data` into a new model and the run's conditions. The model lives
// until HostileModel_Free; msModel_Destroy only records the call.
ModelHandle HostileModel_Decode(const uint8_t* data, size_t size, const HostileOptions& options,
                                HostileRun& run);
void HostileModel_Free(ModelHandle model);
const HostileRecord& HostileModel_Record(ModelHandle model);
HostileExpectations HostileModel_Expect(ModelHandle model);

#endif
