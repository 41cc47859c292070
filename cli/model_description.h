// The model description: a JSON file (RFC 8259, UTF-8) that holds what the
// host's model library answers for one model, and its loader (model_json.h
// builds what it loads into a stand-in model). cli/model-description.md
// describes the format in full; in short:
//
//   { "meshes": [ { "name": "Body",                      (default "")
//                   "positions": [[x, y, z], ...],         (default [])
//                   "uvs": [[u, v], ...],                  (default all [0, 0])
//                   "bone_indices": [b, ...],              (default all -1)
//                   "triangles": [[i0, i1, i2], ...] } ],  (default [])
//     "bones": [ { "name": "Root",                         (required)
//                  "parent": "",                           (default "")
//                  "position": [x, y, z],                  (default [0, 0, 0])
//                  "position_keys": [[time, x, y, z], ...],
//                  "rotation_keys": [[time, rx, ry, rz], ...] } ] }
//
// Every number is read as the nearest double, then rounded to the nearest
// 32-bit float; one that is not finite after that is refused. Indices are
// JSON integers without fraction or exponent: a corner from 0 to N-1 (N the
// mesh's vertex count) and at most 65535, a bone index within signed 32 bits.
// `uvs` and `bone_indices`, when present, have one entry per position. A bone
// name is 1 to 31 bytes of UTF-8 without NUL, a parent name at most 31 bytes
// without NUL; a mesh name may not hold a NUL either.
//
// A leading UTF-8 byte order mark is skipped. Unknown keys are ignored, but
// their values must still be valid JSON. A known key that appears twice in
// one object is refused: JSON leaves the meaning of a repeated name open, and
// a second "positions" is more likely a mistake than an intent.
//
// A file that breaks any rule is refused as a whole with one message naming
// the file, the place and the rule, for example
//   model.json: meshes[0].triangles[5][1]: corner index 7 is outside 0..3 (the mesh has 4 vertices)
// Places are key paths; where the bytes are not JSON the line and column are
// added, or stand alone (counted from 1, columns in bytes).
#ifndef MDLEXPORT_CLI_MODEL_DESCRIPTION_H
#define MDLEXPORT_CLI_MODEL_DESCRIPTION_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct MeshDescription
{
    std::string name;
    std::vector<float> positions;      // x, y, z per vertex
    std::vector<float> uvs;            // u, v per vertex, or empty for all zero
    std::vector<int32_t> bone_indices; // one per vertex, or empty for all -1
    std::vector<uint16_t> corners;     // i0, i1, i2 per triangle, each below the vertex count
};

struct BoneDescription
{
    std::string name;
    std::string parent;
    float position[3] = {0.0f, 0.0f, 0.0f};
    std::vector<float> position_keys; // time, x, y, z per key
    std::vector<float> rotation_keys; // time, rx, ry, rz per key
};

struct ModelDescription
{
    std::vector<MeshDescription> meshes;
    std::vector<BoneDescription> bones;
};

// The readable bytes that must follow the JSON text handed to
// ParseModelDescription (their values do not matter).
extern const size_t kModelDescriptionPadding;

class InputBytes;

// Parses the `size` bytes at `json` into `out`. On a refusal returns false,
// sets `error` to the message ("FILE: PLACE: RULE", FILE being `file_name`
// as given) and leaves `out` in an unspecified state. `pages`, when not null,
// holds the bytes, and the parser gives back those it has done with.
bool ParseModelDescription(const char* json, size_t size, const std::string& file_name,
                           ModelDescription& out, std::string& error, InputBytes* pages = nullptr);

// Reads the file at `path` (any byte string the system accepts; a pipe or
// other stream is read to its end) and parses it as above. A file that cannot
// be read is refused with the system's reason.
bool ReadModelDescription(const std::string& path, ModelDescription& out, std::string& error);

#endif
