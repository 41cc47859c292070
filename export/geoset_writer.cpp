#include "geoset_writer.h"

#include "mdl_convert.h"
#include "mdl_print.h"
#include "vertex_normals.h"

namespace
{

void WriteVec3Row(MdlStream& out, Vec3 v)
{
    MdlAxes a = ToMdlAxes(v);
    MdlPrint<"\t\t{ %f, %f, %f },\n">(out, a.first, a.second, a.third);
}

} // namespace

void WriteGeoset(MdlStream& out, ModelHandle model, MeshHandle mesh)
{
    int32_t vertex_count = msMesh_GetVertexCount(mesh);
    int32_t triangle_count = msMesh_GetTriangleCount(mesh);
    int32_t bone_count = msModel_GetBoneCount(model);

    // The positions are read once, for the Vertices list and the normals;
    // the normals are built beside them. One block for both. The triangles
    // too are read once, for the normals and the Faces list.
    MdlScratch blocks = MdlScratchOf(out);
    auto* scratch = blocks.Array<Vec3>(2 * static_cast<int64_t>(vertex_count));
    auto* triangles = blocks.Array<VertexIndexTriple>(triangle_count);
    if (scratch == nullptr || triangles == nullptr)
        return; // the stream is marked failed: the file will not be kept
    Vec3* positions = scratch;
    Vec3* normals = scratch + (vertex_count > 0 ? vertex_count : 0);

    MdlPrint<"Geoset {\n">(out);
    MdlPrint<"\tVertices %d {\n">(out, vertex_count);
    for (int32_t v = 0; v < vertex_count; ++v)
    {
        positions[v] = Vec3{0.0f, 0.0f, 0.0f};
        msVertex_GetVertex(msMesh_GetVertexAt(mesh, v), &positions[v]);
        WriteVec3Row(out, positions[v]);
    }
    MdlPrint<"\t}\n">(out);

    MdlPrint<"Normals %d {\n">(out, vertex_count);
    for (int32_t t = 0; t < triangle_count; ++t)
    {
        triangles[t] = VertexIndexTriple{{0, 0, 0}};
        msTriangle_GetVertexIndices(msMesh_GetTriangleAt(mesh, t), &triangles[t]);
    }
    ComputeVertexNormals(triangles, triangle_count, positions, normals, vertex_count);
    for (int32_t v = 0; v < vertex_count; ++v)
        WriteVec3Row(out, normals[v]);
    MdlPrint<"\t}\n">(out);

    MdlPrint<"\tTVertices %d {\n">(out, vertex_count);
    for (int32_t v = 0; v < vertex_count; ++v)
    {
        Vec2 uv{0.0f, 0.0f};
        msVertex_GetTexCoords(msMesh_GetVertexAt(mesh, v), &uv);
        MdlPrint<"\t\t{ %f, %f },\n">(out, double{uv.u}, double{uv.v});
    }
    MdlPrint<"\t}\n">(out);

    MdlPrint<"\tVertexGroup {\n">(out);
    for (int32_t v = 0; v < vertex_count; ++v)
        MdlPrint<"\t\t%d,\n">(out, msVertex_GetBoneIndex(msMesh_GetVertexAt(mesh, v)));
    MdlPrint<"\t}\n">(out);

    // The count is of indices, not of triangles; it wraps like the host's
    // int32 arithmetic would rather than overflowing.
    MdlPrint<"\tFaces 1 %d {">(out,
                               static_cast<int32_t>(3u * static_cast<uint32_t>(triangle_count)));
    MdlPrint<"\n\t\tTriangles {\n\t\t{ ">(out);
    for (int32_t t = 0; t < triangle_count; ++t)
    {
        const VertexIndexTriple& corners = triangles[t];
        if (t > 0)
            MdlPrint<",">(out);
        MdlPrint<" %d, %d, %d">(out, int32_t{corners.corner[0]}, int32_t{corners.corner[1]},
                                int32_t{corners.corner[2]});
    }
    MdlPrint<" },\n\t\t}\n\t}\n">(out);

    MdlPrint<"\n\tGroups %d %d {\n">(out, bone_count, bone_count);
    for (int32_t b = 0; b < bone_count; ++b)
        MdlPrint<"\t\tMatrices { %d },\n">(out, b);
    MdlPrint<"\t}\n\tMinimumExtent { -200, -200, -200 },\n\t">(out);
    MdlPrint<"MaximumExtent { 200, 200, 200 },\n\tBoundsRadius 400,\n\tAnim {\n\t\t">(out);
    MdlPrint<"MinimumExtent { -200, -200, -200 },\n\t\t">(out);
    MdlPrint<"MaximumExtent { 200, 200, 200 },\n\t\tBoundsRadius 400,\n}\n">(out);
    MdlPrint<"MaterialID 0,\n\tSelectionGroup 0,\n}\n">(out);
}
