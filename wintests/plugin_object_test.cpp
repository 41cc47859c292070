// The plug-in object through mdlexport.dll, called as the host calls it: the
// export, the table of four entries, their calling convention, the object's
// memory and its title.
#include "test_support_win.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>
#include <windows.h>

namespace
{

constexpr size_t kTitleField = 64;

std::string TitleField()
{
    std::string field = "Warcraft III MDL...";
    field.resize(kTitleField, '\0');
    return field;
}

// The module's image in memory: [base, base + size).
bool InsideModule(const void* address)
{
    auto* base = reinterpret_cast<const BYTE*>(LoadPlugInModule().module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    auto* at = static_cast<const BYTE*>(address);
    return at >= base && at < base + nt->OptionalHeader.SizeOfImage;
}

DWORD ProtectionOf(const void* address)
{
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(address, &info, sizeof info) != sizeof info)
        return 0;
    return info.Protect;
}

bool Executable(const void* address)
{
    DWORD protection = ProtectionOf(address);
    return (protection & (PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                          PAGE_EXECUTE_WRITECOPY)) != 0;
}

bool Writable(const void* address)
{
    DWORD protection = ProtectionOf(address);
    return (protection & (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE |
                          PAGE_EXECUTE_WRITECOPY)) != 0;
}

using PlugInObject = PlugInModuleTest;

TEST_F(PlugInObject, CreatePlugInIsExportedByItsPlainNameOnly)
{
    HMODULE module = LoadPlugInModule().module;
    EXPECT_NE(GetProcAddress(module, "CreatePlugIn"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "_CreatePlugIn"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "CreatePlugIn@0"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "_CreatePlugIn@0"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "CreatePlugInForHost"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "DllMain"), nullptr);
}

TEST_F(PlugInObject, TableHoldsFourEntriesOfTheModulesCode)
{
    HostObject object(Create());
    ASSERT_NE(object.get(), nullptr);
    void* const* table = TableOf(object.get());
    EXPECT_TRUE(InsideModule(table));
    EXPECT_FALSE(Writable(table)); // a constant table, shared by every object
    for (int entry = 0; entry < 4; ++entry)
    {
        SCOPED_TRACE(entry);
        EXPECT_TRUE(InsideModule(table[entry]));
        EXPECT_TRUE(Executable(table[entry]));
        for (int other = 0; other < entry; ++other)
            EXPECT_NE(table[entry], table[other]);
    }
}

// The probe pushes the stack arguments itself and measures the stack after
// the call: a C-convention entry would leave its argument behind (4), an
// entry that pops what it was not given would take a word too many (-4).
TEST_F(PlugInObject, EntriesTakeThisInEcxAndPopTheirOwnArguments)
{
    void* object = Create();
    ASSERT_NE(object, nullptr);
    void* const* table = TableOf(object);
    uint32_t result = 0;

    EXPECT_EQ(CallMemberMeasuringStack(table[1], object, 0, 0, &result), 0);
    EXPECT_EQ(result, 2u);

    EXPECT_EQ(CallMemberMeasuringStack(table[2], object, 0, 0, &result), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(result), kTitleField), TitleField());

    int64_t calls_before = StandIn_LibraryCallCount();
    EXPECT_EQ(CallMemberMeasuringStack(table[3], object, 0, 1, &result), 0);
    EXPECT_EQ(static_cast<int32_t>(result), -1); // a null model
    EXPECT_EQ(StandIn_LibraryCallCount(), calls_before);

    Heap().watching = true;
    EXPECT_EQ(CallMemberMeasuringStack(table[0], object, 1, 1, &result), 0);
    Heap().watching = false;
    EXPECT_EQ(result, reinterpret_cast<uintptr_t>(object));
    ASSERT_EQ(Heap().freed.size(), 1u);
    EXPECT_EQ(Heap().freed[0], object);
}

TEST_F(PlugInObject, QueryKindIsExport)
{
    HostObject object(Create());
    ASSERT_NE(object.get(), nullptr);
    EXPECT_EQ(CallQueryKind(object.get()), 2);
    EXPECT_EQ(CallQueryKind(object.get()), 2); // asking again changes nothing
}

// The object is the one block that CreatePlugIn takes from the C runtime, and
// the title the host shows is a 64-byte array inside it.
TEST_F(PlugInObject, TitleIsTheObjectsOwnSixtyFourByteField)
{
    Heap().watching = true;
    HostObject object(Create());
    Heap().watching = false;
    ASSERT_NE(object.get(), nullptr);
    ASSERT_EQ(Heap().allocated.size(), 1u);
    const Allocation& block = Heap().allocated[0];
    EXPECT_EQ(block.memory, object.get());

    const char* title = CallQueryTitle(object.get());
    auto* first = static_cast<const char*>(block.memory);
    EXPECT_GE(title, first + sizeof(void*)); // not over the table pointer
    EXPECT_LE(title + kTitleField, first + block.size);
    EXPECT_EQ(std::string(title, kTitleField), TitleField());
    EXPECT_EQ(CallQueryTitle(object.get()), title);
}

