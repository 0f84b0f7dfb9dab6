// The AVX-512 kernel: sixteen output frames per vector (see
// convolve_wide.h). AVX-512F only, built with -mavx512f -mno-fma and run only
// where PathAvailable says so.
#include "engine/kernels/convolve_wide.h"
#include "engine/kernels/lanes_avx512.h"

namespace {

struct Avx512Lanes : Avx512Basics {
    static Vec Broadcast(const float* p) { return _mm512_set1_ps(*p); }
    // vminps/vmaxps: the second operand unless the first is strictly
    // smaller/larger, as in the SSE kernel.
    static Vec Min(Vec a, Vec b) { return _mm512_min_ps(a, b); }
    static Vec Max(Vec a, Vec b) { return _mm512_max_ps(a, b); }
    static Vec Abs(Vec v) { return _mm512_abs_ps(v); }
    // v where s is a number, 0 where it is not.
    static Vec KeepNumbers(Vec v, Vec s)
    {
        return _mm512_maskz_mov_ps(_mm512_cmp_ps_mask(s, s, _CMP_ORD_Q), v);
    }

    // Thirty-two frames (l, r) at x to sixteen samples each of even and odd
    // frames.
    static void Deinterleave(const float* x, float* le, float* lo, float* re, float* ro)
    {
        // From sixteen frames: (eight even | eight odd) samples of one channel.
        const __m512i left =
            _mm512_setr_epi32(0, 4, 8, 12, 16, 20, 24, 28, 2, 6, 10, 14, 18, 22, 26, 30);
        const __m512i right = _mm512_add_epi32(left, _mm512_set1_epi32(1));
        const Vec x0 = _mm512_loadu_ps(x), x1 = _mm512_loadu_ps(x + 16);
        const Vec x2 = _mm512_loadu_ps(x + 32), x3 = _mm512_loadu_ps(x + 48);
        const Vec l01 = _mm512_permutex2var_ps(x0, left, x1);
        const Vec l23 = _mm512_permutex2var_ps(x2, left, x3);
        const Vec r01 = _mm512_permutex2var_ps(x0, right, x1);
        const Vec r23 = _mm512_permutex2var_ps(x2, right, x3);
        _mm512_storeu_ps(le, _mm512_shuffle_f32x4(l01, l23, _MM_SHUFFLE(1, 0, 1, 0)));
        _mm512_storeu_ps(lo, _mm512_shuffle_f32x4(l01, l23, _MM_SHUFFLE(3, 2, 3, 2)));
        _mm512_storeu_ps(re, _mm512_shuffle_f32x4(r01, r23, _MM_SHUFFLE(1, 0, 1, 0)));
        _mm512_storeu_ps(ro, _mm512_shuffle_f32x4(r01, r23, _MM_SHUFFLE(3, 2, 3, 2)));
    }

    // Slot k of lane m to out[2 * m].v[k]: within each 128-bit quarter q a
    // 4 x 4 transposition puts slots 0..3 (and 4..7) of lane 4q + r in one
    // quarter of u[r] (and u[4 + r]); a two-source permutation pairs them.
    static void StoreBandFrames(BandFrame* out, const Vec v[8])
    {
        __m512d u[8];
        for (int half = 0; half < 2; ++half) {
            const Vec* s = v + 4 * half;
            const __m512d t0 = _mm512_castps_pd(_mm512_unpacklo_ps(s[0], s[1]));
            const __m512d t1 = _mm512_castps_pd(_mm512_unpackhi_ps(s[0], s[1]));
            const __m512d t2 = _mm512_castps_pd(_mm512_unpacklo_ps(s[2], s[3]));
            const __m512d t3 = _mm512_castps_pd(_mm512_unpackhi_ps(s[2], s[3]));
            u[4 * half + 0] = _mm512_unpacklo_pd(t0, t2);
            u[4 * half + 1] = _mm512_unpackhi_pd(t0, t2);
            u[4 * half + 2] = _mm512_unpacklo_pd(t1, t3);
            u[4 * half + 3] = _mm512_unpackhi_pd(t1, t3);
        }
        // (slots 0..3, slots 4..7) of lanes 4q + r and 4(q + 1) + r.
        const __m512i low =
            _mm512_setr_epi32(0, 1, 2, 3, 16, 17, 18, 19, 4, 5, 6, 7, 20, 21, 22, 23);
        const __m512i high = _mm512_add_epi32(low, _mm512_set1_epi32(8));
        for (int r = 0; r < 4; ++r) {
            const Vec a = _mm512_castpd_ps(u[r]);
            const Vec b = _mm512_castpd_ps(u[4 + r]);
            for (int q = 0; q < 2; ++q) {
                const Vec pair = _mm512_permutex2var_ps(a, q ? high : low, b);
                const Vec upper = _mm512_shuffle_f32x4(pair, pair, _MM_SHUFFLE(3, 2, 3, 2));
                _mm256_storeu_ps(out[2 * (8 * q + r)].v, _mm512_castps512_ps256(pair));
                _mm256_storeu_ps(out[2 * (8 * q + 4 + r)].v, _mm512_castps512_ps256(upper));
            }
        }
    }
};

} // namespace

void ConvolveBlockAvx512(BandFrame* out, const float* frames, uint32_t frame_count,
                         const float* taps, uint32_t tap_count)
{
    ConvolveBlockWide<Avx512Lanes>(out, frames, frame_count, taps, tap_count);
}
