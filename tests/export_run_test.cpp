#include "stand_in_ui.h"
#include "test_support.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <locale>
#include <sys/stat.h>

namespace
{

// Seams that fail on purpose. Plain globals: a test sets them, runs, reads.
size_t g_write_budget = 0;  // bytes the file takes before the disk is "full"
int g_allocations_left = 0; // allocations granted before memory "runs out"
int g_allocations_live = 0; // granted and not yet released

size_t WriteWithBudget(const void* data, size_t size, FILE* file)
{
    size_t granted = size < g_write_budget ? size : g_write_budget;
    g_write_budget -= granted;
    return std::fwrite(data, 1, granted, file);
}

void* CountedAllocate(size_t bytes)
{
    if (g_allocations_left == 0)
        return nullptr;
    --g_allocations_left;
    ++g_allocations_live;
    return std::malloc(bytes);
}

void CountedRelease(void* memory)
{
    --g_allocations_live;
    std::free(memory);
}

int CloseAndFail(FILE* file)
{
    std::fclose(file);
    return EOF;
}

class ExportRunTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        StandInUi_Reset();
    }
    TempDir dir;
};

} // namespace

TEST_F(ExportRunTest, NullModelTouchesNothing)
{
    int64_t calls = StandIn_LibraryCallCount();
    StandInUi_AnswerWithPath(dir.Path("out.mdl"));
    EXPECT_EQ(ExportRun(nullptr), -1);
    EXPECT_EQ(StandIn_LibraryCallCount(), calls);
    EXPECT_EQ(StandInUi_DialogCount(), 0);
    EXPECT_EQ(StandInUi_WarningCount(), 0);
}

TEST_F(ExportRunTest, EmptyModelWarnsWithoutDialog)
{
    TestModel model;
    model.AddBone("lonely", ""); // bones alone are no model
    StandInUi_AnswerWithPath(dir.Path("out.mdl"));
    EXPECT_EQ(ExportRun(model.handle()), 0);
    ASSERT_EQ(StandInUi_WarningCount(), 1);
    EXPECT_EQ(StandInUi_LastWarning().text, "The model is empty!  Nothing exported!");
    EXPECT_EQ(StandInUi_LastWarning().caption, "Warcraft III MDL Export");
    EXPECT_EQ(StandInUi_LastWarning().style, 0x30u);
    EXPECT_EQ(StandInUi_DialogCount(), 0);
    EXPECT_FALSE(FileExists(dir.Path("out.mdl")));
    EXPECT_EQ(model.destroy_count(), 0);
}

TEST_F(ExportRunTest, DialogIsAskedExactly)
{
    TestModel model;
    model.AddMesh();
    StandInUi_AnswerWithCancel();
    ExportRun(model.handle());
    ASSERT_EQ(StandInUi_DialogCount(), 1);
    const RecordedSaveDialog& dialog = StandInUi_LastDialog();
    EXPECT_EQ(dialog.struct_size, 76u);
    std::string filter("Warcraft III MDL (*.mdl)\0*.mdl\0All Files (*.*)\0*.*\0", 52);
    filter.resize(128, '\0');
    EXPECT_EQ(dialog.filter_bytes, filter);
    EXPECT_EQ(dialog.file_capacity, 256u);
    EXPECT_EQ(dialog.file_title_capacity, 256u);
    EXPECT_TRUE(dialog.file_was_empty);
    EXPECT_TRUE(dialog.file_title_was_empty);
    EXPECT_EQ(dialog.title, "Export Warcraft III MDL");
    EXPECT_EQ(dialog.flags, 0x0806u);
    std::string extension("txt");
    extension.resize(32, '\0');
    EXPECT_EQ(dialog.default_extension_bytes, extension);
    EXPECT_EQ(StandInUi_WarningCount(), 0);
}

TEST_F(ExportRunTest, CancelWritesNothingAndKeepsTheModel)
{
    TestModel model;
    model.AddMesh();
    StandInUi_AnswerWithCancel();
    EXPECT_EQ(ExportRun(model.handle()), 0);
    EXPECT_EQ(model.destroy_count(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path("")));
}

TEST_F(ExportRunTest, CompletedRunWritesTheWholeFile)
{
    TestModel model;
    BuildOneTriangleModel(model);
    EXPECT_EQ(RunInto(model.handle(), dir.Path("one.mdl")), 0);
    EXPECT_EQ(ReadFile(dir.Path("one.mdl")), Crlf(kOneTriangleFile));
    EXPECT_EQ(model.destroy_count(), 1);
}

TEST_F(ExportRunTest, ModelWithoutBones)
{
    TestModel model;
    model.AddMesh();
    ASSERT_EQ(RunInto(model.handle(), dir.Path("nobones.mdl")), 0);
    std::string header = kOneTriangleHeader;
    header.replace(header.find("NumBones 1"), 10, "NumBones 0");
    std::string file = ReadFile(dir.Path("nobones.mdl"));
    EXPECT_EQ(file.substr(0, Crlf(header).size()), Crlf(header));
    EXPECT_NE(file.find(Crlf("\tGroups 0 0 {\n\t}\n")), std::string::npos);
    EXPECT_EQ(file.find("Bone \""), std::string::npos);
    const std::string end = Crlf("SelectionGroup 0,\n}\n\nPivotPoints 0 {\n}");
    EXPECT_EQ(file.substr(file.size() - end.size()), end);
}