TEST_F(PlugInObject, EachCallMakesADistinctObjectWithAnEqualTitle)
{
    HostObject first(Create());
    HostObject second(Create());
    ASSERT_NE(first.get(), nullptr);
    ASSERT_NE(second.get(), nullptr);
    EXPECT_NE(first.get(), second.get());
    const char* first_title = CallQueryTitle(first.get());
    const char* second_title = CallQueryTitle(second.get());
    EXPECT_NE(first_title, second_title);
    EXPECT_STREQ(first_title, second_title);
    EXPECT_EQ(TableOf(first.get()), TableOf(second.get()));

    // Destroying one leaves the other whole.
    CallDestroy(first.release(), 1);
    EXPECT_EQ(std::string(second_title, kTitleField), TitleField());
    EXPECT_EQ(CallQueryKind(second.get()), 2);
}

// Freed or not is seen in the module's own calls to free (through its import
// table): reading the memory afterwards cannot tell a freed block from a live
// one, and asking the heap about a freed pointer is undefined.
TEST_F(PlugInObject, DestroyFreesTheMemoryOnlyWhenBitZeroIsSet)
{
    const uint32_t keeping[] = {0u, 2u, 0xfffffffeu};
    for (uint32_t flags : keeping)
    {
        SCOPED_TRACE(flags);
        Heap() = HeapWatch{};
        Heap().watching = true;
        void* object = Create();
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(CallDestroy(object, flags), object);
        Heap().watching = false;
        ASSERT_EQ(Heap().allocated.size(), 1u);
        EXPECT_EQ(Heap().allocated[0].memory, object);
        EXPECT_TRUE(Heap().freed.empty());
        // The block is still the C runtime's to free: the test host shares
        // the module's msvcrt.dll, so this is the free that the module would
        // have called.
        std::free(object);
    }

    const uint32_t freeing[] = {1u, 3u, 0xffffffffu};
    for (uint32_t flags : freeing)
    {
        SCOPED_TRACE(flags);
        Heap() = HeapWatch{};
        Heap().watching = true;
        void* object = Create();
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(CallDestroy(object, flags), object);
        Heap().watching = false;
        ASSERT_EQ(Heap().freed.size(), 1u);
        EXPECT_EQ(Heap().freed[0], object);
    }
}

TEST_F(PlugInObject, RunWithoutAModelFailsAndTouchesNothing)
{
    HostObject object(Create());
    ASSERT_NE(object.get(), nullptr);
    int64_t calls_before = StandIn_LibraryCallCount();
    Heap().watching = true;
    EXPECT_EQ(CallRun(object.get(), nullptr), -1);
    Heap().watching = false;
    EXPECT_EQ(StandIn_LibraryCallCount(), calls_before);
    EXPECT_EQ(UiDoubles().dialog_calls, 0);
    EXPECT_EQ(UiDoubles().warning_calls, 0);
    EXPECT_TRUE(Heap().allocated.empty());
}

std::string VersionString(const std::vector<char>& info, const char* name)
{
    std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), query.c_str(), &value, &length) || value == nullptr)
        return "(none)";
    return static_cast<const char*>(value);
}

TEST(ModuleVersion, NamesTheProductAndTheProjectVersion)
{
    char path[MAX_PATH] = {};
    ASSERT_NE(LoadPlugInModule().module, nullptr);
    ASSERT_GT(GetModuleFileNameA(LoadPlugInModule().module, path, sizeof path), 0u);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    ASSERT_GT(size, 0u) << "no version record in " << path;
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, info.data()));

    EXPECT_EQ(VersionString(info, "ProductName"), "mdlexport");
    EXPECT_EQ(VersionString(info, "FileVersion"), MDL_PROJECT_VERSION);
    EXPECT_EQ(VersionString(info, "ProductVersion"), MDL_PROJECT_VERSION);
    EXPECT_EQ(VersionString(info, "OriginalFilename"), "mdlexport.dll");
    EXPECT_EQ(VersionString(info, "FileDescription"), "Warcraft III MDL export plug-in");

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xfeef04bdu);
    EXPECT_EQ(fixed->dwFileVersionMS,
              static_cast<DWORD>(MDL_PROJECT_VERSION_MAJOR << 16 | MDL_PROJECT_VERSION_MINOR));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MDL_PROJECT_VERSION_PATCH << 16));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

} // namespace
