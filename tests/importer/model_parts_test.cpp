// Extents, attachment points and materials of the whole-model conversion, on
// cases worked out by hand.
#include "attachment_points.h"
#include "material_choice.h"
#include "model_extents.h"

#include <assimp/GltfMaterial.h>
#include <assimp/material.h>
#include <cmath>
#include <gtest/gtest.h>
#include <iterator>
#include <utility>

TEST(ExtentTable, BoxesPerGeosetAndSequenceAndTheirUnions)
{
    ExtentTable table(2, 3); // geoset 1 has nothing in sequence 2
    table.Add(0, 0, {0, 0, 0});
    table.Add(0, 0, {1, 2, 2});
    table.Add(0, 2, {-3, 0, 0});
    table.Add(1, 1, {0, 5, 0});
    table.Add(1, 0, {0, 0, -4});
    struct Case
    {
        Box box;
        Vec3d minimum, maximum;
        double radius;
    };
    const Case cases[] = {
        {table.Of(0, 0), {0, 0, 0}, {1, 2, 2}, 1.5},
        {table.Of(1, 2), {0, 0, 0}, {0, 0, 0}, 0.0}, // empty
        {table.Geoset(0), {-3, 0, 0}, {1, 2, 2}, std::sqrt(24.0) / 2},
        {table.Geoset(1), {0, 0, -4}, {0, 5, 0}, std::sqrt(41.0) / 2},
        {table.Sequence(0), {0, 0, -4}, {1, 2, 2}, std::sqrt(41.0) / 2},
        {table.Sequence(2), {-3, 0, 0}, {-3, 0, 0}, 0.0}, // one point
        {table.Model(), {-3, 0, -4}, {1, 5, 2}, std::sqrt(16.0 + 25 + 36) / 2},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
    {
        const Case& c = cases[i];
        EXPECT_EQ(c.box.empty, i == 1) << i;
        EXPECT_EQ(c.box.minimum.x, c.minimum.x) << i;
        EXPECT_EQ(c.box.minimum.y, c.minimum.y) << i;
        EXPECT_EQ(c.box.minimum.z, c.minimum.z) << i;
        EXPECT_EQ(c.box.maximum.x, c.maximum.x) << i;
        EXPECT_EQ(c.box.maximum.y, c.maximum.y) << i;
        EXPECT_EQ(c.box.maximum.z, c.maximum.z) << i;
        EXPECT_DOUBLE_EQ(c.box.BoundsRadius(), c.radius) << i;
    }
}

TEST(FindAttachmentPoints, RefNodesFollowTheirBoneAndAnOriginIsAdded)
{
    // root > hips (bone 0) > hand (bone 1) > "Hand Left Ref" > "Weapon Ref";
    // root > "Overhead Ref"; a node named " Ref" alone and "Reference".
    const std::vector<AttachmentNode> nodes = {
        {"root", -1, -1},      {"hips", 0, 0},          {"hand", 1, 1},  {"Hand Left Ref", 2, -1},
        {"Weapon Ref", 3, -1}, {"Overhead Ref", 0, -1}, {" Ref", 0, -1}, {"Reference", 0, -1},
        {"Chest Ref", 1, 2}, // animated itself: it has a bone of its own
    };
    struct Expected
    {
        const char* name;
        int32_t node, parent_bone;
    };
    const Expected expected[] = {
        {"Hand Left Ref", 3, 1}, {"Weapon Ref", 4, 1},   {"Overhead Ref", 5, -1},
        {"Chest Ref", 8, 2},     {"Origin Ref", -1, -1},
    };
    std::vector<AttachmentPoint> points = FindAttachmentPoints(nodes);
    ASSERT_EQ(points.size(), std::size(expected));
    for (size_t i = 0; i < points.size(); ++i)
    {
        EXPECT_EQ(points[i].name, expected[i].name);
        EXPECT_EQ(points[i].node, expected[i].node) << i;
        EXPECT_EQ(points[i].parent_bone, expected[i].parent_bone) << i;
    }
    // The scene's own origin (its name as the game's check reads it) is kept
    // and none is added.
    points = FindAttachmentPoints({{"root", -1, 0}, {"Origin Ref", 0, -1}});
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].node, 1);
    EXPECT_EQ(points[0].parent_bone, 0);
}

