// trivandel-design's two timed jobs: the three bands of a linear-phase
// Linkwitz-Riley crossover (300 Hz / 3 kHz at 48 kHz, a gain, a delay and an
// inverted band) designed at a length, and a REW text export of a length
// imported. Wall time on one thread, in this one run.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>

#include "design/band_design.h"
#include "design/importer.h"

namespace {

void BM_Design(benchmark::State& state)
{
    Design d;
    d.taps = static_cast<uint32_t>(state.range(0));
    d.crossovers[0] = {300, kLinkwitzRiley, 24};
    d.crossovers[1] = {3000, kLinkwitzRiley, 24};
    d.steps[0] = {{kGain, -1.5, {}, 0, 0, 0}};
    d.steps[1] = {{kDelay, 0.12, {}, 0, 0, 0}};
    d.steps[2] = {{kGain, -4, {}, 0, 0, 0}, {kPolarity, -1, {}, 0, 0, 0}};
    for (auto _ : state) {
        const uint32_t grid = DesignGrid(d, 0);
        for (uint32_t band = 0; band < 3; ++band)
            benchmark::DoNotOptimize(DesignBand(d, band, {}, grid).impulse.data());
    }
}
BENCHMARK(BM_Design)->Arg(4095)->Arg(65535)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ImportRewText(benchmark::State& state)
{
    std::string text = "* Impulse Response data saved by REW\n* Source: bench\n"
                       "0.99 // Peak value before normalisation\n0 // Peak index\n"
                       "262144 // Response length\n2.0833333333333333E-5 // Sample interval "
                       "(seconds)\n0.0 // Start time (seconds)\n0.0 // Data offset (dB)\n"
                       "* Data start\n";
    char line[32];
    for (int64_t n = 0; n < state.range(0); ++n) {
        std::snprintf(line, sizeof(line), "%.9E\n", 0.5 / (1 + n % 977) - 1e-4);
        text += line;
    }
    for (auto _ : state) {
        ImportedFilter f;
        benchmark::DoNotOptimize(ImportText(text, L"rew.txt", &f));
    }
}
BENCHMARK(BM_ImportRewText)->Arg(262144)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
