// Scenes built here, each for one rule of the import, and files Assimp
// cannot read.
#include "mdl_convert.h"
#include "pose_oracle.h"
#include "scene_import.h"
#include "stand_in_model.h"
#include "test_support.h"

#include <array>
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <numbers>

namespace
{

constexpr double kPi = std::numbers::pi;

// Builds an aiScene piece by piece; the scene owns everything it is given.
class SceneBuilder
{
  public:
    SceneBuilder() : scene_(new aiScene())
    {
        scene_->mRootNode = new aiNode("root");
    }

    aiNode* Root()
    {
        return scene_->mRootNode;
    }

    aiNode* AddNode(aiNode* parent, const std::string& name,
                    const aiMatrix4x4& transform = aiMatrix4x4())
    {
        aiNode* node = new aiNode(name);
        node->mTransformation = transform;
        parent->addChildren(1, &node);
        return node;
    }

    // A triangle mesh placed by `node`; returns its index.
    unsigned AddMesh(aiNode* node, const std::vector<aiVector3D>& positions,
                     const std::vector<std::array<unsigned, 3>>& triangles,
                     const std::string& name = "mesh")
    {
        auto* mesh = new aiMesh();
        mesh->mName = name;
        mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
        mesh->mNumVertices = static_cast<unsigned>(positions.size());
        mesh->mVertices = new aiVector3D[positions.size()];
        std::copy(positions.begin(), positions.end(), mesh->mVertices);
        mesh->mNumFaces = static_cast<unsigned>(triangles.size());
        mesh->mFaces = new aiFace[triangles.size()];
        for (size_t f = 0; f < triangles.size(); ++f)
        {
            mesh->mFaces[f].mNumIndices = 3;
            mesh->mFaces[f].mIndices =
                new unsigned[3]{triangles[f][0], triangles[f][1], triangles[f][2]};
        }
        return Place(node, mesh);
    }

    // A mesh of points or of lines.
    unsigned AddPrimitives(aiNode* node, unsigned corners, unsigned count)
    {
        auto* mesh = new aiMesh();
        mesh->mName = corners == 1 ? "dots" : "strokes";
        mesh->mPrimitiveTypes = corners == 1 ? aiPrimitiveType_POINT : aiPrimitiveType_LINE;
        mesh->mNumVertices = count * corners;
        mesh->mVertices = new aiVector3D[count * corners];
        mesh->mNumFaces = count;
        mesh->mFaces = new aiFace[count];
        for (unsigned f = 0; f < count; ++f)
        {
            mesh->mFaces[f].mNumIndices = corners;
            mesh->mFaces[f].mIndices = new unsigned[corners];
            for (unsigned c = 0; c < corners; ++c)
                mesh->mFaces[f].mIndices[c] = f * corners + c;
        }
        return Place(node, mesh);
    }

    void SetUvs(unsigned mesh_index, unsigned set, const std::vector<aiVector3D>& uvs)
    {
        aiMesh* mesh = meshes_[mesh_index];
        mesh->mTextureCoords[set] = new aiVector3D[uvs.size()];
        mesh->mNumUVComponents[set] = 2;
        std::copy(uvs.begin(), uvs.end(), mesh->mTextureCoords[set]);
    }

    void AddBone(unsigned mesh_index, const std::string& node_name, const aiMatrix4x4& offset,
                 const std::vector<std::pair<unsigned, float>>& weights)
    {
        aiMesh* mesh = meshes_[mesh_index];
        auto* bone = new aiBone();
        bone->mName = node_name;
        bone->mOffsetMatrix = offset;
        bone->mNumWeights = static_cast<unsigned>(weights.size());
        bone->mWeights = new aiVertexWeight[weights.size()];
        for (size_t w = 0; w < weights.size(); ++w)
            bone->mWeights[w] = aiVertexWeight(weights[w].first, weights[w].second);
        auto** bones = new aiBone*[mesh->mNumBones + 1];
        std::copy(mesh->mBones, mesh->mBones + mesh->mNumBones, bones);
        bones[mesh->mNumBones] = bone;
        delete[] mesh->mBones;
        mesh->mBones = bones;
        ++mesh->mNumBones;
    }

    aiAnimation* AddAnimation(const std::string& name, double duration, double ticks_per_second)
    {
        auto* animation = new aiAnimation();
        animation->mName = name;
        animation->mDuration = duration;
        animation->mTicksPerSecond = ticks_per_second;
        animations_.push_back(animation);
        return animation;
    }

