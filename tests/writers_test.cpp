#include "bone_writer.h"
#include "geoset_writer.h"
#include "mdl_scratch.h"
#include "pivot_writer.h"
#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace
{

// The pieces of a Geoset that do not depend on the mesh, after the Groups
// list's opening line.
const std::string kGeosetTail = "\t}\n"
                                "\tMinimumExtent { -200, -200, -200 },\n"
                                "\tMaximumExtent { 200, 200, 200 },\n"
                                "\tBoundsRadius 400,\n"
                                "\tAnim {\n"
                                "\t\tMinimumExtent { -200, -200, -200 },\n"
                                "\t\tMaximumExtent { 200, 200, 200 },\n"
                                "\t\tBoundsRadius 400,\n"
                                "}\n"
                                "MaterialID 0,\n"
                                "\tSelectionGroup 0,\n"
                                "}\n";

std::string GeosetOf(ModelHandle model, MeshHandle mesh)
{
    MemoryStream out;
    WriteGeoset(*out.stream, model, mesh);
    return out.Bytes();
}

std::string BonesOf(ModelHandle model, std::vector<int32_t>& parents)
{
    parents.assign(static_cast<size_t>(msModel_GetBoneCount(model)), -1);
    MemoryStream out;
    WriteBones(*out.stream, model,
               ParentTable{parents.data(), static_cast<int32_t>(parents.size())});
    return out.Bytes();
}

std::string PivotsOf(ModelHandle model, std::vector<int32_t> parents)
{
    MemoryStream out;
    WritePivotPoints(*out.stream, model,
                     ParentTable{parents.data(), static_cast<int32_t>(parents.size())});
    return out.Bytes();
}

// "n" followed by the number; built in a buffer, as g++ 12 gives a false
// overlap warning on "n" + std::to_string(n) in optimised builds.
std::string Numbered(int n)
{
    char name[16];
    std::snprintf(name, sizeof name, "n%d", n);
    return name;
}

// The Faces line of a mesh with these triangles.
std::string TrianglesLineOf(const std::vector<VertexIndexTriple>& triangles)
{
    TestModel model;
    MeshHandle mesh = model.AddMesh();
    for (const VertexIndexTriple& t : triangles)
        StandIn_AddTriangle(mesh, t.corner[0], t.corner[1], t.corner[2]);
    std::string geoset = GeosetOf(model.handle(), mesh);
    size_t start = geoset.find("\t\tTriangles {\r\n") + std::strlen("\t\tTriangles {\r\n");
    return geoset.substr(start, geoset.find("\r\n", start) + 2 - start);
}

} // namespace

TEST(WriteGeoset, OneTriangleWithTwoBones)
{
    TestModel model;
    model.AddBone("a", "");
    model.AddBone("b", "a");
    MeshHandle mesh = model.AddMesh();
    StandIn_AddVertex(mesh, 0, 0, 0, 0.0f, 0.0f, 0);
    StandIn_AddVertex(mesh, 1, 0, 0, 1.0f, 0.0078125f, 1);
    StandIn_AddVertex(mesh, 0, 1, 0, -0.0f, 1.0f, -1);
    StandIn_AddTriangle(mesh, 0, 1, 2);
    EXPECT_EQ(GeosetOf(model.handle(), mesh),
              Crlf("Geoset {\n"
                   "\tVertices 3 {\n"
                   "\t\t{ 0.000000, 0.000000, 0.000000 },\n"
                   "\t\t{ 0.000000, 1.000000, 0.000000 },\n"
                   "\t\t{ 0.000000, 0.000000, 1.000000 },\n"
                   "\t}\n"
                   "Normals 3 {\n"
                   "\t\t{ 1.000000, 0.000000, 0.000000 },\n"
                   "\t\t{ 1.000000, 0.000000, 0.000000 },\n"
                   "\t\t{ 1.000000, 0.000000, 0.000000 },\n"
                   "\t}\n"
                   "\tTVertices 3 {\n"
                   "\t\t{ 0.000000, 0.000000 },\n"
                   "\t\t{ 1.000000, 0.007813 },\n" // halves go away from zero
                   "\t\t{ 0.000000, 1.000000 },\n" // negative zero is unsigned
                   "\t}\n"
                   "\tVertexGroup {\n"
                   "\t\t0,\n"
                   "\t\t1,\n"
                   "\t\t-1,\n" // written unchecked
                   "\t}\n"
                   "\tFaces 1 3 {\n"
                   "\t\tTriangles {\n"
                   "\t\t{  0, 1, 2 },\n"
                   "\t\t}\n"
                   "\t}\n"
                   "\n"
                   "\tGroups 2 2 {\n"
                   "\t\tMatrices { 0 },\n"
                   "\t\tMatrices { 1 },\n" +
                   kGeosetTail));
}

