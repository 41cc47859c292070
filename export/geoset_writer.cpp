#include "geoset_writer.h"

#include "mdl_convert.h"
#include "vertex_normals.h"

namespace
{

void WriteVec3Row(MdlStream& out, Vec3 v)
{
    MdlAxes a = ToMdlAxes(v);
    MdlPrint(out, "\t\t{ %f, %f, %f },\n", a.first, a.second, a.third);
}

} // namespace

void WriteGeoset(MdlStream& out, ModelHandle model, MeshHandle mesh)
{
    int32_t vertex_count = msMesh_GetVertexCount(mesh);
    int32_t triangle_count = msMesh_GetTriangleCount(mesh);
    int32_t bone_count = msModel_GetBoneCount(model);

    // The positions are read once, for the Vertices list and the normals;
    // the normals are built beside them. One block for both.
    auto* scratch = static_cast<Vec3*>(MdlAllocateArray(out, vertex_count, 2 * sizeof(Vec3)));
    if (scratch == nullptr)
        return; // the stream is marked failed: the file will not be kept
    Vec3* positions = scratch;
    Vec3* normals = scratch + (vertex_count > 0 ? vertex_count : 0);

    MdlPrint(out, "Geoset {\n");
    MdlPrint(out, "\tVertices %d {\n", vertex_count);
    for (int32_t v = 0; v < vertex_count; ++v)
    {
        positions[v] = Vec3{0.0f, 0.0f, 0.0f};
        msVertex_GetVertex(msMesh_GetVertexAt(mesh, v), &positions[v]);
        WriteVec3Row(out, positions[v]);
    }
    MdlPrint(out, "\t}\n");

    MdlPrint(out, "Normals %d {\n", vertex_count);
    ComputeVertexNormals(mesh, triangle_count, positions, normals, vertex_count);
    for (int32_t v = 0; v < vertex_count; ++v)
        WriteVec3Row(out, normals[v]);
    MdlRelease(out, scratch);
    MdlPrint(out, "\t}\n");

    MdlPrint(out, "\tTVertices %d {\n", vertex_count);
    for (int32_t v = 0; v < vertex_count; ++v)
    {
        Vec2 uv{0.0f, 0.0f};
        msVertex_GetTexCoords(msMesh_GetVertexAt(mesh, v), &uv);
        MdlPrint(out, "\t\t{ %f, %f },\n", double{uv.u}, double{uv.v});
    }
    MdlPrint(out, "\t}\n");

    MdlPrint(out, "\tVertexGroup {\n");
    for (int32_t v = 0; v < vertex_count; ++v)
        MdlPrint(out, "\t\t%d,\n", msVertex_GetBoneIndex(msMesh_GetVertexAt(mesh, v)));
    MdlPrint(out, "\t}\n");

    // The count is of indices, not of triangles; it wraps like the host's
    // int32 arithmetic would rather than overflowing.
    MdlPrint(out, "\tFaces 1 %d {",
             static_cast<int32_t>(3u * static_cast<uint32_t>(triangle_count)));
    MdlPrint(out, "\n\t\tTriangles {\n\t\t{ ");
    for (int32_t t = 0; t < triangle_count; ++t)
    {
        VertexIndexTriple corners{{0, 0, 0}};
        msTriangle_GetVertexIndices(msMesh_GetTriangleAt(mesh, t), &corners);
        if (t > 0)
            MdlPrint(out, ",");
        MdlPrint(out, " %d, %d, %d", int32_t{corners.corner[0]}, int32_t{corners.corner[1]},
                 int32_t{corners.corner[2]});
    }
    MdlPrint(out, " },\n\t\t}\n\t}\n");

    MdlPrint(out, "\n\tGroups %d %d {\n", bone_count, bone_count);
    for (int32_t b = 0; b < bone_count; ++b)
        MdlPrint(out, "\t\tMatrices { %d },\n", b);
    MdlPrint(out, "\t}\n\tMinimumExtent { -200, -200, -200 },\n\t");
    MdlPrint(out, "MaximumExtent { 200, 200, 200 },\n\tBoundsRadius 400,\n\tAnim {\n\t\t");
    MdlPrint(out, "MinimumExtent { -200, -200, -200 },\n\t\t");
    MdlPrint(out, "MaximumExtent { 200, 200, 200 },\n\t\tBoundsRadius 400,\n}\n");
    MdlPrint(out, "MaterialID 0,\n\tSelectionGroup 0,\n}\n");
}