    // A channel of position and rotation keys (time, value) for `node_name`.
    static void AddChannel(aiAnimation* animation, const std::string& node_name,
                           const std::vector<std::pair<double, aiVector3D>>& positions,
                           const std::vector<std::pair<double, aiQuaternion>>& rotations,
                           const std::vector<std::pair<double, aiVector3D>>& scalings = {})
    {
        auto* channel = new aiNodeAnim();
        channel->mNodeName = node_name;
        channel->mNumPositionKeys = static_cast<unsigned>(positions.size());
        channel->mPositionKeys = new aiVectorKey[positions.size()];
        for (size_t k = 0; k < positions.size(); ++k)
            channel->mPositionKeys[k] = aiVectorKey(positions[k].first, positions[k].second);
        channel->mNumRotationKeys = static_cast<unsigned>(rotations.size());
        channel->mRotationKeys = new aiQuatKey[rotations.size()];
        for (size_t k = 0; k < rotations.size(); ++k)
            channel->mRotationKeys[k] = aiQuatKey(rotations[k].first, rotations[k].second);
        channel->mNumScalingKeys = static_cast<unsigned>(scalings.size());
        channel->mScalingKeys = new aiVectorKey[scalings.size()];
        for (size_t k = 0; k < scalings.size(); ++k)
            channel->mScalingKeys[k] = aiVectorKey(scalings[k].first, scalings[k].second);
        auto** channels = new aiNodeAnim*[animation->mNumChannels + 1];
        std::copy(animation->mChannels, animation->mChannels + animation->mNumChannels, channels);
        channels[animation->mNumChannels] = channel;
        delete[] animation->mChannels;
        animation->mChannels = channels;
        ++animation->mNumChannels;
    }

    void SetUpAxis(int32_t axis, int32_t sign)
    {
        scene_->mMetaData = aiMetadata::Alloc(2);
        scene_->mMetaData->Set(0, "UpAxis", axis);
        scene_->mMetaData->Set(1, "UpAxisSign", sign);
    }

    const aiScene& Scene()
    {
        delete[] scene_->mMeshes;
        scene_->mNumMeshes = static_cast<unsigned>(meshes_.size());
        scene_->mMeshes = new aiMesh*[meshes_.size()];
        std::copy(meshes_.begin(), meshes_.end(), scene_->mMeshes);
        delete[] scene_->mAnimations;
        scene_->mNumAnimations = static_cast<unsigned>(animations_.size());
        scene_->mAnimations = new aiAnimation*[animations_.size()];
        std::copy(animations_.begin(), animations_.end(), scene_->mAnimations);
        return *scene_;
    }

  private:
    unsigned Place(aiNode* node, aiMesh* mesh)
    {
        unsigned index = static_cast<unsigned>(meshes_.size());
        meshes_.push_back(mesh);
        auto* list = new unsigned[node->mNumMeshes + 1];
        std::copy(node->mMeshes, node->mMeshes + node->mNumMeshes, list);
        list[node->mNumMeshes] = index;
        delete[] node->mMeshes;
        node->mMeshes = list;
        ++node->mNumMeshes;
        return index;
    }

    std::unique_ptr<aiScene> scene_;
    std::vector<aiMesh*> meshes_;
    std::vector<aiAnimation*> animations_;
};

struct Imported
{
    TestModel model;
    ImportSummary summary;
    std::vector<std::string> notes;
    std::string error;
    bool ok = false;

    bool Noted(const std::string& text) const
    {
        for (const std::string& note : notes)
            if (note.find(text) != std::string::npos)
                return true;
        return false;
    }
};

std::unique_ptr<Imported> Import(const aiScene& scene, ImportOptions options = {})
{
    auto result = std::make_unique<Imported>();
    result->ok = ImportAssimpScene(scene, "test scene", options, result->model.handle(),
                                   result->error, result->notes, &result->summary);
    return result;
}

Vec3 Position(ModelHandle model, int32_t mesh, int32_t vertex)
{
    Vec3 p{0, 0, 0};
    msVertex_GetVertex(msMesh_GetVertexAt(msModel_GetMeshAt(model, mesh), vertex), &p);
    return p;
}

int32_t BoneOf(ModelHandle model, int32_t mesh, int32_t vertex)
{
    return msVertex_GetBoneIndex(msMesh_GetVertexAt(msModel_GetMeshAt(model, mesh), vertex));
}

std::string BoneName(ModelHandle model, int32_t bone)
{
    char name[kNameBufferSize] = {};
    msBone_GetName(msModel_GetBoneAt(model, bone), name, kNameBufferSize);
    return name;
}

int32_t BoneIndex(ModelHandle model, const std::string& name)
{
    for (int32_t b = 0; b < msModel_GetBoneCount(model); ++b)
        if (BoneName(model, b) == name)
            return b;
    return -1;
}

std::string ParentName(ModelHandle model, int32_t bone)
{
    char name[kNameBufferSize] = {};
    msBone_GetParentName(msModel_GetBoneAt(model, bone), name, kNameBufferSize);
    return name;
}

std::array<uint16_t, 3> Corners(ModelHandle model, int32_t mesh, int32_t triangle)
{
    VertexIndexTriple t{{0, 0, 0}};
    msTriangle_GetVertexIndices(msMesh_GetTriangleAt(msModel_GetMeshAt(model, mesh), triangle), &t);
    return {t.corner[0], t.corner[1], t.corner[2]};
}

void ExpectAt(Vec3 p, float x, float y, float z)
{
    EXPECT_FLOAT_EQ(p.x, x);
    EXPECT_FLOAT_EQ(p.y, y);
    EXPECT_FLOAT_EQ(p.z, z);
}

const std::vector<aiVector3D> kTriangle = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};

