// The rules a model keeps so that both forms can hold it and read it back the
// same: checked by both readers after parsing, and by both writers before
// they write a byte.
//
// - version is 800; names fit their MDX fields (79 bytes for an 80-byte field,
//   259 for 260: one byte stays for the terminating zero), and every text can
//   be written between the MDL's quotes and read back (no '"' outside a
//   backslash pair, no line break, no zero byte, no lone backslash at the end);
// - every index names something that exists: materials, textures, texture
//   animations, geosets, geoset animations, global sequences, node object ids
//   (unique, from 0 to the node count - 1; a parent is another node or -1);
// - a Geoset has whole vertices, as many normals as vertices (or none), each
//   texture coordinate set and the vertex groups one per vertex, whole
//   triangles whose corners are vertices, vertex groups that name matrix
//   groups, and matrix groups of at least one index that add up to the indices;
// - enumerations and flags hold only the values the MDL can say;
// - a track has a tag its block holds (once per block), an interpolation from
//   0 to 3, a value per frame (and the tangents for Hermite and Bezier), and
//   whole numbers from 0 to 2^24 in integer tracks;
// - a geoset animation's color is 1, 1, 1 unless its UseColor flag is set.
//
// Floats must be finite; the MDX reader refuses others.
#ifndef MDLEXPORT_MDLX_VALIDATE_H
#define MDLEXPORT_MDLX_VALIDATE_H

#include "model.h"

#include <string>

namespace mdlx
{

// The first broken rule as `FILE: BLOCK PATH: what`, or ok.
Status ValidateModel(const Model& model, const std::string& file);

} // namespace mdlx

#endif
