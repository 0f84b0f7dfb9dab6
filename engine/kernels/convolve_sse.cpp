// The SSE kernel. Everything runs in 128-bit single-precision vectors
// (SSE and SSE2 only, no FMA), in the order of additions that convolve.h
// fixes, so that it agrees bit for bit with ConvolveBandsReference.
#include "engine/kernels/convolve.h"

#include <cstdint>
#include <emmintrin.h>
#include <xmmintrin.h>

namespace {

// (l, r, l, r) of one frame.
inline __m128 LoadFrameTwice(const float* frame)
{
    __m128 lr = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(frame));
    return _mm_movelh_ps(lr, lr);
}

} // namespace

// Accumulator layout, one vector per band: (E left, E right, O left,
// O right). Entries j and j+1 are combined by one shuffle per band into
// (b[j], b[j], b[j+1], b[j+1]) and multiplied by the frame pair
// (l[j], r[j], l[j+1], r[j+1]) loaded aligned from the window.
void ConvolveBands(BandFrame* out, const float* frames, const float* taps, uint32_t tap_count)
{
    const __m128 zero = _mm_setzero_ps();
    __m128 acc_l = zero;
    __m128 acc_b = zero;
    __m128 acc_h = zero;

    uint32_t j = 0;
    if ((reinterpret_cast<uintptr_t>(frames) & 15u) != 0 && tap_count > 0) {
        // Tap 0 alone, so that every frame-pair load below is aligned.
        // Lanes 2 and 3 multiply the entry's zero fourth float by the zero
        // upper half of the frame: O stays exactly 0.
        __m128 t = _mm_load_ps(taps);
        __m128 x = _mm_loadl_pi(zero, reinterpret_cast<const __m64*>(frames));
        acc_l = _mm_mul_ps(_mm_shuffle_ps(t, t, _MM_SHUFFLE(3, 3, 0, 0)), x);
        acc_b = _mm_mul_ps(_mm_shuffle_ps(t, t, _MM_SHUFFLE(3, 3, 1, 1)), x);
        acc_h = _mm_mul_ps(_mm_shuffle_ps(t, t, _MM_SHUFFLE(3, 3, 2, 2)), x);
        j = 1;
    }

    const uint32_t main_end = j + (tap_count - j) / 8 * 8;
    for (; j < main_end; j += 8) {
        const float* x = frames + 2 * j;
        const float* t = taps + 4 * j;
        for (uint32_t pair = 0; pair < 4; ++pair) {
            __m128 xp = _mm_load_ps(x + 4 * pair);
            __m128 ta = _mm_load_ps(t + 8 * pair);
            __m128 tb = _mm_load_ps(t + 8 * pair + 4);
            acc_l =
                _mm_add_ps(acc_l, _mm_mul_ps(_mm_shuffle_ps(ta, tb, _MM_SHUFFLE(0, 0, 0, 0)), xp));
            acc_b =
                _mm_add_ps(acc_b, _mm_mul_ps(_mm_shuffle_ps(ta, tb, _MM_SHUFFLE(1, 1, 1, 1)), xp));
            acc_h =
                _mm_add_ps(acc_h, _mm_mul_ps(_mm_shuffle_ps(ta, tb, _MM_SHUFFLE(2, 2, 2, 2)), xp));
        }
    }

    // S = E + O, packed as (LPF l, LPF r, BPF l, BPF r) and (HPF l, HPF r,
    // HPF l, HPF r): the high-pass pair is kept twice so that its unused
    // lanes hold nothing but copies of the six sums.
    __m128 sum_l = _mm_add_ps(acc_l, _mm_movehl_ps(acc_l, acc_l));
    __m128 sum_b = _mm_add_ps(acc_b, _mm_movehl_ps(acc_b, acc_b));
    __m128 sum_h = _mm_add_ps(acc_h, _mm_movehl_ps(acc_h, acc_h));
    __m128 s_lb = _mm_movelh_ps(sum_l, sum_b);
    __m128 s_h = _mm_movelh_ps(sum_h, sum_h);

    for (; j < tap_count; ++j) {
        __m128 x = LoadFrameTwice(frames + 2 * j);
        __m128 t = _mm_load_ps(taps + 4 * j);
        s_lb = _mm_add_ps(s_lb, _mm_mul_ps(_mm_shuffle_ps(t, t, _MM_SHUFFLE(1, 1, 0, 0)), x));
        s_h = _mm_add_ps(s_h, _mm_mul_ps(_mm_shuffle_ps(t, t, _MM_SHUFFLE(2, 2, 2, 2)), x));
    }

    // Peak of the magnitudes before clamping, reduced in a fixed order.
    const __m128 abs_mask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    __m128 m = _mm_max_ps(_mm_and_ps(s_lb, abs_mask), _mm_and_ps(s_h, abs_mask));
    m = _mm_max_ps(m, _mm_movehl_ps(m, m));
    m = _mm_max_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(1, 1, 1, 1)));

    // A sum that is not a number (a NaN sample, tap or gain) becomes 0, not
    // a full-scale value: the ordered mask clears it after the clamp.
    const __m128 upper = _mm_load_ps(ClampLimits.upper);
    const __m128 lower = _mm_load_ps(ClampLimits.lower);
    s_lb = _mm_and_ps(_mm_max_ps(_mm_min_ps(s_lb, upper), lower), _mm_cmpord_ps(s_lb, s_lb));
    s_h = _mm_and_ps(_mm_max_ps(_mm_min_ps(s_h, upper), lower), _mm_cmpord_ps(s_h, s_h));

    _mm_store_ps(out->v, s_lb);
    _mm_store_ps(out->v + 4, _mm_shuffle_ps(s_h, m, _MM_SHUFFLE(0, 0, 1, 0)));
}

void ConvolveBlockSse(BandFrame* out, const float* frames, uint32_t frame_count, const float* taps,
                      uint32_t tap_count)
{
    for (uint32_t i = 0; i < frame_count; ++i)
        ConvolveBands(out + i, frames + 2 * static_cast<size_t>(i), taps, tap_count);
}
