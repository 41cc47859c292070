#include "import_budget.h"

#include "safe_write.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define MDL_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MDL_ADDRESS_SANITIZER 1
#endif
#endif

namespace
{

constexpr uint64_t kBaseMemoryMb = 1024;
constexpr uint64_t kMemoryMbPerFileMb = 128;
constexpr uint64_t kBaseSeconds = 120;
constexpr uint64_t kSecondsPerFileMb = 10;
constexpr uint64_t kMb = 1 << 20;
// The child's status when an allocation was refused.
constexpr int kOutOfMemoryStatus = 86;
// The parent looks at the child every 20 ms, sooner at first so that a
// small file's conversion is not held up.
constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr auto kFirstPollInterval = std::chrono::microseconds(500);

// An allocation refused under the limit ends the child at once, before a
// library can catch the exception and report something else.
void OutOfBudget()
{
    RemovePendingTemporaries();
    _exit(kOutOfMemoryStatus);
}

// The address space of process `pid`, or its resident memory, in bytes; 0
// when unknown.
uint64_t ProcessMemory(pid_t pid, bool resident_only)
{
    std::string path = "/proc/" + std::to_string(pid) + "/statm";
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr)
        return 0;
    unsigned long long size = 0, resident = 0;
    int read = std::fscanf(file, "%llu %llu", &size, &resident);
    std::fclose(file);
    if (read != 2)
        return 0;
    long page = sysconf(_SC_PAGESIZE);
    uint64_t pages = resident_only ? resident : size;
    return pages * static_cast<uint64_t>(page > 0 ? page : 4096);
}

[[noreturn]] void RunChild(const ImportBudget& budget, const std::function<int()>& work)
{
    std::set_new_handler(OutOfBudget);
#ifndef MDL_ADDRESS_SANITIZER
    // The address space the program already holds, and the budget beyond it.
    // (AddressSanitizer reserves terabytes of address space: under it the
    // parent watches the resident memory instead.)
    uint64_t held = ProcessMemory(getpid(), false);
    rlim_t space = static_cast<rlim_t>(held + budget.memory_mb * kMb);
    rlimit memory{space, space};
    setrlimit(RLIMIT_AS, &memory);
#endif
    rlimit processor{static_cast<rlim_t>(budget.seconds), static_cast<rlim_t>(budget.seconds + 5)};
    setrlimit(RLIMIT_CPU, &processor);
    int status = work();
    std::fflush(nullptr);
    _exit(status);
}

std::string MemoryMessage(const ImportBudget& budget)
{
    return "the importer exceeded its memory budget of " + std::to_string(budget.memory_mb) +
           " MB (raise it with --import-memory MB)";
}

std::string TimeMessage(const ImportBudget& budget)
{
    return "the importer exceeded its time budget of " + std::to_string(budget.seconds) +
           " s (raise it with --import-seconds S)";
}

} // namespace

ImportBudget ImportBudgetFor(uint64_t file_bytes, uint64_t memory_mb, uint64_t seconds)
{
    uint64_t file_mb = (file_bytes + kMb - 1) / kMb;
    ImportBudget budget;
    budget.memory_mb = memory_mb != 0 ? memory_mb : kBaseMemoryMb + kMemoryMbPerFileMb * file_mb;
    budget.seconds = seconds != 0 ? seconds : kBaseSeconds + kSecondsPerFileMb * file_mb;
    return budget;
}

int RunWithinBudget(const ImportBudget& budget, const std::function<int()>& work,
                    std::string& message)
{
    std::fflush(nullptr);
    pid_t child = fork();
    if (child < 0)
        return work(); // no process to spare: the conversion runs here, unbounded
    if (child == 0)
        RunChild(budget, work);

    uint64_t start_resident = ProcessMemory(child, true);
#ifdef MDL_ADDRESS_SANITIZER
    // The sanitizer's shadow memory and quarantine come on top.
    uint64_t resident_limit = start_resident + 2 * budget.memory_mb * kMb + 256 * kMb;
#else
    uint64_t resident_limit = start_resident + budget.memory_mb * kMb;
#endif
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2 * budget.seconds);
    bool over_memory = false, over_time = false;
    int status = 0;
    std::chrono::microseconds interval = kFirstPollInterval;
    for (;;)
    {
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            break;
        if (done < 0 && errno != EINTR)
        {
            message = "the importer's process was lost";
            return -1;
        }
        if (!over_memory && !over_time)
        {
            over_memory = ProcessMemory(child, true) > resident_limit;
            over_time = std::chrono::steady_clock::now() > deadline;
            // SIGTERM lets the child remove its temporary files.
            if (over_memory || over_time)
                kill(child, SIGTERM);
        }
        std::this_thread::sleep_for(interval);
        interval = std::min<std::chrono::microseconds>(2 * interval, kPollInterval);
    }

    if (WIFEXITED(status) && WEXITSTATUS(status) != kOutOfMemoryStatus && !over_memory &&
        !over_time)
        return WEXITSTATUS(status);
    RemovePendingTemporaries(); // those of a child that could not
    if (over_memory || (WIFEXITED(status) && WEXITSTATUS(status) == kOutOfMemoryStatus))
        message = MemoryMessage(budget);
    else if (over_time || (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU))
        message = TimeMessage(budget);
    else if (WIFSIGNALED(status))
        message = "the importer crashed (signal " + std::to_string(WTERMSIG(status)) + ")";
    else
        message =
            "the importer ended unexpectedly (status " + std::to_string(WEXITSTATUS(status)) + ")";
    return -1;
}
