#include "check/engine_cost.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#endif

#include "base/aligned_memory.h"
#include "base/console.h"

namespace {

double ThreadSeconds()
{
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user))
        return 0;
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) * 1e-7; // 100-ns units
#else
    timespec t;
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) != 0)
        return 0;
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
#endif
}

// The share of one core that playing through `convolution` takes: passes
// of 10 ms on a store of noise, for 0.3 s of this thread's CPU time.
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
    // This thread's CPU time, so that other programs running meanwhile do
    // not count; after one pass that sets the engine up.
    f.WriteStereo(buffer, noise.data());
    f.ReadData(buffer, out.data());
    const double start = ThreadSeconds();
    uint64_t passes = 0;
    while (ThreadSeconds() - start < 0.3 && passes < 100000) {
        f.WriteStereo(buffer, noise.data());
        f.ReadData(buffer, out.data());
        ++passes;
    }
    return 100.0 * (ThreadSeconds() - start) * rate / (static_cast<double>(passes) * buffer);
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
