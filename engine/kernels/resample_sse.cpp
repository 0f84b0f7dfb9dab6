// The resampler's SSE path: four lanes of the 16-lane sums per vector.
#include <xmmintrin.h>

#include "engine/kernels/resample_wide.h"

namespace {

struct SseLanes {
    using Vec = __m128;
    static constexpr uint32_t kLanes = 4;
    static Vec Zero() { return _mm_setzero_ps(); }
    static Vec Load(const float* p) { return _mm_loadu_ps(p); }
    static void Store(float* p, Vec v) { _mm_storeu_ps(p, v); }
    static Vec Broadcast(float v) { return _mm_set1_ps(v); }
    static Vec Add(Vec a, Vec b) { return _mm_add_ps(a, b); }
    static Vec Mul(Vec a, Vec b) { return _mm_mul_ps(a, b); }
    // Lanes 0-3, 4-7, 8-11, 12-15: s8 = (a0 + a2, a1 + a3), s4 = its halves.
    static __m128 SumTo4(const Vec* a)
    {
        return _mm_add_ps(_mm_add_ps(a[0], a[2]), _mm_add_ps(a[1], a[3]));
    }
};

} // namespace

void ResampleSse(float* out, const float* left, const float* right, uint64_t pos, uint64_t step,
                 uint32_t count, const float* table)
{
    ResampleWide<SseLanes>(out, left, right, pos, step, count, table);
}
