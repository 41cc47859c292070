// A mesh cut into pieces that each fit in one host mesh, whose corners are
// 16-bit vertex indices. Plain index arrays in and out, meshoptimizer's way:
// nothing here reads a scene or a host model.
#ifndef MDLEXPORT_IMPORTER_MESH_SPLIT_H
#define MDLEXPORT_IMPORTER_MESH_SPLIT_H

#include <cstddef>
#include <cstdint>
#include <vector>

// The most vertices one host mesh holds: its corners are 16-bit.
constexpr size_t kMaxHostVertices = 65536;
// The most the importer puts in one by default: mdx-m3-viewer's sanity test
// calls 7,433 vertices in one geoset severe (the game drew one that large
// wrongly, and 7,394 well).
constexpr size_t kDefaultGeosetVertices = 7432;

struct MeshPiece
{
    std::vector<uint32_t> vertices; // indices into the source mesh's vertices
    std::vector<uint32_t> corners;  // three per triangle, indices into `vertices`
};

// Cuts a mesh of `vertex_count` vertices and `triangle_count` triangles
// (`corners`: three per triangle, each below `vertex_count`) into pieces of at
// most `vertex_limit` vertices (at least 3), keeping every triangle whole with
// its corners in order.
// - A mesh of at most `vertex_limit` vertices is one piece: all its vertices,
//   used or not, in their order, and its corners as they are.
// - A larger one is cut into patches of the surface, so that few vertices are
//   repeated along the cuts: a piece grows from a start triangle to the
//   triangles around each vertex it takes, nearest first, turning away those
//   that would take it over the limit; the next piece starts from the first
//   triangle turned away (else the first one left, in order). A piece's
//   vertices are the ones its triangles use, in the order they are first
//   used; a vertex that triangles of two pieces share is in both.
// No triangles give no pieces.
std::vector<MeshPiece> SplitMesh(const uint32_t* corners, size_t triangle_count,
                                 size_t vertex_count, size_t vertex_limit);

#endif
