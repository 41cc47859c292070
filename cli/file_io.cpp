#include "file_io.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr size_t kCopyChunk = 1 << 20;

ssize_t ReadSome(int fd, char* data, size_t size)
{
    ssize_t got;
    do
        got = read(fd, data, size);
    while (got < 0 && errno == EINTR);
    return got;
}

} // namespace

bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& error, size_t max_size)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    bytes.clear();
    char chunk[1 << 14];
    for (;;)
    {
        ssize_t got = ReadSome(fd, chunk, sizeof chunk);
        if (got < 0)
        {
            error = path + ": cannot read: " + std::strerror(errno);
            close(fd);
            return false;
        }
        if (got == 0)
            break;
        if (static_cast<size_t>(got) > max_size - bytes.size())
        {
            error = path + ": the file is larger than " + std::to_string(max_size >> 20) +
                    " MiB, more than it may hold";
            close(fd);
            return false;
        }
        bytes.append(chunk, static_cast<size_t>(got));
    }
    close(fd);
    return true;
}

bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0)
    {
        ssize_t put = write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
        {
            if (put == 0)
                errno = EIO;
            return false;
        }
        data += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

bool CopyToEnd(int from, int to, uint64_t& copied, bool& read_failed)
{
    std::unique_ptr<char[]> buffer(new char[kCopyChunk]);
    read_failed = false;
    for (;;)
    {
        ssize_t got = ReadSome(from, buffer.get(), kCopyChunk);
        if (got < 0)
        {
            read_failed = true;
            return false;
        }
        if (got == 0)
            return true;
        if (!WriteAll(to, buffer.get(), static_cast<size_t>(got)))
            return false;
        copied += static_cast<uint64_t>(got);
    }
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

int64_t FileClockNow()
{
#ifdef CLOCK_REALTIME_COARSE
    const clockid_t clock = CLOCK_REALTIME_COARSE;
#else
    const clockid_t clock = CLOCK_REALTIME;
#endif
    timespec now{};
    clock_gettime(clock, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool ModifiedSince(const std::string& path, int64_t since)
{
    struct stat status;
    if (stat(path.c_str(), &status) != 0)
        return false;
#ifdef __APPLE__
    const timespec& modified = status.st_mtimespec;
#else
    const timespec& modified = status.st_mtim;
#endif
    return int64_t(modified.tv_sec) * 1000000000 + modified.tv_nsec >= since;
}
