// The project's FFT per vector path against Eigen's FFT module (Debian's
// libeigen3-dev, its default kissfft back end), complex single precision,
// forward, per transform.
#include <benchmark/benchmark.h>
#include <complex>
#include <random>
#include <vector>

#include "engine/fft/fft.h"
#include "engine/kernels/kernel_dispatch.h"
#ifdef TRIVANDEL_BENCH_EIGEN
#include <unsupported/Eigen/FFT>
#endif

namespace {

// Per transform and per n log2 n.
void Report(benchmark::State& state, uint32_t size)
{
    state.counters["ns_per_nlogn"] = benchmark::Counter(
        static_cast<double>(size) * std::log2(static_cast<double>(size)) * 1e-9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Fft(benchmark::State& state, uint32_t path)
{
    if (!PathAvailable(path)) {
        state.SkipWithError("not available on this CPU");
        return;
    }
    const uint32_t size = static_cast<uint32_t>(state.range(0));
    CFft<float> fft;
    fft.Setup(size);
    std::vector<float> data(4 * size_t{size});
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (float& v : data)
        v = value(rng);
    for (auto _ : state) {
        fft.ForwardSplitOn(path, data.data(), data.data() + size, data.data() + 2 * size);
        benchmark::ClobberMemory();
    }
    Report(state, size);
}

#ifdef TRIVANDEL_BENCH_EIGEN
void BM_EigenFft(benchmark::State& state)
{
    const uint32_t size = static_cast<uint32_t>(state.range(0));
    Eigen::FFT<float> fft;
    std::vector<std::complex<float>> in(size), out(size);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (auto& v : in)
        v = {value(rng), value(rng)};
    for (auto _ : state) {
        fft.fwd(out.data(), in.data(), static_cast<int>(size));
        benchmark::ClobberMemory();
    }
    Report(state, size);
}
BENCHMARK(BM_EigenFft)->RangeMultiplier(4)->Range(64, 16384);
#endif

BENCHMARK_CAPTURE(BM_Fft, reference, kPathReference)->RangeMultiplier(4)->Range(64, 16384);
BENCHMARK_CAPTURE(BM_Fft, sse, kPathSse)->RangeMultiplier(4)->Range(64, 16384);
BENCHMARK_CAPTURE(BM_Fft, avx2, kPathAvx2)->RangeMultiplier(4)->Range(64, 16384);
BENCHMARK_CAPTURE(BM_Fft, avx512, kPathAvx512)->RangeMultiplier(4)->Range(64, 16384);

} // namespace
