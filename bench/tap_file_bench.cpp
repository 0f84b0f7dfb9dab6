// The tap reader on the text of one 262144-tap file as the filter designer
// writes it ("%.9e"), beside the same numbers each followed by a letter,
// which the plain numbers' own reading leaves to sscanf: the ratio of the
// two is what that reading saves. The file system is not timed.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <random>
#include <string>

#include "base/console.h"
#include "engine/filter/tap_file.h"

namespace {

constexpr uint32_t kTaps = 262144;

void BM_ReadTapText(benchmark::State& state, const char* format)
{
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::string text;
    for (uint32_t k = 0; k < kTaps; ++k) {
        char line[64];
        const int n = std::snprintf(line, sizeof(line), format, value(rng) * 1e-3);
        text.append(line, static_cast<size_t>(n));
    }
    for (auto _ : state) {
        TapList list;
        if (!ReadTapText(text.data(), text.size(), "FIR_LPF.txt", &list) || list.count != kTaps) {
            state.SkipWithError("the text was not read whole");
            return;
        }
        benchmark::DoNotOptimize(list.values);
    }
    state.SetItemsProcessed(state.iterations() * kTaps);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

BENCHMARK_CAPTURE(BM_ReadTapText, decimal, "%.9e\n")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadTapText, through_sscanf, "%.9ex\n")->Unit(benchmark::kMillisecond);

} // namespace
