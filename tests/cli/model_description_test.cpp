// What the loader accepts, and the values it keeps. What it refuses is tested
// through the built exporter (refusal_test.cpp), message, status and all.
#include "model_description.h"
#include "model_json.h"
#include "stand_in_model.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace
{

// Parses `json` as the file "model.json"; fails the test on a refusal.
ModelDescription Parse(const std::string& json)
{
    std::string padded = json + std::string(kModelDescriptionPadding, ' ');
    ModelDescription description;
    std::string error;
    EXPECT_TRUE(ParseModelDescription(padded.data(), json.size(), "model.json", description, error))
        << error;
    return description;
}

std::string Refusal(const std::string& json)
{
    std::string padded = json + std::string(kModelDescriptionPadding, ' ');
    ModelDescription description;
    std::string error;
    EXPECT_FALSE(
        ParseModelDescription(padded.data(), json.size(), "model.json", description, error));
    return error;
}

// The first position of the first mesh.
float FirstX(const std::string& number)
{
    ModelDescription d = Parse(R"({"meshes": [{"positions": [[)" + number + ", 0, 0]]}]}");
    return d.meshes.empty() || d.meshes[0].positions.empty() ? NAN : d.meshes[0].positions[0];
}

uint32_t Bits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

std::string Repeat(const std::string& text, int count)
{
    std::string result;
    for (int i = 0; i < count; ++i)
        result += text;
    return result;
}

} // namespace

TEST(ParseModelDescription, AbsentArraysMeanAnEmptyModel)
{
    for (const char* json : {"{}", R"({"meshes": [], "bones": []})", " \r\n{ } \r\n"})
    {
        ModelDescription d = Parse(json);
        EXPECT_TRUE(d.meshes.empty()) << json;
        EXPECT_TRUE(d.bones.empty()) << json;
    }
}

TEST(ParseModelDescription, BuildsDefaultsIntoTheStandInModel)
{
    ModelDescription d = Parse(R"({"meshes": [{"positions": [[1, 2, 3], [4, 5, 6]]}, {}],
                                   "bones": [{"name": "Root"}]})");
    ASSERT_EQ(d.meshes.size(), 2u);
    EXPECT_EQ(d.meshes[0].positions.size(), 6u);
    EXPECT_TRUE(d.meshes[0].corners.empty());
    EXPECT_TRUE(d.meshes[1].positions.empty());
    EXPECT_EQ(d.bones.size(), 1u);

    ModelHandle model = StandIn_CreateModel();
    BuildStandInModel(d, model);
    EXPECT_TRUE(d.meshes.empty()); // released as it was built
    ASSERT_EQ(msModel_GetMeshCount(model), 2);
    MeshHandle mesh = msModel_GetMeshAt(model, 0);
    ASSERT_EQ(msMesh_GetVertexCount(mesh), 2);
    VertexHandle second = msMesh_GetVertexAt(mesh, 1);
    Vec3 position{};
    Vec2 uv{9, 9};
    msVertex_GetVertex(second, &position);
    msVertex_GetTexCoords(second, &uv);
    EXPECT_EQ(position.x, 4.0f);
    EXPECT_EQ(position.z, 6.0f);
    EXPECT_EQ(uv.u, 0.0f); // no uvs: every vertex [0, 0]
    EXPECT_EQ(uv.v, 0.0f);
    EXPECT_EQ(msVertex_GetBoneIndex(second), -1); // no bone_indices: every vertex -1
    EXPECT_EQ(msMesh_GetVertexCount(msModel_GetMeshAt(model, 1)), 0);

    ASSERT_EQ(msModel_GetBoneCount(model), 1);
    BoneHandle bone = msModel_GetBoneAt(model, 0);
    char parent[32] = "x";
    msBone_GetParentName(bone, parent, sizeof parent);
    EXPECT_STREQ(parent, "");
    Vec3 offset{9, 9, 9};
    msBone_GetPosition(bone, &offset);
    EXPECT_EQ(offset.x, 0.0f);
    EXPECT_EQ(offset.y, 0.0f);
    EXPECT_EQ(offset.z, 0.0f);
    EXPECT_EQ(msBone_GetPositionKeyCount(bone), 0);
    EXPECT_EQ(msBone_GetRotationKeyCount(bone), 0);
    StandIn_FreeModel(model);
}

