// One resampler path for any vector width (see resampler.h for the order of
// additions every path keeps). Each path's file instantiates it with its
// lane operations and its reduction of the 16 lanes to s4, from which
// FinishSum goes on, so the width never changes the bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <xmmintrin.h>

#include "engine/kernels/resample.h"

// s4 (lanes 0..3) to y: s2[l] = s4[l] + s4[l + 2]; y = s2[0] + s2[1].
inline float FinishSum(__m128 s4)
{
    const __m128 s2 = _mm_add_ps(s4, _mm_movehl_ps(s4, s4));
    return _mm_cvtss_f32(_mm_add_ss(s2, _mm_shuffle_ps(s2, s2, 1)));
}

template <class L>
void ResampleWide(float* out, const float* left, const float* right, uint64_t pos, uint64_t step,
                  uint32_t count, const float* table)
{
    using Vec = typename L::Vec;
    constexpr uint32_t kVectors = 16 / L::kLanes; // vectors of one 16-lane accumulator
    constexpr float kFractionUnit = 1.0f / 4194304.0f;
    for (uint32_t k = 0; k < count; ++k, pos += step) {
        const uint32_t fraction = static_cast<uint32_t>(pos);
        const float* row = table + size_t{fraction >> 22} * 2 * kResamplerTaps;
        const Vec a = L::Broadcast(static_cast<float>(fraction & 0x3FFFFFu) * kFractionUnit);
        const float* xl = left + (pos >> 32);
        const float* xr = right + (pos >> 32);
        Vec acc_l[kVectors], acc_r[kVectors];
        for (uint32_t v = 0; v < kVectors; ++v)
            acc_l[v] = acc_r[v] = L::Zero();
        for (uint32_t g = 0; g < kResamplerTaps; g += 16) {
            for (uint32_t v = 0; v < kVectors; ++v) {
                const uint32_t j = g + v * L::kLanes;
                const Vec c =
                    L::Add(L::Load(row + j), L::Mul(a, L::Load(row + kResamplerTaps + j)));
                acc_l[v] = L::Add(acc_l[v], L::Mul(c, L::Load(xl + j)));
                acc_r[v] = L::Add(acc_r[v], L::Mul(c, L::Load(xr + j)));
            }
        }
        out[2 * k] = FinishSum(L::SumTo4(acc_l));
        out[2 * k + 1] = FinishSum(L::SumTo4(acc_r));
    }
}
