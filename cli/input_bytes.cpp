#include "input_bytes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

size_t PageSize()
{
    long page = sysconf(_SC_PAGESIZE);
    return page > 0 ? static_cast<size_t>(page) : 4096;
}

size_t RoundUp(size_t value, size_t unit)
{
    return (value + unit - 1) / unit * unit;
}

std::string TooLarge(const std::string& path, size_t max_size)
{
    return path + ": the file is larger than " + std::to_string(max_size) +
           " bytes, more than the loader takes";
}

} // namespace

InputBytes::~InputBytes()
{
    if (mapping_ != nullptr)
        munmap(mapping_, mapping_size_);
}

bool InputBytes::Open(const std::string& path, size_t padding, size_t max_size, std::string& error)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    struct stat info;
    bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (regular && static_cast<unsigned long long>(info.st_size) > max_size)
    {
        close(fd);
        error = TooLarge(path, max_size);
        return false;
    }
    bool ok = true;
    size_t expected = regular ? static_cast<size_t>(info.st_size) : 0;
    if (!(regular && expected > 0 && Map(fd, expected, padding)))
        ok = ReadAll(fd, expected, padding, max_size, path, error);
    close(fd);
    return ok;
}

bool InputBytes::Map(int fd, size_t size, size_t padding)
{
    // The file's pages, then zero pages for the padding: a reservation of the
    // whole span, with the file mapped over its start. Past the end of the
    // file its last page reads as zeros too.
    size_t page = PageSize();
    size_t total = RoundUp(size + padding, page);
    void* span = mmap(nullptr, total, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (span == MAP_FAILED)
        return false;
    void* file = mmap(span, size, PROT_READ, MAP_PRIVATE | MAP_FIXED, fd, 0);
    if (file == MAP_FAILED)
    {
        munmap(span, total);
        return false;
    }
    mapping_ = span;
    mapping_size_ = total;
    data_ = static_cast<const char*>(span);
    size_ = size;
    return true;
}

bool InputBytes::ReadAll(int fd, size_t expected, size_t padding, size_t max_size,
                         const std::string& path, std::string& error)
{
    // One byte more than expected, so that the end is seen without growing.
    size_t capacity = expected > 0 ? expected + 1 : size_t{1} << 16;
    size_t size = 0;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[capacity + padding]);
    for (;;)
    {
        if (buffer == nullptr)
        {
            error = path + ": not enough memory to read the file";
            return false;
        }
        if (size == capacity)
        {
            // A stream, or a file that grew: double the room.
            capacity *= 2;
            std::unique_ptr<char[]> larger(new (std::nothrow) char[capacity + padding]);
            if (larger != nullptr)
                std::memcpy(larger.get(), buffer.get(), size);
            buffer = std::move(larger);
            continue;
        }
        ssize_t got = read(fd, buffer.get() + size, capacity - size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
        {
            error = path + ": cannot read: " + std::strerror(errno);
            return false;
        }
        if (got == 0)
            break;
        size += static_cast<size_t>(got);
        if (size > max_size)
        {
            error = TooLarge(path, max_size);
            return false;
        }
    }
    read_ = std::move(buffer);
    data_ = read_.get();
    size_ = size;
    return true;
}

void InputBytes::GiveBack(size_t begin, size_t end)
{
    if (mapping_ == nullptr)
        return;
    size_t page = PageSize();
    size_t first = RoundUp(begin, page);
    size_t last = std::min(end, size_) / page * page;
    if (last > first)
        madvise(static_cast<char*>(mapping_) + first, last - first, MADV_DONTNEED);
}
