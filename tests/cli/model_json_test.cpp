#include "model_json.h"
#include "stand_in_model.h"
#include "test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>

TEST(ModelDescriptionJson, WritesWhatTheLibraryAnswers)
{
    TestModel model;
    MeshHandle mesh = model.AddMesh();
    StandIn_AddVertex(mesh, 0.1f, -2.5f, 1e-5f, 0.25f, 0.75f, 0);
    StandIn_AddVertex(mesh, 16777216.0f, -0.0f, 3.0f, 1.0f, 0.0f, 1);
    StandIn_AddVertex(mesh, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1);
    StandIn_AddTriangle(mesh, 0, 1, 2);
    StandIn_AddTriangle(mesh, 2, 1, 65535);
    BoneHandle root = model.AddBone("Root", "", 1.0f, 2.0f, 3.0f);
    StandIn_AddPositionKey(root, 0.0f, 0.0f, 1.5f, 0.0f);
    StandIn_AddRotationKey(root, 24.0f, 6.2831855f, 0.0f, -1.5707964f);
    model.AddBone("say \"hi\"\\\t", "Root");

    // Floats as the shortest text that reads back as the same float; names
    // with quotes, backslashes and control characters escaped.
    EXPECT_EQ(ModelDescriptionJson(model.handle()),
              "{\n"
              "  \"meshes\": [\n"
              "    {\n"
              "      \"positions\": [[0.1, -2.5, 1e-05], [16777216, -0, 3], [0, 0, 0]],\n"
              "      \"uvs\": [[0.25, 0.75], [1, 0], [0, 0]],\n"
              "      \"bone_indices\": [0, 1, -1],\n"
              "      \"triangles\": [[0, 1, 2], [2, 1, 65535]]\n"
              "    }\n"
              "  ],\n"
              "  \"bones\": [\n"
              "    {\n"
              "      \"name\": \"Root\",\n"
              "      \"parent\": \"\",\n"
              "      \"position\": [1, 2, 3],\n"
              "      \"position_keys\": [[0, 0, 1.5, 0]],\n"
              "      \"rotation_keys\": [[24, 6.2831855, 0, -1.5707964]]\n"
              "    },\n"
              "    {\n"
              "      \"name\": \"say \\\"hi\\\"\\\\\\u0009\",\n"
              "      \"parent\": \"Root\",\n"
              "      \"position\": [0, 0, 0],\n"
              "      \"position_keys\": [],\n"
              "      \"rotation_keys\": []\n"
              "    }\n"
              "  ]\n"
              "}\n");
}

TEST(ModelDescriptionJson, AnEmptyModelHasEmptyLists)
{
    TestModel model;
    EXPECT_EQ(ModelDescriptionJson(model.handle()),
              "{\n  \"meshes\": [\n  ],\n  \"bones\": [\n  ]\n}\n");
}

TEST(ModelDescriptionJson, EveryFloatReadsBackExactly)
{
    // Awkward floats: the smallest subnormal, the largest, and values whose
    // shortest text needs all nine digits.
    const float values[] = {1.4e-45f,    3.4028235e38f, 0.1f + 0.2f,   1.0f / 3.0f,
                            -123456.79f, 8.589973e9f,   2.3509887e-38f};
    TestModel model;
    MeshHandle mesh = model.AddMesh();
    for (float v : values)
        StandIn_AddVertex(mesh, v, v, v, v, v, 0);
    std::string text = ModelDescriptionJson(model.handle());
    size_t at = text.find("\"positions\": [[") + 15;
    for (float v : values)
    {
        char* end = nullptr;
        float back = std::strtof(text.c_str() + at, &end);
        EXPECT_EQ(back, v);
        at = text.find('[', static_cast<size_t>(end - text.c_str())) + 1;
    }
}

TEST(WriteModelDescription, ReportsAFolderThatDoesNotExist)
{
    TestModel model;
    TempDir dir;
    std::string error;
    EXPECT_TRUE(WriteModelDescription(model.handle(), dir.Path("model.json"), error));
    EXPECT_EQ(ReadFile(dir.Path("model.json")), ModelDescriptionJson(model.handle()));
    EXPECT_FALSE(WriteModelDescription(model.handle(), dir.Path("no/such/model.json"), error));
    EXPECT_EQ(error, "cannot write " + dir.Path("no/such/model.json"));
}
