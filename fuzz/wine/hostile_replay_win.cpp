// Replays hostile-host inputs (fuzz/hostile_model.h) through the shipped
// mdlexport.dll, loaded and called as the host does, with the hostile library
// in place of msModelLib.dll beside it:
//
//   hostile_replay.exe INPUT...
//
// For each input the world fails where the input says: the dialog double
// cancels or answers a path (in a missing folder when the file must not
// open), and the module's own imports of fwrite, fclose and malloc are
// replaced so that the disk fills after a budget, the close fails or one
// allocation is refused. Then the same invariants as the native fuzz target:
// no call that the export promised never to make, every allocation freed,
// the model destroyed once (or kept, when nothing was opened), -1 exactly
// when something failed on purpose with no file left, and otherwise a
// complete file (output_check.h). Prints one line per input: PASS, FAIL, or
// CRASH or HANG (no answer within kTimeLimitMs), after which the program ends
// at once: the process may be in any state. Exits 0 when every input passed,
// 1 when one failed, 3 on a crash, 4 on a hang.
#include "hostile_model.h"
#include "import_table_win.h"
#include "member_call_win.h"
#include "output_check.h"
#include "plugin_module_win.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <windows.h>

namespace
{

// As the native fuzz target: larger requests are what the 32-bit address
// space would refuse anyway.
constexpr size_t kAllocationLimit = size_t{64} << 20;
// As the native fuzz target's -timeout: a run this long is stuck.
constexpr DWORD kTimeLimitMs = 10000;

struct HostileLib
{
    ModelHandle (*load)(const uint8_t*, uint32_t, int32_t) = nullptr;
    int32_t (*destroy_count)(ModelHandle) = nullptr;
    int32_t (*violation)(ModelHandle, char*, int32_t) = nullptr;
    void (*free_model)(ModelHandle) = nullptr;
};

// What the replaced imports do in the current run, and what they saw.
struct Faults
{
    HostileRun plan;
    bool armed = false; // inside Run
    uint32_t write_budget_left = 0;
    bool seam_failed = false;
    uint32_t allocations = 0;
    int64_t live_allocations = 0;
    int closes = 0;
};
Faults g_faults;
const char* g_current = "";

size_t(__cdecl* g_fwrite)(const void*, size_t, size_t, FILE*) = nullptr;
int(__cdecl* g_fclose)(FILE*) = nullptr;
void*(__cdecl* g_malloc)(size_t) = nullptr;
void(__cdecl* g_free)(void*) = nullptr;

size_t __cdecl FwriteFault(const void* data, size_t size, size_t count, FILE* file)
{
    if (!g_faults.armed || !g_faults.plan.disk_fills || size != 1)
        return g_fwrite(data, size, count, file);
    size_t granted = count;
    if (count > g_faults.write_budget_left)
    {
        granted = g_faults.write_budget_left;
        g_faults.seam_failed = true;
    }
    g_faults.write_budget_left -= static_cast<uint32_t>(granted);
    return granted > 0 ? g_fwrite(data, 1, granted, file) : 0;
}

int __cdecl FcloseFault(FILE* file)
{
    int result = g_fclose(file);
    if (!g_faults.armed)
        return result;
    ++g_faults.closes;
    if (g_faults.plan.close_fails)
    {
        g_faults.seam_failed = true;
        return EOF;
    }
    return result;
}

void* __cdecl MallocFault(size_t bytes)
{
    if (!g_faults.armed)
        return g_malloc(bytes);
    uint32_t index = g_faults.allocations++;
    if ((g_faults.plan.refuses_allocation && index == g_faults.plan.refused_allocation) ||
        bytes > kAllocationLimit)
    {
        g_faults.seam_failed = true;
        return nullptr;
    }
    void* memory = g_malloc(bytes);
    if (memory != nullptr)
        ++g_faults.live_allocations;
    return memory;
}

void __cdecl FreeFault(void* memory)
{
    if (g_faults.armed && memory != nullptr)
        --g_faults.live_allocations;
    g_free(memory);
}

template <typename Function>
bool Replace(HMODULE module, const char* name, Function replacement, Function* previous)
{
    void* old = ReplaceImport(module, "msvcrt.dll", name, reinterpret_cast<void*>(replacement));
    if (old == nullptr)
    {
        std::printf("SETUP mdlexport.dll does not import %s from msvcrt.dll\n", name);
        return false;
    }
    *previous = reinterpret_cast<Function>(old);
    return true;
}

template <typename Function> bool Find(HMODULE module, const char* name, Function* function)
{
    *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (*function == nullptr)
        std::printf("SETUP msModelLib.dll is not the hostile library: no %s\n", name);
    return *function != nullptr;
}

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception)
{
    std::printf("CRASH %s: exception 0x%08lx at %p\n", g_current,
                static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode),
                exception->ExceptionRecord->ExceptionAddress);
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

