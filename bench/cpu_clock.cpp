#include "bench/cpu_clock.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <string>

#include "engine/kernels/kernel_dispatch.h"

namespace {

double ThreadSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// 100 additions in a chain and 25 multiplies off it.
#define CHAIN(mul)                                                                                 \
    ".rept 25\n\taddq %1, %0\n\taddq %1, %0\n\t" mul "\n\taddq %1, %0\n\taddq %1, %0\n\t.endr"

template <int kBits> void Chain(uint64_t* x, uint64_t one)
{
    if constexpr (kBits == 512)
        __asm__ volatile(CHAIN("vmulps %%zmm1, %%zmm1, %%zmm2") : "+r"(*x) : "r"(one) : "xmm2");
    else if constexpr (kBits == 256)
        __asm__ volatile(CHAIN("vmulps %%ymm1, %%ymm1, %%ymm2") : "+r"(*x) : "r"(one) : "xmm2");
    else
        __asm__ volatile(CHAIN("mulps %%xmm1, %%xmm2") : "+r"(*x) : "r"(one) : "xmm2");
}

template <int kBits> double Measure()
{
    constexpr uint32_t kLoops = 200000; // about 5 ms at 4 GHz
    constexpr int kRuns = 7;
    double hz[kRuns];
    for (int run = 0; run < kRuns; ++run) {
        uint64_t x = 0;
        const double start = ThreadSeconds();
        for (uint32_t i = 0; i < kLoops; ++i)
            Chain<kBits>(&x, 1);
        hz[run] = 100.0 * kLoops / (ThreadSeconds() - start);
    }
    std::sort(hz, hz + kRuns);
    return hz[kRuns / 2];
}

} // namespace

double MeasureClockHz(uint32_t path)
{
    return path == kPathAvx512 ? Measure<512>()
           : path == kPathAvx2 ? Measure<256>()
                               : Measure<128>();
}

void ReportPerUnit(benchmark::State& state, const char* unit, double units, double clock_hz)
{
    const auto per_unit =
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert;
    state.counters[std::string("ns_per_") + unit] = benchmark::Counter(units * 1e-9, per_unit);
    state.counters[std::string("cycles_per_") + unit] =
        benchmark::Counter(units / clock_hz, per_unit);
    state.counters["GHz"] = clock_hz * 1e-9;
}
