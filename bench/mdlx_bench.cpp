// The model library on one large MDL file, from memory (the file is read
// once, before the timings):
//
//   mdlx_bench [benchmark flags] MODEL.mdl
//
// BM_ReadMdl parses and validates the text into a model; BM_WriteMdx writes
// that model as MDX; BM_MdlToMdx does both, the conversion without the disk.
// Each repetition is one run, timed alone (wall-clock, and the thread's CPU
// time as a counter). The whole conversion's peak memory, and the same
// conversion by mdx-m3-viewer, are measured by bench/run on mdlx-convert.
#include "mdl_reader.h"
#include "mdx_writer.h"
#include "thread_cpu.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>

namespace
{

std::string g_text;

// Times `step` once per iteration; `step` returns false with `error` set on a refusal.
template <typename Step> void Timed(benchmark::State& state, Step step)
{
    double cpu_seconds = 0.0;
    double bytes = 0.0;
    for (auto _ : state)
    {
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        const double cpu_start = ThreadCpuSeconds();
        const bool done = step(bytes, error);
        cpu_seconds += ThreadCpuSeconds() - cpu_start;
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!done)
        {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    state.counters["bytes"] = bytes;
    state.counters["cpu_s"] = cpu_seconds / static_cast<double>(state.iterations());
}

void BM_ReadMdl(benchmark::State& state)
{
    Timed(state,
          [](double& bytes, std::string& error)
          {
              mdlx::Model model;
              const mdlx::Status status = mdlx::ReadMdl(g_text, "model.mdl", model);
              error = status.message;
              bytes = static_cast<double>(g_text.size());
              return status.ok;
          });
}

void BM_WriteMdx(benchmark::State& state)
{
    mdlx::Model model;
    const mdlx::Status read = mdlx::ReadMdl(g_text, "model.mdl", model);
    std::string mdx;
    Timed(state,
          [&](double& bytes, std::string& error)
          {
              if (!read.ok)
              {
                  error = read.message;
                  return false;
              }
              const mdlx::Status status = mdlx::WriteMdx(model, mdx, "model.mdx");
              error = status.message;
              bytes = static_cast<double>(mdx.size());
              return status.ok;
          });
}

void BM_MdlToMdx(benchmark::State& state)
{
    Timed(state,
          [](double& bytes, std::string& error)
          {
              mdlx::Model model;
              mdlx::Status status = mdlx::ReadMdl(g_text, "model.mdl", model);
              std::string mdx;
              if (status.ok)
                  status = mdlx::WriteMdx(model, mdx, "model.mdx");
              error = status.message;
              bytes = static_cast<double>(mdx.size());
              return status.ok;
          });
}

} // namespace

BENCHMARK(BM_ReadMdl)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteMdx)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MdlToMdx)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: mdlx_bench [benchmark flags] MODEL.mdl\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    g_text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof())
    {
        std::perror(argv[1]);
        return 2;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
