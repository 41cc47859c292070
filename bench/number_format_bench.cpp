// The "%f" formatter against the two library routes that produce six decimals,
// on the same million values. The outputs differ in how they round; the
// library routes are here for their cost only.
#include "bench_model.h"
#include "mdl_convert.h"
#include "number_format.h"

#include <benchmark/benchmark.h>
#include <charconv>
#include <cstdio>
#include <vector>

namespace
{

constexpr size_t kValueCount = 1000000;
constexpr uint64_t kValueSeed = 0x6d646c6669786564u;
constexpr size_t kBufferSize = 1 << 16; // the output stream's buffer

// The mix of one export, drawn in random order: float positions within
// +-1,000 (3 in 10), float normal components within +-1 (2 in 10), float
// texture coordinates within +-1 (2 in 10), quaternion components as computed
// in double (2 in 10), and values that lie exactly halfway between two
// six-decimal results, odd multiples of 1/128 within +-1,000 (1 in 10).
std::vector<double> MakeValues()
{
    BenchRandom random(kValueSeed);
    std::vector<double> values;
    values.reserve(kValueCount);
    while (values.size() < kValueCount)
    {
        switch (random.Below(10))
        {
        case 0:
        case 1:
        case 2:
            values.push_back(static_cast<double>(random.Symmetric(1000.0f)));
            break;
        case 3:
        case 4:
        case 5:
        case 6:
            values.push_back(static_cast<double>(random.Symmetric(1.0f)));
            break;
        case 7:
        case 8:
        {
            const Vec3 angles{random.Symmetric(3.14159265f), random.Symmetric(3.14159265f),
                              random.Symmetric(3.14159265f)};
            const MdlQuaternion q = EulerToMdlQuaternion(angles);
            const double parts[] = {q.first, q.second, q.third, q.fourth};
            values.push_back(parts[random.Below(4)]);
            break;
        }
        default:
        {
            const auto odd = static_cast<int32_t>(2 * random.Below(128000) + 1) - 128000;
            values.push_back(odd / 128.0);
            break;
        }
        }
    }
    return values;
}

const std::vector<double>& Values()
{
    static const std::vector<double> values = MakeValues();
    return values;
}

// Formats every value into a buffer that is reused like the stream's, so that
// the output stays in cache as it does in an export.
template <typename Format> void FormatAll(benchmark::State& state, Format format)
{
    const std::vector<double>& values = Values();
    static char buffer[kBufferSize];
    uint64_t characters = 0;
    for (auto _ : state)
    {
        size_t used = 0;
        for (double value : values)
        {
            if (used + kFixed6MaxChars > kBufferSize)
            {
                characters += used;
                used = 0;
            }
            used += format(value, buffer + used);
        }
        characters += used;
        benchmark::DoNotOptimize(buffer);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * values.size()));
    state.counters["values"] = static_cast<double>(values.size());
    state.counters["chars_per_value"] =
        static_cast<double>(characters) / static_cast<double>(state.iterations() * values.size());
}

void BM_FormatFixed6(benchmark::State& state)
{
    FormatAll(state, [](double value, char* out) { return FormatFixed6(value, out); });
}

void BM_Snprintf(benchmark::State& state)
{
    FormatAll(state,
              [](double value, char* out)
              {
                  const int written = std::snprintf(out, kFixed6MaxChars, "%.6f", value);
                  return written > 0 ? static_cast<size_t>(written) : size_t{0};
              });
}

void BM_ToCharsFixed6(benchmark::State& state)
{
    FormatAll(state,
              [](double value, char* out)
              {
                  const auto result =
                      std::to_chars(out, out + kFixed6MaxChars, value, std::chars_format::fixed, 6);
                  return static_cast<size_t>(result.ptr - out);
              });
}

} // namespace

BENCHMARK(BM_FormatFixed6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Snprintf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToCharsFixed6)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
