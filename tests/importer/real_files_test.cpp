// Files that nobody here wrote, from Assimp's own test models: each one
// imports, exports through the plug-in, and moves as its source moves.
#include "auto_heading.h"
#include "plugin.h"
#include "pose_oracle.h"
#include "scene_import.h"
#include "stand_in_ui.h"
#include "test_support.h"

#include <assimp/Importer.hpp>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>

namespace
{

const std::string kModels = MDL_ASSIMP_MODELS;

struct FileCase
{
    const char* path; // below kModels
    size_t meshes;    // host meshes
    size_t bones;     // host bones
    size_t sequences;
};

void PrintTo(const FileCase& file, std::ostream* out)
{
    *out << file.path;
}

class RealFile : public testing::TestWithParam<FileCase>
{
};

// Imports, checks the poses with both of the game's rotation interpolations,
// and exports. The figures go to the test log.
void ConvertAndCheck(const FileCase& file, const ImportOptions& options, const Matrix& up)
{
    std::string path = kModels + "/" + file.path;
    Assimp::Importer importer;
    const aiScene* scene = ReadSceneFile(importer, path);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();

    TestModel model;
    std::string error;
    std::vector<std::string> notes;
    ImportSummary summary;
    ASSERT_TRUE(ImportAssimpScene(*scene, path, options, model.handle(), error, notes, &summary))
        << error;
    EXPECT_EQ(static_cast<size_t>(msModel_GetMeshCount(model.handle())), file.meshes);
    EXPECT_EQ(static_cast<size_t>(msModel_GetBoneCount(model.handle())), file.bones);
    EXPECT_EQ(summary.sequences.size(), file.sequences);

    for (bool slerp : {true, false})
    {
        OracleFigures figures = CheckPoses(*scene, summary, model.handle(), up, slerp);
        EXPECT_TRUE(figures.faults.empty()) << figures.faults.front();
        EXPECT_LE(figures.worst, 1e-3) << figures.worst_where;
        std::printf("[ figures  ] %s%s (%s): %zu vertices, %zu bones, %zu poses, worst %.3g of "
                    "size %.4g at %s\n",
                    file.path, options.keep_all_keys ? " all keys" : "", slerp ? "slerp" : "nlerp",
                    figures.vertices, static_cast<size_t>(msModel_GetBoneCount(model.handle())),
                    figures.poses, figures.worst, figures.model_size, figures.worst_where.c_str());
    }

    TempDir dir;
    std::unique_ptr<PlugInBase> plugin(CreatePlugIn());
    StandInUi_Reset();
    StandInUi_AnswerWithPath(dir.Path("out.mdl"));
    ASSERT_EQ(plugin->Run(model.handle()), 0);
    std::string mdl = ReadFile(dir.Path("out.mdl"));
    // The heading in place of the marker line, as the command-line exporter puts it.
    const std::string marker = "PASTE HEADING HERE\r\n";
    size_t at = mdl.find(marker);
    ASSERT_NE(at, std::string::npos);
    mdl.replace(at, marker.size(), AutoHeadingText(summary));
    EXPECT_EQ(mdl.find("PASTE HEADING HERE"), std::string::npos);
    // One sequence per source animation, each named in the heading (which
    // may add the game's "Stand" and "Death").
    EXPECT_EQ(summary.sequences.size(), static_cast<size_t>(file.sequences));
    for (const ImportedSequence& sequence : summary.sequences)
        EXPECT_NE(mdl.find("\tAnim \"" + sequence.name + "\" {"), std::string::npos)
            << sequence.name;
}

TEST_P(RealFile, MovesAsTheSourceMoves)
{
    ConvertAndCheck(GetParam(), ImportOptions{}, Matrix());
}

TEST_P(RealFile, MovesAsTheSourceMovesWithEveryKey)
{
    ImportOptions options;
    options.keep_all_keys = true;
    ConvertAndCheck(GetParam(), options, Matrix());
}

TEST_P(RealFile, MovesAsTheSourceMovesTurnedUpright)
{
    // Read as Z-up: every position turns (x, y, z) -> (x, z, -y).
    ImportOptions options;
    options.up = UpAxisChoice::kZ;
    Matrix up(1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1);
    ConvertAndCheck(GetParam(), options, up);
}

INSTANTIATE_TEST_SUITE_P(
    AssimpTestModels, RealFile,
    // Host meshes: the scene's triangle meshes as placed. Host bones: the
    // nodes below the root that skin or move, or "Root" for a still scene.
    testing::Values(
        FileCase{"glTF2/simple_skin/simple_skin.gltf", 1, 2, 1}, // two joints
        FileCase{"X/BCN_Epileptic.X", 3, 57, 1},                 // every node below the root
        FileCase{"X/anim_test.x", 1, 4, 1},  // four moving nodes; two skin bones name none
        FileCase{"X/Testwuson.X", 1, 39, 3}, // three animations on one timeline
        // Whole turns between keys, down a chain 64 nodes deep.
        FileCase{"Collada/anims_with_full_rotations_between_keys.DAE", 64, 128, 1},
        FileCase{"BVH/01_01.bvh", 1, 38, 1}, // motion capture; the root node moves too
        FileCase{"FBX/animation_with_skeleton.fbx", 1, 15, 1}, // 15 channels
        FileCase{"FBX/huesitos.fbx", 1, 10, 1},                // 10 channels
        FileCase{"Collada/box_nested_animation.dae", 1, 2, 1}, // a bone and its armature
        FileCase{"SMD/WusonSMD.smd", 1, 1, 1}, FileCase{"SMD/triangle.smd", 1, 1, 1},
        FileCase{"OBJ/spider.obj", 19, 1, 1},
        FileCase{"glTF2/BoxTextured-glTF/BoxTextured.gltf", 1, 1, 1},
        FileCase{"FBX/spider.fbx", 19, 1, 1}, FileCase{"Collada/duck.dae", 1, 1, 1}));

} // namespace
