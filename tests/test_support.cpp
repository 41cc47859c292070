#include "test_support.h"

#include "stand_in_ui.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "mdltest-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (made == nullptr)
        std::abort();
    dir_ = made;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "<missing>";
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool FileExists(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

namespace
{

size_t CollectBytes(const void* data, size_t size, FILE* file)
{
    // The "file" of a memory stream is the string that collects its bytes.
    reinterpret_cast<std::string*>(file)->append(static_cast<const char*>(data), size);
    return size;
}

} // namespace

MemoryStream::MemoryStream() : stream(new MdlStream())
{
    stream->file = reinterpret_cast<FILE*>(&collected);
    stream->write = CollectBytes;
    stream->allocate = std::malloc;
    stream->release = std::free;
}

MemoryStream::~MemoryStream()
{
    delete stream;
}

std::string MemoryStream::Bytes()
{
    MdlFlush(*stream);
    return collected;
}

ExportStatus RunInto(ModelHandle model, const std::string& path)
{
    StandInUi_Reset();
    StandInUi_AnswerWithPath(path);
    return ExportRun(model);
}
