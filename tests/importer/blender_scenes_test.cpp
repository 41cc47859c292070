// Scenes that Blender builds from scratch (tests/importer/scenes/build_scenes.py)
// and exports with its own glTF, FBX and Collada exporters: each file
// imports, moves as Assimp's skinning of it moves at every sampled time of
// every animation and stands in its rest pose in a still sequence, and its
// rest pose and animated frames put the vertices where Blender itself put
// them. Skipped when Blender is not installed.
#include "mdl_convert.h"
#include "pose_oracle.h"
#include "scene_import.h"
#include "test_support.h"

#include <algorithm>
#include <array>
#include <assimp/Importer.hpp>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <simdjson.h>

namespace
{

const std::string kBlender = MDL_BLENDER; // empty when CMake found none
const std::string kScript = MDL_BLENDER_SCENES;

// The checks of one file; a row lists those the importer is known to fail,
// which are measured and must still fail (so that a fix updates the table).
enum Check : unsigned
{
    kAnimated = 1,      // Assimp's skinning at every sampled time of every animation
    kStill = 2,         // Assimp's skinning at rest, in a still sequence
    kBlenderRest = 4,   // Blender's rest positions and bounds, in the geometry without keys
    kBlenderFrames = 8, // Blender's positions at frames of its actions
    kNames = 16,        // one sequence per action, named as the action
};

struct SceneCase
{
    const char* file;                   // written by the build script
    const char* recorded;               // its record of Blender's positions
    double units;                       // host units per Blender unit
    std::vector<std::string> sequences; // the sequences' names, in order
    std::vector<std::string> actions;   // the recorded action each one plays
    unsigned known;                     // checks known to fail today
};

struct Recorded
{
    std::vector<Vector> rest;
    Vector minimum, maximum;
    // Per action, per whole frame from its start, the same points.
    std::map<std::string, std::map<int, std::vector<Vector>>> frames;
};

Vector ToVector(simdjson::dom::element element)
{
    std::array<double, 3> v{};
    size_t i = 0;
    for (simdjson::dom::element x : element.get_array())
        if (i < 3)
            v[i++] = double(x);
    return Vector(v[0], v[1], v[2]);
}

Recorded ReadRecord(const std::string& path)
{
    Recorded record;
    simdjson::dom::parser parser;
    simdjson::dom::element doc = parser.load(path);
    for (simdjson::dom::element p : doc["rest"].get_array())
        record.rest.push_back(ToVector(p));
    record.minimum = ToVector(doc["minimum"]);
    record.maximum = ToVector(doc["maximum"]);
    for (auto [action, frames] : doc["actions"].get_object())
        for (auto [frame, points] : frames.get_object())
            for (simdjson::dom::element p : points.get_array())
                record.frames[std::string(action)][std::atoi(std::string(frame).c_str())].push_back(
                    ToVector(p));
    return record;
}

// Blender's axes (Z up) to the host's (Y up), as every exporter here writes them.
Vector ToHost(const Vector& b, double units)
{
    return Vector(b.x, b.z, -b.y) * units;
}

struct Measured
{
    double figure[5] = {0, 0, 0, 0, 0}; // per check, the worst error over the size
    std::string where[5];
    size_t largest_geoset = 0, host_vertices = 0, source_vertices = 0;
};

int Bit(unsigned check)
{
    int bit = 0;
    while ((1u << bit) != check)
        ++bit;
    return bit;
}

void Measure(const SceneCase& row, const std::string& folder, Measured& measured)
{
    std::string path = folder + "/" + row.file;
    Assimp::Importer importer;
    const aiScene* scene = ReadSceneFile(importer, path);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    TestModel model;
    std::string error;
    std::vector<std::string> notes;
    ImportSummary summary;
    ASSERT_TRUE(
        ImportAssimpScene(*scene, path, ImportOptions{}, model.handle(), error, notes, &summary))
        << error;
    Recorded record = ReadRecord(folder + "/" + row.recorded);
    Vector low = ToHost(record.minimum, row.units), high = ToHost(record.maximum, row.units);
    Vector blender_low(std::min(low.x, high.x), std::min(low.y, high.y), std::min(low.z, high.z));
    Vector blender_high(std::max(low.x, high.x), std::max(low.y, high.y), std::max(low.z, high.z));
    double size = (blender_high - blender_low).Length();

    auto note = [&measured](unsigned check, double value, const std::string& where)
    {
        int bit = Bit(check);
        if (!(value <= measured.figure[bit]))
        {
            measured.figure[bit] = std::isnan(value) ? 1e300 : value;
            measured.where[bit] = where;
        }
    };

    // Assimp's skinning, animated and still (a still sequence after the last).
    OracleFigures animated = CheckPoses(*scene, summary, model.handle(), Matrix(), true);
    note(kAnimated, animated.faults.empty() ? animated.worst : 1e300,
         animated.faults.empty() ? animated.worst_where : animated.faults.front());
    ImportSummary still = summary;
    int32_t last_end = 0;
    for (const ImportedSequence& sequence : summary.sequences)
        last_end = std::max(last_end, sequence.end_ms);
    ImportedSequence rest;
    rest.name = "Still";
    rest.start_ms = (last_end / 1000 + 1) * 1000;
    rest.end_ms = rest.start_ms + 1000;
    still.sequences = {rest};
    OracleFigures standing = CheckPoses(*scene, still, model.handle(), Matrix(), true);
    note(kStill, standing.worst, standing.worst_where);

    // Blender's rest positions: each recorded point is a host vertex of the
    // geometry without keys, and the bounds are Blender's.
    struct HostVertex
    {
        Vector position;
        int32_t bone;
    };
    std::vector<HostVertex> vertices;
    Vector host_low(1e300, 1e300, 1e300), host_high(-1e300, -1e300, -1e300);
    std::vector<bool> counted(scene->mNumMeshes, false);
    for (const ImportSummary::MeshOrigin& origin : summary.meshes)
        if (!counted[static_cast<size_t>(origin.source_mesh)])
        {
            counted[static_cast<size_t>(origin.source_mesh)] = true;
            measured.source_vertices += scene->mMeshes[origin.source_mesh]->mNumVertices;
        }
    for (int32_t m = 0; m < msModel_GetMeshCount(model.handle()); ++m)
    {
        MeshHandle mesh = msModel_GetMeshAt(model.handle(), m);
        size_t count = static_cast<size_t>(msMesh_GetVertexCount(mesh));
        measured.largest_geoset = std::max(measured.largest_geoset, count);
        measured.host_vertices += count;
        for (int32_t v = 0; v < msMesh_GetVertexCount(mesh); ++v)
        {
            Vec3 p{0, 0, 0};
            msVertex_GetVertex(msMesh_GetVertexAt(mesh, v), &p);
            Vector position(p.x, p.y, p.z);
            vertices.push_back(
                HostVertex{position, msVertex_GetBoneIndex(msMesh_GetVertexAt(mesh, v))});
            host_low = Vector(std::min(host_low.x, position.x), std::min(host_low.y, position.y),
                              std::min(host_low.z, position.z));
            host_high = Vector(std::max(host_high.x, position.x), std::max(host_high.y, position.y),
                               std::max(host_high.z, position.z));
        }
    }
    note(kBlenderRest,
         std::max((host_low - blender_low).Length(), (host_high - blender_high).Length()) / size,
         "bounds");
    std::vector<size_t> match;
    for (size_t i = 0; i < record.rest.size(); ++i)
    {
        Vector expected = ToHost(record.rest[i], row.units);
        size_t nearest = 0;
        double distance = 1e300;
        for (size_t v = 0; v < vertices.size(); ++v)
        {
            double d = (vertices[v].position - expected).SquareLength();
            if (d < distance)
            {
                distance = d;
                nearest = v;
            }
        }
        match.push_back(nearest);
        note(kBlenderRest, std::sqrt(distance) / size, "rest point " + std::to_string(i));
    }

    // Blender's animated positions, each point moved as its matched vertex.
    std::vector<std::string> names;
    MdlPose pose(model.handle());
    for (size_t s = 0; s < summary.sequences.size(); ++s)
    {
        const ImportedSequence& sequence = summary.sequences[s];
        names.push_back(sequence.name);
        if (s >= row.actions.size())
            continue;
        for (const auto& [frame, points] : record.frames[row.actions[s]])
        {
            int32_t ms = FrameToMdlTime(sequence.start_frame + static_cast<float>(frame));
            std::vector<Matrix> world = pose.WorldAt(ms, sequence.start_ms, sequence.end_ms, true);
            for (size_t i = 0; i < points.size() && i < match.size(); ++i)
            {
                const HostVertex& vertex = vertices[match[i]];
                Vector actual = vertex.bone >= 0 && static_cast<size_t>(vertex.bone) < world.size()
                                    ? world[static_cast<size_t>(vertex.bone)] * vertex.position
                                    : vertex.position;
                note(kBlenderFrames, (actual - ToHost(points[i], row.units)).Length() / size,
                     sequence.name + " frame " + std::to_string(frame) + " point " +
                         std::to_string(i));
                // The point inside the sequence's own extent (MDL axes z, x, y).
                Vector blender = ToHost(points[i], row.units);
                const double mdl[3] = {blender.z, blender.x, blender.y};
                for (int a = 0; a < 3 && sequence.has_extent; ++a)
                    note(kBlenderFrames,
                         std::max(
                             {0.0, sequence.minimum[a] - mdl[a], mdl[a] - sequence.maximum[a]}) /
                             size,
                         sequence.name + " extent, frame " + std::to_string(frame));
            }
        }
    }
    note(
        kNames, names == row.sequences ? 0.0 : 1.0,
        "sequences " +
            [&names]
            {
                std::string all;
                for (const std::string& name : names)
                    all += (all.empty() ? "" : ", ") + name;
                return all;
            }());
}

// The size options and the textures, on the scenes the table converted.
void CheckSizeAndTextures(const std::string& folder)
{
    // The figure 150 units tall, standing on the ground, and still moving as
    // Assimp's skinning scaled 150 / 1.7 times.
    std::string path = folder + "/figure.glb";
    Assimp::Importer importer;
    const aiScene* scene = ReadSceneFile(importer, path);
    ASSERT_NE(scene, nullptr);
    ImportOptions options;
    options.height = 150.0;
    options.ground = true;
    TestModel model;
    std::string error;
    std::vector<std::string> notes;
    ImportSummary summary;
    ASSERT_TRUE(ImportAssimpScene(*scene, path, options, model.handle(), error, notes, &summary));
    EXPECT_NEAR(summary.maximum[2] - summary.minimum[2], 150.0, 1e-3);
    EXPECT_NEAR(summary.minimum[2], 0.0, 1e-3);
    Recorded record = ReadRecord(folder + "/figure.json");
    double factor = 150.0 / (record.maximum.z - record.minimum.z);
    Matrix scaled;
    Matrix::Scaling(Vector(factor, factor, factor), scaled);
    Matrix lifted;
    Matrix::Translation(Vector(0, -record.minimum.z * factor, 0), lifted);
    OracleFigures figures = CheckPoses(*scene, summary, model.handle(), lifted * scaled, true);
    EXPECT_TRUE(figures.faults.empty());
    EXPECT_LE(figures.worst, 1e-5) << figures.worst_where;
    for (const std::string& note : notes)
        EXPECT_EQ(note.find("units tall"), std::string::npos) << note;

    // The box's texture repeats; the .glb's image is inside it, a PNG kept
    // under its own name; the .gltf's lies beside it.
    for (const char* file : {"box.glb", "box.gltf"})
    {
        SCOPED_TRACE(file);
        path = folder + "/" + file;
        const aiScene* box = ReadSceneFile(importer, path);
        ASSERT_NE(box, nullptr);
        TestModel box_model;
        ImportSummary textured;
        notes.clear();
        ASSERT_TRUE(ImportAssimpScene(*box, path, ImportOptions{}, box_model.handle(), error, notes,
                                      &textured));
        EXPECT_EQ(textured.texture_path, "Bricks.png");
        EXPECT_TRUE(textured.wrap_width);
        EXPECT_TRUE(textured.wrap_height);
        bool glb = std::string(file) == "box.glb";
        EXPECT_EQ(textured.embedded_image.empty(), !glb);
        if (glb)
        {
            EXPECT_EQ(textured.embedded_image, ReadFile(folder + "/Bricks.png"));
        }
    }
}

TEST(BlenderScenes, StandAndMoveAsInBlender)
{
    if (kBlender.empty())
        GTEST_SKIP() << "blender is not installed (scripts/install-deps installs it): the scenes "
                        "it builds are not checked";
    TempDir dir;
    std::string folder = dir.Path("scenes");
    std::string command = "'" + kBlender + "' --background --factory-startup --python '" + kScript +
                          "' -- '" + folder + "' > '" + dir.Path("blender.log") + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command << "\n"
                                               << ReadFile(dir.Path("blender.log"));

    // Blender writes a Collada armature's transform into the inverse binds
    // and the bind shape, which Assimp reads without it: the importer follows
    // Assimp's reading throughout (turned.dae, scaled.dae), so Blender's own
    // positions are not met there.
    const std::vector<std::string> both = {"Stand", "Walk"}, walk = {"Walk"};
    // Assimp's one animation of a Collada file from Blender, named after the
    // armature; the record's action is the one Blender wrote.
    const std::vector<std::string> clip = {"Armature_Armature"}, spin = {"Spin"};
    const std::vector<std::string> still = {"Stand"};
    const std::vector<SceneCase> rows = {
        {"figure.glb", "figure.json", 1.0, both, both, 0},
        {"figure.fbx", "figure.json", 100.0, both, both, 0},
        {"figure.dae", "figure.json", 1.0, clip, walk, 0},
        {"turned.glb", "turned.json", 1.0, both, both, 0},
        {"turned.fbx", "turned.json", 100.0, both, both, 0},
        {"turned.dae", "turned.json", 1.0, clip, walk, kBlenderRest | kBlenderFrames},
        {"scaled.glb", "scaled.json", 1.0, both, both, 0},
        {"scaled.fbx", "scaled.json", 100.0, both, both, 0},
        {"scaled.dae", "scaled.json", 1.0, clip, walk, kBlenderRest | kBlenderFrames},
        {"offset.glb", "offset.json", 1.0, both, both, 0},
        {"offset.fbx", "offset.json", 100.0, both, both, 0},
        {"offset.dae", "offset.json", 1.0, clip, walk, 0},
        {"sphere.glb", "sphere.json", 1.0, spin, spin, 0},
        {"sphere.fbx", "sphere.json", 100.0, spin, spin, 0}, // "Armature|Spin" the same
        {"sphere.dae", "sphere.json", 1.0, {"Armature"}, spin, 0},
        {"box.glb", "box.json", 1.0, still, still, 0},
        {"box.gltf", "box.json", 1.0, still, still, 0},
        {"box.fbx", "box.json", 100.0, still, still, 0},
        {"box.dae", "box.json", 1.0, still, still, 0},
    };
    const char* labels[5] = {"animated", "still", "blender rest", "blender frames", "names"};
    for (const SceneCase& row : rows)
    {
        SCOPED_TRACE(row.file);
        Measured measured;
        Measure(row, folder, measured);
        std::string line = row.file + std::string(":");
        for (int bit = 0; bit < 5; ++bit)
        {
            char figure[64];
            std::snprintf(figure, sizeof figure, " %s %.3g%s", labels[bit], measured.figure[bit],
                          (row.known & (1u << bit)) != 0 ? " (known)" : "");
            line += figure;
        }
        std::printf("[ figures  ] %s; %zu vertices in geosets of at most %zu for %zu\n",
                    line.c_str(), measured.host_vertices, measured.largest_geoset,
                    measured.source_vertices);
        // Geosets the game draws, cut so that few vertices repeat.
        EXPECT_LE(measured.largest_geoset, 7432u);
        EXPECT_LE(measured.host_vertices, measured.source_vertices * 105 / 100);
        for (int bit = 0; bit < 5; ++bit)
        {
            if ((row.known & (1u << bit)) == 0)
                EXPECT_LE(measured.figure[bit], 1e-3) << labels[bit] << ": " << measured.where[bit];
            else
                EXPECT_GT(measured.figure[bit], 1e-3)
                    << labels[bit] << " now holds: drop it from the row's known faults";
        }
        CheckSizeAndTextures(folder);
    }
}

} // namespace
