#include "input_bytes.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
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

// The mappings whose pages a SIGBUS may replace with zero pages: one per
// open InputBytes, in fixed slots since the handler may not allocate.
constexpr int kMappingSlots = 4;
struct MappingSlot
{
    char* volatile begin;
    volatile size_t size;
    volatile sig_atomic_t shrank;
};
MappingSlot g_mappings[kMappingSlots];
size_t g_page_size = 4096;
struct sigaction g_previous_bus_action;

// A read past the end of a file cut short: the page becomes a page of zeros
// and the read is tried again. Any other SIGBUS is what it would have been.
void OnBusError(int signal_number, siginfo_t* info, void* context)
{
    char* at = static_cast<char*>(info->si_addr);
    for (MappingSlot& slot : g_mappings)
        if (slot.begin != nullptr && at >= slot.begin && at < slot.begin + slot.size)
        {
            size_t page = g_page_size;
            char* start = slot.begin + (static_cast<size_t>(at - slot.begin) / page) * page;
            if (mmap(start, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
                MAP_FAILED)
                break;
            slot.shrank = 1;
            return;
        }
    if (g_previous_bus_action.sa_flags & SA_SIGINFO)
        g_previous_bus_action.sa_sigaction(signal_number, info, context);
    else
    {
        sigaction(SIGBUS, &g_previous_bus_action, nullptr);
        raise(signal_number);
    }
}

int TakeMappingSlot(char* begin, size_t size)
{
    static bool installed = false;
    if (!installed)
    {
        g_page_size = PageSize();
        struct sigaction action = {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        installed = sigaction(SIGBUS, &action, &g_previous_bus_action) == 0;
    }
    for (int i = 0; installed && i < kMappingSlots; ++i)
        if (g_mappings[i].begin == nullptr)
        {
            g_mappings[i].size = size;
            g_mappings[i].shrank = 0;
            g_mappings[i].begin = begin;
            return i;
        }
    return -1;
}

} // namespace

InputBytes::~InputBytes()
{
    if (mapping_ != nullptr)
    {
        if (slot_ >= 0)
            g_mappings[slot_].begin = nullptr;
        munmap(mapping_, mapping_size_);
    }
}

bool InputBytes::Shrank() const
{
    return slot_ >= 0 && g_mappings[slot_].shrank != 0;
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
    slot_ = file == MAP_FAILED ? -1 : TakeMappingSlot(static_cast<char*>(span), total);
    if (slot_ < 0)
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
