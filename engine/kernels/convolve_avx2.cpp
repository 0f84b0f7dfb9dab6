// The AVX2 kernel: eight output frames per vector (see convolve_wide.h).
// Built with -mavx2 -mno-fma and run only where PathAvailable says so.
#include "engine/kernels/convolve_wide.h"
#include "engine/kernels/lanes_avx2.h"

namespace {

struct Avx2Lanes : Avx2Basics {
    static Vec Broadcast(const float* p) { return _mm256_broadcast_ss(p); }
    // vminps/vmaxps: the second operand unless the first is strictly
    // smaller/larger, as in the SSE kernel.
    static Vec Min(Vec a, Vec b) { return _mm256_min_ps(a, b); }
    static Vec Max(Vec a, Vec b) { return _mm256_max_ps(a, b); }
    static Vec Abs(Vec v)
    {
        return _mm256_and_ps(v, _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF)));
    }
    // v where s is a number, 0 where it is not.
    static Vec KeepNumbers(Vec v, Vec s)
    {
        return _mm256_and_ps(v, _mm256_cmp_ps(s, s, _CMP_ORD_Q));
    }

    // Sixteen frames (l, r) at x to eight samples each of even and odd frames.
    static void Deinterleave(const float* x, float* le, float* lo, float* re, float* ro)
    {
        // Per four frames: (l0 l2 r0 r2 l1 l3 r1 r3).
        const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
        __m256d y[4];
        for (int i = 0; i < 4; ++i)
            y[i] = _mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_loadu_ps(x + 8 * i), order));
        // (l0 l2 l4 l6 | l1 l3 l5 l7) and the same for r, twice.
        const __m256 l01 = _mm256_castpd_ps(_mm256_unpacklo_pd(y[0], y[1]));
        const __m256 r01 = _mm256_castpd_ps(_mm256_unpackhi_pd(y[0], y[1]));
        const __m256 l23 = _mm256_castpd_ps(_mm256_unpacklo_pd(y[2], y[3]));
        const __m256 r23 = _mm256_castpd_ps(_mm256_unpackhi_pd(y[2], y[3]));
        _mm256_storeu_ps(le, _mm256_permute2f128_ps(l01, l23, 0x20));
        _mm256_storeu_ps(lo, _mm256_permute2f128_ps(l01, l23, 0x31));
        _mm256_storeu_ps(re, _mm256_permute2f128_ps(r01, r23, 0x20));
        _mm256_storeu_ps(ro, _mm256_permute2f128_ps(r01, r23, 0x31));
    }

    // Slot k of lane m to out[2 * m].v[k]: an 8 x 8 transposition.
    static void StoreBandFrames(BandFrame* out, const Vec v[8])
    {
        __m256d u[8]; // u[4 * half + r]: slots 4 * half .. + 3 of lanes r and 4 + r
        for (int half = 0; half < 2; ++half) {
            const Vec* s = v + 4 * half;
            const __m256d t0 = _mm256_castps_pd(_mm256_unpacklo_ps(s[0], s[1]));
            const __m256d t1 = _mm256_castps_pd(_mm256_unpackhi_ps(s[0], s[1]));
            const __m256d t2 = _mm256_castps_pd(_mm256_unpacklo_ps(s[2], s[3]));
            const __m256d t3 = _mm256_castps_pd(_mm256_unpackhi_ps(s[2], s[3]));
            u[4 * half + 0] = _mm256_unpacklo_pd(t0, t2);
            u[4 * half + 1] = _mm256_unpackhi_pd(t0, t2);
            u[4 * half + 2] = _mm256_unpacklo_pd(t1, t3);
            u[4 * half + 3] = _mm256_unpackhi_pd(t1, t3);
        }
        for (int r = 0; r < 4; ++r) {
            const Vec a = _mm256_castpd_ps(u[r]);
            const Vec b = _mm256_castpd_ps(u[4 + r]);
            _mm256_storeu_ps(out[2 * r].v, _mm256_permute2f128_ps(a, b, 0x20));
            _mm256_storeu_ps(out[2 * (4 + r)].v, _mm256_permute2f128_ps(a, b, 0x31));
        }
    }
};

} // namespace

void ConvolveBlockAvx2(BandFrame* out, const float* frames, uint32_t frame_count, const float* taps,
                       uint32_t tap_count)
{
    ConvolveBlockWide<Avx2Lanes>(out, frames, frame_count, taps, tap_count);
}