TEST_F(ExportRunTest, OverwritesAnExistingFile)
{
    std::string path = dir.Path("old.mdl");
    {
        std::FILE* old = std::fopen(path.c_str(), "wb");
        std::fputs(std::string(100000, 'x').c_str(), old);
        std::fclose(old);
    }
    TestModel model;
    BuildOneTriangleModel(model);
    EXPECT_EQ(RunInto(model.handle(), path), 0);
    EXPECT_EQ(ReadFile(path), Crlf(kOneTriangleFile));
}

TEST_F(ExportRunTest, ACommaDecimalLocaleChangesNothing)
{
    const char* previous = std::setlocale(LC_ALL, nullptr);
    std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
    std::locale::global(std::locale("de_DE.UTF-8"));
    TestModel model;
    BuildOneTriangleModel(model);
    ExportStatus status = RunInto(model.handle(), dir.Path("de.mdl"));
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadFile(dir.Path("de.mdl")), Crlf(kOneTriangleFile));
}

TEST_F(ExportRunTest, UnopenablePathFailsAndKeepsTheModel)
{
    for (const std::string& path : {dir.Path("missing/folder/out.mdl"), dir.Path("")})
    {
        TestModel model;
        BuildOneTriangleModel(model);
        EXPECT_EQ(RunInto(model.handle(), path), -1) << path;
        EXPECT_EQ(model.destroy_count(), 0);
    }
    EXPECT_FALSE(FileExists(dir.Path("missing")));
}

TEST_F(ExportRunTest, FullDiskAtEveryByteLeavesNoFile)
{
    const size_t size = Crlf(kOneTriangleFile).size();
    ExportSeams seams = DefaultExportSeams();
    seams.write_file = WriteWithBudget;
    std::string path = dir.Path("full.mdl");
    for (size_t budget = 0; budget < size; ++budget)
    {
        TestModel model;
        BuildOneTriangleModel(model);
        StandInUi_AnswerWithPath(path);
        g_write_budget = budget;
        ASSERT_EQ(ExportRunWith(model.handle(), seams), -1) << budget;
        ASSERT_FALSE(FileExists(path)) << budget;
        ASSERT_EQ(model.destroy_count(), 1) << budget;
    }
    TestModel model;
    BuildOneTriangleModel(model);
    g_write_budget = size; // exactly enough
    EXPECT_EQ(ExportRunWith(model.handle(), seams), 0);
    EXPECT_EQ(ReadFile(path), Crlf(kOneTriangleFile));
}

TEST_F(ExportRunTest, DevFullFailsAndStaysADevice)
{
    struct stat before;
    if (stat("/dev/full", &before) != 0)
        GTEST_SKIP() << "no /dev/full here";
    TestModel model;
    BuildOneTriangleModel(model);
    EXPECT_EQ(RunInto(model.handle(), "/dev/full"), -1);
    EXPECT_EQ(model.destroy_count(), 1);
    struct stat after;
    ASSERT_EQ(stat("/dev/full", &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
}

TEST_F(ExportRunTest, CloseFailureDeletesTheFile)
{
    ExportSeams seams = DefaultExportSeams();
    seams.close_file = CloseAndFail;
    TestModel model;
    BuildOneTriangleModel(model);
    StandInUi_AnswerWithPath(dir.Path("close.mdl"));
    EXPECT_EQ(ExportRunWith(model.handle(), seams), -1);
    EXPECT_FALSE(FileExists(dir.Path("close.mdl")));
    EXPECT_EQ(model.destroy_count(), 1);
}

TEST_F(ExportRunTest, RefusedMemoryAtEveryAllocationDeletesTheFile)
{
    ExportSeams seams = DefaultExportSeams();
    seams.allocate = CountedAllocate;
    seams.release = CountedRelease;
    std::string path = dir.Path("memory.mdl");
    // Every allocation that the run makes, refused in turn, fails the run
    // cleanly; granted them all, it writes the file. How many it makes is its
    // own business (the stream, the writers' scratch arrays, ...).
    int needed = 0;
    for (int granted = 0; granted < 100; ++granted)
    {
        TestModel model;
        BuildOneTriangleModel(model);
        StandInUi_AnswerWithPath(path);
        g_allocations_left = granted;
        g_allocations_live = 0;
        ExportStatus status = ExportRunWith(model.handle(), seams);
        ASSERT_EQ(g_allocations_live, 0) << granted; // nothing leaked
        ASSERT_EQ(model.destroy_count(), 1) << granted;
        if (status == 0)
        {
            needed = granted;
            break;
        }
        ASSERT_EQ(status, -1);
        ASSERT_FALSE(FileExists(path)) << granted;
    }
    ASSERT_GT(needed, 0) << "the run never completed";
    EXPECT_EQ(ReadFile(path), Crlf(kOneTriangleFile));
}
