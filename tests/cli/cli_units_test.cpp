// The exporter's small units: output names and the command line.
#include "command_line.h"
#include "output_paths.h"

#include <gtest/gtest.h>

TEST(ReplaceExtension, ReplacesTheLastExtensionOfTheLastComponent)
{
    EXPECT_EQ(ReplaceExtension("model.json", ".mdl"), "model.mdl");
    EXPECT_EQ(ReplaceExtension("dir/model.json", ".mdl"), "dir/model.mdl");
    EXPECT_EQ(ReplaceExtension("a.b.json", ".mdl"), "a.b.mdl");
    EXPECT_EQ(ReplaceExtension("model.", ".mdl"), "model.mdl");
    EXPECT_EQ(ReplaceExtension("model", ".mdl"), "model.mdl");
    EXPECT_EQ(ReplaceExtension("dir.v2/model", ".mdl"), "dir.v2/model.mdl"); // not the folder's dot
    EXPECT_EQ(ReplaceExtension(".json", ".mdl"), ".json.mdl");               // a hidden name
    EXPECT_EQ(ReplaceExtension("dir/..json", ".mdl"), "dir/..json.mdl");
    EXPECT_EQ(ReplaceExtension("dir/.x.json", ".mdl"), "dir/.x.mdl");
    EXPECT_EQ(ReplaceExtension("mod\xC3\xA9le.json", ".mdl"), "mod\xC3\xA9le.mdl"); // bytes kept
}

TEST(ParseCommandLine, TakesOptionsAnywhereAndInEveryForm)
{
    const char* argv[] = {"mdlexport", "a.json", "-oOUT",   "--heading=h.txt",
                          "-q",        "--",     "-b.json", "-q"};
    CommandLine line;
    std::string error;
    ASSERT_TRUE(ParseCommandLine(8, argv, line, error)) << error;
    EXPECT_EQ(line.inputs, (std::vector<std::string>{"a.json", "-b.json", "-q"}));
    EXPECT_EQ(line.output, "OUT");
    EXPECT_EQ(line.heading, "h.txt");
    EXPECT_TRUE(line.quiet);

    const char* long_form[] = {"mdlexport", "--output", "x/", "-", "--heading", "h"};
    CommandLine other;
    ASSERT_TRUE(ParseCommandLine(6, long_form, other, error)) << error;
    EXPECT_EQ(other.inputs, std::vector<std::string>{"-"}); // a lone dash is a name
    EXPECT_EQ(other.output, "x/");
    EXPECT_EQ(other.heading, "h");

    const char* help[] = {"mdlexport", "--help"};
    CommandLine asked;
    EXPECT_TRUE(ParseCommandLine(2, help, asked, error)); // no input needed
    EXPECT_TRUE(asked.help);
}
