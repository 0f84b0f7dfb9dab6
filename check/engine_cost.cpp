#include "check/engine_cost.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "base/aligned_memory.h"
#include "base/console.h"

namespace {

// The share of one core that playing through `convolution` takes: the
// median of passes of 10 ms on a store of noise, run for about a fifth of a
// second after one pass that sets the engine up.
double CoreShare(const CFIRFilter& taps_from, double rate, float attenuation, uint8_t convolution)
{
    const uint32_t taps = taps_from.tap_count;
    const uint32_t buffer = std::max<uint32_t>(static_cast<uint32_t>(rate / 100), 1);
    CFIRFilter f;
    const size_t table = 4 * (size_t{taps} + 1) * sizeof(float);
    f.taps = static_cast<float*>(AlignedAlloc(table));
    if (f.taps == nullptr)
        return -1;
    std::memcpy(f.taps, taps_from.taps, table);
    f.tap_count = taps;
    f.attenuation = attenuation;
    f.convolution = convolution;
    const uint32_t rate_hz = static_cast<uint32_t>(rate);
    const WaveFormat output = ExtensibleFormat(6, rate_hz, 24, kSubtypePcm);
    const WaveFormat capture = ExtensibleFormat(2, rate_hz, 32);
    f.buffer_msec = StoreMilliseconds(StoreFrames(buffer, taps), rate_hz);
    if (!f.SetOutputFormat(&output) || !f.SetFormat(&capture))
        return -1;
    std::vector<float> noise(2 * size_t{buffer});
    uint32_t seed = 1;
    for (float& v : noise) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<float>(static_cast<int32_t>(seed)) * 1e-10f;
    }
    for (uint32_t held = 0; held < taps; held += buffer)
        f.WriteStereo(buffer, noise.data());
    std::vector<uint8_t> out(size_t{buffer} * f.output_format.block_align);
    // The median pass: other programs running meanwhile lengthen a few.
    using Clock = std::chrono::steady_clock;
    std::vector<double> times;
    for (double total = 0; total < 0.2;) {
        f.WriteStereo(buffer, noise.data());
        const Clock::time_point start = Clock::now();
        f.ReadData(buffer, out.data());
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (total > 0 || !times.empty())
            total += seconds;
        times.push_back(seconds); // the first pass sets the engine up
    }
    std::nth_element(times.begin() + 1, times.begin() + times.size() / 2, times.end());
    return 100.0 * times[times.size() / 2] * rate / buffer;
}

} // namespace

void PrintEngineCosts(const CFIRFilter* filter, double rate, float attenuation)
{
    if (filter->tap_count < kEngineCostTaps)
        return;
    const double direct = CoreShare(*filter, rate, attenuation, kConvolutionDirect);
    const double fft = CoreShare(*filter, rate, attenuation, kConvolutionFft);
    if (direct < 0 || fft < 0)
        return;
    ConsolePrint(L"Convolution on this PC at %.0f Hz: direct %.2f %% of a core, fft %.2f %%.\n",
                 rate, direct, fft);
    if (fft < direct)
        ConsolePrint(L"  Set TRIVANDEL_CONVOLUTION=fft for trivandel.exe: it plays these taps "
                     L"for less.\n");
}
