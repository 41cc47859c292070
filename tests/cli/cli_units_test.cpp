// The exporter's small units: output names, the command line, temporary
// files, input mappings and the import budget.
#include "command_line.h"
#include "import_budget.h"
#include "input_bytes.h"
#include "output_paths.h"
#include "safe_write.h"
#include "test_support.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace
{

std::vector<std::string> ListFolderNames(const std::string& path)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    return names;
}

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace

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

TEST(ScratchFile, IsNamedAfterItsOutputAndGoesAway)
{
    EXPECT_EQ(TemporaryNamePattern("dir/box.mdl"), ".box.mdl.XXXXXX.tmp");
    EXPECT_EQ(TemporaryNamePattern("box.json"), ".box.json.XXXXXX.tmp");
    // Cut so that the whole stays a valid file name of 255 bytes.
    EXPECT_EQ(TemporaryNamePattern(std::string(255, 'n')),
              "." + std::string(243, 'n') + ".XXXXXX.tmp");
    TempDir dir;
    {
        ScratchFile file;
        ASSERT_TRUE(file.Create(dir.Path("").substr(0, dir.Path("").size() - 1), "out/box.mdl"));
        std::vector<std::string> names = ListFolderNames(dir.Path(""));
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(names[0].substr(0, 9), ".box.mdl.");
        EXPECT_EQ(names[0].size(), 9u + 6u + 4u);
        EXPECT_EQ(names[0].substr(15), ".tmp");
    }
    EXPECT_TRUE(ListFolderNames(dir.Path("")).empty());
}

TEST(InputBytes, AFileCutShortWhileMappedReadsAsZerosAndSaysSo)
{
    TempDir dir;
    std::string path = dir.Path("big.json");
    WriteWholeFile(path, std::string(3 * 65536, 'x'));
    InputBytes bytes;
    std::string error;
    ASSERT_TRUE(bytes.Open(path, 64, SIZE_MAX, error)) << error;
    EXPECT_FALSE(bytes.Shrank());
    ASSERT_EQ(truncate(path.c_str(), 0), 0);
    // Without the handler this read ends the process with SIGBUS.
    volatile char last = bytes.data()[bytes.size() - 1];
    EXPECT_EQ(last, '\0');
    EXPECT_TRUE(bytes.Shrank());
}

TEST(ImportBudgetFor, GrowsWithTheFileAndTakesTheOptions)
{
    ImportBudget small = ImportBudgetFor(195420, 0, 0); // rounded up to 1 MB
    EXPECT_EQ(small.memory_mb, 1024u + 128u);
    EXPECT_EQ(small.seconds, 120u + 10u);
    ImportBudget large = ImportBudgetFor(100u << 20, 0, 0);
    EXPECT_EQ(large.memory_mb, 1024u + 12800u);
    EXPECT_EQ(large.seconds, 120u + 1000u);
    ImportBudget given = ImportBudgetFor(100u << 20, 64, 5);
    EXPECT_EQ(given.memory_mb, 64u);
    EXPECT_EQ(given.seconds, 5u);
}

TEST(RunWithinBudget, PassesTheStatusOnAndStopsARunawayChild)
{
    std::string message;
    EXPECT_EQ(RunWithinBudget(
                  {64, 10}, [] { return 3; }, message),
              3);
    // An allocation loop that a library would catch and carry on from.
    int status = RunWithinBudget(
        {64, 10},
        []
        {
            std::vector<std::unique_ptr<char[]>> held;
            for (;;)
            {
                held.emplace_back(new char[1 << 20]);
                std::memset(held.back().get(), 1, 1 << 20);
            }
            return 0;
        },
        message);
    EXPECT_EQ(status, -1);
    EXPECT_EQ(message, "the importer exceeded its memory budget of 64 MB (raise it with "
                       "--import-memory MB)");
}
