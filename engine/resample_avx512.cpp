// The resampler's AVX-512 path: all 16 lanes of the sums in one vector.
// Built with -mavx512f (no FMA) and run only where PathAvailable says so.
#include <immintrin.h>

#include "engine/resample_wide.h"

namespace {

struct Avx512Lanes {
    using Vec = __m512;
    static constexpr uint32_t kLanes = 16;
    static Vec Zero() { return _mm512_setzero_ps(); }
    static Vec Load(const float* p) { return _mm512_loadu_ps(p); }
    static void Store(float* p, Vec v) { _mm512_storeu_ps(p, v); }
    static Vec Broadcast(float v) { return _mm512_set1_ps(v); }
    static Vec Add(Vec a, Vec b) { return _mm512_add_ps(a, b); }
    static Vec Mul(Vec a, Vec b) { return _mm512_mul_ps(a, b); }
};

} // namespace

void ResampleAvx512(float* out, const float* left, const float* right, uint64_t pos, uint64_t step,
                    uint32_t count, const float* table)
{
    ResampleWide<Avx512Lanes>(out, left, right, pos, step, count, table);
}