aiMatrix4x4 Translation(float x, float y, float z)
{
    aiMatrix4x4 m;
    aiMatrix4x4::Translation(aiVector3D(x, y, z), m);
    return m;
}

aiQuaternion AboutY(double angle)
{
    return aiQuaternion(aiVector3D(0, 1, 0), static_cast<float>(angle));
}

} // namespace

TEST(ImportAxes, TheRecordedUpAxisBecomesY)
{
    struct Case
    {
        int32_t axis, sign;
        UpAxisChoice choice;
        float x, y, z; // where (1, 2, 3) lands
    };
    const Case cases[] = {
        {1, 1, UpAxisChoice::kFromFile, 1, 2, 3},  // already +Y
        {2, 1, UpAxisChoice::kFromFile, 1, 3, -2}, // (x, z, -y)
        {2, -1, UpAxisChoice::kFromFile, 1, -3, 2}, {1, -1, UpAxisChoice::kFromFile, 1, -2, -3},
        {0, 1, UpAxisChoice::kFromFile, -2, 1, 3},  {0, -1, UpAxisChoice::kFromFile, 2, -1, 3},
        {2, 1, UpAxisChoice::kY, 1, 2, 3},        // the option overrides the file
        {1, 1, UpAxisChoice::kZ, 1, 3, -2},       // likewise
        {7, 1, UpAxisChoice::kFromFile, 1, 2, 3}, // no such axis: taken as +Y
    };
    for (const Case& c : cases)
    {
        SceneBuilder builder;
        builder.AddMesh(builder.Root(), {{1, 2, 3}, {0, 0, 0}, {0, 0, 1}}, {{0, 1, 2}});
        builder.SetUpAxis(c.axis, c.sign);
        ImportOptions options;
        options.up = c.choice;
        auto imported = Import(builder.Scene(), options);
        ASSERT_TRUE(imported->ok) << imported->error;
        SCOPED_TRACE("axis " + std::to_string(c.axis) + " sign " + std::to_string(c.sign));
        ExpectAt(Position(imported->model.handle(), 0, 0), c.x, c.y, c.z);
    }
}

TEST(ImportMeshes, BakesTheNodeTransformAndFlipsTextureV)
{
    SceneBuilder builder;
    aiMatrix4x4 scale;
    aiMatrix4x4::Scaling(aiVector3D(100, 100, 100), scale);
    aiNode* node = builder.AddNode(builder.Root(), "Body", Translation(0, 0, 5) * scale);
    unsigned mesh = builder.AddMesh(node, kTriangle, {{0, 1, 2}});
    builder.SetUvs(mesh, 0, {{0.25f, 0.2f, 0}, {1, 1, 0}, {0, 0, 0}});
    builder.SetUvs(mesh, 1, {{9, 9, 0}, {9, 9, 0}, {9, 9, 0}});
    auto imported = Import(builder.Scene());
    ASSERT_TRUE(imported->ok) << imported->error;
    ModelHandle model = imported->model.handle();
    ExpectAt(Position(model, 0, 0), 100, 200, 305);
    ExpectAt(Position(model, 0, 2), 700, 800, 905);
    Vec2 uv{0, 0};
    msVertex_GetTexCoords(msMesh_GetVertexAt(msModel_GetMeshAt(model, 0), 0), &uv);
    EXPECT_FLOAT_EQ(uv.u, 0.25f);
    EXPECT_FLOAT_EQ(uv.v, 0.8f); // 1 - v: the MDL's origin is top-left
    msVertex_GetTexCoords(msMesh_GetVertexAt(msModel_GetMeshAt(model, 0), 1), &uv);
    EXPECT_FLOAT_EQ(uv.v, 0.0f);
    EXPECT_TRUE(imported->Noted("1 further texture coordinate sets dropped"));
    // Nothing moves or skins: one root bone that every vertex follows.
    ASSERT_EQ(msModel_GetBoneCount(model), 1);
    EXPECT_EQ(BoneName(model, 0), "Root");
    EXPECT_EQ(BoneOf(model, 0, 0), 0);
    EXPECT_EQ(BoneOf(model, 0, 2), 0);
}

