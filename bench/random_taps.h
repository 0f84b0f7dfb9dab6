// A filter's tap table filled with reproducible random taps, for the
// benchmarks that time the whole read: the values do not change the work.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>

#include "base/aligned_memory.h"
#include "engine/filter/fir_filter.h"

inline void FillRandomTaps(CFIRFilter* filter, uint32_t taps)
{
    const size_t bytes = (size_t{taps} + 1) * 4 * sizeof(float);
    filter->taps = static_cast<float*>(AlignedAlloc(bytes));
    std::memset(filter->taps, 0, bytes);
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (uint32_t k = 0; k < taps; ++k)
        for (int b = 0; b < 3; ++b)
            filter->taps[4 * k + b] = value(rng) / taps;
    filter->tap_count = taps;
}
