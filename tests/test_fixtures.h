// Test fixtures shared by the native tests, the Windows module's tests and the
// fuzz targets: a stand-in model that frees itself, the one-triangle model
// and the text its export gives, and CR LF spelled out. Header-only, so that
// each of them builds it with its own compiler.
#ifndef MDLEXPORT_TESTS_TEST_FIXTURES_H
#define MDLEXPORT_TESTS_TEST_FIXTURES_H

#include "stand_in_model.h"

#include <cstdint>
#include <string>

// Turns every "\n" into "\r\n": expectations are written with plain line
// ends and compared with the file's bytes.
inline std::string Crlf(const std::string& text)
{
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 8);
    for (char c : text)
    {
        if (c == '\n')
            bytes += '\r';
        bytes += c;
    }
    return bytes;
}

// A stand-in model that frees itself.
class TestModel
{
  public:
    TestModel() : model_(StandIn_CreateModel()) {}
    ~TestModel()
    {
        StandIn_FreeModel(model_);
    }
    TestModel(const TestModel&) = delete;
    TestModel& operator=(const TestModel&) = delete;

    ModelHandle handle() const
    {
        return model_;
    }
    int32_t destroy_count() const
    {
        return StandIn_DestroyCount(model_);
    }

    MeshHandle AddMesh()
    {
        return StandIn_AddMesh(model_, "mesh");
    }
    BoneHandle AddBone(const char* name, const char* parent, float x = 0, float y = 0, float z = 0)
    {
        return StandIn_AddBone(model_, name, parent, x, y, z);
    }

  private:
    ModelHandle model_;
};

// One triangle in the host's x-y plane, one bone with a key on each track.
inline void BuildOneTriangleModel(ModelHandle model)
{
    MeshHandle mesh = StandIn_AddMesh(model, "mesh");
    StandIn_AddVertex(mesh, 0, 0, 0, 0, 0, 0);
    StandIn_AddVertex(mesh, 1, 0, 0, 1, 0, 0);
    StandIn_AddVertex(mesh, 0, 1, 0, 0, 1, 0);
    StandIn_AddTriangle(mesh, 0, 1, 2);
    BoneHandle root = StandIn_AddBone(model, "Root", "", 1, 2, 3);
    StandIn_AddPositionKey(root, 1.0f, 0, 2, 0);
    StandIn_AddRotationKey(root, 24.0f, 0, 0, 0);
}
inline void BuildOneTriangleModel(TestModel& model)
{
    BuildOneTriangleModel(model.handle());
}

// Its export, with plain line ends, in three pieces. Host (x, y, z) is
// written z, x, y. The face normal is the host's +z, so every normal is
// written 1, 0, 0. Frame 1 is 1000/24 = 41.67 ms, cut to 41; frame 24 is
// 1000. No rotation is the quaternion 0, 0, 0, 1. The pivot is the bone's own
// offset, as it has no parent.
// The header of a model of one mesh and one bone, up to the first Geoset.
inline const std::string kOneTriangleHeader =
    "//exported by quib and stuff\n"
    "Version {\n"
    "\tFormatVersion 800,\n"
    "}\n"
    "\tModel \"Model\" {\n"
    "\tNumGeosets 1,\n"
    "\tNumGeosetAnims 1,\n"
    "\tNumBones 1,\n"
    "\tBlendTime 150,\n"
    "\tMinimumExtent { -200, -200, -200 },\n"
    "\tMaximumExtent { 200, 200, 200 },\n"
    "}\n"
    "////////////////////////////////////////////////////\n"
    "////////////////////////////////////////////////////\n"
    "\n"
    "\n"
    "\n"
    "PASTE HEADING HERE\n"
    "\n"
    "\n"
    "\n"
    "////////////////////////////////////////////////////\n"
    "////////////////////////////////////////////////////\n";
inline const std::string kOneTriangleGeoset = "Geoset {\n"
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
                                              "\t\t{ 1.000000, 0.000000 },\n"
                                              "\t\t{ 0.000000, 1.000000 },\n"
                                              "\t}\n"
                                              "\tVertexGroup {\n"
                                              "\t\t0,\n"
                                              "\t\t0,\n"
                                              "\t\t0,\n"
                                              "\t}\n"
                                              "\tFaces 1 3 {\n"
                                              "\t\tTriangles {\n"
                                              "\t\t{  0, 1, 2 },\n"
                                              "\t\t}\n"
                                              "\t}\n"
                                              "\n"
                                              "\tGroups 1 1 {\n"
                                              "\t\tMatrices { 0 },\n"
                                              "\t}\n"
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
inline const std::string kOneTriangleBoneAndPivots =
    "Bone \"Root\" {\n"
    "\tObjectId 0,\n"
    "\tGeosetId Multiple,\n"
    "\tGeosetAnimId None,\n"
    "\tTranslation 1 {\n"
    "\t\tLinear,\n"
    "\t\t41: { 0.000000, 0.000000, 2.000000 },\n"
    "\t}\n"
    "\tRotation 1 {\n"
    "\t\tLinear,\n"
    "\t\t1000: { 0.000000, 0.000000, 0.000000, 1.000000 },\n"
    "\t}\n"
    "}\n"
    "\n"
    "PivotPoints 1 {\n"
    "\t{ 3.000000, 1.000000, 2.000000 },\n"
    "}";
inline const std::string kOneTriangleFile =
    kOneTriangleHeader + kOneTriangleGeoset + kOneTriangleBoneAndPivots;

#endif