TEST(ImportMeshes, AMirroringNodeKeepsTheFacesOutward)
{
    SceneBuilder builder;
    aiMatrix4x4 mirror;
    aiMatrix4x4::Scaling(aiVector3D(-1, 1, 1), mirror);
    builder.AddMesh(builder.AddNode(builder.Root(), "plain"), kTriangle, {{0, 1, 2}});
    builder.AddMesh(builder.AddNode(builder.Root(), "mirrored", mirror), kTriangle, {{0, 1, 2}});
    auto imported = Import(builder.Scene());
    ASSERT_TRUE(imported->ok);
    EXPECT_EQ(Corners(imported->model.handle(), 0, 0), (std::array<uint16_t, 3>{0, 1, 2}));
    EXPECT_EQ(Corners(imported->model.handle(), 1, 0), (std::array<uint16_t, 3>{0, 2, 1}));
    ExpectAt(Position(imported->model.handle(), 1, 0), -1, 2, 3);
}

TEST(ImportMeshes, MoreVerticesThanSixteenBitCornersReachAreSplit)
{
    // A strip: triangle i uses vertices i, i+1, i+2, so every split must
    // repeat the vertices a triangle shares with the one before.
    const unsigned count = 70000;
    std::vector<aiVector3D> positions;
    for (unsigned i = 0; i < count; ++i)
        positions.emplace_back(static_cast<float>(i), static_cast<float>(i % 7), 0.0f);
    std::vector<std::array<unsigned, 3>> strip;
    for (unsigned i = 0; i + 2 < count; ++i)
        strip.push_back({i, i + 1, i + 2});
    SceneBuilder builder;
    builder.AddMesh(builder.Root(), positions, strip);
    ImportOptions options;
    options.geoset_vertex_limit = 100000; // held to the 16-bit limit
    auto imported = Import(builder.Scene(), options);
    ASSERT_TRUE(imported->ok);
    ModelHandle model = imported->model.handle();
    ASSERT_EQ(msModel_GetMeshCount(model), 2);
    EXPECT_EQ(msMesh_GetVertexCount(msModel_GetMeshAt(model, 0)), 65536);
    int32_t triangles = 0;
    size_t checked = 0;
    for (int32_t m = 0; m < 2; ++m)
    {
        MeshHandle mesh = msModel_GetMeshAt(model, m);
        int32_t vertices = msMesh_GetVertexCount(mesh);
        EXPECT_LE(vertices, 65536);
        for (int32_t t = 0; t < msMesh_GetTriangleCount(mesh); ++t, ++triangles)
        {
            // The host triangle lies where source triangle number `triangles` lay.
            std::array<uint16_t, 3> corners = Corners(model, m, t);
            for (size_t k = 0; k < 3; ++k)
            {
                ASSERT_LT(corners[k], vertices);
                Vec3 p = Position(model, m, corners[k]);
                const aiVector3D& expected = positions[strip[static_cast<size_t>(triangles)][k]];
                ASSERT_EQ(p.x, expected.x);
                ASSERT_EQ(p.y, expected.y);
                ++checked;
            }
        }
    }
    EXPECT_EQ(triangles, static_cast<int32_t>(strip.size()));
    EXPECT_EQ(checked, 3 * strip.size());
    EXPECT_TRUE(imported->Noted("70000 vertices: split into 2 host meshes"));
}

