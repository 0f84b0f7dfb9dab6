// The resampler's four paths side by side, at 1 + 200 ppm so that the phase
// sweeps the table, on 4800 output frames per iteration: compare ns_per_frame
// with the kernel's ns_per_tap times its tap count (BM_Kernel) on the same
// path for the resampler's share of a pass.
#include <benchmark/benchmark.h>
#include <random>
#include <vector>

#include "base/aligned_memory.h"
#include "bench/cpu_clock.h"
#include "engine/clock/resampler.h"
#include "engine/kernels/kernel_dispatch.h"

namespace {

constexpr uint32_t kFrames = 4800;
constexpr uint64_t kStep = kOneFrame + kOneFrame / 5000; // +200 ppm

void BM_Resampler(benchmark::State& state, uint32_t path)
{
    if (!PathAvailable(path)) {
        state.SkipWithError("not available on this CPU");
        return;
    }
    float* table = MakeResamplerTable();
    std::vector<float> left(kFrames + 2 * kResamplerTaps), right(left.size()), out(2 * kFrames);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = value(rng);
        right[i] = value(rng);
    }
    const double clock_hz = MeasureClockHz(path);
    const ResampleFunction resample = kKernelPaths[path].resample;
    for (auto _ : state) {
        resample(out.data(), left.data(), right.data(), 0, kStep, kFrames, table);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    ReportPerUnit(state, "frame", kFrames, clock_hz);
    AlignedFree(table);
}

BENCHMARK_CAPTURE(BM_Resampler, reference, kPathReference);
BENCHMARK_CAPTURE(BM_Resampler, sse, kPathSse);
BENCHMARK_CAPTURE(BM_Resampler, avx2, kPathAvx2);
BENCHMARK_CAPTURE(BM_Resampler, avx512, kPathAvx512);

} // namespace