TEST(WriteGeoset, EmptyMeshWithoutBones)
{
    TestModel model;
    MeshHandle mesh = model.AddMesh();
    EXPECT_EQ(GeosetOf(model.handle(), mesh), Crlf("Geoset {\n"
                                                   "\tVertices 0 {\n"
                                                   "\t}\n"
                                                   "Normals 0 {\n"
                                                   "\t}\n"
                                                   "\tTVertices 0 {\n"
                                                   "\t}\n"
                                                   "\tVertexGroup {\n"
                                                   "\t}\n"
                                                   "\tFaces 1 0 {\n"
                                                   "\t\tTriangles {\n"
                                                   "\t\t{  },\n"
                                                   "\t\t}\n"
                                                   "\t}\n"
                                                   "\n"
                                                   "\tGroups 0 0 {\n" +
                                                   kGeosetTail));
}

TEST(WriteGeoset, AllTrianglesStandOnOneLine)
{
    EXPECT_EQ(TrianglesLineOf({}), "\t\t{  },\r\n");
    EXPECT_EQ(TrianglesLineOf({{{0, 1, 2}}, {{2, 1, 3}}}), "\t\t{  0, 1, 2, 2, 1, 3 },\r\n");
    // Corners are unsigned 16-bit and written as reported, even outside the mesh.
    EXPECT_EQ(TrianglesLineOf({{{65535, 0, 40000}}}), "\t\t{  65535, 0, 40000 },\r\n");
}

TEST(WriteGeoset, EveryGeosetHasTheModelsGroups)
{
    TestModel model;
    for (const char* name : {"a", "b", "c"})
        model.AddBone(name, "");
    MeshHandle first = model.AddMesh();
    StandIn_AddVertex(first, 0, 0, 0, 0, 0, 2);
    MeshHandle second = model.AddMesh();
    const std::string groups = Crlf("\tGroups 3 3 {\n"
                                    "\t\tMatrices { 0 },\n"
                                    "\t\tMatrices { 1 },\n"
                                    "\t\tMatrices { 2 },\n" +
                                    kGeosetTail);
    for (MeshHandle mesh : {first, second})
    {
        std::string geoset = GeosetOf(model.handle(), mesh);
        EXPECT_EQ(geoset.substr(geoset.find("\tGroups")), groups);
    }
}

TEST(WriteBones, RootChildAndTracks)
{
    TestModel model;
    BoneHandle root = model.AddBone("Root", "", 1, 2, 3);
    BoneHandle arm = model.AddBone("Arm", "Root");
    StandIn_AddPositionKey(arm, 1.0f, 0, 2, 0);
    StandIn_AddPositionKey(arm, 24.0f, 1, 2, 3);
    StandIn_AddPositionKey(arm, -1.0f, -0.0078125f, 0, 0);
    StandIn_AddRotationKey(arm, 0.0f, 0, 0, 0);
    StandIn_AddRotationKey(arm, 2.5f, 1.57079637f, 0, 0);
    (void)root;
    std::vector<int32_t> parents;
    EXPECT_EQ(BonesOf(model.handle(), parents),
              Crlf("Bone \"Root\" {\n"
                   "\tObjectId 0,\n"
                   "\tGeosetId Multiple,\n"
                   "\tGeosetAnimId None,\n"
                   "}\n"
                   "Bone \"Arm\" {\n"
                   "\tObjectId 1,\n"
                   "\tParent 0,\n"
                   "\tGeosetId Multiple,\n"
                   "\tGeosetAnimId None,\n"
                   "\tTranslation 3 {\n"
                   "\t\tLinear,\n"
                   "\t\t41: { 0.000000, 0.000000, 2.000000 },\n"
                   "\t\t1000: { 3.000000, 1.000000, 2.000000 },\n"
                   "\t\t-41: { 0.000000, -0.007813, 0.000000 },\n"
                   "\t}\n"
                   "\tRotation 2 {\n"
                   "\t\tLinear,\n"
                   "\t\t0: { 0.000000, 0.000000, 0.000000, 1.000000 },\n"
                   "\t\t104: { 0.000000, 0.707107, 0.000000, 0.707107 },\n"
                   "\t}\n"
                   "}\n"));
    EXPECT_EQ(parents, (std::vector<int32_t>{-1, 0}));
}

