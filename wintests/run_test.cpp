// Run (entry 3) through mdlexport.dll: what the shipped module asks of the
// save dialog and the message box, what it writes, and when it destroys the
// model.
#include "test_support_win.h"

#include <set>
#include <windows.h>

namespace
{

std::string ExpectedFilter()
{
    static const char pairs[] = "Warcraft III MDL (*.mdl)\0*.mdl\0All Files (*.*)\0*.*";
    std::string filter(pairs, sizeof pairs); // with the last string's terminator
    filter.resize(128, '\0');                // the empty string that ends the list, then zeros
    return filter;
}

// Every field of the record as the run must fill it; those that the dialog
// fills in on its way out (nFileOffset, nFileExtension) are still zero here.
void ExpectDialogAsTheRunAsksIt(const SeenDialog& seen)
{
    const OPENFILENAMEA& record = seen.record;
    EXPECT_EQ(record.lStructSize, 76u); // the record without the later extension fields
    EXPECT_EQ(record.hwndOwner, nullptr);
    EXPECT_EQ(record.hInstance, nullptr);
    EXPECT_EQ(seen.filter_bytes, ExpectedFilter());
    EXPECT_EQ(record.lpstrCustomFilter, nullptr);
    EXPECT_EQ(record.nMaxCustFilter, 0u);
    EXPECT_EQ(record.nFilterIndex, 0u);
    EXPECT_NE(record.lpstrFile, nullptr);
    EXPECT_EQ(seen.file, "");
    EXPECT_EQ(record.nMaxFile, 256u);
    EXPECT_NE(record.lpstrFileTitle, nullptr);
    EXPECT_NE(record.lpstrFileTitle, record.lpstrFile);
    EXPECT_EQ(seen.file_title, "");
    EXPECT_EQ(record.nMaxFileTitle, 256u);
    EXPECT_EQ(record.lpstrInitialDir, nullptr);
    EXPECT_EQ(seen.title, "Export Warcraft III MDL");
    EXPECT_EQ(record.Flags, 0x0806u);
    EXPECT_EQ(record.Flags,
              static_cast<DWORD>(OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST));
    EXPECT_EQ(record.nFileOffset, 0u);
    EXPECT_EQ(record.nFileExtension, 0u);
    EXPECT_EQ(seen.default_extension_bytes, std::string("txt") + std::string(29, '\0'));
    EXPECT_EQ(record.lCustData, 0);
    EXPECT_EQ(record.lpfnHook, nullptr);
    EXPECT_EQ(record.lpTemplateName, nullptr);
}

void AnswerWithPath(const std::string& path)
{
    UiDoubles().answer_with_path = true;
    UiDoubles().path = path;
}

using PlugInRun = PlugInModuleTest;

TEST_F(PlugInRun, EmptyModelWarnsAndExportsNothing)
{
    HostObject object(Create());
    ASSERT_NE(object.get(), nullptr);
    TestModel model;
    StandIn_AddBone(model.handle(), "bones alone", "", 1.0f, 2.0f, 3.0f); // still no mesh
    AnswerWithPath("C:\\never-asked.mdl");
    int64_t calls_before = StandIn_LibraryCallCount();

    EXPECT_EQ(CallRun(object.get(), model.handle()), 0);

    EXPECT_EQ(UiDoubles().dialog_calls, 0);
    ASSERT_EQ(UiDoubles().warning_calls, 1);
    const SeenWarning& warning = UiDoubles().last_warning;
    EXPECT_EQ(warning.owner, nullptr);
    EXPECT_EQ(warning.text, "The model is empty!  Nothing exported!"); // two spaces
    EXPECT_EQ(warning.caption, "Warcraft III MDL Export");
    EXPECT_EQ(warning.style, 0x30u); // MB_OK | MB_ICONWARNING
    EXPECT_EQ(StandIn_DestroyCount(model.handle()), 0);
    EXPECT_EQ(StandIn_LibraryCallCount() - calls_before, 1); // the mesh count alone
}

TEST_F(PlugInRun, CancelWritesNothingAndLeavesTheModelToTheHost)
{
    HostObject object(Create());
    ASSERT_NE(object.get(), nullptr);
    TestModel model;
    BuildOneTriangleModel(model);
    TempFolder folder;

    EXPECT_EQ(CallRun(object.get(), model.handle()), 0);

    ASSERT_EQ(UiDoubles().dialog_calls, 1);
    ExpectDialogAsTheRunAsksIt(UiDoubles().last_dialog);
    EXPECT_EQ(UiDoubles().warning_calls, 0);
    EXPECT_EQ(StandIn_DestroyCount(model.handle()), 0);
    EXPECT_EQ(folder.Listing(), "");
}

TEST_F(PlugInRun, CompletedExportWritesTheFileAndDestroysTheModelOnce)
{
    HostObject object(Create());
    ASSERT_NE(object.get(), nullptr);
    TestModel model;
    BuildOneTriangleModel(model);
    TempFolder folder;
    AnswerWithPath(folder.Path("triangle.mdl"));

    Heap().watching = true;
    EXPECT_EQ(CallRun(object.get(), model.handle()), 0);
    Heap().watching = false;

    ASSERT_EQ(UiDoubles().dialog_calls, 1);
    ExpectDialogAsTheRunAsksIt(UiDoubles().last_dialog);
    EXPECT_EQ(UiDoubles().warning_calls, 0);
    EXPECT_EQ(StandIn_DestroyCount(model.handle()), 1);
    EXPECT_EQ(folder.Listing(), "triangle.mdl");

    // The file is written in binary mode, so a text-mode stream on Windows
    // would show here as CR CR LF.
    const std::string expected = Crlf(kOneTriangleFile);
    std::string written;
    ASSERT_TRUE(ReadWholeFile(folder.Path("triangle.mdl"), written));
    EXPECT_EQ(written, expected) << DescribeDifference(expected, written);

    // Every block the run took from the C runtime it gave back.
    std::multiset<void*> taken;
    for (const Allocation& block : Heap().allocated)
        taken.insert(block.memory);
    std::multiset<void*> given_back(Heap().freed.begin(), Heap().freed.end());
    EXPECT_FALSE(taken.empty());
    EXPECT_EQ(taken, given_back);
}

// The path buffer holds 255 characters and a terminator; the run must use a
// path of that length whole.
TEST_F(PlugInRun, LongestPathTheBufferHoldsIsUsedWhole)
{
    HostObject object(Create());
    ASSERT_NE(object.get(), nullptr);
    TestModel model;
    BuildOneTriangleModel(model);
    TempFolder folder;
    size_t room = 255 - folder.path().size() - 1;
    ASSERT_GT(room, 8u);
    std::string name = std::string(room - 4, 'n') + ".mdl";
    std::string path = folder.Path(name);
    ASSERT_EQ(path.size(), 255u);
    AnswerWithPath(path);

    EXPECT_EQ(CallRun(object.get(), model.handle()), 0);

    EXPECT_EQ(folder.Listing(), name);
    EXPECT_EQ(StandIn_DestroyCount(model.handle()), 1);
}

TEST_F(PlugInRun, PathThatCannotBeOpenedFailsAndKeepsTheModel)
{
    TempFolder folder;
    ASSERT_TRUE(CreateDirectoryA(folder.Path("a folder").c_str(), nullptr));
    const std::string unopenable[] = {
        folder.Path("missing folder\\model.mdl"),
        folder.Path("a folder"),
        folder.Path("bad\x01name.mdl"),
    };
    for (const std::string& path : unopenable)
    {
        SCOPED_TRACE(path);
        HostObject object(Create());
        ASSERT_NE(object.get(), nullptr);
        TestModel model;
        BuildOneTriangleModel(model);
        AnswerWithPath(path);

        EXPECT_EQ(CallRun(object.get(), model.handle()), -1);

        EXPECT_EQ(StandIn_DestroyCount(model.handle()), 0);
        EXPECT_EQ(folder.Listing(), "a folder");
    }
}

} // namespace
