// The exporter on scene files: the importer's way in, its options, and the
// model description it can dump, which must export to the same bytes.
#include "run_binary.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace
{

// One textured triangle in the x-y plane; the texture's v is turned (1 - v)
// for the MDL's top-left origin.
const std::string kTriangleObj = "v 0 0 0\nv 1 0 0\nv 0 1 0\n"
                                 "vt 0 0\nvt 1 0\nvt 0 0.25\n"
                                 "f 1/1 2/2 3/3\n";

} // namespace

TEST(MdlexportImport, ExportsAStaticSceneWithOneRootBone)
{
    TempDir dir;
    WriteFile(dir.Path("tri.obj"), kTriangleObj);
    BinaryRun run = RunMdlexport({dir.Path("tri.obj"), "-q"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::string mdl = ReadFile(dir.Path("tri.mdl"));
    // Positions in MDL order (host z, x, y), the face's normal +z written
    // first, v turned, every vertex on the one bone a scene without bones gets.
    EXPECT_NE(mdl.find(Crlf("\tVertices 3 {\n"
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
                            "\t\t{ 0.000000, 1.000000 },\n"
                            "\t\t{ 1.000000, 1.000000 },\n"
                            "\t\t{ 0.000000, 0.750000 },\n"
                            "\t}\n"
                            "\tVertexGroup {\n"
                            "\t\t0,\n"
                            "\t\t0,\n"
                            "\t\t0,\n"
                            "\t}\n")),
              std::string::npos)
        << mdl;
    const std::string end = Crlf("Bone \"Root\" {\n"
                                 "\tObjectId 0,\n"
                                 "\tGeosetId Multiple,\n"
                                 "\tGeosetAnimId None,\n"
                                 "}\n"
                                 "\n"
                                 "PivotPoints 1 {\n"
                                 "\t{ 0.000000, 0.000000, 0.000000 },\n"
                                 "}");
    ASSERT_GE(mdl.size(), end.size());
    EXPECT_EQ(mdl.substr(mdl.size() - end.size()), end);
}

TEST(MdlexportImport, DumpedDescriptionExportsToTheSameBytes)
{
    TempDir dir;
    WriteFile(dir.Path("tri.obj"), kTriangleObj);
    BinaryRun scene = RunMdlexport({dir.Path("tri.obj"), "-q", "-o", dir.Path("scene.mdl"),
                                    "--dump-json", dir.Path("d.json")});
    ASSERT_EQ(scene.exit_code, 0) << scene.err;
    BinaryRun replay = RunMdlexport({dir.Path("d.json"), "-q", "-o", dir.Path("replay.mdl")});
    ASSERT_EQ(replay.exit_code, 0) << replay.err;
    EXPECT_EQ(ReadFile(dir.Path("replay.mdl")), ReadFile(dir.Path("scene.mdl")));
}

TEST(MdlexportImport, AutoHeadingMakesTheFileStandAlone)
{
    TempDir dir;
    WriteFile(dir.Path("tri.obj"), kTriangleObj);
    BinaryRun run = RunMdlexport({dir.Path("tri.obj"), "-q", "--heading", "auto"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::string mdl = ReadFile(dir.Path("tri.mdl"));
    EXPECT_EQ(mdl.find("PASTE HEADING HERE"), std::string::npos);
    EXPECT_NE(mdl.find("Sequences 2 {\r\n\tAnim \"Stand\""), std::string::npos); // and "Death"
    EXPECT_NE(mdl.find("Textures 1 {\r\n"), std::string::npos);
    EXPECT_NE(mdl.find("Materials 1 {\r\n"), std::string::npos);
    EXPECT_EQ(mdl.find("\r\r"), std::string::npos);
}

TEST(MdlexportImport, RefusesWhatItCannotDo)
{
    TempDir dir;
    WriteFile(dir.Path("tri.obj"), kTriangleObj);
    WriteFile(dir.Path("m.json"), R"({"meshes": [{"positions": [[0, 0, 0]]}]})");
    WriteFile(dir.Path("broken.gltf"), "{ this is not a scene");

    BinaryRun axis = RunMdlexport({dir.Path("tri.obj"), "--up", "x"});
    EXPECT_EQ(axis.exit_code, 2);
    EXPECT_NE(axis.err.find("--up takes y or z"), std::string::npos) << axis.err;

    BinaryRun two = RunMdlexport({dir.Path("tri.obj"), dir.Path("m.json"), "-o", dir.Path(""),
                                  "--dump-json", dir.Path("d.json")});
    EXPECT_EQ(two.exit_code, 2);
    EXPECT_NE(two.err.find("--dump-json takes one input"), std::string::npos) << two.err;

    BinaryRun auto_json = RunMdlexport({dir.Path("m.json"), "--heading", "auto"});
    EXPECT_EQ(auto_json.exit_code, 2);
    EXPECT_NE(auto_json.err.find("m.json: --heading auto needs a scene file"), std::string::npos)
        << auto_json.err;

    BinaryRun broken = RunMdlexport({dir.Path("broken.gltf")});
    EXPECT_EQ(broken.exit_code, 2);
    EXPECT_NE(broken.err.find("broken.gltf"), std::string::npos) << broken.err;

    EXPECT_EQ(ListFolder(dir.Path("")),
              (std::vector<std::string>{"broken.gltf", "m.json", "tri.obj"}));
}

TEST(MdlexportImport, MakesNamesThatMdlReadersCanRead)
{
    // SMD names its bones in quotes: "arm\" ends in a backslash, which MDL
    // readers would take for an escaped quote.
    TempDir dir;
    WriteFile(dir.Path("names.smd"), "version 1\nnodes\n0 \"arm\\\" -1\n1 \"arm_\" 0\nend\n"
                                     "skeleton\ntime 0\n0 0 0 0 0 0 0\n1 1 0 0 0 0 0\nend\n"
                                     "triangles\nmat\n0 0 0 0 0 0 1 0 0\n1 1 0 0 0 0 1 1 0\n"
                                     "0 0 1 0 0 0 1 0 1\nend\n");
    BinaryRun run = RunMdlexport({dir.Path("names.smd")}, {dir.Path("")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::string mdl = ReadFile(dir.Path("names.mdl"));
    EXPECT_NE(mdl.find("Bone \"arm_\" {"), std::string::npos) << mdl;
    EXPECT_NE(mdl.find("Bone \"arm_.2\" {"), std::string::npos) << mdl;
    EXPECT_EQ(mdl.find('\\'), std::string::npos) << mdl;
    EXPECT_NE(run.err.find("note: bone 'arm\\' is named 'arm_' (31 bytes at most"),
              std::string::npos)
        << run.err;
}

TEST(MdlexportImport, AWholeModelUnlessThePluginsModelIsAskedFor)
{
    TempDir dir;
    WriteFile(dir.Path("tri.obj"), kTriangleObj);
    ASSERT_EQ(RunMdlexport({dir.Path("tri.obj"), "-q"}).exit_code, 0);
    const std::string plugin = ReadFile(dir.Path("tri.mdl"));
    struct Case
    {
        std::vector<std::string> options;
        const char* output;
        int exit_code;
        const char* starts; // the output's first bytes; null: nothing written
        bool whole;         // a whole model: an Origin Ref and a white BLP beside it
    };
    const Case cases[] = {
        {{}, "a.mdl", 0, "Version {", true},
        {{}, "b.mdx", 0, "MDLX", true},
        {{"--as-plugin"}, "c.mdl", 0, nullptr, false}, // the plug-in's bytes
        {{"--as-plugin"}, "d.mdx", 2, nullptr, false}, // the plug-in's model needs a heading
        {{"--heading", "auto"}, "e.mdx", 0, "MDLX", false},
    };
    for (const Case& c : cases)
    {
        TempDir out;
        std::vector<std::string> args = {dir.Path("tri.obj"), "-q", "-o", out.Path(c.output)};
        args.insert(args.end(), c.options.begin(), c.options.end());
        BinaryRun run = RunMdlexport(args);
        EXPECT_EQ(run.exit_code, c.exit_code) << c.output << ": " << run.err;
        if (c.exit_code != 0)
            continue;
        std::string bytes = ReadFile(out.Path(c.output));
        if (c.starts)
            EXPECT_EQ(bytes.substr(0, std::string(c.starts).size()), c.starts) << c.output;
        else
            EXPECT_EQ(bytes, plugin) << c.output;
        EXPECT_EQ(bytes.find("Origin Ref") != std::string::npos, c.whole) << c.output;
        EXPECT_EQ(FileExists(out.Path("White.blp")), c.whole) << c.output;
        if (c.whole)
        {
            EXPECT_EQ(ReadFile(out.Path("White.blp")).substr(0, 4), "BLP1") << c.output;
        }
    }
}

TEST(MdlexportImport, AWholeModelBeyondThirtyTwoBitFloatsIsRefused)
{
    // Its face vector (1e40) overflows a float, so its normals would not be
    // numbers: refused, with the way out, and nothing written.
    TempDir dir;
    WriteFile(dir.Path("huge.obj"), "v 0 0 0\nv 1e20 0 0\nv 0 1e20 0\nf 1 2 3\n");
    BinaryRun run = RunMdlexport({dir.Path("huge.obj"), "-q", "-o", dir.Path("huge.mdx")});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find("geoset 0 holds values beyond the range of the model's 32-bit floats"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(FileExists(dir.Path("huge.mdx")));
    EXPECT_FALSE(FileExists(dir.Path("White.blp")));
}

TEST(MdlexportImport, ModelsOfOneBatchNeverShareATextureNameForOtherImages)
{
    // A 1 x 1 BMP of one grey.
    auto bmp = [](char grey)
    {
        std::string b = "BM";
        b += std::string("\x3a\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\1\0\0\0\1\0\0\0\1\0\x18\0", 28);
        b += std::string(24, '\0');
        return b + std::string(3, grey) + std::string(1, '\0');
    };
    TempDir dir;
    for (const char* name : {"a", "b", "c"})
    {
        WriteFile(dir.Path(std::string(name) + ".obj"),
                  std::string("mtllib ") + name + ".mtl\nusemtl m\n" + kTriangleObj);
        WriteFile(dir.Path(std::string(name) + ".mtl"),
                  std::string("newmtl m\nmap_Kd ") + name + "/skin.bmp\n");
        ASSERT_EQ(mkdir(dir.Path(name).c_str(), 0755), 0);
    }
    WriteFile(dir.Path("a/skin.bmp"), bmp('\x20'));
    WriteFile(dir.Path("b/skin.bmp"), bmp('\x20')); // the same image
    WriteFile(dir.Path("c/skin.bmp"), bmp('\x70')); // another one
    TempDir out;
    WriteFile(out.Path("skin.blp"), "from an earlier run"); // replaced
    BinaryRun run = RunMdlexport({dir.Path("a.obj"), dir.Path("b.obj"), dir.Path("c.obj"), "-q",
                                  "--format", "mdl", "-o", out.Path(".")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(ReadFile(out.Path("a.mdl")).find("Image \"skin.blp\""), std::string::npos);
    EXPECT_NE(ReadFile(out.Path("b.mdl")).find("Image \"skin.blp\""), std::string::npos);
    EXPECT_NE(ReadFile(out.Path("c.mdl")).find("Image \"skin 2.blp\""), std::string::npos);
    EXPECT_EQ(ReadFile(out.Path("skin.blp")).substr(0, 4), "BLP1");
    EXPECT_NE(ReadFile(out.Path("skin.blp")), ReadFile(out.Path("skin 2.blp")));
}

TEST(MdlexportImport, AWholeModelsTexturesAreWrittenBesideItOrTheSceneIsRefused)
{
    TempDir dir;
    const std::string obj = "mtllib t.mtl\nusemtl m\n" + kTriangleObj;
    WriteFile(dir.Path("t.obj"), obj);
    // A BLP texture already: written beside the model as it is.
    WriteFile(dir.Path("t.mtl"), "newmtl m\nmap_Kd skin.blp\n");
    WriteFile(dir.Path("skin.blp"), "BLP1 as it is");
    TempDir out;
    BinaryRun run = RunMdlexport({dir.Path("t.obj"), "-q", "-o", out.Path("t.mdx")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(ReadFile(out.Path("skin.blp")), "BLP1 as it is");
    // The reader's default material is no mesh's: no white texture for it.
    EXPECT_FALSE(FileExists(out.Path("White.blp")));
    // An image that is not there: its name and the reason, nothing written.
    WriteFile(dir.Path("t.mtl"), "newmtl m\nmap_Kd gone.png\n");
    TempDir none;
    run = RunMdlexport({dir.Path("t.obj"), "-q", "-o", none.Path("t.mdx")});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find("gone.png: cannot open"), std::string::npos) << run.err;
    EXPECT_FALSE(FileExists(none.Path("t.mdx")));
    EXPECT_FALSE(FileExists(none.Path("White.blp")));
}
