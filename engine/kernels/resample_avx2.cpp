// The resampler's AVX2 path: eight lanes of the 16-lane sums per vector.
// Built with -mavx2 -mno-fma and run only where PathAvailable says so.
#include "engine/kernels/lanes_avx2.h"
#include "engine/kernels/resample_wide.h"

namespace {

struct Avx2Lanes : Avx2Basics {
    static Vec Broadcast(float v) { return _mm256_set1_ps(v); }
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
