#include "test_support_win.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>
#include <windows.h>

void PlugInModuleTest::SetUp()
{
    const PlugInModule& loaded = LoadPlugInModule();
    ASSERT_EQ(loaded.error, "");
    ASSERT_NE(loaded.create, nullptr);
    create_ = loaded.create;
    UiDoubles() = HostUiDoubles{};
    Heap() = HeapWatch{};
}

void* PlugInModuleTest::Create() const
{
    return create_();
}

TempFolder::TempFolder()
{
    static int made = 0;
    char temp[MAX_PATH + 1] = {};
    DWORD length = GetTempPathA(sizeof temp, temp);
    std::string base = length > 0 && length < sizeof temp ? std::string(temp, length) : ".\\";
    if (base.back() != '\\')
        base += '\\';
    path_ = base + "mdlexport-wintests-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++made);
    if (!CreateDirectoryA(path_.c_str(), nullptr))
        ADD_FAILURE() << "cannot create " << path_;
}

TempFolder::~TempFolder()
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE)
    {
        do
        {
            std::string name = entry.cFileName;
            if (name == "." || name == "..")
                continue;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                RemoveDirectoryA(Path(name).c_str());
            else
                DeleteFileA(Path(name).c_str());
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
}

std::string TempFolder::Listing() const
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE)
    {
        do
        {
            std::string name = entry.cFileName;
            if (name != "." && name != "..")
                names.push_back(name);
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());
    std::string listing;
    for (const std::string& name : names)
        listing += (listing.empty() ? "" : " ") + name;
    return listing;
}

bool ReadWholeFile(const std::string& path, std::string& bytes)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

std::string DescribeDifference(const std::string& expected, const std::string& actual)
{
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at])
        ++at;
    if (at == expected.size() && at == actual.size())
        return "no difference";
    auto line_around = [at](const std::string& text)
    {
        size_t from = at > 0 ? text.rfind('\n', at - 1) : std::string::npos;
        from = from == std::string::npos ? 0 : from + 1;
        size_t to = text.find('\n', at);
        return text.substr(from, to == std::string::npos ? std::string::npos : to - from);
    };
    size_t line =
        static_cast<size_t>(std::count(
            expected.begin(),
            expected.begin() + static_cast<std::ptrdiff_t>(std::min(at, expected.size())), '\n')) +
        1;
    std::ostringstream out;
    out << "first difference at byte " << at << " (line " << line << "); sizes " << expected.size()
        << " and " << actual.size() << "\n  expected: " << line_around(expected)
        << "\n  actual:   " << line_around(actual);
    return out.str();
}
