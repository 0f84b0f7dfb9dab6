// ReadData as the capture thread calls it: a 100 ms buffer at 48 kHz (4800
// frames), 16-bit, six channels, 1023 taps, divider on.
#include <benchmark/benchmark.h>
#include <cstring>
#include <random>
#include <vector>

#include "aligned_memory.h"
#include "fir_filter.h"

namespace {

constexpr uint32_t kFrames = 4800;
constexpr uint32_t kTaps = 1023;

WaveFormat Format(uint16_t channels, uint16_t bits, const WaveFormatGuid& sub_format)
{
    WaveFormat f{};
    f.format_tag = kWaveFormatExtensible;
    f.channels = channels;
    f.samples_per_sec = 48000;
    f.block_align = static_cast<uint16_t>(channels * bits / 8);
    f.avg_bytes_per_sec = 48000u * f.block_align;
    f.bits_per_sample = bits;
    f.extra_size = 22;
    f.valid_bits_per_sample = bits;
    f.sub_format = sub_format;
    return f;
}

void BM_ReadData(benchmark::State& state)
{
    const bool through = state.range(0) != 0;
    CFIRFilter filter;
    const size_t bytes = (size_t{kTaps} + 1) * 4 * sizeof(float);
    filter.taps = static_cast<float*>(AlignedAlloc(bytes));
    std::memset(filter.taps, 0, bytes);
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (uint32_t k = 0; k < kTaps; ++k)
        for (int b = 0; b < 3; ++b)
            filter.taps[4 * k + b] = value(rng) / kTaps;
    filter.tap_count = kTaps;
    WaveFormat capture = Format(2, 32, kSubtypeFloat);
    if (!filter.SetFormat(&capture)) {
        state.SkipWithError("SetFormat failed");
        return;
    }
    filter.output_format = Format(6, 16, kSubtypePcm);
    filter.sample_kind = kSampleKindPcm16;
    filter.divider_through = through ? 1 : 0;
    std::vector<float> packet(2 * (kFrames + kTaps));
    for (float& v : packet)
        v = 0.5f * value(rng);
    filter.WriteData(kFrames + kTaps, reinterpret_cast<const uint8_t*>(packet.data()));

    std::vector<uint8_t> out(size_t{kFrames} * filter.output_format.block_align);
    for (auto _ : state) {
        // The same 4800 frames each time, with a whole window behind them.
        filter.read_pos = 0;
        filter.write_pos = kFrames + kTaps;
        benchmark::DoNotOptimize(filter.ReadData(kFrames, out.data()));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    // Seconds of 48 kHz audio filtered per second: the real-time factor.
    state.counters["audio_seconds"] = benchmark::Counter(
        static_cast<double>(kFrames) / 48000.0, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_ReadData)->ArgName("bypass")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