std::string MakeFolder()
{
    char temp[MAX_PATH + 1] = {};
    DWORD length = GetTempPathA(sizeof temp, temp);
    std::string base = length > 0 && length < sizeof temp ? std::string(temp, length) : ".\\";
    if (base.back() != '\\')
        base += '\\';
    std::string folder = base + "mdlexport-replay-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs one input; returns "" when every invariant holds.
std::string Replay(const HostileLib& lib, const std::string& bytes, const std::string& folder,
                   bool unstable)
{
    auto data = reinterpret_cast<const uint8_t*>(bytes.data());
    HostileOptions options;
    options.unstable_counts = unstable;
    HostileRun plan;
    ModelHandle local = HostileModel_Decode(data, bytes.size(), options, plan);
    HostileExpectations expect = HostileModel_Expect(local);
    HostileModel_Free(local);

    std::string path = folder + (plan.open_fails ? "\\missing\\out.mdl" : "\\out.mdl");
    HostUiDoubles& ui = UiDoubles();
    ui = HostUiDoubles{};
    ui.answer_with_path = !plan.dialog_cancels;
    ui.path = path;
    g_faults = Faults{};
    g_faults.plan = plan;
    g_faults.write_budget_left = plan.write_budget;

    void* object = LoadPlugInModule().create();
    if (object == nullptr)
        return "CreatePlugIn returned null";
    ModelHandle model = lib.load(data, static_cast<uint32_t>(bytes.size()), unstable ? 1 : 0);
    g_faults.armed = true;
    int32_t status = CallRun(object, model);
    g_faults.armed = false;
    CallDestroy(object, 1);

    char violation[256];
    int32_t destroyed = lib.destroy_count(model);
    bool violated = lib.violation(model, violation, sizeof violation) > 0;
    lib.free_model(model);

    std::string output;
    bool written = Exists(path);
    if (written)
    {
        {
            std::ifstream in(path, std::ios::binary);
            output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        // Closed first: Windows does not delete a file that is open.
        if (!DeleteFileA(path.c_str()))
            return "cannot delete " + path + " for the next input";
    }

    if (violated)
        return std::string("a call the export promised not to make: ") + violation;
    if (g_faults.live_allocations != 0)
        return std::to_string(g_faults.live_allocations) + " allocations not freed";
    if (status != 0 && status != -1)
        return "status " + std::to_string(status);
    if (plan.counts_change)
        return status == -1 || !g_faults.seam_failed ? "" : "a failed seam reported as success";
    std::string seen = " (status " + std::to_string(status) + ", destroyed " +
                       std::to_string(destroyed) + ", dialogs " + std::to_string(ui.dialog_calls) +
                       ", warnings " + std::to_string(ui.warning_calls) +
                       (written ? ", a file written)" : ", no file)");
    if (expect.mesh_count == 0)
        return status == 0 && destroyed == 0 && !written && ui.dialog_calls == 0 &&
                       ui.warning_calls == 1
                   ? ""
                   : "an empty model must warn, return 0 and touch nothing" + seen;
    if (plan.dialog_cancels)
        return status == 0 && destroyed == 0 && !written && ui.dialog_calls == 1
                   ? ""
                   : "a cancel must return 0 and touch nothing" + seen;
    if (plan.open_fails)
        return status == -1 && destroyed == 0 && !written ? ""
                                                          : "an unopenable path must return -1 "
                                                            "and keep the model";
    if (destroyed != 1 || g_faults.closes != 1)
        return "destroyed " + std::to_string(destroyed) + " times, closed " +
               std::to_string(g_faults.closes) + " times";
    // A huge count (2^27 and up) needs scratch beyond what this process can
    // address: the module refuses it like memory that is not there, before
    // the allocator is asked, so no seam sees it fail.
    bool huge = expect.bone_count >= (1 << 27);
    for (const HostileMeshExpectations& mesh : expect.meshes)
        huge = huge || mesh.vertex_count >= (1 << 27);
    bool failed_on_purpose = g_faults.seam_failed || huge;
    if (status != (failed_on_purpose ? -1 : 0))
        return "status " + std::to_string(status) +
               (failed_on_purpose ? " after a seam failed" : " with no seam failing");
    if (status == -1)
        return written ? "an incomplete file was left behind" : "";
    return CheckCompleteOutput(output, expect);
}

struct ReplayJob
{
    const HostileLib* lib;
    const std::string* bytes;
    const std::string* folder;
    bool unstable;
    std::string failure;
};

DWORD WINAPI ReplayOnThread(void* argument)
{
    auto* job = static_cast<ReplayJob*>(argument);
    job->failure = Replay(*job->lib, *job->bytes, *job->folder, job->unstable);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(ReportCrash);
    const PlugInModule& loaded = LoadPlugInModule();
    if (!loaded.error.empty() || loaded.create == nullptr)
    {
        std::printf("SETUP %s\n", loaded.error.c_str());
        return 2;
    }
    HostileLib lib;
    HMODULE model_lib = GetModuleHandleA("msModelLib.dll");
    if (model_lib == nullptr || !Find(model_lib, "HostileLib_Load", &lib.load) ||
        !Find(model_lib, "HostileLib_DestroyCount", &lib.destroy_count) ||
        !Find(model_lib, "HostileLib_Violation", &lib.violation) ||
        !Find(model_lib, "HostileLib_Free", &lib.free_model) ||
        !Replace(loaded.module, "fwrite", &FwriteFault, &g_fwrite) ||
        !Replace(loaded.module, "fclose", &FcloseFault, &g_fclose) ||
        !Replace(loaded.module, "malloc", &MallocFault, &g_malloc) ||
        !Replace(loaded.module, "free", &FreeFault, &g_free))
        return 2;

    const char* unstable_setting = std::getenv("MDL_FUZZ_UNSTABLE_COUNTS");
    bool unstable = unstable_setting != nullptr && std::string(unstable_setting) == "1";
    std::string folder = MakeFolder();
    int failures = 0;
    for (int i = 1; i < argc; ++i)
    {
        g_current = argv[i];
        std::ifstream in(argv[i], std::ios::binary);
        if (!in)
        {
            std::printf("FAIL %s: cannot read it\n", argv[i]);
            ++failures;
            continue;
        }
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // On a thread of its own, so that a run that never returns is seen.
        ReplayJob job{&lib, &bytes, &folder, unstable, ""};
        HANDLE thread = CreateThread(nullptr, 0, ReplayOnThread, &job, 0, nullptr);
        if (thread == nullptr || WaitForSingleObject(thread, kTimeLimitMs) != WAIT_OBJECT_0)
        {
            std::printf("HANG %s: no answer within %lu ms\n", argv[i],
                        static_cast<unsigned long>(kTimeLimitMs));
            std::fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 4);
        }
        CloseHandle(thread);
        const std::string& failure = job.failure;
        std::printf("%s %s%s%s\n", failure.empty() ? "PASS" : "FAIL", argv[i],
                    failure.empty() ? "" : ": ", failure.c_str());
        std::fflush(stdout);
        failures += failure.empty() ? 0 : 1;
    }
    RemoveDirectoryA(folder.c_str());
    return failures == 0 ? 0 : 1;
}
