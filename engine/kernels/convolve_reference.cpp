// The scalar reference of the kernel: one value at a time, in the order of
// additions of convolve.h. Tests hold every other path to it bit for bit,
// and TRIVANDEL_KERNEL=reference runs the program on it.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/kernels/convolve.h"

namespace {

// The lane operations of the SSE kernel, written out: minps and maxps
// return the second operand unless the first is strictly smaller/larger
// (so also when either is not a number).
float MinPs(float a, float b)
{
    return a < b ? a : b;
}

float MaxPs(float a, float b)
{
    return a > b ? a : b;
}

// Clears the sign bit, whatever the value (NaN included).
float Magnitude(float a)
{
    uint32_t bits;
    std::memcpy(&bits, &a, sizeof(bits));
    bits &= 0x7FFFFFFFu;
    std::memcpy(&a, &bits, sizeof(a));
    return a;
}

float BandSum(const float* frames, const float* taps, uint32_t tap_count, uint32_t band,
              uint32_t channel, bool one_tap_start)
{
    float even = 0.0f;
    float odd = 0.0f;
    uint32_t s = 0;
    if (one_tap_start) {
        even = taps[band] * frames[channel];
        s = 1;
    }
    const uint32_t groups = (tap_count - s) / 8;
    for (uint32_t g = 0; g < groups; ++g) {
        for (uint32_t t = 0; t < 4; ++t) {
            const uint32_t j = s + 8 * g + 2 * t;
            even += taps[4 * j + band] * frames[2 * j + channel];
            odd += taps[4 * (j + 1) + band] * frames[2 * (j + 1) + channel];
        }
    }
    float sum = even + odd;
    for (uint32_t j = s + 8 * groups; j < tap_count; ++j)
        sum += taps[4 * j + band] * frames[2 * j + channel];
    return sum;
}

} // namespace

void ConvolveBandsReference(BandFrame* out, const float* frames, const float* taps,
                            uint32_t tap_count)
{
    const bool one_tap_start = (reinterpret_cast<uintptr_t>(frames) & 15u) != 0 && tap_count > 0;
    float sums[6];
    for (uint32_t band = 0; band < 3; ++band)
        for (uint32_t channel = 0; channel < 2; ++channel)
            sums[2 * band + channel] =
                BandSum(frames, taps, tap_count, band, channel, one_tap_start);

    FinishBandFrame(out, sums);
}

void FinishBandFrame(BandFrame* out, const float sums[6])
{
    // The peak is reduced in the kernel's order, so that even sums that are
    // not numbers give the same slots 6 and 7:
    // lanes (LPF l, LPF r, BPF l, BPF r) against (HPF l, HPF r, HPF l, HPF r),
    // then the upper half against the lower, then lane 1 against lane 0.
    float m[4];
    for (uint32_t lane = 0; lane < 4; ++lane)
        m[lane] = MaxPs(Magnitude(sums[lane]), Magnitude(sums[4 + (lane & 1)]));
    m[0] = MaxPs(m[0], m[2]);
    m[1] = MaxPs(m[1], m[3]);
    const float peak = MaxPs(m[0], m[1]);

    for (uint32_t slot = 0; slot < 6; ++slot) {
        const float s = sums[slot];
        out->v[slot] = std::isnan(s) ? 0.0f
                                     : MaxPs(MinPs(s, ClampLimits.upper[slot & 3]),
                                             ClampLimits.lower[slot & 3]);
    }
    out->v[6] = peak;
    out->v[7] = peak;
}

void ConvolveBlockReference(BandFrame* out, const float* frames, uint32_t frame_count,
                            const float* taps, uint32_t tap_count)
{
    for (uint32_t i = 0; i < frame_count; ++i)
        ConvolveBandsReference(out + i, frames + 2 * static_cast<size_t>(i), taps, tap_count);
}
