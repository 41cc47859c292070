// Fuzz target: one whole export over a host library that answers anything its
// interface can express (hostile_model.h), with the file in memory and the
// dialog, the disk, the close and the allocator failing where the input says
// (memory_seams.h).
//
// After each run: no call that the export promised never to make; every
// allocation released; and either the outcome that the input calls for, with
// a complete and well-formed file (output_check.h), or -1 exactly when a seam
// failed on purpose, with the file closed and the model destroyed once all the
// same.
//
// MDL_FUZZ_UNSTABLE_COUNTS=1 in the environment lets counts change from one
// call to the next (flag bit 5 of the input); for such an input only memory
// safety, the balance of allocations and the single destroy are checked. MDL_FUZZ_SHOW=FILE
// writes each run's file there, to look at what an input makes.
#include "export_run.h"
#include "hostile_model.h"
#include "memory_seams.h"
#include "output_check.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{

HostileOptions g_options;
const char* g_show_path = nullptr;

void Show(const std::string& output)
{
    if (g_show_path == nullptr)
        return;
    if (FILE* shown = std::fopen(g_show_path, "wb"))
    {
        std::fwrite(output.data(), 1, output.size(), shown);
        std::fclose(shown);
    }
}

void CheckStableRun(ModelHandle model, const HostileRun& run, ExportStatus status)
{
    const HostileRecord& record = HostileModel_Record(model);
    const MemorySeamsRecord& seen = MemorySeamsSeen();
    HostileExpectations expect = HostileModel_Expect(model);
    if (expect.mesh_count == 0)
    {
        Require(status == 0 && seen.warnings == 1 && seen.dialogs == 0,
                "an empty model warns, asks nothing and returns 0");
        Require(record.destroy_count == 0 && seen.opens == 0, "an empty model is not destroyed");
        return;
    }
    Require(seen.warnings == 0 && seen.dialogs == 1, "a model with meshes asks for a path once");
    if (run.dialog_cancels)
    {
        Require(status == 0 && seen.opens == 0 && record.destroy_count == 0,
                "a cancel returns 0, opens nothing and keeps the model");
        return;
    }
    if (run.open_fails)
    {
        Require(status == -1 && seen.closes == 0 && record.destroy_count == 0 &&
                    seen.allocations == 0,
                "an unopenable path returns -1 and keeps the model");
        return;
    }
    Require(seen.closes == 1, "the file is closed once");
    Require(record.destroy_count == 1, "the model is destroyed once");
    Require(status == (seen.seam_failed ? -1 : 0), "the status is -1 exactly when a seam failed",
            "(status " + std::to_string(status) + ")");
    if (status == 0)
    {
        std::string failure = CheckCompleteOutput(seen.output, expect);
        Require(failure.empty(), "complete file:", failure);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* unstable = std::getenv("MDL_FUZZ_UNSTABLE_COUNTS");
    g_options.unstable_counts = unstable != nullptr && std::strcmp(unstable, "1") == 0;
    g_show_path = std::getenv("MDL_FUZZ_SHOW");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    HostileRun run;
    ModelHandle model = HostileModel_Decode(data, size, g_options, run);
    MemorySeamsStart(run);
    ExportStatus status = ExportRunWith(model, MemorySeams());
    const MemorySeamsRecord& seen = MemorySeamsSeen();
    Show(seen.output);

    const HostileRecord& record = HostileModel_Record(model);
    Require(record.first_violation.empty(),
            "a call the export promised not to make:", record.first_violation);
    Require(seen.live_allocations == 0, "every allocation is released");
    Require(record.destroy_count <= 1, "the model is destroyed at most once");
    Require(status == 0 || status == -1, "the status is 0 or -1");
    if (run.counts_change)
        Require(status == -1 || !seen.seam_failed, "a failed seam is never a success");
    else
        CheckStableRun(model, run, status);

    HostileModel_Free(model);
    return 0;
}
