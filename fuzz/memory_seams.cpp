#include "memory_seams.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

constexpr char kPath[] = "hostile.mdl";

HostileRun g_plan;
uint32_t g_write_budget_left = 0;
MemorySeamsRecord g_seen;

// A real stream for the run to hold and identify (it is no regular file, so a
// failed run deletes nothing); the bytes themselves go to the record.
FILE* Sink()
{
    static FILE* sink = std::fopen("/dev/null", "wb");
    if (sink == nullptr)
        std::abort();
    return sink;
}

bool AskPath(SaveDialogRequest& request)
{
    ++g_seen.dialogs;
    if (g_plan.dialog_cancels)
        return false;
    std::memcpy(request.file, kPath, sizeof kPath);
    return true;
}

void Warn(const char*, const char*, uint32_t)
{
    ++g_seen.warnings;
}

FILE* Open(const char*)
{
    ++g_seen.opens;
    return g_plan.open_fails ? nullptr : Sink();
}

size_t Write(const void* data, size_t size, FILE*)
{
    size_t granted = size;
    if (g_plan.disk_fills && size > g_write_budget_left)
    {
        granted = g_write_budget_left;
        g_seen.seam_failed = true;
    }
    g_write_budget_left -= static_cast<uint32_t>(granted);
    // Past what any run with steady counts writes, the disk is full: counts
    // that change between calls can let a huge count through to the loops.
    if (granted > kMemorySeamsOutputLimit - g_seen.output.size())
    {
        granted = kMemorySeamsOutputLimit - g_seen.output.size();
        g_seen.seam_failed = true;
    }
    g_seen.output.append(static_cast<const char*>(data), granted);
    return granted;
}

int Close(FILE*)
{
    ++g_seen.closes;
    if (g_plan.close_fails)
    {
        g_seen.seam_failed = true;
        return EOF;
    }
    return 0;
}

void* Allocate(size_t bytes)
{
    uint32_t index = g_seen.allocations++;
    if ((g_plan.refuses_allocation && index == g_plan.refused_allocation) ||
        bytes > kMemorySeamsAllocationLimit)
    {
        g_seen.seam_failed = true;
        return nullptr;
    }
    ++g_seen.live_allocations;
    return std::malloc(bytes);
}

void Release(void* memory)
{
    --g_seen.live_allocations;
    std::free(memory);
}

} // namespace

void MemorySeamsStart(const HostileRun& plan)
{
    g_plan = plan;
    g_write_budget_left = plan.write_budget;
    g_seen = MemorySeamsRecord{};
}

const ExportSeams& MemorySeams()
{
    static const ExportSeams seams = {AskPath, Warn, Open, Write, Close, Allocate, Release};
    return seams;
}

const MemorySeamsRecord& MemorySeamsSeen()
{
    return g_seen;
}

void Require(bool holds, const char* what, const std::string& detail)
{
    if (holds)
        return;
    std::fprintf(stderr, "\nINVARIANT BROKEN: %s %s\n", what, detail.c_str());
    std::abort();
}
