// Per-vertex normals of one mesh, computed from its triangles: each vertex
// gets the normalised sum of the unnormalised face vectors of the triangles
// that use it, so larger triangles weigh more. Host axes throughout.
#ifndef MDLEXPORT_EXPORT_VERTEX_NORMALS_H
#define MDLEXPORT_EXPORT_VERTEX_NORMALS_H

#include "host_model_lib.h"

#include <cstdint>

// Fills `normals`, which has `vertex_count` entries (the mesh's vertex count),
// with the unit normal of every vertex, in vertex order, from the mesh's
// vertex positions and its `triangle_count` triangles, both as the host
// reported them and read once by the caller.
//
// A triangle with a corner at or above `vertex_count` adds nothing: the array
// is never addressed outside its entries. A vertex whose sum has length zero
// (no triangle, or only degenerate ones) gets (0, 0, 0).
void ComputeVertexNormals(const VertexIndexTriple* triangles, int32_t triangle_count,
                          const Vec3* positions, Vec3* normals, int32_t vertex_count);

#endif