TEST(ParseModelDescription, IgnoresUnknownKeysAnywhere)
{
    ModelDescription d = Parse(R"({
        "notes": {"nested": [1, -2.5e-3, "text \u00e9 \n", true, false, null, {}, []]},
        "notes": "a repeated unknown key is ignored too",
        "huge": 1e400,
        "meshes": [{"comment": [[["deep"]]], "positions": [[1, 2, 3]], "colour": "red"}],
        "bones": [{"name": "Root", "layer": 7}]
    })");
    ASSERT_EQ(d.meshes.size(), 1u);
    EXPECT_EQ(d.meshes[0].positions, (std::vector<float>{1, 2, 3}));
    ASSERT_EQ(d.bones.size(), 1u);
    EXPECT_EQ(d.bones[0].name, "Root");
}

TEST(ParseModelDescription, RoundsToTheNearestDoubleThenTheNearestFloat)
{
    EXPECT_EQ(FirstX("0.1"), 0.1f);
    EXPECT_EQ(FirstX("1e38"), 1e38f);
    EXPECT_EQ(FirstX("-2.5E+2"), -250.0f);
    // 16777217.000000001 is nearest to the double 16777217 (2^24 + 1),
    // halfway between two floats; the tie goes to the even one, 2^24. Read
    // straight to float it would be 16777218.
    EXPECT_EQ(FirstX("16777217.000000001"), 16777216.0f);
    // Just below the float overflow edge (2^128 - 2^103): the largest float.
    EXPECT_EQ(FirstX("3.4028235677973362e38"), FLT_MAX);
    EXPECT_EQ(FirstX("-3.4028235e38"), -FLT_MAX);
    EXPECT_EQ(Bits(FirstX("1e-45")), 1u);                // the smallest subnormal
    EXPECT_EQ(Bits(FirstX("1.1754942e-38")), 0x7fffffu); // the largest subnormal
    EXPECT_EQ(Bits(FirstX("1e-50")), 0u);                // below every float: zero
    EXPECT_EQ(Bits(FirstX("-1e-50")), 0x80000000u);      // a negative zero
    EXPECT_EQ(Bits(FirstX("-0")), 0x80000000u);
    EXPECT_EQ(Bits(FirstX("-0.0e5")), 0x80000000u);
    // More digits than a double holds still round correctly (the exact value
    // of the double above 0.3, and one a little above 0.1).
    EXPECT_EQ(FirstX("0.3000000000000000444089209850062616169452667236328125"), 0.3f);
    EXPECT_EQ(FirstX("0.1000000000000000000001"), 0.1f);
    EXPECT_EQ(FirstX("-0.12345678901234567"), -0.12345679f);
    EXPECT_EQ(FirstX("123456789012345678901234567890"), 1.2345679e29f);
    // Below even the smallest double: zero, with its sign.
    EXPECT_EQ(Bits(FirstX("1e-400")), 0u);
    EXPECT_EQ(Bits(FirstX("-0.000000000000000000001e-400")), 0x80000000u);
}

TEST(ParseModelDescription, KeepsKeysAndTheirTimesAsGiven)
{
    ModelDescription d = Parse(R"({"bones": [{"name": "B", "position": [1.5, -2, 0.25],
        "position_keys": [[10, 1, 2, 3], [-1.5, 4, 5, 6], [2.25, 7, 8, 9]],
        "rotation_keys": [[0.5, 3.1415927, 0, -1]]}]})");
    ASSERT_EQ(d.bones.size(), 1u);
    const BoneDescription& bone = d.bones[0];
    EXPECT_EQ(bone.position[0], 1.5f);
    EXPECT_EQ(bone.position[1], -2.0f);
    EXPECT_EQ(bone.position[2], 0.25f);
    // Unsorted, negative and fractional times stay as they are, in order.
    EXPECT_EQ(bone.position_keys,
              (std::vector<float>{10, 1, 2, 3, -1.5f, 4, 5, 6, 2.25f, 7, 8, 9}));
    EXPECT_EQ(bone.rotation_keys, (std::vector<float>{0.5f, 3.1415927f, 0, -1}));
}