TEST(ImportMeshes, ExactlySixtyFiveThousandFiveHundredThirtySixVerticesStayWhole)
{
    std::vector<aiVector3D> positions(65536);
    std::vector<std::array<unsigned, 3>> triangles;
    for (unsigned i = 0; i + 2 < 65536; i += 3)
        triangles.push_back({i, i + 1, i + 2});
    triangles.push_back({65535, 0, 1}); // the highest corner a host triangle can hold
    SceneBuilder builder;
    builder.AddMesh(builder.Root(), positions, triangles);
    ImportOptions options;
    options.geoset_vertex_limit = 65536;
    auto imported = Import(builder.Scene(), options);
    ASSERT_TRUE(imported->ok);
    ASSERT_EQ(msModel_GetMeshCount(imported->model.handle()), 1);
    EXPECT_EQ(Corners(imported->model.handle(), 0, 21845)[0], 65535);
}

TEST(ImportMeshes, PointsAndLinesAreSkippedWithANote)
{
    SceneBuilder builder;
    builder.AddPrimitives(builder.Root(), 1, 4);
    builder.AddPrimitives(builder.Root(), 2, 3);
    builder.AddMesh(builder.Root(), kTriangle, {{0, 1, 2}});
    auto imported = Import(builder.Scene());
    ASSERT_TRUE(imported->ok);
    EXPECT_EQ(msModel_GetMeshCount(imported->model.handle()), 1);
    EXPECT_TRUE(imported->Noted("mesh 'dots' has no triangles (points): skipped"));
    EXPECT_TRUE(imported->Noted("mesh 'strokes' has no triangles (lines): skipped"));

    SceneBuilder only_points;
    only_points.AddPrimitives(only_points.Root(), 1, 4);
    auto refused = Import(only_points.Scene());
    EXPECT_FALSE(refused->ok);
    EXPECT_EQ(refused->error, "test scene: the scene has no triangles to export");
}

TEST(ImportMeshes, CornersOutOfRangeAndNonFiniteValuesAreDropped)
{
    SceneBuilder builder;
    std::vector<aiVector3D> positions = kTriangle;
    positions.emplace_back(std::nanf(""), INFINITY, 1.0f);
    builder.AddMesh(builder.Root(), positions, {{0, 1, 2}, {0, 1, 9}, {1, 2, 3}});
    auto imported = Import(builder.Scene());
    ASSERT_TRUE(imported->ok);
    EXPECT_EQ(msMesh_GetTriangleCount(msModel_GetMeshAt(imported->model.handle(), 0)), 2);
    ExpectAt(Position(imported->model.handle(), 0, 3), 0, 0, 1);
    EXPECT_TRUE(imported->Noted("1 points, lines or broken faces dropped"));
    EXPECT_TRUE(imported->Noted("2 values that were not finite replaced by 0"));
}

TEST(ImportBones, EachVertexFollowsItsHeaviestBoneTiesToTheLowerIndex)
{
    SceneBuilder builder;
    aiNode* body = builder.AddNode(builder.Root(), "Body");
    aiNode* hip = builder.AddNode(builder.Root(), "Hip", Translation(0, 1, 0));
    builder.AddNode(hip, "Knee", Translation(0, -0.5f, 0));
    std::vector<aiVector3D> positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    unsigned mesh = builder.AddMesh(body, positions, {{0, 1, 2}, {1, 3, 2}});
    // Offsets: the inverse of each joint's bind transform.
    builder.AddBone(mesh, "Knee", Translation(0, -0.5f, 0), {{0, 0.5f}, {1, 0.7f}, {2, 0.2f}});
    builder.AddBone(mesh, "Hip", Translation(0, -1, 0), {{0, 0.5f}, {1, 0.3f}, {2, 0.8f}});
    auto imported = Import(builder.Scene());
    ASSERT_TRUE(imported->ok);
    ModelHandle model = imported->model.handle();
    // Parents first: Hip 0, Knee 1, then the mesh node, which carries the
    // vertex that no bone skins.
    ASSERT_EQ(msModel_GetBoneCount(model), 3);
    EXPECT_EQ(BoneName(model, 0), "Body");
    EXPECT_EQ(BoneName(model, 1), "Hip");
    EXPECT_EQ(BoneName(model, 2), "Knee");
    EXPECT_EQ(ParentName(model, 2), "Hip");
    EXPECT_EQ(BoneOf(model, 0, 0), 1); // 0.5 each: the lower index, Hip
    EXPECT_EQ(BoneOf(model, 0, 1), 2); // Knee's 0.7
    EXPECT_EQ(BoneOf(model, 0, 2), 1); // Hip's 0.8
    EXPECT_EQ(BoneOf(model, 0, 3), 0); // no weight: its mesh's node
    EXPECT_TRUE(imported->Noted("3 vertices had more than one bone weight"));
    // Pivots on the joints: Hip at (0, 1, 0), Knee half a unit below it.
    Vec3 offset{0, 0, 0};
    msBone_GetPosition(msModel_GetBoneAt(model, 1), &offset);
    ExpectAt(offset, 0, 1, 0);
    msBone_GetPosition(msModel_GetBoneAt(model, 2), &offset);
    ExpectAt(offset, 0, -0.5f, 0);
}

