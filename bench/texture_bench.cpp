// BLP texture conversion of a large image held in memory, as a scene's
// embedded image or a file read whole: decoding, scaling to 512 x 512, the
// chain of levels and their JPEG compression, through ConvertImageToBlp.
//
//   texture_bench [benchmark flags]
//
// The source is a generated 5120 x 4096 photograph-like image (21 megapixels:
// smooth gradients, edges and fine noise) encoded once as PNG and once as
// JPEG (quality 90) with stb_image_write. Each iteration is one conversion,
// timed alone; the thread's CPU time is a counter (colleagues' builds share
// the machine's cores), and megapixels is the source's size.
#include "blp_convert.h"
#include "thread_cpu.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <stb_image_write.h>
#include <string>
#include <vector>

namespace
{

constexpr int kWidth = 5120;
constexpr int kHeight = 4096;

std::vector<uint8_t> SourcePixels(int channels)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight *
                                static_cast<size_t>(channels));
    uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
        {
            noise = noise * 1664525u + 1013904223u;
            const int grain = static_cast<int>(noise >> 29) - 4;
            const double wave = std::sin(x * 0.01) * std::cos(y * 0.013);
            const bool stripe = ((x / 97 + y / 61) & 3) == 0;
            uint8_t* p =
                &pixels[(static_cast<size_t>(y) * kWidth + x) * static_cast<size_t>(channels)];
            p[0] = static_cast<uint8_t>(std::lround(110 + 90 * wave) + grain + (stripe ? 30 : 0));
            p[1] = static_cast<uint8_t>(x * 200 / kWidth + 20 + grain);
            p[2] = static_cast<uint8_t>(y * 180 / kHeight + 30 - grain);
            if (channels == 4)
                p[3] = static_cast<uint8_t>(stripe ? 128 : 255);
        }
    return pixels;
}

void Append(void* context, void* data, int size)
{
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

const std::vector<uint8_t>& Encoded(bool png)
{
    static std::vector<uint8_t> png_bytes;
    static std::vector<uint8_t> jpeg_bytes;
    if (png && png_bytes.empty())
    {
        const std::vector<uint8_t> pixels = SourcePixels(4);
        stbi_write_png_to_func(Append, &png_bytes, kWidth, kHeight, 4, pixels.data(), kWidth * 4);
    }
    if (!png && jpeg_bytes.empty())
    {
        const std::vector<uint8_t> pixels = SourcePixels(3);
        stbi_write_jpg_to_func(Append, &jpeg_bytes, kWidth, kHeight, 3, pixels.data(), 90);
    }
    return png ? png_bytes : jpeg_bytes;
}

void Convert(benchmark::State& state, bool png)
{
    const std::vector<uint8_t>& source = Encoded(png);
    double cpu_seconds = 0.0;
    size_t bytes = 0;
    for (auto _ : state)
    {
        std::vector<uint8_t> blp;
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        const double cpu_start = ThreadCpuSeconds();
        const bool done = ConvertImageToBlp(source.data(), source.size(),
                                            png ? "bench.png" : "bench.jpg", {}, blp, error);
        cpu_seconds += ThreadCpuSeconds() - cpu_start;
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!done)
        {
            state.SkipWithError(error.c_str());
            break;
        }
        bytes = blp.size();
    }
    state.counters["megapixels"] = static_cast<double>(kWidth) * kHeight / 1e6;
    state.counters["source_bytes"] = static_cast<double>(source.size());
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["cpu_s"] = cpu_seconds / static_cast<double>(state.iterations());
}

void BM_TexturePng(benchmark::State& state)
{
    Convert(state, true);
}

void BM_TextureJpeg(benchmark::State& state)
{
    Convert(state, false);
}

} // namespace

BENCHMARK(BM_TexturePng)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextureJpeg)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