TEST(ParseModelDescription, AcceptsNamesUpToTheirLimits)
{
    std::string ascii31 = Repeat("n", 31);
    std::string utf8_31 = Repeat("\xC3\xA9", 15) + "a"; // 15 two-byte letters and one byte
    ModelDescription d = Parse(R"({"meshes": [{"name": ")" + Repeat("m", 300) + R"("}],
        "bones": [{"name": ")" +
                               ascii31 + R"(", "parent": ")" + utf8_31 + R"("},
                  {"name": ")" +
                               utf8_31 + R"(", "parent": ""},
                  {"name": "\u00e9\ud83d\ude00", "parent": ")" +
                               ascii31 + R"("},
                  {"name": ")" +
                               ascii31 + R"("}]})");
    ASSERT_EQ(d.bones.size(), 4u);
    EXPECT_EQ(d.meshes[0].name.size(), 300u); // a mesh name has no length limit
    EXPECT_EQ(d.bones[0].name, ascii31);
    EXPECT_EQ(d.bones[0].parent, utf8_31);
    EXPECT_EQ(d.bones[1].name, utf8_31);
    EXPECT_EQ(d.bones[2].name, "\xC3\xA9\xF0\x9F\x98\x80"); // escapes, a pair among them
    EXPECT_EQ(d.bones[3].name, ascii31);                    // names may repeat
}

TEST(ParseModelDescription, TakesKeysInAnyOrder)
{
    // The corners come before the positions that they must fit, and a key is
    // the same key whether or not it is spelt with escapes.
    ModelDescription d = Parse(R"({"bones": [], "mes\u0068es": [{
        "triangles": [[3, 0, 1], [-0, 2, 3]], "uvs": [[0, 0], [1, 0], [1, 1], [0, 1]],
        "bone_indices": [-2147483648, 2147483647, 0, -1],
        "positions": [[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]]}]})");
    ASSERT_EQ(d.meshes.size(), 1u);
    EXPECT_EQ(d.meshes[0].corners, (std::vector<uint16_t>{3, 0, 1, 0, 2, 3}));
    EXPECT_EQ(d.meshes[0].bone_indices, (std::vector<int32_t>{INT32_MIN, INT32_MAX, 0, -1}));
    EXPECT_EQ(d.meshes[0].uvs.size(), 8u);
}

TEST(ParseModelDescription, AcceptsTheLargestCorner)
{
    // 65536 vertices: every corner from 0 to 65535 fits.
    std::string positions = "[0,0,0]" + Repeat(",[0,0,0]", 65535);
    ModelDescription d = Parse(R"({"meshes": [{"positions": [)" + positions +
                               R"(], "triangles": [[65535, 0, 65534]]}]})");
    ASSERT_EQ(d.meshes.size(), 1u);
    EXPECT_EQ(d.meshes[0].positions.size(), 3u * 65536u);
    EXPECT_EQ(d.meshes[0].corners, (std::vector<uint16_t>{65535, 0, 65534}));
}

TEST(ParseModelDescription, SkipsAByteOrderMark)
{
    ModelDescription d = Parse("\xEF\xBB\xBF{\"bones\": [{\"name\": \"B\"}]}");
    EXPECT_EQ(d.bones.size(), 1u);
    // A mark anywhere else is no JSON.
    EXPECT_EQ(Refusal("{\xEF\xBB\xBF}"),
              "model.json: line 1, column 2: not valid JSON: a comma, colon, bracket or brace "
              "is missing or out of place");
}

TEST(ParseModelDescription, NestsUnknownValuesUpTo1024Deep)
{
    Parse(R"({"a": )" + Repeat("[", 1024) + Repeat("]", 1024) + "}");
    EXPECT_EQ(Refusal(R"({"a": )" + Repeat("[", 1025) + Repeat("]", 1025) + "}"),
              "model.json: a[0][0][0][0][0][0][0]...[0][0][0][0]: arrays and objects are "
              "nested more than 1024 deep");
}