TEST(WriteBones, UnknownParentGivesNoParentLine)
{
    TestModel model;
    model.AddBone("Hand", "Arm"); // no bone is called Arm
    model.AddBone("arm", "");
    std::vector<int32_t> parents;
    std::string bones = BonesOf(model.handle(), parents);
    EXPECT_EQ(bones.find("Parent"), std::string::npos);
    EXPECT_EQ(parents, (std::vector<int32_t>{-1, -1})); // names compare case-sensitively
}

TEST(WriteBones, RepeatedNamesTheLastOneWins)
{
    TestModel model;
    model.AddBone("Twin", "");
    model.AddBone("Twin", "");
    model.AddBone("Child", "Twin");
    model.AddBone("Self", "Self"); // matches itself
    std::vector<int32_t> parents;
    std::string bones = BonesOf(model.handle(), parents);
    EXPECT_EQ(parents, (std::vector<int32_t>{-1, -1, 1, 3}));
    EXPECT_NE(bones.find(Crlf("\tObjectId 2,\n\tParent 1,\n")), std::string::npos);
    EXPECT_NE(bones.find(Crlf("\tObjectId 3,\n\tParent 3,\n")), std::string::npos);
}

TEST(WriteBones, NamesAreWrittenUnescaped)
{
    TestModel model;
    model.AddBone("a \"quoted\"\nname", "");
    model.AddBone("1234567890123456789012345678901", ""); // 31 bytes, the most a name holds
    std::vector<int32_t> parents;
    std::string bones = BonesOf(model.handle(), parents);
    EXPECT_NE(bones.find("Bone \"a \"quoted\"\r\nname\" {\r\n"), std::string::npos);
    EXPECT_NE(bones.find("Bone \"1234567890123456789012345678901\" {\r\n"), std::string::npos);
}

TEST(WriteBones, UnterminatedNamesAreCutAt31Bytes)
{
    TestModel model;
    char raw[32];
    std::memset(raw, 'x', sizeof raw);
    StandIn_SetRawName(model.AddBone("", ""), raw);
    BoneHandle second = model.AddBone("", std::string(31, 'x').c_str());
    StandIn_SetRawName(second, raw);
    std::vector<int32_t> parents;
    std::string bones = BonesOf(model.handle(), parents);
    EXPECT_NE(bones.find("Bone \"" + std::string(31, 'x') + "\" {\r\n"), std::string::npos);
    EXPECT_EQ(parents, (std::vector<int32_t>{-1, 1}));
}

TEST(WriteBones, ManyBonesResolveAsTheFullScanWould)
{
    // 300 bones with 40 distinct names, each naming a parent by one of them:
    // the answer must be the highest index bearing the parent's name.
    TestModel model;
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i)
        names.push_back(Numbered((i * 7) % 40));
    for (int i = 0; i < 300; ++i)
        model.AddBone(names[size_t(i)].c_str(), Numbered((i * 13) % 45).c_str());
    std::vector<int32_t> parents;
    BonesOf(model.handle(), parents);
    for (int r = 0; r < 300; ++r)
    {
        std::string parent = Numbered((r * 13) % 45);
        int32_t expected = -1;
        for (int l = 0; l < 300; ++l)
            if (names[size_t(l)] == parent)
                expected = l;
        EXPECT_EQ(parents[size_t(r)], expected) << r;
    }
}

