// The resampler's AVX-512 path: all 16 lanes of the sums in one vector.
// Built with -mavx512f (no FMA) and run only where PathAvailable says so.
#include "engine/kernels/lanes_avx512.h"
#include "engine/kernels/resample_wide.h"

namespace {

struct Avx512Lanes : Avx512Basics {
    static Vec Broadcast(float v) { return _mm512_set1_ps(v); }
    // s8 = the vector's halves, s4 = the halves of s8 (AVX-512F only).
    static __m128 SumTo4(const Vec* a)
    {
        const __m256 high = _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(a[0]), 1));
        const __m256 s8 = _mm256_add_ps(_mm512_castps512_ps256(a[0]), high);
        return _mm_add_ps(_mm256_castps256_ps128(s8), _mm256_extractf128_ps(s8, 1));
    }
};

} // namespace

void ResampleAvx512(float* out, const float* left, const float* right, uint64_t pos, uint64_t step,
                    uint32_t count, const float* table)
{
    ResampleWide<Avx512Lanes>(out, left, right, pos, step, count, table);
}
