// Both convolution engines through ReadData as the live loop drives it: a
// buffer of noise captured, a buffer played, per iteration, on a store that
// compacts as it does live; 48 kHz, 24-bit, six channels. Per vector path,
// as a share of one core at 48 kHz. Buffers of 4752 frames (the default
// buffer: 99 ms) and 480 (-buffer_duration 10); and the longest pass.
#include <algorithm>
#include <benchmark/benchmark.h>
#include <ctime>
#include <random>
#include <vector>

#include "bench/random_taps.h"
#include "engine/filter/fir_filter.h"
#include "engine/kernels/kernel_dispatch.h"

namespace {

// This thread's CPU time: the machine may be shared.
double ThreadSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

void BM_Convolution(benchmark::State& state, uint8_t convolution, uint32_t path)
{
    if (!PathAvailable(path)) {
        state.SkipWithError("not available on this CPU");
        return;
    }
    const uint32_t taps = static_cast<uint32_t>(state.range(0));
    const uint32_t buffer = static_cast<uint32_t>(state.range(1));
    UsePath(path);
    CFIRFilter filter;
    FillRandomTaps(&filter, taps);
    filter.convolution = convolution;
    filter.buffer_msec = StoreMilliseconds(StoreFrames(buffer, taps), 48000);
    const WaveFormat capture = ExtensibleFormat(2, 48000, 32);
    const WaveFormat format = ExtensibleFormat(6, 48000, 24, kSubtypePcm);
    if (!filter.SetFormat(&capture) || !filter.SetOutputFormat(&format)) {
        state.SkipWithError("set-up failed");
        return;
    }
    filter.PrepareFft(buffer); // as the playout's start does
    std::vector<float> packet(2 * size_t{buffer});
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (float& v : packet)
        v = 0.5f * value(rng);
    // The store fills a buffer at a time, and the engine works on the first
    // windows meanwhile, as in the playout's silent passes; then the first
    // pass, and the steady state.
    double longest_warm = 0;
    for (uint32_t held = 0; held < taps + buffer; held += buffer) {
        filter.WriteStereo(buffer, packet.data());
        const double start = ThreadSeconds();
        filter.WarmFft(buffer);
        longest_warm = std::max(longest_warm, ThreadSeconds() - start);
    }
    std::vector<uint8_t> out(size_t{buffer} * filter.output_format.block_align);
    const double first_start = ThreadSeconds();
    filter.ReadData(buffer, out.data());
    const double first = ThreadSeconds() - first_start;
    // The longest pass, against the buffer's time: work is spread over
    // passes so that no pass takes more than half of it.
    double longest = 0;
    for (auto _ : state) {
        filter.WriteStereo(buffer, packet.data());
        const double start = ThreadSeconds();
        benchmark::DoNotOptimize(filter.ReadData(buffer, out.data()));
        benchmark::ClobberMemory();
        longest = std::max(longest, ThreadSeconds() - start);
    }
    UsePath(kPathCount - 1);
    state.SetLabel(kKernelPaths[path].name);
    const double audio_seconds = buffer / 48000.0;
    state.counters["longest_pass_pct"] = 100.0 * longest / audio_seconds;
    state.counters["first_pass_pct"] = 100.0 * first / audio_seconds;
    state.counters["longest_warm_pct"] = 100.0 * longest_warm / audio_seconds;
    state.counters["core_pct"] =
        benchmark::Counter(audio_seconds / 100.0, benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}

void Lengths(benchmark::internal::Benchmark* b, bool both_buffers)
{
    for (int taps : {63, 127, 255, 511, 1023, 4095, 16383, 65535, 262143}) {
        b->Args({taps, 4752});
        if (both_buffers)
            b->Args({taps, 480});
    }
    b->ArgNames({"taps", "buffer"})->Unit(benchmark::kMicrosecond)->MinTime(0.3);
}

void DirectLengths(benchmark::internal::Benchmark* b)
{
    Lengths(b, false); // the same work per frame at any buffer
}

void FftLengths(benchmark::internal::Benchmark* b)
{
    Lengths(b, true);
}

BENCHMARK_CAPTURE(BM_Convolution, direct_reference, kConvolutionDirect, kPathReference)
    ->Apply(DirectLengths);
BENCHMARK_CAPTURE(BM_Convolution, direct_sse, kConvolutionDirect, kPathSse)->Apply(DirectLengths);
BENCHMARK_CAPTURE(BM_Convolution, direct_avx2, kConvolutionDirect, kPathAvx2)->Apply(DirectLengths);
BENCHMARK_CAPTURE(BM_Convolution, direct_avx512, kConvolutionDirect, kPathAvx512)
    ->Apply(DirectLengths);
BENCHMARK_CAPTURE(BM_Convolution, fft_reference, kConvolutionFft, kPathReference)
    ->Apply(FftLengths);
BENCHMARK_CAPTURE(BM_Convolution, fft_sse, kConvolutionFft, kPathSse)->Apply(FftLengths);
BENCHMARK_CAPTURE(BM_Convolution, fft_avx2, kConvolutionFft, kPathAvx2)->Apply(FftLengths);
BENCHMARK_CAPTURE(BM_Convolution, fft_avx512, kConvolutionFft, kPathAvx512)->Apply(FftLengths);

} // namespace
