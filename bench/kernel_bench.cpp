// The SSE kernel beside the scalar reference, on blocks of 480 output
// frames that walk a window through the store like ReadData does (even and
// odd frame indices alternate).
#include <benchmark/benchmark.h>
#include <cstring>
#include <random>

#include "aligned_memory.h"
#include "convolve.h"

namespace {

constexpr uint32_t kBlockFrames = 480;

using Kernel = void (*)(BandFrame*, const float*, const float*, uint32_t);

void KernelBlock(benchmark::State& state, Kernel kernel)
{
    const uint32_t taps = static_cast<uint32_t>(state.range(0));
    const size_t store_floats = 2 * (size_t{kBlockFrames} + taps);
    float* store = static_cast<float*>(AlignedAlloc(store_floats * sizeof(float)));
    float* table = static_cast<float*>(AlignedAlloc(4 * (size_t{taps} + 1) * sizeof(float)));
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (size_t i = 0; i < store_floats; ++i)
        store[i] = value(rng);
    std::memset(table, 0, 4 * (size_t{taps} + 1) * sizeof(float));
    for (uint32_t k = 0; k < taps; ++k)
        for (int b = 0; b < 3; ++b)
            table[4 * k + b] = value(rng) * (1.0f / static_cast<float>(taps));
    for (int i = 0; i < 4; ++i) {
        ClampLimits.upper[i] = 32767.0f;
        ClampLimits.lower[i] = -32767.0f;
    }

    alignas(16) BandFrame out;
    for (auto _ : state) {
        for (uint32_t i = 0; i < kBlockFrames; ++i) {
            kernel(&out, store + 2 * i, table, taps);
            benchmark::DoNotOptimize(out);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlockFrames);
    // Seconds per tap per output frame (all three bands, both channels).
    state.counters["per_tap"] = benchmark::Counter(static_cast<double>(taps) * kBlockFrames,
                                                   benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
    AlignedFree(table);
    AlignedFree(store);
}

void BM_KernelSse(benchmark::State& state)
{
    KernelBlock(state, ConvolveBands);
}

void BM_KernelReference(benchmark::State& state)
{
    KernelBlock(state, ConvolveBandsReference);
}

BENCHMARK(BM_KernelSse)->Arg(255)->Arg(1023)->Arg(4095);
BENCHMARK(BM_KernelReference)->Arg(255)->Arg(1023)->Arg(4095);

} // namespace