TEST(ImportBones, LongAndRepeatedNamesAreCutAndMadeUnique)
{
    SceneBuilder builder;
    std::string long_name = "mixamorig:LeftHandIndexFinger1_end"; // 34 bytes
    aiNode* a = builder.AddNode(builder.Root(), long_name);
    aiNode* b = builder.AddNode(a, long_name);
    aiNode* c = builder.AddNode(b, "");
    aiAnimation* animation = builder.AddAnimation("Idle", 1, 1);
    builder.AddMesh(builder.Root(), kTriangle, {{0, 1, 2}});
    SceneBuilder::AddChannel(animation, "", {{0, {0, 0, 0}}}, {{0, aiQuaternion()}});
    (void)c;
    auto imported = Import(builder.Scene());
    ASSERT_TRUE(imported->ok);
    ModelHandle model = imported->model.handle();
    ASSERT_EQ(msModel_GetBoneCount(model), 4); // a, b, the unnamed node, the mesh's root node
    EXPECT_EQ(BoneName(model, 1), long_name.substr(0, 31));
    EXPECT_EQ(BoneName(model, 2), long_name.substr(0, 29) + ".2");
    EXPECT_EQ(ParentName(model, 2), long_name.substr(0, 31));
    EXPECT_EQ(BoneName(model, 3), "Bone");
    EXPECT_EQ(ParentName(model, 3), long_name.substr(0, 29) + ".2");
    EXPECT_EQ(ParentName(model, 1), "root");
}

TEST(ImportBones, ANodeBoundTwoWaysIsOneBoneAndEachMeshStandsWhereItsSkinPutsIt)
{
    // Two meshes name the same joint with different bind matrices (as when a
    // mesh was bound before the joint moved): one bone, its node at rest, and
    // each mesh at rest where its own skin puts it.
    SceneBuilder builder;
    builder.AddNode(builder.Root(), "Joint", Translation(1, 0, 0));
    unsigned first = builder.AddMesh(builder.Root(), kTriangle, {{0, 1, 2}});
    unsigned second = builder.AddMesh(builder.Root(), kTriangle, {{0, 1, 2}});
    builder.AddBone(first, "Joint", Translation(-1, 0, 0), {{0, 1}, {1, 1}, {2, 1}});
    builder.AddBone(second, "Joint", Translation(-3, 0, 0), {{0, 1}, {1, 1}, {2, 1}});
    auto imported = Import(builder.Scene());
    ASSERT_TRUE(imported->ok);
    ModelHandle model = imported->model.handle();
    ASSERT_EQ(msModel_GetBoneCount(model), 1);
    EXPECT_EQ(BoneName(model, 0), "Joint");
    EXPECT_EQ(BoneOf(model, 0, 0), 0);
    EXPECT_EQ(BoneOf(model, 1, 0), 0);
    // The first triangle where it is (moved 1 - 1 = 0 along x), the second 2
    // units back along x (1 - 3), which its node does not say: noted.
    Vec3 p{0, 0, 0};
    msVertex_GetVertex(msMesh_GetVertexAt(msModel_GetMeshAt(model, 0), 1), &p);
    ExpectAt(p, 4, 5, 6);
    msVertex_GetVertex(msMesh_GetVertexAt(msModel_GetMeshAt(model, 1), 1), &p);
    ExpectAt(p, 2, 5, 6);
    EXPECT_TRUE(imported->Noted("its skin at rest places it elsewhere than its node does"));
    Matrix up;
    OracleFigures figures = CheckPoses(builder.Scene(), imported->summary, model, up, true);
    EXPECT_TRUE(figures.faults.empty());
    EXPECT_LE(figures.worst, 1e-6) << figures.worst_where;
}

