// The command-line exporter's two halves, through the functions its main
// calls, on one model description file:
//
//   cli_bench [benchmark flags] MODEL.json OUT.mdl
//
// BM_LoadDescription reads and parses the file into a description (what the
// exporter does before anything else); BM_BuildAndExport builds the stand-in
// model from a freshly loaded description and exports it into OUT.mdl through
// the plug-in, as the exporter does next. Each repetition is one load or one
// export, timed alone (wall-clock, and the thread's CPU time as a counter:
// colleagues' builds share the machine's cores). The process's peak memory is
// measured on the exporter itself, by bench/run.
#include "export_file.h"
#include "model_description.h"
#include "model_json.h"
#include "stand_in_model.h"
#include "thread_cpu.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <sys/stat.h>

namespace
{

std::string g_input;
std::string g_output;

double FileBytes(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<double>(info.st_size) : 0.0;
}

void BM_LoadDescription(benchmark::State& state)
{
    double cpu_seconds = 0.0;
    for (auto _ : state)
    {
        ModelDescription description;
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        const double cpu_start = ThreadCpuSeconds();
        const bool loaded = ReadModelDescription(g_input, description, error);
        cpu_seconds += ThreadCpuSeconds() - cpu_start;
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!loaded)
        {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    state.counters["json_bytes"] = FileBytes(g_input);
    state.counters["cpu_s"] = cpu_seconds / static_cast<double>(state.iterations());
}

void BM_BuildAndExport(benchmark::State& state)
{
    double cpu_seconds = 0.0;
    uint64_t bytes = 0;
    for (auto _ : state)
    {
        ModelDescription description;
        std::string error;
        if (!ReadModelDescription(g_input, description, error))
        {
            state.SkipWithError(error.c_str());
            break;
        }
        std::remove(g_output.c_str());
        const auto start = std::chrono::steady_clock::now();
        const double cpu_start = ThreadCpuSeconds();
        ModelHandle model = StandIn_CreateModel();
        BuildStandInModel(description, model);
        const ExportFileResult result = ExportModelFile(model, g_output, nullptr);
        StandIn_FreeModel(model);
        cpu_seconds += ThreadCpuSeconds() - cpu_start;
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (result.status != ExportFileStatus::Done)
        {
            state.SkipWithError(result.message.c_str());
            break;
        }
        bytes = result.bytes;
    }
    std::remove(g_output.c_str());
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["cpu_s"] = cpu_seconds / static_cast<double>(state.iterations());
}

} // namespace

BENCHMARK(BM_LoadDescription)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildAndExport)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: cli_bench [benchmark flags] MODEL.json OUT.mdl\n");
        return 2;
    }
    g_input = argv[1];
    g_output = argv[2];
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
