// The AVX2 vector operations that the kernel and the resampler both use:
// eight floats a vector. Included only by files built with -mavx2 -mno-fma.
#pragma once

#include <immintrin.h>

#include <cstdint>

struct Avx2Basics {
    using Vec = __m256;
    static constexpr uint32_t kLanes = 8;

    static Vec Zero() { return _mm256_setzero_ps(); }
    static Vec Load(const float* p) { return _mm256_loadu_ps(p); }
    static void Store(float* p, Vec v) { _mm256_storeu_ps(p, v); }
    static Vec Add(Vec a, Vec b) { return _mm256_add_ps(a, b); }
    static Vec Mul(Vec a, Vec b) { return _mm256_mul_ps(a, b); }
};
