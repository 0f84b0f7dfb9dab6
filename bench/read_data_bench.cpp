// ReadData as the capture thread calls it: a 100 ms buffer at 48 kHz (4800
// frames), 16-bit, six channels, on the path chosen at start-up.
#include <benchmark/benchmark.h>
#include <random>
#include <vector>

#include "bench/random_taps.h"
#include "engine/filter/fir_filter.h"
#include "engine/kernels/kernel_dispatch.h"

namespace {

constexpr uint32_t kFrames = 4800;

void BM_ReadData(benchmark::State& state)
{
    const uint32_t taps = static_cast<uint32_t>(state.range(0));
    const bool through = state.range(1) != 0;
    CFIRFilter filter;
    FillRandomTaps(&filter, taps);
    WaveFormat capture = ExtensibleFormat(2, 48000, 32);
    if (!filter.SetFormat(&capture)) {
        state.SkipWithError("SetFormat failed");
        return;
    }
    const WaveFormat format = ExtensibleFormat(6, 48000, 16, kSubtypePcm);
    filter.SetOutputFormat(&format);
    filter.divider_through = through ? 1 : 0;
    std::vector<float> packet(2 * (kFrames + taps));
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (float& v : packet)
        v = 0.5f * value(rng);
    filter.WriteData(kFrames + taps, reinterpret_cast<const uint8_t*>(packet.data()));

    std::vector<uint8_t> out(size_t{kFrames} * filter.output_format.block_align);
    for (auto _ : state) {
        // The same 4800 frames each time, with a whole window behind them.
        filter.read_pos = 0;
        filter.write_pos = kFrames + taps;
        benchmark::DoNotOptimize(filter.ReadData(kFrames, out.data()));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.SetLabel(kKernelPaths[ActivePath()].name);
    // Seconds of 48 kHz audio filtered per second (the real-time factor),
    // and the share of one core that real time takes, in percent.
    const double audio_seconds = static_cast<double>(kFrames) / 48000.0;
    state.counters["realtime_x"] =
        benchmark::Counter(audio_seconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["core_pct"] =
        benchmark::Counter(audio_seconds / 100.0, benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}

BENCHMARK(BM_ReadData)
    ->ArgNames({"taps", "bypass"})
    ->Args({1023, 0})
    ->Args({4095, 0})
    ->Args({16383, 0})
    ->Args({1023, 1})
    ->Unit(benchmark::kMicrosecond);

} // namespace
