// mdlexport converting models: an MDL or MDX input written in the other form,
// a model description written as MDX through its MDL with the heading, MDX
// refused without a heading, --format for outputs named after their inputs,
// and a malformed model refused with its place.
#include "mdl_reader.h"
#include "mdx_writer.h"
#include "run_binary.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace
{

const std::string kExamples = MDLEXPORT_EXAMPLES;

// The example's standalone MDL as the model library writes it in MDX (the
// library's own bytes are checked against mdx-m3-viewer by check_mdlx.js).
std::string ExampleMdx()
{
    mdlx::Model model;
    std::string mdx;
    EXPECT_TRUE(
        mdlx::ReadMdl(ReadFile(kExamples + "/walker-with-heading.mdl"), "walker.mdl", model).ok);
    EXPECT_TRUE(mdlx::WriteMdx(model, mdx, "walker.mdx").ok);
    return mdx;
}

BinaryRun RunIn(const TempDir& dir, const std::vector<std::string>& arguments)
{
    return RunMdlexport(arguments, {dir.Path(""), -1});
}

TEST(MdlexportConvert, WritesAnMdlAsMdxAndBack)
{
    TempDir dir;
    BinaryRun run = RunIn(dir, {kExamples + "/walker-with-heading.mdl", "-o", "walker.mdx", "-q"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::string mdx = ReadFile(dir.Path("walker.mdx"));
    EXPECT_EQ(mdx, ExampleMdx());
    run = RunIn(dir, {"walker.mdx"}); // named after the input: walker.mdl
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err.rfind("mdlexport: walker.mdx -> walker.mdl: 4 geosets, 194 vertices, "
                            "104 triangles, 7 bones, 440 bone keys, ",
                            0),
              0u)
        << run.err;
    run = RunIn(dir, {"walker.mdl", "-q"}); // named after the input: walker.mdx again
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(ReadFile(dir.Path("walker.mdx")), mdx);
    // A heading is not put into a model, and the user is told so.
    run = RunIn(dir, {"walker.mdl", "--heading", kExamples + "/walker-heading.txt"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err.rfind("mdlexport: walker.mdl: note: --heading is for scenes and model "
                            "descriptions; the model is converted as it is\n"
                            "mdlexport: walker.mdl -> walker.mdx: ",
                            0),
              0u)
        << run.err;
    EXPECT_EQ(ReadFile(dir.Path("walker.mdx")), mdx);
}

TEST(MdlexportConvert, WritesADescriptionAsMdxThroughItsMdl)
{
    TempDir dir;
    BinaryRun run = RunIn(dir, {kExamples + "/walker.json", "--heading",
                                kExamples + "/walker-heading.txt", "-o", "walker.mdx", "-q"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(ReadFile(dir.Path("walker.mdx")), ExampleMdx());
}

TEST(MdlexportConvert, RefusesMdxWithoutAHeading)
{
    TempDir dir;
    BinaryRun run = RunIn(dir, {kExamples + "/walker.json", "-o", "walker.mdx"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, "mdlexport: " + kExamples +
                           "/walker.json: walker.mdx: MDX needs a whole model, and the plug-in's "
                           "MDL has no sequences, textures or materials: give --heading FILE (or "
                           "--heading auto for a scene file)\n");
    EXPECT_EQ(ListFolder(dir.Path("")), std::vector<std::string>{});
}

TEST(MdlexportConvert, NamesOutputsAfterFormat)
{
    TempDir dir;
    WriteFile(dir.Path("a.mdl"), ReadFile(kExamples + "/walker-with-heading.mdl"));
    ASSERT_EQ(RunIn(dir, {"a.mdl", "-o", "a.mdx", "-q"}).exit_code, 0);
    BinaryRun run = RunIn(dir, {"a.mdl", "a.mdx", "-o", "./", "--format", "mdx", "-q"});
    EXPECT_EQ(run.exit_code, 2); // both would be a.mdx
    ASSERT_EQ(RunIn(dir, {"a.mdx", "-o", "b.mdl", "-q"}).exit_code, 0);
    run = RunIn(dir, {"b.mdl", "--format", "mdx", "-q"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(ReadFile(dir.Path("b.mdx")), ReadFile(dir.Path("a.mdx")));
    run = RunIn(dir, {"b.mdl", "-o", "c.mdl", "--format", "mdx"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err,
              "mdlexport: --format mdx disagrees with the output c.mdl (see mdlexport --help)\n");
}

TEST(MdlexportConvert, RefusesAMalformedModelWithItsPlace)
{
    TempDir dir;
    WriteFile(dir.Path("bad.mdl"), "Version {\n\tFormatVersion 800,\n}\nGeosets {\n}\n");
    BinaryRun run = RunIn(dir, {"bad.mdl"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, "mdlexport: bad.mdl:4:1: unknown block \"Geosets\"\n");
    WriteFile(dir.Path("bad.mdx"), std::string("MDLXVERS\x04\0\0\0", 12)); // cut short
    run = RunIn(dir, {"bad.mdx"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, "mdlexport: bad.mdx: at byte 12: VERS: the chunk needs 4 bytes, 0 remain\n");
    EXPECT_EQ(ListFolder(dir.Path("")), (std::vector<std::string>{"bad.mdl", "bad.mdx"}));
}

} // namespace