TEST(ImportAnimation, SequencesStartOnWholeSecondsAfterEachOther)
{
    SceneBuilder builder;
    builder.AddNode(builder.Root(), "Spin");
    builder.AddMesh(builder.Root(), kTriangle, {{0, 1, 2}});
    // 1.5 s at 10 ticks a second; 2 s exactly; a key past the stated end
    // (0.25 s stated, keys to 0.5 s); no rate stated (25 a second) and no name.
    const double lengths[][2] = {{15, 10}, {2000, 1000}, {0.25, 1}, {25, 0}};
    const char* names[] = {"Walk", "Run \"fast\"", "Hit", ""};
    for (int a = 0; a < 4; ++a)
    {
        aiAnimation* animation = builder.AddAnimation(names[a], lengths[a][0], lengths[a][1]);
        double last = a == 2 ? 0.5 : lengths[a][0];
        SceneBuilder::AddChannel(animation, "Spin", {{0, {0, 0, 0}}},
                                 {{0, aiQuaternion()}, {last, AboutY(1.0)}});
    }
    auto imported = Import(builder.Scene());
    ASSERT_TRUE(imported->ok);
    const auto& sequences = imported->summary.sequences;
    ASSERT_EQ(sequences.size(), 4u);
    EXPECT_EQ(sequences[0].name, "Walk");
    EXPECT_EQ(sequences[0].start_ms, 0);
    EXPECT_EQ(sequences[0].end_ms, 1500);
    EXPECT_EQ(sequences[1].name, "Run _fast_");
    EXPECT_EQ(sequences[1].start_ms, 2000);
    EXPECT_EQ(sequences[1].end_ms, 4000);
    EXPECT_EQ(sequences[2].start_ms, 5000); // 4 s is taken by the end of Run
    EXPECT_EQ(sequences[2].end_ms, 5500);
    EXPECT_EQ(sequences[3].name, "Animation 4");
    EXPECT_EQ(sequences[3].start_ms, 6000);
    EXPECT_EQ(sequences[3].end_ms, 7000);
    // Every key of the spinning bone lies inside a sequence.
    int32_t spin_index = BoneIndex(imported->model.handle(), "Spin");
    ASSERT_GE(spin_index, 0);
    BoneHandle spin = msModel_GetBoneAt(imported->model.handle(), spin_index);
    ASSERT_GT(msBone_GetRotationKeyCount(spin), 0);
    for (int32_t k = 0; k < msBone_GetRotationKeyCount(spin); ++k)
    {
        int32_t ms = FrameToMdlTime(msBone_GetRotationKeyAt(spin, k)->time);
        bool inside = false;
        for (const ImportedSequence& sequence : sequences)
            inside = inside || (ms >= sequence.start_ms && ms <= sequence.end_ms);
        EXPECT_TRUE(inside) << ms;
    }
    OracleFigures figures =
        CheckPoses(builder.Scene(), imported->summary, imported->model.handle(), Matrix(), true);
    EXPECT_TRUE(figures.faults.empty()) << figures.faults.front();
    EXPECT_LE(figures.worst, 1e-5);
}

TEST(ImportAnimation, AStillSceneGetsOneStandSequence)
{
    SceneBuilder builder;
    builder.AddMesh(builder.Root(), kTriangle, {{0, 1, 2}});
    auto imported = Import(builder.Scene());
    ASSERT_TRUE(imported->ok);
    ASSERT_EQ(imported->summary.sequences.size(), 1u);
    EXPECT_EQ(imported->summary.sequences[0].name, "Stand");
    EXPECT_EQ(imported->summary.sequences[0].start_ms, 0);
    EXPECT_EQ(imported->summary.sequences[0].end_ms, 1000);
}

TEST(ImportAnimation, AnUnskinnedMeshRidesOnItsAnimatedNode)
{
    // A wheel under a moving, turning, scaled car: the wheel node has no
    // channel of its own, its mesh no bones.
    SceneBuilder builder;
    aiNode* car = builder.AddNode(builder.Root(), "Car", Translation(2, 0, 0));
    aiMatrix4x4 big;
    aiMatrix4x4::Scaling(aiVector3D(3, 3, 3), big);
    aiNode* wheel = builder.AddNode(car, "Wheel", Translation(0, 1, 1) * big);
    builder.AddMesh(wheel, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 1, 2}, {0, 2, 3}});
    aiAnimation* drive = builder.AddAnimation("Drive", 48, 24);
    SceneBuilder::AddChannel(drive, "Car", {{0, {2, 0, 0}}, {48, {2, 0, 10}}},
                             {{0, aiQuaternion()}, {24, AboutY(kPi / 2)}, {48, AboutY(kPi)}});
    auto imported = Import(builder.Scene());
    ASSERT_TRUE(imported->ok);
    ModelHandle model = imported->model.handle();
    ASSERT_EQ(msModel_GetBoneCount(model), 2);
    EXPECT_EQ(BoneName(model, 1), "Wheel");
    EXPECT_EQ(BoneOf(model, 0, 0), 1);
    for (bool slerp : {true, false})
    {
        OracleFigures figures =
            CheckPoses(builder.Scene(), imported->summary, model, Matrix(), slerp);
        EXPECT_TRUE(figures.faults.empty());
        EXPECT_EQ(figures.poses, 50u); // 49 frames and the still rest
        EXPECT_LE(figures.worst, 1e-5) << figures.worst_where;
    }
}

