// The resampler's AVX2 path: eight lanes of the 16-lane sums per vector.
// Built with -mavx2 -mno-fma and run only where PathAvailable says so.
#include <immintrin.h>

#include "engine/resample_wide.h"

namespace {

struct Avx2Lanes {
    using Vec = __m256;
    static constexpr uint32_t kLanes = 8;
    static Vec Zero() { return _mm256_setzero_ps(); }
    static Vec Load(const float* p) { return _mm256_loadu_ps(p); }
    static void Store(float* p, Vec v) { _mm256_storeu_ps(p, v); }
    static Vec Broadcast(float v) { return _mm256_set1_ps(v); }
    static Vec Add(Vec a, Vec b) { return _mm256_add_ps(a, b); }
    static Vec Mul(Vec a, Vec b) { return _mm256_mul_ps(a, b); }
    // s8 = lanes 0-7 + lanes 8-15, s4 = its halves.
    static __m128 SumTo4(const Vec* a)
    {
        const __m256 s8 = _mm256_add_ps(a[0], a[1]);
        return _mm_add_ps(_mm256_castps256_ps128(s8), _mm256_extractf128_ps(s8, 1));
    }
};

} // namespace

void ResampleAvx2(float* out, const float* left, const float* right, uint64_t pos, uint64_t step,
                  uint32_t count, const float* table)
{
    ResampleWide<Avx2Lanes>(out, left, right, pos, step, count, table);
}
