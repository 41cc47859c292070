#include "file_identity.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/types.h>
#endif

namespace
{

#ifdef _WIN32
// The C runtime's stat has no file identity on Windows (no inode, and a
// device number that differs between fstat and stat), so the file is known
// by its volume and file index.
FileIdentity IdentifyHandle(HANDLE handle)
{
    FileIdentity identity;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK &&
        GetFileInformationByHandle(handle, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    {
        identity.regular = true;
        identity.volume = info.dwVolumeSerialNumber;
        identity.index = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    }
    return identity;
}

FileIdentity IdentifyPath(const char* path)
{
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    FileIdentity identity = IdentifyHandle(handle);
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    return identity;
}

void RemovePath(const char* path)
{
    DeleteFileA(path);
}
#else
FileIdentity IdentifyStat(int status, const struct stat& info)
{
    FileIdentity identity;
    if (status == 0 && S_ISREG(info.st_mode))
    {
        identity.regular = true;
        identity.volume = static_cast<uint64_t>(info.st_dev);
        identity.index = static_cast<uint64_t>(info.st_ino);
    }
    return identity;
}

FileIdentity IdentifyPath(const char* path)
{
    struct stat info = {};
    return IdentifyStat(stat(path, &info), info);
}

void RemovePath(const char* path)
{
    std::remove(path);
}
#endif

} // namespace

FileIdentity IdentifyOpenFile(FILE* file)
{
#ifdef _WIN32
    return IdentifyHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
#else
    struct stat info = {};
    return IdentifyStat(fstat(fileno(file), &info), info);
#endif
}

void RemoveIfSameFile(const char* path, const FileIdentity& opened)
{
    if (!opened.regular)
        return;
    FileIdentity now = IdentifyPath(path);
    if (now.regular && now.volume == opened.volume && now.index == opened.index)
        RemovePath(path);
}