TEST(ImportAnimation, ScaleIsDroppedWithANoteNamingTheBones)
{
    SceneBuilder builder;
    builder.AddNode(builder.Root(), "Grow");
    builder.AddNode(builder.Root(), "Steady");
    builder.AddMesh(builder.Root(), kTriangle, {{0, 1, 2}});
    aiAnimation* animation = builder.AddAnimation("Pulse", 24, 24);
    SceneBuilder::AddChannel(animation, "Grow", {{0, {0, 0, 0}}}, {{0, aiQuaternion()}},
                             {{0, {1, 1, 1}}, {24, {2, 2, 2}}});
    SceneBuilder::AddChannel(animation, "Steady", {{0, {0, 0, 0}}}, {{0, aiQuaternion()}},
                             {{0, {1, 1, 1}}});
    SceneBuilder::AddChannel(animation, "Nowhere", {{0, {0, 0, 0}}}, {{0, aiQuaternion()}});
    auto imported = Import(builder.Scene());
    ASSERT_TRUE(imported->ok);
    EXPECT_TRUE(imported->Noted("scale dropped from the animation of bones: Grow"));
    EXPECT_FALSE(imported->Noted("Steady"));
    EXPECT_TRUE(imported->Noted("animation 'Pulse' moves node 'Nowhere', which the scene lacks"));
}

TEST(ImportAnimation, AnAnimationOfAbsurdLengthIsRefused)
{
    SceneBuilder builder;
    builder.AddNode(builder.Root(), "Bone");
    builder.AddMesh(builder.Root(), kTriangle, {{0, 1, 2}});
    aiAnimation* animation = builder.AddAnimation("Forever", 1e12, 1);
    SceneBuilder::AddChannel(animation, "Bone", {{0, {0, 0, 0}}}, {{0, aiQuaternion()}});
    auto imported = Import(builder.Scene());
    EXPECT_FALSE(imported->ok);
    EXPECT_EQ(imported->error,
              "test scene: the animations last longer than the 100000 frames the importer samples");
}

TEST(ImportScene, NamesTheFileAndAssimpsReasonWhenItCannotRead)
{
    TempDir dir;
    std::vector<std::string> notes;
    std::string error;
    TestModel model;
    std::string missing = dir.Path("missing.gltf");
    EXPECT_FALSE(ImportScene(missing, ImportOptions{}, model.handle(), error, notes));
    EXPECT_EQ(error.rfind("cannot read " + missing + ": ", 0), 0u) << error;
    EXPECT_GT(error.size(), ("cannot read " + missing + ": ").size());

    std::string garbage = dir.Path("garbage.fbx");
    std::FILE* file = std::fopen(garbage.c_str(), "wb");
    std::fputs("Kaydara FBX Binary  \x00\x1a\x00 and then nothing sensible", file);
    std::fclose(file);
    EXPECT_FALSE(ImportScene(garbage, ImportOptions{}, model.handle(), error, notes));
    EXPECT_EQ(error.rfind("cannot read " + garbage + ": ", 0), 0u) << error;

    EXPECT_FALSE(ImportScene(garbage, ImportOptions{}, nullptr, error, notes));
}

TEST(ImportScene, RefusesAssimpsInvalidTestFiles)
{
    // Files made to break readers; whichever way Assimp takes them, the
    // import ends with a model or a message, never a crash.
    const std::string folder = std::string(MDL_ASSIMP_MODELS) + "/invalid/";
    // (OutOfMemory.off is left out: Assimp itself spends a minute on it.)
    for (const char* name : {"empty.3ds", "empty.ase", "empty.lwo", "empty.md5mesh", "empty.obj",
                             "empty.off", "empty.ply", "empty.raw", "empty.smd", "empty.x",
                             "emptyIrrMesh.xml", "malformed.obj", "malformed2.obj"})
    {
        TestModel model;
        std::vector<std::string> notes;
        std::string error;
        bool ok = ImportScene(folder + name, ImportOptions{}, model.handle(), error, notes);
        EXPECT_TRUE(ok || error.rfind("cannot read " + folder + name, 0) == 0 ||
                    error.find("no triangles") != std::string::npos)
            << name << ": " << error;
    }
}