TEST(WritePivotPoints, ChainSumsTheOffsets)
{
    TestModel model;
    model.AddBone("root", "", 0, 1, 0);
    model.AddBone("child", "root", 0, 2, 0);
    model.AddBone("grandchild", "child", 1, 0, 0);
    std::vector<int32_t> parents = {-1, 0, 1};
    EXPECT_EQ(PivotsOf(model.handle(), parents), Crlf("\n"
                                                      "PivotPoints 3 {\n"
                                                      "\t{ 0.000000, 0.000000, 1.000000 },\n"
                                                      "\t{ 0.000000, 0.000000, 3.000000 },\n"
                                                      "\t{ 0.000000, 1.000000, 3.000000 },\n"
                                                      "}"));
}

TEST(WritePivotPoints, NoBonesEndsAtOnce)
{
    TestModel model;
    std::vector<int32_t> parents;
    EXPECT_EQ(PivotsOf(model.handle(), parents), "\r\nPivotPoints 0 {\r\n}");
}

TEST(WritePivotPoints, LoopsAddEachBoneOnce)
{
    TestModel model;
    model.AddBone("a", "", 1, 0, 0);
    model.AddBone("b", "", 10, 0, 0);
    model.AddBone("c", "", 100, 0, 0);
    model.AddBone("d", "", 1000, 0, 0);
    // 0 is its own parent; 1 -> 2 -> 1; 3 -> 1 -> 2 -> 1.
    std::vector<int32_t> parents = {0, 2, 1, 1};
    EXPECT_EQ(PivotsOf(model.handle(), parents), Crlf("\n"
                                                      "PivotPoints 4 {\n"
                                                      "\t{ 0.000000, 1.000000, 0.000000 },\n"
                                                      "\t{ 0.000000, 110.000000, 0.000000 },\n"
                                                      "\t{ 0.000000, 110.000000, 0.000000 },\n"
                                                      "\t{ 0.000000, 1110.000000, 0.000000 },\n"
                                                      "}"));
}

TEST(WritePivotPoints, AddsFromTheBoneTowardTheRootInFloat)
{
    // From the tip up, 1 + 1 + 2^24 is 16777218 exactly; from the root down,
    // 2^24 + 1 would round back to 2^24 at each step.
    TestModel model;
    model.AddBone("root", "", 16777216.0f, 0, 0);
    model.AddBone("mid", "root", 1.0f, 0, 0);
    model.AddBone("tip", "mid", 1.0f, 0, 0);
    std::vector<int32_t> parents = {-1, 0, 1};
    std::string pivots = PivotsOf(model.handle(), parents);
    EXPECT_NE(pivots.find("\t{ 0.000000, 16777218.000000, 0.000000 },\r\n}"), std::string::npos)
        << pivots;
}

struct ScratchLog
{
    std::vector<void*> released;
};
ScratchLog g_scratch_log;

void ReleaseLogged(void* memory)
{
    g_scratch_log.released.push_back(memory);
    std::free(memory);
}

TEST(MdlScratch, RefusesSizesThatWouldWrapAndReleasesNewestFirst)
{
    g_scratch_log = {};
    bool refused = false;
    std::vector<void*> handed;
    {
        MdlScratch blocks(std::malloc, ReleaseLogged, &refused);
        handed.push_back(blocks.Array<int32_t>(3));
        handed.push_back(blocks.Array<char>(-5)); // a negative count asks for nothing
        EXPECT_FALSE(refused);
        EXPECT_EQ(blocks.Array<Vec3>(INT64_MAX), nullptr);
        EXPECT_TRUE(refused); // the file cannot be complete
        handed.push_back(blocks.Allocate(0));
    }
    ASSERT_EQ(handed.size(), 3u);
    for (void* block : handed)
        EXPECT_NE(block, nullptr);
    EXPECT_EQ(g_scratch_log.released, std::vector<void*>(handed.rbegin(), handed.rend()));
}