TEST(ReadSourceMaterial, TextureAlphaSidesAndWrapAsTheSourceSays)
{
    struct Case
    {
        const char* what;
        const char* base_color; // null: none
        const char* diffuse;
        int wrap_u; // -1: not recorded
        const char* alpha_mode;
        float opacity; // < 0: not recorded
        int two_sided;
        SourceMaterial expected;
    };
    const Case cases[] = {
        {"nothing", nullptr, nullptr, -1, nullptr, -1.0f, -1, {"", true, true, AlphaMode::kOpaque}},
        {"base colour first", "a.png", "b.png", -1, "OPAQUE", -1.0f, 0, {"a.png", true, true}},
        {"diffuse",
         nullptr,
         "*0",
         aiTextureMapMode_Clamp,
         "MASK",
         -1.0f,
         1,
         {"*0", false, true, AlphaMode::kCutout, true}},
        {"mirror repeats",
         "c.jpg",
         nullptr,
         aiTextureMapMode_Mirror,
         "BLEND",
         -1.0f,
         -1,
         {"c.jpg", true, true, AlphaMode::kTranslucent}},
        {"opacity blends",
         nullptr,
         "d.png",
         aiTextureMapMode_Decal,
         nullptr,
         0.5f,
         -1,
         {"d.png", false, true, AlphaMode::kTranslucent}},
        {"full opacity", nullptr, nullptr, -1, nullptr, 1.0f, -1, {}},
    };
    for (const Case& c : cases)
    {
        aiMaterial material;
        for (auto [type, path] : {std::pair{aiTextureType_BASE_COLOR, c.base_color},
                                  std::pair{aiTextureType_DIFFUSE, c.diffuse}})
        {
            if (!path)
                continue;
            aiString text(path);
            material.AddProperty(&text, AI_MATKEY_TEXTURE(type, 0));
            if (c.wrap_u >= 0)
                material.AddProperty(&c.wrap_u, 1, AI_MATKEY_MAPPINGMODE_U(type, 0));
        }
        if (c.alpha_mode)
        {
            aiString text(c.alpha_mode);
            material.AddProperty(&text, AI_MATKEY_GLTF_ALPHAMODE);
        }
        if (c.opacity >= 0.0f)
            material.AddProperty(&c.opacity, 1, AI_MATKEY_OPACITY);
        if (c.two_sided >= 0)
            material.AddProperty(&c.two_sided, 1, AI_MATKEY_TWOSIDED);
        SourceMaterial got = ReadSourceMaterial(material);
        EXPECT_EQ(got.texture, c.expected.texture) << c.what;
        EXPECT_EQ(got.wrap_u, c.expected.wrap_u) << c.what;
        EXPECT_EQ(got.wrap_v, c.expected.wrap_v) << c.what;
        EXPECT_EQ(got.alpha, c.expected.alpha) << c.what;
        EXPECT_EQ(got.two_sided, c.expected.two_sided) << c.what;
    }
}

TEST(ShareTextures, EachImageAndWrapOnceAndOneWhiteForTheRest)
{
    const std::vector<SourceMaterial> materials = {
        {"a.png", true, true}, {"", true, true},       {"a.png", true, true},
        {"", false, false},    {"a.png", false, true}, {"b.png", true, true},
    };
    std::vector<uint32_t> texture_of;
    std::vector<TextureUse> textures = ShareTextures(materials, texture_of);
    EXPECT_EQ(texture_of, (std::vector<uint32_t>{0, 1, 0, 1, 2, 3}));
    EXPECT_EQ(textures, (std::vector<TextureUse>{{"a.png", true, true},
                                                 {"", false, false},
                                                 {"a.png", false, true},
                                                 {"b.png", true, true}}));
}
