// The four convolution paths side by side, on blocks of 64 output frames
// that walk a window through the store like ReadData does: 480 frames per
// iteration from an odd store index, so blocks start at either parity.
#include <benchmark/benchmark.h>
#include <cstring>
#include <random>

#include "base/aligned_memory.h"
#include "bench/cpu_clock.h"
#include "engine/kernels/kernel_dispatch.h"

namespace {

constexpr uint32_t kFrames = 480;
constexpr uint32_t kBlock = 64;

void BM_Kernel(benchmark::State& state, uint32_t path)
{
    if (!PathAvailable(path)) {
        state.SkipWithError("not available on this CPU");
        return;
    }
    const uint32_t taps = static_cast<uint32_t>(state.range(0));
    const size_t store_floats = 2 * (size_t{kFrames} + 1 + taps);
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
    const double clock_hz = MeasureClockHz(path);

    alignas(64) BandFrame out[kBlock];
    const ConvolveBlockFunction convolve = kKernelPaths[path].convolve;
    for (auto _ : state) {
        for (uint32_t i = 0; i < kFrames; i += kBlock) {
            const uint32_t count = kFrames - i < kBlock ? kFrames - i : kBlock;
            convolve(out, store + 2 * (size_t{i} + 1), count, table, taps);
            benchmark::DoNotOptimize(out);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    // Per tap per output frame (all three bands, both channels): the time,
    // and the cycles at the clock measured just before on the path's vector
    // width.
    ReportPerUnit(state, "tap", static_cast<double>(taps) * kFrames, clock_hz);
    AlignedFree(table);
    AlignedFree(store);
}

void TapCounts(benchmark::internal::Benchmark* b)
{
    for (int taps : {255, 1023, 4095, 16383, 65535})
        b->Arg(taps);
}

BENCHMARK_CAPTURE(BM_Kernel, reference, kPathReference)->Apply(TapCounts);
BENCHMARK_CAPTURE(BM_Kernel, sse, kPathSse)->Apply(TapCounts);
BENCHMARK_CAPTURE(BM_Kernel, avx2, kPathAvx2)->Apply(TapCounts);
BENCHMARK_CAPTURE(BM_Kernel, avx512, kPathAvx512)->Apply(TapCounts);

} // namespace
