// Seams for a whole run that keep its file in memory, answer the dialog with
// a fixed name, and fail where a HostileRun says: the dialog cancels, the file
// does not open, the disk fills after a budget, closing fails, or one
// allocation is refused. Requests above kMemorySeamsAllocationLimit are
// refused too, as a 32-bit host's address space would refuse them.
// One run at a time, one thread.
#ifndef MDLEXPORT_FUZZ_MEMORY_SEAMS_H
#define MDLEXPORT_FUZZ_MEMORY_SEAMS_H

#include "export_run.h"
#include "hostile_model.h"

#include <cstdint>
#include <string>

constexpr size_t kMemorySeamsAllocationLimit = size_t{64} << 20;
// The most of a file the record holds: a write past it fails as on a full
// disk. A run whose counts stay put (capped in hostile_model.h) writes a few
// megabytes at most; one whose counts change may meet a huge count in a loop.
constexpr size_t kMemorySeamsOutputLimit = size_t{64} << 20;

// What the run did with the seams.
struct MemorySeamsRecord
{
    std::string output;       // every byte the file took
    bool seam_failed = false; // a seam failed on purpose and the run saw it
    int dialogs = 0;
    int warnings = 0;
    int opens = 0;
    int closes = 0;
    uint32_t allocations = 0;
    int64_t live_allocations = 0; // granted and not released
};

// Forgets the last run and sets how the next one's seams behave.
void MemorySeamsStart(const HostileRun& plan);
const ExportSeams& MemorySeams();
const MemorySeamsRecord& MemorySeamsSeen();

// Prints "INVARIANT BROKEN: what detail" and aborts, unless `holds`.
void Require(bool holds, const char* what, const std::string& detail = "");

#endif
