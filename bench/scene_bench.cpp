// A large skinned scene converted as a whole game model, against Assimp's own
// reading of the same file with the same post-processing.
//
//   scene_bench [benchmark flags] SCENE.glb OUT_FOLDER
//
// The scene is bench/make_skinned_scene.py's (80,000 vertices, every one
// blended between two of 8 joints, two animations). Each iteration of
// BM_AssimpRead reads it (ReadSceneFile); each of BM_WholeConversion is the
// whole command-line conversion to MDX (ConvertSceneWhole: the read, the
// import, the bone groups, extents, the MDX and its white BLP written). The
// thread's CPU time is a counter, as the machine's cores are shared.
#include "file_io.h"
#include "scene_convert.h"
#include "scene_import.h"
#include "thread_cpu.h"

#include <assimp/Importer.hpp>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <ctime>
#include <string>

namespace
{

std::string scene_path;
std::string out_folder;

void BM_AssimpRead(benchmark::State& state)
{
    double cpu = 0.0;
    for (auto _ : state)
    {
        double before = ThreadCpuSeconds();
        Assimp::Importer importer;
        const aiScene* scene = ReadSceneFile(importer, scene_path);
        if (scene == nullptr)
        {
            state.SkipWithError(importer.GetErrorString());
            return;
        }
        benchmark::DoNotOptimize(scene);
        cpu += ThreadCpuSeconds() - before;
    }
    state.counters["cpu_seconds"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}

void BM_WholeConversion(benchmark::State& state)
{
    CommandLine options;
    options.quiet = true;
    options.has_output = true;
    const std::string output = out_folder + "/scene-bench.mdx";
    double cpu = 0.0;
    for (auto _ : state)
    {
        double before = ThreadCpuSeconds();
        int status = ConvertSceneWhole(scene_path, output, options, FileClockNow(),
                                       [](const std::string&) {});
        cpu += ThreadCpuSeconds() - before;
        if (status != 0)
        {
            state.SkipWithError("the conversion failed");
            return;
        }
    }
    state.counters["cpu_seconds"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
    std::remove(output.c_str());
    std::remove((out_folder + "/White.blp").c_str());
}

} // namespace

BENCHMARK(BM_AssimpRead)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WholeConversion)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: scene_bench [benchmark flags] SCENE.glb OUT_FOLDER\n");
        return 2;
    }
    scene_path = argv[1];
    out_folder = argv[2];
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
