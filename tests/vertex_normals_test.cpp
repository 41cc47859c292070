#include "number_format.h"
#include "test_support.h"
#include "vertex_normals.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace
{

// The normal as the Geoset writes it: host z, x, y.
std::string Written(const Vec3& n)
{
    return Fixed6(n.z) + ", " + Fixed6(n.x) + ", " + Fixed6(n.y);
}

std::vector<Vec3> NormalsOf(MeshHandle mesh, int32_t vertex_count)
{
    std::vector<Vec3> positions(static_cast<size_t>(vertex_count));
    for (int32_t v = 0; v < vertex_count; ++v)
        msVertex_GetVertex(msMesh_GetVertexAt(mesh, v), &positions[static_cast<size_t>(v)]);
    // One spare entry past the end, to see that nothing writes there.
    std::vector<Vec3> normals(static_cast<size_t>(vertex_count) + 1, Vec3{7.0f, 7.0f, 7.0f});
    std::vector<VertexIndexTriple> triangles(static_cast<size_t>(msMesh_GetTriangleCount(mesh)));
    for (size_t t = 0; t < triangles.size(); ++t)
        msTriangle_GetVertexIndices(msMesh_GetTriangleAt(mesh, static_cast<int32_t>(t)),
                                    &triangles[t]);
    ComputeVertexNormals(triangles.data(), static_cast<int32_t>(triangles.size()), positions.data(),
                         normals.data(), vertex_count);
    EXPECT_EQ(normals.back().x, 7.0f);
    normals.pop_back();
    return normals;
}

} // namespace

TEST(ComputeVertexNormals, FlatSquareFacingPlusZ)
{
    TestModel model;
    MeshHandle mesh = model.AddMesh();
    StandIn_AddVertex(mesh, 0, 0, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 1, 0, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 1, 1, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 0, 1, 0, 0, 0, 0);
    StandIn_AddTriangle(mesh, 0, 1, 2); // counter-clockwise seen from +z
    StandIn_AddTriangle(mesh, 0, 2, 3);
    for (const Vec3& n : NormalsOf(mesh, 4))
        EXPECT_EQ(Written(n), "1.000000, 0.000000, 0.000000");
}

TEST(ComputeVertexNormals, LargerFacesWeighMore)
{
    // Vertex 0 is shared by a face of vector (0, 0, 2) and one of (4, 0, 0):
    // the sum (4, 0, 2) has length sqrt(20), so the normal is
    // (0.894427, 0, 0.447214) in host axes.
    TestModel model;
    MeshHandle mesh = model.AddMesh();
    StandIn_AddVertex(mesh, 0, 0, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 1, 0, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 0, 2, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 0, 0, 2, 0, 0, 0);
    StandIn_AddTriangle(mesh, 0, 1, 2); // e1 (1,0,0) x e2 (0,2,0) = (0,0,2)
    StandIn_AddTriangle(mesh, 0, 2, 3); // e1 (0,2,0) x e2 (0,0,2) = (4,0,0)
    std::vector<Vec3> normals = NormalsOf(mesh, 4);
    EXPECT_EQ(Written(normals[0]), "0.447214, 0.894427, 0.000000");
    EXPECT_EQ(Written(normals[1]), "1.000000, 0.000000, 0.000000");
    EXPECT_EQ(Written(normals[2]), "0.447214, 0.894427, 0.000000");
    EXPECT_EQ(Written(normals[3]), "0.000000, 1.000000, 0.000000");
}

TEST(ComputeVertexNormals, ClockwiseWindingPointsAway)
{
    TestModel model;
    MeshHandle mesh = model.AddMesh();
    StandIn_AddVertex(mesh, 0, 0, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 0, 1, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 1, 0, 0, 0, 0, 0);
    StandIn_AddTriangle(mesh, 0, 1, 2);
    for (const Vec3& n : NormalsOf(mesh, 3))
        EXPECT_EQ(Written(n), "-1.000000, 0.000000, 0.000000");
}

TEST(ComputeVertexNormals, ACornerNamedTwiceAddsTwice)
{
    // Triangle (0, 0, 1) is degenerate: its face vector is zero, so it adds
    // nothing however often it names vertex 0. Triangle (0, 1, 2) gives +z.
    TestModel model;
    MeshHandle mesh = model.AddMesh();
    StandIn_AddVertex(mesh, 0, 0, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 1, 0, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 0, 1, 0, 0, 0, 0);
    StandIn_AddTriangle(mesh, 0, 0, 1);
    StandIn_AddTriangle(mesh, 0, 1, 2);
    for (const Vec3& n : NormalsOf(mesh, 3))
        EXPECT_EQ(Written(n), "1.000000, 0.000000, 0.000000");
}

TEST(ComputeVertexNormals, UnusedAndDegenerateVerticesGetZero)
{
    TestModel model;
    MeshHandle mesh = model.AddMesh();
    StandIn_AddVertex(mesh, 0, 0, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 1, 1, 1, 0, 0, 0);
    StandIn_AddVertex(mesh, 2, 2, 2, 0, 0, 0); // on one line: zero area
    StandIn_AddVertex(mesh, 5, 5, 5, 0, 0, 0); // used by no triangle
    StandIn_AddTriangle(mesh, 0, 1, 2);
    for (const Vec3& n : NormalsOf(mesh, 4))
        EXPECT_EQ(Written(n), "0.000000, 0.000000, 0.000000");
}

TEST(ComputeVertexNormals, CornersOutsideTheMeshAddNothing)
{
    TestModel model;
    MeshHandle mesh = model.AddMesh();
    StandIn_AddVertex(mesh, 0, 0, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 1, 0, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 0, 1, 0, 0, 0, 0);
    StandIn_AddTriangle(mesh, 0, 1, 3);     // 3 is the vertex count
    StandIn_AddTriangle(mesh, 65535, 0, 1); // the largest corner the host can name
    StandIn_AddTriangle(mesh, 0, 2, 1);     // -z, the only valid face
    for (const Vec3& n : NormalsOf(mesh, 3))
        EXPECT_EQ(Written(n), "-1.000000, 0.000000, 0.000000");
}

TEST(ComputeVertexNormals, NonFiniteInputIsWrittenAsZero)
{
    const float inf = std::numeric_limits<float>::infinity();
    TestModel model;
    MeshHandle mesh = model.AddMesh();
    StandIn_AddVertex(mesh, 0, 0, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, inf, 0, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 0, std::nanf(""), 0, 0, 0, 0);
    StandIn_AddTriangle(mesh, 0, 1, 2);
    for (const Vec3& n : NormalsOf(mesh, 3))
        EXPECT_EQ(Written(n), "0.000000, 0.000000, 0.000000");
}

TEST(ComputeVertexNormals, KeepsASmallFaceBesideALargeOne)
{
    // Faces of (0, 0, 2^24) and (4096, 0, 0): the length of the sum,
    // 16777216.5, is stored as the float 16777216, so the normal is
    // (4096 / 2^24, 0, 1) = (0.000244140625, 0, 1).
    TestModel model;
    MeshHandle mesh = model.AddMesh();
    StandIn_AddVertex(mesh, 0, 0, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 4096, 0, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 0, 4096, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 0, 0, 1, 0, 0, 0);
    StandIn_AddTriangle(mesh, 0, 1, 2); // (0, 0, 2^24)
    StandIn_AddTriangle(mesh, 0, 2, 3); // (4096, 0, 0)
    std::vector<Vec3> normals = NormalsOf(mesh, 4);
    EXPECT_EQ(Written(normals[0]), "1.000000, 0.000244, 0.000000");
}
